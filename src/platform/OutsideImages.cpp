#include "platform/OutsideImages.h"

#include "platform/PictureDecoderMessages.h"
#include "platform/PictureDecoders.h"

#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(tarvPictures, "tarv.pictures")

namespace OutsideImages {

namespace {

const char* reasonOf(PictureDecoders::Failure failure)
{
    switch (failure) {
    case PictureDecoders::Failure::tooLarge:
        return "too large";
    case PictureDecoders::Failure::tookTooLong:
        return "took too long";
    case PictureDecoders::Failure::decoderFailed:
    case PictureDecoders::Failure::none:
    case PictureDecoders::Failure::stopped:
        break;
    }
    return "the decoder failed";
}

}  // namespace

qint64 decoderMemory(const Limits& limits, qint64 fileBytes)
{
    // Room for the readers' own state; the file, which a reader may copy once; and ten bytes
    // for each pixel the header may claim: the decoded picture and its scaled or converted
    // copy, a progressive JPEG's coefficients (two bytes for each of three samples), or
    // libheif's planes beside its interleaved picture.
    constexpr qint64 readers = qint64(64) << 20;
    const qint64 wanted = readers + 2 * fileBytes + 10 * std::max<qint64>(limits.maxStoredPixels, 0);
    return std::min<qint64>(wanted, PictureDecoderMessages::maxMemoryBytes);
}

std::optional<QImage> decode(const QByteArray& bytes, const Limits& limits, const std::atomic<bool>* stop)
{
    const std::optional<Format> format = formatOf(bytes);
    if (!format || (*format == Format::heif && !limits.heif) || limits.maxSide < 1 || limits.maxStoredPixels < 1)
        return std::nullopt;
    PictureDecoderMessages::Request request;
    request.format = std::uint32_t(*format);
    request.maxSide = limits.maxSide;
    request.upright = limits.upright ? 1 : 0;
    request.maxStoredPixels = limits.maxStoredPixels;
    request.memoryBytes = decoderMemory(limits, bytes.size());
    PictureDecoders::Result result = PictureDecoders::shared().decode(bytes, request, limits.deadline, stop);
    // The decoder's word on what it made is checked as well.
    if (result.image &&
        (std::max(result.image->width(), result.image->height()) > limits.maxSide ||
         !withinPixels(result.image->size(), limits.maxStoredPixels))) {
        result = {std::nullopt, PictureDecoders::Failure::decoderFailed};
    }
    if (result.image)
        return result.image;
    if (result.failure != PictureDecoders::Failure::stopped)
        qCWarning(tarvPictures, "A picture of %lld bytes is left out: %s", qlonglong(bytes.size()),
                  reasonOf(result.failure));
    return std::nullopt;
}

}  // namespace OutsideImages
