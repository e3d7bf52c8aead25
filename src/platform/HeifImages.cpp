#include "platform/HeifImages.h"

#include <libheif/heif.h>

#include <QHash>
#include <QList>

#include <algorithm>
#include <climits>
#include <memory>

namespace HeifImages {

namespace {

// Longer than any camera's side (JPEG stops at 65,500); it also bounds the parts of a file
// that are not checked here, such as grid tiles, thumbnails and alpha planes.
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

// What the items of a HEIF file make libheif decode besides the picture's own pixels.
struct Items {
    // Pictures coded in AV1: an AVIF picture, whatever brands its file names.
    bool av1 = false;
    // Overlays, each drawn from whole pictures.
    bool overlay = false;
    // The pictures that derived ones are made from: the tiles of a grid, mostly.
    qint64 derivedInputs = 0;
    // The pixels of the largest picture a grid is made into, which its own data declares and
    // libheif allocates, whatever size the grid's properties give.
    qint64 largestGrid = 0;
};

// Where an item's data is: in the file, or in the metadata's own data box.
struct Location {
    bool inMetadata = false;
    qint64 offset = 0;
    qint64 length = 0;
};

// The parts of the metadata box that Items is read from.
struct Metadata {
    QList<qint64> grids;
    QHash<qint64, Location> locations;
    QByteArrayView data;
};

bool readItemTypes(QByteArrayView body, Items& items, Metadata& metadata)
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
               items.av1 = items.av1 || itemType == QByteArrayView("av01");
               items.overlay = items.overlay || itemType == QByteArrayView("iovl");
               if (itemType == QByteArrayView("grid"))
                   metadata.grids.append(bigEndian(infe, 4, idBytes));
               return true;
           });
}

bool readReferences(QByteArrayView body, Items& items)
{
    if (body.size() < 4)
        return false;
    const int idBytes = body[0] == 0 ? 2 : 4;
    return forEachBox(body.sliced(4), [&](QByteArrayView type, QByteArrayView reference) {
        if (reference.size() < idBytes + 2)
            return false;
        if (type == QByteArrayView("dimg"))
            items.derivedInputs += bigEndian(reference, idBytes, 2);
        return true;
    });
}

// The first extent of every item.
bool readLocations(QByteArrayView body, Metadata& metadata)
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
        if (!id || !method || !reference || !base || !extents)
            return false;
        for (qint64 e = 0; e < *extents; ++e) {
            const std::optional<qint64> index = field(indexBytes);
            const std::optional<qint64> offset = field(offsetBytes);
            const std::optional<qint64> length = field(lengthBytes);
            if (!index || !offset || !length)
                return false;
            if (e == 0)
                metadata.locations.insert(*id, Location{(*method & 0x0F) == 1, *base + *offset, *length});
        }
    }
    return bool(count);
}

// The size a grid's data declares, its first bytes: version, flags (bit 0: four-byte sides),
// rows and columns less one, then width and height.
std::optional<qint64> gridPixels(QByteArrayView file, const Metadata& metadata, qint64 id)
{
    const auto found = metadata.locations.constFind(id);
    if (found == metadata.locations.cend())
        return std::nullopt;
    const QByteArrayView in = found->inMetadata ? metadata.data : file;
    if (found->offset < 0 || found->offset + 4 > in.size())
        return std::nullopt;
    const QByteArrayView grid = in.sliced(qsizetype(found->offset));
    const int sideBytes = (uchar(grid[1]) & 1) ? 4 : 2;
    if (grid.size() < 4 + 2 * sideBytes)
        return std::nullopt;
    return bigEndian(grid, 4, sideBytes) * bigEndian(grid, 4 + sideBytes, sideBytes);
}

std::optional<Items> itemsOf(QByteArrayView data)
{
    Items items;
    Metadata metadata;
    const bool read = forEachBox(data, [&](QByteArrayView type, QByteArrayView meta) {
        if (type != QByteArrayView("meta"))
            return true;
        return meta.size() >= 4 && forEachBox(meta.sliced(4), [&](QByteArrayView type, QByteArrayView body) {
                   if (type == QByteArrayView("iinf"))
                       return readItemTypes(body, items, metadata);
                   if (type == QByteArrayView("iref"))
                       return readReferences(body, items);
                   if (type == QByteArrayView("iloc"))
                       return readLocations(body, metadata);
                   if (type == QByteArrayView("idat"))
                       metadata.data = body;
                   return true;
               });
    });
    if (!read)
        return std::nullopt;
    for (const qint64 grid : std::as_const(metadata.grids)) {
        const std::optional<qint64> pixels = gridPixels(data, metadata, grid);
        if (!pixels)
            return std::nullopt;
        items.largestGrid = std::max(items.largestGrid, *pixels);
    }
    return items;
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
    const std::optional<Items> items = itemsOf(data);
    return items && !items->av1;
}

std::optional<QImage> decodedImage(const QByteArray& data, qint64 maxBytes)
{
    if (data.isEmpty() || !fitsInt(data))
        return std::nullopt;
    const std::optional<Items> items = itemsOf(data);
    if (!items || items->av1 || items->overlay)
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
    if (width < 1 || height < 1 || std::max(qint64(width) * height, items->largestGrid) * 4 > maxBytes)
        return std::nullopt;
    // Each tile costs libheif a decode, however few of the picture's pixels it covers.
    if (items->derivedInputs > std::max<qint64>(1, qint64(width) * height / (minTileSide * minTileSide)))
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
