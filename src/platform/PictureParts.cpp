#include "platform/PictureParts.h"

#include <QList>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

namespace OutsideImages {

namespace {

int byteAt(QByteArrayView bytes, qsizetype at)
{
    return uchar(bytes[at]);
}

qint64 bigEndian32(QByteArrayView bytes, qsizetype at)
{
    return qint64(byteAt(bytes, at)) << 24 | byteAt(bytes, at + 1) << 16 | byteAt(bytes, at + 2) << 8 |
           byteAt(bytes, at + 3);
}

qint64 littleEndian32(QByteArrayView bytes, qsizetype at)
{
    return qint64(byteAt(bytes, at + 3)) << 24 | byteAt(bytes, at + 2) << 16 | byteAt(bytes, at + 1) << 8 |
           byteAt(bytes, at);
}

bool isLetter(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// What a walk keeps of its input, in order: runs of the input and a few bytes of its own. The
// input is shared, not copied, for as long as what is kept is all of it from its start: most
// files hold nothing to leave out.
class Kept {
public:
    explicit Kept(const QByteArray& input) : m_input(input) {}

    void keep(qsizetype at, qsizetype size)
    {
        if (!m_owned && at == m_prefix) {
            m_prefix += size;
            return;
        }
        own();
        m_copy.append(m_input.constData() + at, size);
    }
    void add(QByteArrayView bytes)
    {
        own();
        m_copy.append(bytes);
    }
    QByteArray result() const
    {
        if (m_owned)
            return m_copy;
        return m_prefix == m_input.size() ? m_input : m_input.first(m_prefix);
    }

private:
    void own()
    {
        if (m_owned)
            return;
        m_owned = true;
        m_copy.reserve(m_input.size() + 1);
        m_copy.append(m_input.constData(), m_prefix);
    }

    const QByteArray& m_input;
    qsizetype m_prefix = 0;
    bool m_owned = false;
    QByteArray m_copy;
};

// The bytes of a PNG's image data once inflated: each row of each pass, and the filter byte
// before it. None for a header libpng refuses, or one of more than `maxPixels`.
std::optional<qint64> pngImageBytes(QByteArrayView header, qint64 maxPixels)
{
    if (header.size() < 13)
        return std::nullopt;
    const qint64 width = bigEndian32(header, 0);
    const qint64 height = bigEndian32(header, 4);
    const int depth = byteAt(header, 8);
    int channels = 0;
    switch (byteAt(header, 9)) {
    case 0:
    case 3:
        channels = 1;
        break;
    case 2:
        channels = 3;
        break;
    case 4:
        channels = 2;
        break;
    case 6:
        channels = 4;
        break;
    default:
        return std::nullopt;
    }
    if (width < 1 || height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF || width * height > maxPixels ||
        depth < 1 || depth > 16)
        return std::nullopt;
    const auto passBytes = [&](qint64 across, qint64 down) {
        return across > 0 && down > 0 ? down * (1 + (across * channels * depth + 7) / 8) : 0;
    };
    if (byteAt(header, 12) == 0)
        return passBytes(width, height);
    // Adam7: seven passes over every eighth, fourth or second pixel from an offset.
    static constexpr std::array<std::array<int, 4>, 7> passes{
        {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};
    qint64 total = 0;
    for (const auto& [x, y, dx, dy] : passes)
        total += passBytes((width - x + dx - 1) / dx, (height - y + dy - 1) / dy);
    return total;
}

// Whether the image data, inflated, is no longer than twice its rows: libpng inflates whatever
// the stream holds past the last row, into nothing, before it reads the end. A stream of a few
// megabytes can hold gigabytes, and that much work, besides the picture. Some encoders leave a
// little past the rows, which libpng only warns of: up to the rows' own size more is let be.
bool pngDataFitsItsRows(const QList<QByteArrayView>& data, qint64 rowBytes)
{
    rowBytes *= 2;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    std::array<Bytef, 64 * 1024> scratch;
    qint64 inflated = 0;
    int status = Z_OK;
    for (const QByteArrayView part : data) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
        stream.avail_in = uInt(part.size());
        while (status == Z_OK && stream.avail_in > 0 && inflated <= rowBytes) {
            stream.next_out = scratch.data();
            stream.avail_out = uInt(scratch.size());
            status = inflate(&stream, Z_NO_FLUSH);
            inflated += qint64(scratch.size() - stream.avail_out);
        }
        if (status != Z_OK || inflated > rowBytes)
            break;
    }
    inflateEnd(&stream);
    // A stream that is damaged or cut short is the decoder's to refuse.
    return inflated <= rowBytes;
}

// PNG: a chunk whose type starts with a capital letter is critical, and a decoder that does
// not know it refuses the file, so every one is kept. Of the others, only the colour chunks.
std::optional<Parts> pngParts(const QByteArray& bytes, qint64 maxPixels)
{
    static constexpr std::array<QByteArrayView, 5> colour{"tRNS", "gAMA", "cHRM", "sRGB", "iCCP"};
    std::array<bool, colour.size()> taken{};
    Kept out(bytes);
    out.keep(0, std::min<qsizetype>(8, bytes.size()));
    std::optional<qint64> rowBytes;
    QList<QByteArrayView> imageData;
    qsizetype at = 8;
    while (at + 8 <= bytes.size()) {
        const qint64 length = bigEndian32(bytes, at);
        const QByteArrayView type = QByteArrayView(bytes).sliced(at + 4, 4);
        if (length > 0x7FFFFFFF || !std::all_of(type.begin(), type.end(), [](char c) { return isLetter(uchar(c)); }))
            return std::nullopt;
        // A chunk cut short is passed on as it is: the decoder meets the end where it would have.
        const qsizetype end = qsizetype(std::min<qint64>(bytes.size(), at + 12 + length));
        const qsizetype dataEnd = qsizetype(std::min<qint64>(bytes.size(), at + 8 + length));
        const QByteArrayView data = QByteArrayView(bytes).sliced(at + 8, dataEnd - at - 8);
        // The header comes first, and libpng refuses any other.
        if (at == 8 && (type != QByteArrayView("IHDR") || !(rowBytes = pngImageBytes(data, maxPixels))))
            return std::nullopt;
        bool keep = byteAt(type, 0) < 'a';
        for (std::size_t i = 0; !keep && i < colour.size(); ++i) {
            if (type == colour[i] && !taken[i])
                keep = taken[i] = true;
        }
        if (keep)
            out.keep(at, end - at);
        if (type == QByteArrayView("IDAT"))
            imageData.append(data);
        if (type == QByteArrayView("IEND"))
            break;
        at = end;
    }
    if (!rowBytes || !pngDataFitsItsRows(imageData, *rowBytes))
        return std::nullopt;
    return Parts{out.result()};
}

bool isParameterless(int marker)
{
    // A restart or TEM marker: libjpeg passes over it, inside a scan and between segments.
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

struct Marker {
    qsizetype at = 0;  // the FF directly before the marker's code
    int code = 0;
};

// The next marker from `at`, found as libjpeg finds it both within a scan's data and between
// segments: any other bytes are passed over, FF fill bytes before a code too, and FF 00, which
// stands for an FF within a scan's data. None when the bytes end first.
std::optional<Marker> nextMarker(QByteArrayView bytes, qsizetype at)
{
    while (at < bytes.size()) {
        const auto* found = static_cast<const char*>(std::memchr(bytes.data() + at, 0xFF, std::size_t(bytes.size() - at)));
        if (!found)
            return std::nullopt;
        qsizetype next = found - bytes.data() + 1;
        while (next < bytes.size() && byteAt(bytes, next) == 0xFF)
            ++next;
        if (next >= bytes.size())
            return std::nullopt;
        if (byteAt(bytes, next) != 0x00)
            return Marker{next - 1, byteAt(bytes, next)};
        at = next + 1;
    }
    return std::nullopt;
}

// Where a scan's data ends: at the first marker that is not a restart.
qsizetype scanEnd(QByteArrayView bytes, qsizetype at)
{
    for (;;) {
        const std::optional<Marker> marker = nextMarker(bytes, at);
        if (!marker)
            return bytes.size();
        if (!isParameterless(marker->code))
            return marker->at;
        at = marker->at + 2;
    }
}

// The JPEG segments that make the picture, and the few headers that say how: libjpeg reads
// the JFIF and Adobe headers for how the colours are coded, Qt reads the first EXIF block for
// the orientation and the profile's parts (at most 255) for the colour space.
struct JpegHeaders {
    bool jfif = false;
    bool exif = false;
    bool adobe = false;
    int profileParts = 0;

    bool keep(int code, QByteArrayView data)
    {
        const auto first = [&](bool& taken, QByteArrayView signature) {
            if (taken || !data.startsWith(signature))
                return false;
            return taken = true;
        };
        switch (code) {
        case 0xC4:  // Huffman tables
        case 0xCC:  // arithmetic coding conditions
        case 0xDA:  // a scan
        case 0xDB:  // quantisation tables
        case 0xDD:  // the restart interval
            return true;
        case 0xE0:
            return first(jfif, QByteArrayView("JFIF\0", 5));
        case 0xE1:
            return first(exif, QByteArrayView("Exif\0\0", 6));
        case 0xE2:
            if (!data.startsWith(QByteArrayView("ICC_PROFILE\0", 12)) || profileParts == 255)
                return false;
            ++profileParts;
            return true;
        case 0xEE:
            return first(adobe, QByteArrayView("Adobe"));
        default:
            // Every start of frame (C8 is reserved).
            return code >= 0xC0 && code <= 0xCF && code != 0xC8;
        }
    }
};

// What the scans of a JPEG cost libjpeg: each passes over every block of the components it
// holds, whatever few bytes it takes (a scan's data may end at once, or be one run of empty
// blocks, and arithmetic-coded data decodes from nothing at all). And the memory it holds
// besides the picture: none for a JPEG it decodes row by row, and every coefficient of the
// whole picture, two bytes each, for one whose first scan does not complete its rows (a
// progressive JPEG, or one whose components come in scans of their own).
class JpegPasses {
public:
    // The frame header: each component's blocks, from its sampling against the largest.
    bool frame(int code, QByteArrayView header)
    {
        if (header.size() < 6 || !m_blocks.empty())
            return false;
        const qint64 height = byteAt(header, 1) << 8 | byteAt(header, 2);
        const qint64 width = byteAt(header, 3) << 8 | byteAt(header, 4);
        const int count = byteAt(header, 5);
        if (count < 1 || header.size() < 6 + 3 * count)
            return false;
        int mostAcross = 1;
        int mostDown = 1;
        for (int c = 0; c < count; ++c) {
            mostAcross = std::max(mostAcross, byteAt(header, 6 + 3 * c + 1) >> 4);
            mostDown = std::max(mostDown, byteAt(header, 6 + 3 * c + 1) & 0x0F);
        }
        for (int c = 0; c < count; ++c) {
            const int across = std::max(1, byteAt(header, 6 + 3 * c + 1) >> 4);
            const int down = std::max(1, byteAt(header, 6 + 3 * c + 1) & 0x0F);
            const qint64 blocks = (width * across + 8 * mostAcross - 1) / (8 * mostAcross) *
                                  ((height * down + 8 * mostDown - 1) / (8 * mostDown));
            m_blocks.emplace_back(byteAt(header, 6 + 3 * c), blocks);
            m_allBlocks += blocks;
        }
        m_progressive = code == 0xC2 || code == 0xC6 || code == 0xCA || code == 0xCE;
        return true;
    }
    // A scan: false once the scans pass over the blocks more often than encoders make them.
    bool scan(QByteArrayView header)
    {
        if (m_blocks.empty() || header.isEmpty())
            return false;
        const int count = byteAt(header, 0);
        if (!m_heldBytes)
            m_heldBytes = m_progressive || count < qsizetype(m_blocks.size()) ? m_allBlocks * 64 * 2 : 0;
        for (int c = 0; c < count && 1 + 2 * c < header.size(); ++c) {
            for (const auto& [id, blocks] : m_blocks) {
                if (id == byteAt(header, 1 + 2 * c))
                    m_passes += blocks;
            }
        }
        return m_passes <= maxJpegPasses * m_allBlocks;
    }
    // None before the first scan.
    std::optional<qint64> heldBytes() const { return m_heldBytes; }

private:
    std::vector<std::pair<int, qint64>> m_blocks;
    qint64 m_allBlocks = 0;
    qint64 m_passes = 0;
    bool m_progressive = false;
    std::optional<qint64> m_heldBytes;
};

bool isFrame(int code)
{
    // Every start-of-frame marker but the table ones (C4, CC) and the reserved C8.
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

std::optional<Parts> jpegParts(const QByteArray& bytes)
{
    if (bytes.size() < 2 || byteAt(bytes, 0) != 0xFF || byteAt(bytes, 1) != 0xD8)
        return std::nullopt;
    Kept out(bytes);
    out.keep(0, 2);
    JpegHeaders headers;
    JpegPasses passes;
    qsizetype at = 2;
    while (const std::optional<Marker> marker = nextMarker(bytes, at)) {
        const qsizetype after = marker->at + 2;
        if (marker->code == 0xD9) {
            out.keep(marker->at, 2);
            break;
        }
        // A second start: libjpeg refuses the file.
        if (marker->code == 0xD8)
            return std::nullopt;
        if (isParameterless(marker->code)) {
            at = after;
            continue;
        }
        if (after + 2 > bytes.size())
            break;
        const qsizetype length = byteAt(bytes, after) << 8 | byteAt(bytes, after + 1);
        if (length < 2)
            return std::nullopt;
        // A segment cut short ends the file where libjpeg would meet its end.
        if (after + length > bytes.size())
            break;
        at = after + length;
        const QByteArrayView segment = QByteArrayView(bytes).sliced(after + 2, length - 2);
        if (headers.keep(marker->code, segment))
            out.keep(marker->at, 2 + length);
        // A second frame, or a scan before the frame or past the passes' bound: libjpeg refuses
        // the first two.
        if (isFrame(marker->code) && !passes.frame(marker->code, segment))
            return std::nullopt;
        if (marker->code == 0xDA) {
            if (!passes.scan(segment))
                return std::nullopt;
            const qsizetype end = scanEnd(bytes, at);
            out.keep(at, end - at);
            at = end;
        }
    }
    // No scan: no picture.
    if (!passes.heldBytes())
        return std::nullopt;
    return Parts{out.result(), *passes.heldBytes()};
}
qsizetype gifColourTableBytes(int flags)
{
    return (flags & 0x80) ? 3 * (qsizetype(2) << (flags & 0x07)) : 0;
}

// Past a run of GIF data blocks and the empty block that ends it; none when the bytes end first.
std::optional<qsizetype> gifBlocksEnd(QByteArrayView bytes, qsizetype at)
{
    while (at < bytes.size()) {
        const int length = byteAt(bytes, at);
        at += 1 + length;
        if (length == 0)
            return at;
    }
    return std::nullopt;
}

// GIF: the screen and its colours, then the first image with the graphic control that comes
// last before it (its transparent colour), then the end.
std::optional<Parts> gifParts(const QByteArray& bytes)
{
    if (bytes.size() < 13)
        return std::nullopt;
    qsizetype at = 13 + gifColourTableBytes(byteAt(bytes, 10));
    if (at > bytes.size())
        return std::nullopt;
    Kept out(bytes);
    out.keep(0, at);
    std::optional<std::pair<qsizetype, qsizetype>> control;
    while (at < bytes.size()) {
        const int introducer = byteAt(bytes, at);
        if (introducer == 0x21) {
            const std::optional<qsizetype> end = at + 2 <= bytes.size() ? gifBlocksEnd(bytes, at + 2) : std::nullopt;
            if (!end)
                return std::nullopt;
            if (byteAt(bytes, at + 1) == 0xF9)
                control.emplace(at, *end - at);
            at = *end;
        } else if (introducer == 0x2C) {
            // The descriptor, its colours, the code size, then the data blocks: an image cut
            // short is passed on as it is.
            const qsizetype data =
                at + 10 <= bytes.size() ? at + 10 + gifColourTableBytes(byteAt(bytes, at + 9)) + 1 : bytes.size();
            const std::optional<qsizetype> end = data < bytes.size() ? gifBlocksEnd(bytes, data) : std::nullopt;
            if (control)
                out.keep(control->first, control->second);
            out.keep(at, end.value_or(bytes.size()) - at);
            if (end && *end < bytes.size() && bytes.at(*end) == ';')
                out.keep(*end, 1);
            else if (end)
                out.add(";");
            return Parts{out.result()};
        } else {
            // The end, or no GIF block, before any image.
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// WebP: a still picture's data (with its alpha), or an animation's header and first frame,
// and the colour profile. The extended header's flags then name only what is kept.
std::optional<Parts> webpParts(const QByteArray& bytes)
{
    if (bytes.size() < 12)
        return std::nullopt;
    const qsizetype riffEnd = qsizetype(std::min<qint64>(bytes.size(), 8 + littleEndian32(bytes, 4)));
    Kept kept(bytes);
    kept.keep(0, 12);
    bool extended = false;
    bool animated = false;
    bool profile = false;
    bool animation = false;
    bool alpha = false;
    qint64 heldBytes = 0;
    qsizetype at = 12;
    while (at + 8 <= riffEnd) {
        const QByteArrayView fourcc = QByteArrayView(bytes).sliced(at, 4);
        const qint64 length = littleEndian32(bytes, at + 4);
        if (at + 8 + length > riffEnd)
            break;
        const qsizetype end = qsizetype(std::min<qint64>(riffEnd, at + 8 + length + (length & 1)));
        const auto keep = [&] { kept.keep(at, end - at); };
        const bool picture = fourcc == QByteArrayView("VP8 ") || fourcc == QByteArrayView("VP8L");
        if (at == 12) {
            if (picture) {
                keep();
                break;
            }
            if (fourcc != QByteArrayView("VP8X") || length < 10)
                return std::nullopt;
            extended = true;
            animated = (byteAt(bytes, at + 8) & 0x02) != 0;
            // An animation's frames are drawn on a canvas of its whole size, which its reader
            // makes as soon as it is asked for the size, and copies: four canvases of four bytes
            // a pixel. The canvas's width and height less one follow the flags, 24 bits each.
            if (animated) {
                const auto side = [&](qsizetype from) {
                    return 1 + (byteAt(bytes, from) | byteAt(bytes, from + 1) << 8 | byteAt(bytes, from + 2) << 16);
                };
                heldBytes = qint64(side(at + 12)) * side(at + 15) * 4 * 4;
            }
            keep();
        } else if (fourcc == QByteArrayView("ICCP") && !profile) {
            profile = true;
            keep();
        } else if (fourcc == QByteArrayView("ANIM") && animated && !animation) {
            animation = true;
            keep();
        } else if (fourcc == QByteArrayView("ANMF") && animated) {
            keep();
            break;
        } else if (fourcc == QByteArrayView("ALPH") && !animated && !alpha) {
            alpha = true;
            keep();
        } else if (picture && !animated) {
            keep();
            break;
        }
        at = end;
    }
    // Written only where they change, so that a file of nothing else stays shared.
    QByteArray out = kept.result();
    if (extended) {
        // The profile's flag (0x20) as kept; those of EXIF (0x08) and XMP (0x04) cleared.
        const char flags = char((byteAt(out, 20) & ~0x2C) | (profile ? 0x20 : 0));
        if (out.at(20) != flags)
            out[20] = flags;
    }
    const qint64 riffSize = out.size() - 8;
    if (littleEndian32(out, 4) != riffSize) {
        for (int i = 0; i < 4; ++i)
            out[4 + i] = char((riffSize >> (8 * i)) & 0xFF);
    }
    return Parts{out, heldBytes};
}

}  // namespace

std::optional<Parts> pictureParts(const QByteArray& bytes, Format format, qint64 maxPixels)
{
    switch (format) {
    case Format::png:
        return pngParts(bytes, maxPixels);
    case Format::jpeg:
        return jpegParts(bytes);
    case Format::gif:
        return gifParts(bytes);
    case Format::webp:
        return webpParts(bytes);
    case Format::bmp:
    case Format::heif:
        break;
    }
    return Parts{bytes};
}

}  // namespace OutsideImages
