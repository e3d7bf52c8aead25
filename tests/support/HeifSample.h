#pragma once
// HEIC files made in the test itself with libheif's own encoder, so the photo tests need no
// binary samples. None when this libheif was built without an HEVC encoder.

#include <libheif/heif.h>

#include <QByteArray>
#include <QImage>

#include <optional>

std::optional<QByteArray> heicOf(const QImage& image, heif_orientation orientation = heif_orientation_normal);
// The same picture coded in AV1, as an AVIF file; none without an AV1 encoder.
std::optional<QByteArray> avifOf(const QImage& image);
