#include "platform/HeifImages.h"

#include <libheif/heif.h>

#include <QHash>
#include <QList>

#include <algorithm>
#include <climits>
#include <memory>

namespace HeifImages {

namespace {

// Longer than any camera's side (JPEG stops at 65,500).
constexpr int longestSide = 65535;
// A grid's tiles are at least this wide and high on average: cameras write tiles of 256 or 512
// pixels, and libheif's own writer none smaller than 64.
constexpr int minTileSide = 64;

struct Release {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(const heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(const heif_image* image) const { heif_image_release(image); }
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

// Once per process, never undone: the plugins stay loaded while any thread may decode.
void initialise()
{
    [[maybe_unused]] static const heif_error initialised = heif_init(nullptr);
}

bool fitsInt(QByteArrayView data)
{
    return data.size() <= INT_MAX;
}

qint64 bigEndian(QByteArrayView bytes, qsizetype at, int size)
{
    qint64 value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | uchar(bytes[at + i]);
    return value;
}

// Calls `each` with the type and the body of every box in `data`, in order, while it returns
// true; false for boxes that do not fit.
template <typename Each>
bool forEachBox(QByteArrayView data, Each each)
{
    qsizetype at = 0;
    while (at + 8 <= data.size()) {
        qint64 size = bigEndian(data, at, 4);
        qsizetype header = 8;
        if (size == 1) {
            if (at + 16 > data.size())
                return false;
            size = bigEndian(data, at + 8, 8);
            header = 16;
        } else if (size == 0) {
            size = data.size() - at;
        }
        if (size < header || size > data.size() - at)
            return false;
        if (!each(data.sliced(at + 4, 4), data.sliced(at + header, qsizetype(size) - header)))
            return false;
        at += qsizetype(size);
    }
    return true;
}

// Reads bits from the front of an HEVC parameter set, with its emulation prevention bytes (a 3
// after two zeros) left out.
class ParameterBits {
public:
    explicit ParameterBits(QByteArrayView payload) : m_bytes(payload) {}

    std::optional<quint32> bits(int count)
    {
        quint32 value = 0;
        for (int i = 0; i < count; ++i) {
            if (m_bit == 0 && !nextByte())
                return std::nullopt;
            value = value << 1 | ((m_current >> (7 - m_bit)) & 1);
            m_bit = (m_bit + 1) % 8;
        }
        return value;
    }
    // An unsigned Exp-Golomb number, as sizes are written.
    std::optional<quint32> number()
    {
        int zeros = 0;
        for (;;) {
            const std::optional<quint32> bit = bits(1);
            if (!bit)
                return std::nullopt;
            if (*bit)
                break;
            if (++zeros > 31)
                return std::nullopt;
        }
        const std::optional<quint32> rest = bits(zeros);
        if (!rest)
            return std::nullopt;
        return quint32((quint64(1) << zeros) - 1 + *rest);
    }

private:
    bool nextByte()
    {
        if (m_at >= m_bytes.size())
            return false;
        if (m_zeros >= 2 && uchar(m_bytes[m_at]) == 3) {
            m_zeros = 0;
            if (++m_at >= m_bytes.size())
                return false;
        }
        m_current = uchar(m_bytes[m_at++]);
        m_zeros = m_current == 0 ? m_zeros + 1 : 0;
        return true;
    }

    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    int m_zeros = 0;
    int m_bit = 0;
    uchar m_current = 0;
};

// The pixels of the pictures an HEVC sequence parameter set (a whole NAL unit) declares: the
// size the decoder makes them, whatever the file's properties say. None for a unit that is
// not one or cannot be read.
std::optional<qint64> sequencePixels(QByteArrayView unit)
{
    if (unit.size() < 2 || ((uchar(unit[0]) >> 1) & 0x3F) != 33)
        return std::nullopt;
    ParameterBits in(unit.sliced(2));
    // The parameter set's number, its sub-layers less one, and a flag.
    const std::optional<quint32> head = in.bits(8);
    if (!head)
        return std::nullopt;
    const int subLayers = int(*head >> 1) & 0x07;
    // The profile, tier and level of the whole, then which of them each sub-layer repeats.
    if (!in.bits(32) || !in.bits(32) || !in.bits(32))
        return std::nullopt;
    int subLayerBits = 0;
    for (int i = 0; i < subLayers; ++i) {
        const std::optional<quint32> present = in.bits(2);
        if (!present)
            return std::nullopt;
        subLayerBits += (*present & 2 ? 88 : 0) + (*present & 1 ? 8 : 0);
    }
    if (subLayers > 0 && !in.bits(2 * (8 - subLayers)))
        return std::nullopt;
    for (; subLayerBits > 0; subLayerBits -= std::min(subLayerBits, 32)) {
        if (!in.bits(std::min(subLayerBits, 32)))
            return std::nullopt;
    }
    const std::optional<quint32> id = in.number();
    const std::optional<quint32> chroma = in.number();
    if (!id || !chroma || (*chroma == 3 && !in.bits(1)))
        return std::nullopt;
    const std::optional<quint32> width = in.number();
    const std::optional<quint32> height = in.number();
    if (!width || !height)
        return std::nullopt;
    return qint64(*width) * *height;
}

// Where an item's data is: in the file, or in the metadata's own data box.
struct Extent {
    bool inMetadata = false;
    qint64 offset = 0;
    qint64 length = 0;
};

struct Item {
    QByteArrayView type;
    QList<Extent> extents;
    QList<int> properties;  // indexes into the file's properties, from 1
};

// The parts of a HEIF file's metadata that decide what libheif reads and decodes.
struct HeifFile {
    qint64 primary = -1;
    QHash<qint64, Item> items;
    // Derived pictures (grids) and the pictures they are made from; auxiliary pictures (alpha)
    // and the picture each belongs to.
    QHash<qint64, QList<qint64>> derivedFrom;
    QHash<qint64, QList<qint64>> auxiliaryOf;
    QList<QByteArrayView> properties;  // each box whole, type first
    QByteArrayView metadataData;
    // Pictures coded in AV1: an AVIF picture, whatever brands its file names.
    bool av1 = false;
};

bool readItemTypes(QByteArrayView body, HeifFile& file)
{
    if (body.size() < 4)
        return false;
    const qsizetype entries = body[0] == 0 ? 6 : 8;
    return body.size() >= entries && forEachBox(body.sliced(entries), [&](QByteArrayView type, QByteArrayView infe) {
               if (type != QByteArrayView("infe") || infe.size() < 4 || uchar(infe[0]) < 2)
                   return true;
               // The item's number (two bytes from version 2, four from 3) and protection index.
               const int idBytes = infe[0] == 2 ? 2 : 4;
               const qsizetype at = 4 + idBytes + 2;
               if (infe.size() < at + 4)
                   return false;
               const QByteArrayView itemType = infe.sliced(at, 4);
               file.av1 = file.av1 || itemType == QByteArrayView("av01");
               file.items[bigEndian(infe, 4, idBytes)].type = itemType;
               return true;
           });
}

bool readReferences(QByteArrayView body, HeifFile& file)
{
    if (body.size() < 4)
        return false;
    const int idBytes = body[0] == 0 ? 2 : 4;
    return forEachBox(body.sliced(4), [&](QByteArrayView type, QByteArrayView reference) {
        if (reference.size() < idBytes + 2)
            return false;
        const qint64 from = bigEndian(reference, 0, idBytes);
        const qint64 count = bigEndian(reference, idBytes, 2);
        if (reference.size() < idBytes + 2 + count * idBytes)
            return false;
        for (qint64 i = 0; i < count; ++i) {
            const qint64 to = bigEndian(reference, idBytes + 2 + i * idBytes, idBytes);
            if (type == QByteArrayView("dimg"))
                file.derivedFrom[from].append(to);
            else if (type == QByteArrayView("auxl"))
                file.auxiliaryOf[to].append(from);
        }
        return true;
    });
}

// Every extent of every item.
bool readLocations(QByteArrayView body, HeifFile& file)
{
    if (body.size() < 8)
        return false;
    const int version = uchar(body[0]);
    const int offsetBytes = uchar(body[4]) >> 4;
    const int lengthBytes = uchar(body[4]) & 0x0F;
    const int baseBytes = uchar(body[5]) >> 4;
    const int indexBytes = version >= 1 ? uchar(body[5]) & 0x0F : 0;
    const int idBytes = version < 2 ? 2 : 4;
    qsizetype at = 6;
    const auto field = [&](int bytes) -> std::optional<qint64> {
        if (bytes > 8 || at + bytes > body.size())
            return std::nullopt;
        const qint64 value = bigEndian(body, at, bytes);
        at += bytes;
        return value;
    };
    const std::optional<qint64> count = field(idBytes);
    for (qint64 i = 0; count && i < *count; ++i) {
        const std::optional<qint64> id = field(idBytes);
        const std::optional<qint64> method = version >= 1 ? field(2) : std::optional<qint64>(0);
        const std::optional<qint64> reference = field(2);
        const std::optional<qint64> base = field(baseBytes);
        const std::optional<qint64> extents = field(2);
        // Data in the file or in the metadata: libheif reads no other.
        if (!id || !method || !reference || !base || !extents || (*method & 0x0F) > 1 || *base < 0)
            return false;
        QList<Extent>& kept = file.items[*id].extents;
        for (qint64 e = 0; e < *extents; ++e) {
            const std::optional<qint64> index = field(indexBytes);
            const std::optional<qint64> offset = field(offsetBytes);
            const std::optional<qint64> length = field(lengthBytes);
            if (!index || !offset || !length || *offset < 0 || *length < 0)
                return false;
            kept.append(Extent{(*method & 0x0F) == 1, *base + *offset, *length});
        }
    }
    return bool(count);
}

bool readProperties(QByteArrayView body, HeifFile& file)
{
    return forEachBox(body, [&](QByteArrayView type, QByteArrayView box) {
        if (type == QByteArrayView("ipco")) {
            return forEachBox(box, [&](QByteArrayView propertyType, QByteArrayView property) {
                file.properties.append(QByteArrayView(propertyType.data(), property.data() + property.size()));
                return true;
            });
        }
        if (type != QByteArrayView("ipma"))
            return true;
        if (box.size() < 8)
            return false;
        const int idBytes = box[0] == 0 ? 2 : 4;
        const int indexBytes = (uchar(box[3]) & 1) ? 2 : 1;
        qsizetype at = 8;
        for (qint64 entry = bigEndian(box, 4, 4); entry > 0; --entry) {
            if (at + idBytes + 1 > box.size())
                return false;
            QList<int>& properties = file.items[bigEndian(box, at, idBytes)].properties;
            const int count = uchar(box[at + idBytes]);
            at += idBytes + 1;
            if (at + count * indexBytes > box.size())
                return false;
            for (int i = 0; i < count; ++i, at += indexBytes)
                properties.append(int(bigEndian(box, at, indexBytes) & (indexBytes == 2 ? 0x7FFF : 0x7F)));
        }
        return true;
    });
}

std::optional<HeifFile> heifFileOf(QByteArrayView data)
{
    HeifFile file;
    const bool read = forEachBox(data, [&](QByteArrayView type, QByteArrayView meta) {
        if (type != QByteArrayView("meta"))
            return true;
        return meta.size() >= 4 && forEachBox(meta.sliced(4), [&](QByteArrayView type, QByteArrayView body) {
                   if (type == QByteArrayView("pitm")) {
                       // Its number: two bytes, four from version 1.
                       const int idBytes = body.isEmpty() || body[0] == 0 ? 2 : 4;
                       if (body.size() < 4 + idBytes)
                           return false;
                       file.primary = bigEndian(body, 4, idBytes);
                   }
                   if (type == QByteArrayView("iinf"))
                       return readItemTypes(body, file);
                   if (type == QByteArrayView("iref"))
                       return readReferences(body, file);
                   if (type == QByteArrayView("iloc"))
                       return readLocations(body, file);
                   if (type == QByteArrayView("iprp"))
                       return readProperties(body, file);
                   if (type == QByteArrayView("idat"))
                       file.metadataData = body;
                   return true;
               });
    });
    if (!read)
        return std::nullopt;
    return file;
}

// An item's data, as libheif reads it: its extents one after another.
std::optional<QByteArray> itemData(QByteArrayView data, const HeifFile& file, const Item& item)
{
    QByteArray out;
    for (const Extent& extent : item.extents) {
        const QByteArrayView in = extent.inMetadata ? file.metadataData : data;
        if (extent.offset > in.size() || extent.length > in.size() - extent.offset)
            return std::nullopt;
        out.append(in.sliced(qsizetype(extent.offset), qsizetype(extent.length)));
    }
    return out;
}

// The pixels of the largest picture an HEVC item's parameter sets declare: those of its
// decoder configuration, and any its own data holds, which libheif hands to the decoder after
// them, each behind four bytes of length. None when no parameter set says.
std::optional<qint64> codedPixels(QByteArrayView data, const HeifFile& file, const Item& item)
{
    QByteArrayView configuration;
    for (const int index : item.properties) {
        if (index >= 1 && index <= file.properties.size() && file.properties[index - 1].startsWith("hvcC")) {
            configuration = file.properties[index - 1].sliced(4);
            break;
        }
    }
    if (configuration.size() < 23)
        return std::nullopt;
    std::optional<qint64> largest;
    const auto take = [&](QByteArrayView unit) {
        if (const std::optional<qint64> pixels = sequencePixels(unit))
            largest = std::max(largest.value_or(0), *pixels);
    };
    qsizetype at = 23;
    for (int array = uchar(configuration[22]); array > 0; --array) {
        if (at + 3 > configuration.size())
            return std::nullopt;
        int units = int(bigEndian(configuration, at + 1, 2));
        for (at += 3; units > 0; --units) {
            if (at + 2 > configuration.size())
                return std::nullopt;
            const qsizetype size = qsizetype(bigEndian(configuration, at, 2));
            if (at + 2 + size > configuration.size())
                return std::nullopt;
            take(configuration.sliced(at + 2, size));
            at += 2 + size;
        }
    }
    const std::optional<QByteArray> stream = itemData(data, file, item);
    if (!stream)
        return std::nullopt;
    for (qsizetype unit = 0; unit + 4 <= stream->size();) {
        const qint64 size = bigEndian(*stream, unit, 4);
        if (size > stream->size() - unit - 4)
            return std::nullopt;
        take(QByteArrayView(*stream).sliced(unit + 4, qsizetype(size)));
        unit += 4 + qsizetype(size);
    }
    return largest;
}

// The size a grid's data declares, its first bytes: version, flags (bit 0: four-byte sides),
// rows and columns less one, then width and height.
std::optional<qint64> gridPixels(QByteArrayView data, const HeifFile& file, const Item& grid)
{
    const std::optional<QByteArray> bytes = itemData(data, file, grid);
    if (!bytes || bytes->size() < 4)
        return std::nullopt;
    const int sideBytes = (uchar(bytes->at(1)) & 1) ? 4 : 2;
    if (bytes->size() < 4 + 2 * sideBytes)
        return std::nullopt;
    return bigEndian(*bytes, 4, sideBytes) * bigEndian(*bytes, 4 + sideBytes, sideBytes);
}

// What libheif decodes to make the primary picture: the picture itself, or each tile of its
// grid, and the same for its alpha.
struct Decoding {
    // The pixels of every picture the decoder makes, as their parameter sets declare them.
    qint64 codedPixels = 0;
    // The pictures the decoder makes, the tiles of grids among them: each costs a decode,
    // however few pixels it has.
    qint64 decodes = 0;
    // The pixels of the largest picture a grid is made into, which its own data declares and
    // libheif allocates, whatever size the grid's properties give.
    qint64 largestGrid = 0;
};

// Whether an auxiliary picture is an alpha plane, which libheif decodes with its picture (a
// depth map or a phone's gain map it leaves alone): its first auxC property says so.
bool isAlpha(const HeifFile& file, qint64 id)
{
    static const QList<QByteArrayView> types{"urn:mpeg:avc:2015:auxid:1", "urn:mpeg:hevc:2015:auxid:1",
                                             "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha"};
    for (const int index : file.items.value(id).properties) {
        if (index < 1 || index > file.properties.size() || !file.properties[index - 1].startsWith("auxC"))
            continue;
        // Its type, after the version and flags, ends at a zero byte.
        const QByteArrayView body = file.properties[index - 1].sliced(4);
        const qsizetype end = body.indexOf('\0', 4);
        return end > 4 && types.contains(body.sliced(4, end - 4));
    }
    return false;
}

// None for a file that would make libheif read more data than the file holds, or decode
// anything but HEVC pictures and grids of them.
std::optional<Decoding> decodingOf(QByteArrayView data, const HeifFile& file)
{
    // libheif reads the data of some items (EXIF, XMP) as it opens the file: the extents of all
    // items together are at most the file. Honest files never share data between items.
    qint64 extents = 0;
    for (const Item& item : file.items) {
        for (const Extent& extent : item.extents) {
            extents += extent.length;
            if (extents > data.size())
                return std::nullopt;
        }
    }
    Decoding decoding;
    // It reads a picture's data again each time it decodes it: that is at most the file too.
    qint64 read = 0;
    const auto decode = [&](qint64 id) {
        const auto found = file.items.constFind(id);
        if (found == file.items.cend() || found->type != QByteArrayView("hvc1"))
            return false;
        for (const Extent& extent : found->extents)
            read += extent.length;
        const std::optional<qint64> pixels = read <= data.size() ? codedPixels(data, file, *found) : std::nullopt;
        if (!pixels)
            return false;
        decoding.codedPixels += *pixels;
        ++decoding.decodes;
        return true;
    };
    // A grid is made of coded pictures only: never of other grids, which would multiply the
    // decodes of their tiles, or of itself.
    const auto picture = [&](qint64 id) {
        const auto found = file.items.constFind(id);
        if (found == file.items.cend() || found->type != QByteArrayView("grid"))
            return decode(id);
        const std::optional<qint64> pixels = gridPixels(data, file, *found);
        if (!pixels)
            return false;
        decoding.largestGrid = std::max(decoding.largestGrid, *pixels);
        const QList<qint64> tiles = file.derivedFrom.value(id);
        return std::all_of(tiles.cbegin(), tiles.cend(), decode);
    };
    QList<qint64> alpha = file.auxiliaryOf.value(file.primary);
    alpha.removeIf([&](qint64 id) { return !isAlpha(file, id); });
    if (!picture(file.primary) || !std::all_of(alpha.cbegin(), alpha.cend(), picture))
        return std::nullopt;
    return decoding;
}

}  // namespace

bool isHeif(QByteArrayView data)
{
    if (!fitsInt(data))
        return false;
    initialise();
    if (heif_check_filetype(reinterpret_cast<const uint8_t*>(data.data()), int(data.size())) !=
        heif_filetype_yes_supported)
        return false;
    const std::optional<HeifFile> file = heifFileOf(data);
    return file && !file->av1;
}

std::optional<QImage> decodedImage(const QByteArray& data, qint64 maxBytes)
{
    if (data.isEmpty() || !fitsInt(data))
        return std::nullopt;
    const std::optional<HeifFile> file = heifFileOf(data);
    if (!file || file->av1)
        return std::nullopt;
    const std::optional<Decoding> decoding = decodingOf(data, *file);
    if (!decoding)
        return std::nullopt;
    initialise();
    const std::unique_ptr<heif_context, Release> context(heif_context_alloc());
    if (!context)
        return std::nullopt;
    heif_context_set_maximum_image_size_limit(context.get(), longestSide);
    if (heif_context_read_from_memory_without_copy(context.get(), data.constData(), size_t(data.size()), nullptr).code !=
        heif_error_Ok)
        return std::nullopt;
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok || !primary)
        return std::nullopt;
    const std::unique_ptr<const heif_image_handle, Release> handle(primary);

    // The coded size may exceed the shown one (a crop is applied after decoding): both count.
    const int width = std::max(heif_image_handle_get_width(handle.get()), heif_image_handle_get_ispe_width(handle.get()));
    const int height = std::max(heif_image_handle_get_height(handle.get()), heif_image_handle_get_ispe_height(handle.get()));
    if (width < 1 || height < 1 || std::max(qint64(width) * height, decoding->largestGrid) * 4 > maxBytes ||
        decoding->codedPixels * 4 > maxBytes)
        return std::nullopt;
    // Each tile costs libheif a decode, however few of the picture's pixels it covers: one per
    // tile of the picture and one of its alpha.
    if (decoding->decodes > 2 * std::max<qint64>(1, qint64(width) * height / (minTileSide * minTileSide)))
        return std::nullopt;

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const std::unique_ptr<heif_decoding_options, Release> options(heif_decoding_options_alloc());
    if (!options)
        return std::nullopt;
    // Rotation and mirroring stay on (the default); ten-bit photos come out in eight.
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())
                .code != heif_error_Ok ||
        !decoded)
        return std::nullopt;
    const std::unique_ptr<const heif_image, Release> image(decoded);
    if (heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
        return std::nullopt;
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int outWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int outHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || outWidth < 1 || outHeight < 1 || stride < outWidth * (alpha ? 4 : 3))
        return std::nullopt;
    const QImage::Format format = !alpha ? QImage::Format_RGB888
                                  : heif_image_handle_is_premultiplied_alpha(handle.get())
                                      ? QImage::Format_RGBA8888_Premultiplied
                                      : QImage::Format_RGBA8888;
    // The plane belongs to libheif's image, released on return: the picture takes a copy.
    QImage picture = QImage(pixels, outWidth, outHeight, stride, format).copy();
    if (picture.isNull())
        return std::nullopt;
    return picture;
}

}  // namespace HeifImages
