// Feeds arbitrary bytes to what Tarv itself does with an outside picture before and after its
// decoder process: telling the format by the first bytes, the size it asks for, and taking the
// decoder's reply and pixels (a reply made of the input, over a memfd of the input's size).
// The decoding itself runs in the limited process, not here. Run with -malloc_limit_mb and
// -timeout (scripts/fuzz): the work here must stay bounded by the input.

#include "platform/OutsideImages.h"
#include "platform/PictureDecoderMessages.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)OutsideImages::formatOf(bytes);
    if (size < sizeof(PictureDecoderMessages::Reply) + 4)
        return 0;
    std::int32_t side = 0;
    std::memcpy(&side, data, sizeof(side));
    const std::optional<QSize> fitted = OutsideImages::fittedSize(QSize(side, side / 3 + 1), 2048);
    if (fitted && (fitted->width() > 2048 || fitted->height() > 2048))
        std::abort();
    PictureDecoderMessages::Reply reply;
    std::memcpy(&reply, data + 4, sizeof(reply));
    reply.status = PictureDecoderMessages::Status::decoded;
    const int fd = PictureDecoderMessages::sealedCopy(bytes);
    if (fd < 0)
        return 0;
    // Whatever the reply claims, the picture taken is within the memfd it came with.
    if (const std::optional<QImage> image = PictureDecoderMessages::mappedImage(reply, fd)) {
        if (image->sizeInBytes() > qsizetype(size))
            std::abort();
        (void)image->pixel(image->width() - 1, image->height() - 1);
    }
    return 0;
}
