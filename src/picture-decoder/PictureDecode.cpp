#include "picture-decoder/PictureDecode.h"

#include "platform/OutsideImages.h"

#include <libheif/heif.h>

#include <QBuffer>
#include <QImageReader>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>

namespace PictureDecode {

namespace {

using PictureDecoderMessages::Request;
using PictureDecoderMessages::Status;
using OutsideImages::Format;
using OutsideImages::withinPixels;

// Longer than any camera's side (JPEG stops at 65,500).
constexpr int longestSide = 65535;

bool outOfMemory = false;
// libheif's HEVC decoder: HEIF pictures coded otherwise (AVIF) are not decoded.
const char* hevcDecoder = nullptr;

struct Release {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(const heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(const heif_image* image) const { heif_image_release(image); }
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

const char* readerFormat(Format format)
{
    switch (format) {
    case Format::png:
        return "png";
    case Format::jpeg:
        return "jpeg";
    case Format::webp:
        return "webp";
    case Format::gif:
        return "gif";
    case Format::bmp:
        return "bmp";
    case Format::heif:
        break;
    }
    return nullptr;
}

Outcome failed()
{
    return {outOfMemory ? Status::tooLarge : Status::failed, {}};
}

Outcome tooLarge()
{
    return {Status::tooLarge, {}};
}

// Fitted within the request's longest side, and without a colour table.
Outcome finished(QImage image, const Request& request, bool scale)
{
    if (image.isNull())
        return failed();
    const std::optional<QSize> fitted = OutsideImages::fittedSize(image.size(), request.maxSide);
    if (!fitted)
        return failed();
    if (scale && *fitted != image.size())
        image = image.scaled(*fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.isNull())
        return failed();
    if (image.colorCount() > 0 || image.depth() < 8)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return failed();
    return {Status::decoded, std::move(image)};
}

Outcome decodeHeif(const Request& request, const QByteArray& bytes)
{
    const std::unique_ptr<heif_context, Release> context(heif_context_alloc());
    if (!context)
        return failed();
    heif_context_set_maximum_image_size_limit(context.get(), longestSide);
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(), size_t(bytes.size()), nullptr)
            .code != heif_error_Ok)
        return failed();
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok || !primary)
        return failed();
    const std::unique_ptr<const heif_image_handle, Release> handle(primary);
    // The coded size may exceed the shown one (a crop is applied after decoding): both count.
    const int width = std::max(heif_image_handle_get_width(handle.get()), heif_image_handle_get_ispe_width(handle.get()));
    const int height =
        std::max(heif_image_handle_get_height(handle.get()), heif_image_handle_get_ispe_height(handle.get()));
    if (!withinPixels(QSize(width, height), request.maxStoredPixels))
        return tooLarge();
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const std::unique_ptr<heif_decoding_options, Release> options(heif_decoding_options_alloc());
    if (!options)
        return failed();
    // Turned and mirrored as marked (libheif's default); ten-bit photos come out in eight.
    options->convert_hdr_to_8bit = 1;
    options->decoder_id = hevcDecoder;
    heif_image* decoded = nullptr;
    if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())
                .code != heif_error_Ok ||
        !decoded)
        return failed();
    const std::unique_ptr<const heif_image, Release> image(decoded);
    if (heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
        return failed();
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int outWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int outHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || outWidth < 1 || outHeight < 1 || stride < outWidth * (alpha ? 4 : 3))
        return failed();
    const QImage::Format format = !alpha ? QImage::Format_RGB888
                                  : heif_image_handle_is_premultiplied_alpha(handle.get())
                                      ? QImage::Format_RGBA8888_Premultiplied
                                      : QImage::Format_RGBA8888;
    // The plane is libheif's, released on return: the scaled picture, or a copy, outlives it.
    const QImage plane(pixels, outWidth, outHeight, stride, format);
    const std::optional<QSize> fitted = OutsideImages::fittedSize(plane.size(), request.maxSide);
    if (!fitted)
        return failed();
    return finished(*fitted == plane.size() ? plane.copy() : plane.scaled(*fitted, Qt::IgnoreAspectRatio,
                                                                          Qt::SmoothTransformation),
                    request, false);
}

Outcome decodeWithReader(const Request& request, const QByteArray& bytes, Format format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return failed();
    // Only the reader of the format the bytes announce ever sees them.
    QImageReader reader(&buffer, readerFormat(format));
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(request.upright != 0);
    // The stored size is the one before any turn; a turn keeps the longer side.
    const QSize stored = reader.size();
    if (!stored.isValid())
        return failed();
    if (!withinPixels(stored, request.maxStoredPixels))
        return tooLarge();
    const std::optional<QSize> fitted = OutsideImages::fittedSize(stored, request.maxSide);
    if (!fitted)
        return failed();
    // A format that cannot decode at a smaller size is scaled by the reader once it is read.
    if (*fitted != stored)
        reader.setScaledSize(*fitted);
    QImage image;
    if (!reader.read(&image))
        return failed();
    // A reader may hand back more than its header said (a GIF draws its first frame on the
    // larger screen it names): that is scaled down as well.
    if (!withinPixels(image.size(), request.maxStoredPixels))
        return tooLarge();
    return finished(std::move(image), request, true);
}

}  // namespace

void loadReaders()
{
    for (const Format format : {Format::png, Format::jpeg, Format::webp, Format::gif, Format::bmp}) {
        QBuffer empty;
        empty.open(QIODevice::ReadOnly);
        QImageReader reader(&empty, readerFormat(format));
        reader.setAutoDetectImageFormat(false);
        (void)reader.canRead();
    }
    heif_init(nullptr);
    const heif_decoder_descriptor* hevc = nullptr;
    if (heif_get_decoder_descriptors(heif_compression_HEVC, &hevc, 1) == 1)
        hevcDecoder = heif_decoder_descriptor_get_id_name(hevc);
    // Scaling and converting large pictures spread over the pool's threads.
    (void)QThreadPool::globalInstance()->maxThreadCount();
    // Tiny pictures take the paths that look up what their first use needs.
    QImage probe(4, 4, QImage::Format_ARGB32);
    probe.fill(Qt::red);
    (void)probe.scaled(2, 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB888);
}

Outcome decode(const Request& request, const QByteArray& bytes)
{
    outOfMemory = false;
    if (request.format > std::uint32_t(Format::heif) || request.maxSide < 1 || request.maxStoredPixels < 1)
        return {Status::failed, {}};
    const auto format = Format(request.format);
    try {
        return format == Format::heif ? decodeHeif(request, bytes) : decodeWithReader(request, bytes, format);
    } catch (const std::bad_alloc&) {
        return tooLarge();
    }
}

void noteMessage(const QString& message)
{
    if (message.contains(QLatin1String("allocation limit")) || message.contains(QLatin1String("out of memory")) ||
        message.contains(QLatin1String("Insufficient memory")) ||
        message.contains(QLatin1String("Out of memory")))
        outOfMemory = true;
}

}  // namespace PictureDecode
