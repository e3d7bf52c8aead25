#pragma once
// What of an outside picture reaches its decoder: the parts that make its pixels, and nothing
// else. A picture file carries much besides its pixels (texts, comments, thumbnails, other
// programs' data, further frames), and a decoder spends memory and time on each of them before
// and outside any check of the pixels. Every file is walked the way its decoder walks it and
// rewritten as a file of the same format holding only, per format:
// - PNG: every critical chunk, and the first of each small colour chunk (tRNS, gAMA, cHRM,
//   sRGB) and of the colour profile (iCCP); never text, EXIF or any other ancillary chunk.
// - JPEG: the frame, the tables and the scans, and the JFIF and Adobe headers (they say how
//   the colours are coded), the EXIF block (photos need its orientation) and the colour
//   profile; never comments or other application segments.
// - GIF: the screen, its colours and the first image with its graphic control; never
//   comments, application or text extensions, nor the frames after the first.
// - WebP: the picture, its alpha and colour profile, or an animation's first frame; never
//   EXIF, XMP or unknown chunks, nor the frames after the first.
// The work a decoder may be led into by what is kept is bounded as well: a PNG whose image data
// inflates to more than its rows, and a JPEG whose scans pass over its blocks more often than
// any encoder's, are refused.

#include "platform/OutsideImages.h"

#include <QByteArray>

#include <optional>

namespace OutsideImages {

// A JPEG's scans pass over each block of the picture once (a sequential one) or about six times
// (libjpeg's progressive scripts, for any number of channels, ten or eighteen scans); each
// scan costs libjpeg a pass over the blocks of the channels it holds, whatever its bytes. The
// passes of all scans together, on average over the picture's blocks, are at most this many.
inline constexpr int maxJpegPasses = 12;

struct Parts {
    // A file of the picture's format.
    QByteArray bytes;
    // What its decoder holds besides the picture while it decodes: every coefficient of a JPEG
    // whose first scan does not complete its rows, the canvases of a WebP animation.
    qint64 heldBytes = 0;
};

// The picture parts of `bytes` in `format`; none when the file is not laid out as its format
// says (a JPEG without a scan), is past the bounds above, or its header claims more than
// `maxPixels` (checked before its data is looked at). A file that holds nothing else comes back
// as it is, shared; so do BMP, which holds nothing but its pixels, and HEIF, which libheif
// reads without decoding its metadata.
std::optional<Parts> pictureParts(const QByteArray& bytes, Format format, qint64 maxPixels);

}  // namespace OutsideImages
