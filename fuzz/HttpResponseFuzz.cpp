// Feeds arbitrary bytes to the HTTP response parser, which reads whatever a server or a proxy
// sends, once whole and once cut into reads the input itself chooses, and checks that both
// come out the same, within the head's and the body's limits.
//
// The first byte picks the body's cap and whether the response answers a CONNECT; the next
// eight pick where the reads are cut.

#include "platform/HttpResponseParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

struct Result {
    HttpResponseParser::Stage stage;
    int status;
    QByteArray body;
    int failure;
    qsizetype taken;
    bool keeps;
    bool operator==(const Result&) const = default;
};

Result run(QByteArrayView bytes, qint64 maxBody, HttpResponseParser::Answering answering, std::uint64_t cuts,
           bool closes)
{
    HttpResponseParser parser(maxBody, answering);
    qsizetype taken = 0;
    while (!bytes.isEmpty()) {
        // Reads of 1 to 256 bytes as the cuts say, or the rest at once without cuts.
        const qsizetype size = cuts ? std::min<qsizetype>(bytes.size(), qsizetype(cuts & 0xff) + 1) : bytes.size();
        cuts = (cuts >> 8) | (cuts << 56);
        QByteArrayView piece = bytes.first(size);
        bytes = bytes.sliced(size);
        while (!piece.isEmpty()) {
            const qsizetype n = parser.feed(piece);
            if (n < 0 || n > piece.size())
                std::abort();
            if (n == 0)
                break;
            taken += n;
            piece = piece.sliced(n);
        }
        const bool over = parser.stage() == HttpResponseParser::Stage::complete ||
                          parser.stage() == HttpResponseParser::Stage::failed;
        if (over && parser.feed(QByteArrayView("x")) != 0)
            std::abort();
    }
    if (closes)
        parser.closed();
    if (parser.headBytes() > HttpResponseParser::maxHeadBytes || parser.body().size() > maxBody)
        std::abort();
    if (parser.keepsConnection() && parser.stage() != HttpResponseParser::Stage::complete)
        std::abort();
    // What a failed response took, and of its body, goes nowhere.
    const bool failed = parser.failure().has_value();
    return {parser.stage(),
            parser.status(),
            failed ? QByteArray() : parser.body(),
            failed ? int(parser.failure()->kind) : -1,
            failed ? -1 : taken,
            parser.keepsConnection()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 9)
        return 0;
    const qint64 maxBody = qint64(1) << (data[0] & 0x1f);
    const auto answering = (data[0] & 0x20) ? HttpResponseParser::Answering::connect : HttpResponseParser::Answering::get;
    const bool closes = data[0] & 0x40;
    std::uint64_t cuts = 0;
    for (int i = 1; i < 9; ++i)
        cuts = (cuts << 8) | data[i];
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 9), qsizetype(size - 9));
    if (!(run(bytes, maxBody, answering, 0, closes) == run(bytes, maxBody, answering, cuts | 1, closes)))
        std::abort();
    return 0;
}
