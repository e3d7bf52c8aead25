// Feeds arbitrary bytes to the receiving side: the stream parser (split at an arbitrary
// point, so pieces cross calls) and the envelope decoder directly.

#include "link/Frame.h"
#include "link/FrameParser.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto n = qsizetype(size);

    TarvUSB::FrameParser parser;
    const qsizetype split = n > 0 ? data[0] % (n + 1) : 0;
    for (const auto& event : parser.feed(bytes, split))
        (void)event;
    for (const auto& event : parser.feed(bytes + split, n - split)) {
        if (const auto* frame = std::get_if<TarvUSB::Frame>(&event)) {
            // Whatever decodes must encode again to the same frame.
            try {
                if (!(TarvUSB::Frame::decode(TarvUSB::Frame::encode(*frame)) == *frame))
                    __builtin_trap();
            } catch (const TarvUSB::MsgpackError&) {
                __builtin_trap();
            }
        }
    }
    if (parser.pending().size() > TarvUSB::FrameParser::maxFrameBytes)
        __builtin_trap();

    try {
        (void)TarvUSB::Frame::decode(QByteArray::fromRawData(bytes, n));
    } catch (const TarvUSB::MsgpackError&) {
    }
    return 0;
}
