#pragma once
// HEIC and other HEIF pictures decoded through libheif, for the Qt builds that have no image
// plugin for them (phone photos are mostly HEIC). Pure functions, safe on any thread; pictures
// from outside reach them through OutsideImages only.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

#include <optional>

namespace HeifImages {

// True when the bytes start like a HEIF file that libheif can read, with pictures coded in HEVC
// (HEIC): AVIF, which libheif reads as well, is not taken.
bool isHeif(QByteArrayView data);
// The primary image, upright and unmirrored as the file asks, in 8 bits per channel. None for
// a damaged file, one that holds an AVIF picture, or one that would lead libheif past what its
// picture needs: a declared size (or any grid's) of more than maxBytes of 32-bit pixels; coded
// pictures whose own parameter sets declare more than that together, however often each is
// decoded; anything but HEVC pictures and grids of them to decode; more decodes than one per
// 64 × 64 pixels of the picture and of its alpha; or items whose data, together or as decoded,
// is more than the file. All of that is read from the file before libheif sees it.
std::optional<QImage> decodedImage(const QByteArray& data, qint64 maxBytes);

}  // namespace HeifImages
