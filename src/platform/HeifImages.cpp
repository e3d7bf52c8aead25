#include "platform/HeifImages.h"

#include <libheif/heif.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace HeifImages {

namespace {

// Longer than any camera's side (JPEG stops at 65,500); it also bounds the parts of a file
// that are not checked here, such as grid tiles, thumbnails and alpha planes.
constexpr int longestSide = 65535;

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

}  // namespace

bool isHeif(QByteArrayView data)
{
    if (!fitsInt(data))
        return false;
    initialise();
    return heif_check_filetype(reinterpret_cast<const uint8_t*>(data.data()), int(data.size())) ==
           heif_filetype_yes_supported;
}

std::optional<QImage> decodedImage(const QByteArray& data, qint64 maxBytes)
{
    if (data.isEmpty() || !fitsInt(data))
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
    if (width < 1 || height < 1 || qint64(width) * height * 4 > maxBytes)
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
