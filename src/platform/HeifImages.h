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
// a damaged file, one whose declared size (or any grid's) needs more than maxBytes of 32-bit
// pixels, one that holds an AVIF picture or an overlay, or one whose grids have more tiles than
// one per 64 × 64 pixels of the picture; all of that is checked before anything is decoded.
std::optional<QImage> decodedImage(const QByteArray& data, qint64 maxBytes);

}  // namespace HeifImages
