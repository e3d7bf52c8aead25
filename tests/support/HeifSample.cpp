#include "support/HeifSample.h"

#include <cstring>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

struct Release {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_image* image) const { heif_image_release(image); }
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
    void operator()(heif_encoding_options* options) const { heif_encoding_options_free(options); }
};

heif_error appendTo(heif_context*, const void* data, size_t size, void* userdata)
{
    static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

}  // namespace

namespace {

std::optional<QByteArray> encoded(const QImage& image, heif_orientation orientation, heif_compression_format codec)
{
    // Matched init and deinit: the library counts them, and the code under test keeps its own.
    struct Library {
        Library() { heif_init(nullptr); }
        ~Library() { heif_deinit(); }
    } library;
    if (!heif_have_encoder_for_format(codec))
        return std::nullopt;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    heif_image* raw = nullptr;
    if (heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &raw).code !=
        heif_error_Ok)
        return std::nullopt;
    const std::unique_ptr<heif_image, Release> picture(raw);
    if (heif_image_add_plane(picture.get(), heif_channel_interleaved, rgb.width(), rgb.height(), 8).code != heif_error_Ok)
        return std::nullopt;
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + qsizetype(y) * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);

    const std::unique_ptr<heif_context, Release> context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), codec, &rawEncoder).code != heif_error_Ok)
        return std::nullopt;
    const std::unique_ptr<heif_encoder, Release> encoder(rawEncoder);
    heif_encoder_set_lossy_quality(encoder.get(), 90);
    const std::unique_ptr<heif_encoding_options, Release> options(heif_encoding_options_alloc());
    // Written as the file's rotation and mirror properties, as a phone stores a turned photo.
    options->image_orientation = orientation;
#if defined(__SANITIZE_ADDRESS__)
    // x265 keeps about a kilobyte of every encoder it opens; that is the library's, not ours.
    const __lsan::ScopedDisabler x265Keeps;
#endif
    if (heif_context_encode_image(context.get(), picture.get(), encoder.get(), options.get(), nullptr).code !=
        heif_error_Ok)
        return std::nullopt;
    QByteArray bytes;
    heif_writer writer{1, appendTo};
    if (heif_context_write(context.get(), &writer, &bytes).code != heif_error_Ok)
        return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<QByteArray> heicOf(const QImage& image, heif_orientation orientation)
{
    return encoded(image, orientation, heif_compression_HEVC);
}

std::optional<QByteArray> avifOf(const QImage& image)
{
    return encoded(image, heif_orientation_normal, heif_compression_AV1);
}
