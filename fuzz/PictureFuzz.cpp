// Feeds arbitrary bytes to the decoder of outside pictures (artwork, photos, sprite sheets):
// how it tells the formats apart, how it walks each format's parts and decides which to keep,
// and the checks it makes before the reader decodes what is left.

#include "platform/OutsideImages.h"
#include "platform/PictureParts.h"

#include <QByteArray>
#include <QImageReader>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every picture decodes within a few megabytes, so an input runs in a moment; the readers'
    // warnings about damaged files would drown the fuzzer's own output.
    QImageReader::setAllocationLimit(4);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)OutsideImages::formatOf(bytes);
    using OutsideImages::Format;
    for (const Format format : {Format::png, Format::jpeg, Format::gif, Format::webp}) {
        const std::optional<OutsideImages::Parts> parts = OutsideImages::pictureParts(bytes, format, 512 * 512);
        if (!parts)
            continue;
        // What was kept is read again as it was read the first time: kept whole, and nothing more.
        const std::optional<OutsideImages::Parts> again = OutsideImages::pictureParts(parts->bytes, format, 512 * 512);
        if (!again || again->bytes != parts->bytes || again->heldBytes != parts->heldBytes)
            std::abort();
    }
    OutsideImages::Limits limits;
    limits.maxSide = 64;
    limits.maxStoredPixels = 512 * 512;
    limits.heif = true;
    (void)OutsideImages::decode(bytes, limits);
    return 0;
}
