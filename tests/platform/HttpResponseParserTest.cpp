// The response parser without a socket: what it makes of a response may not depend on how the
// bytes were cut into reads, and it takes nothing past its response.

#include "platform/HttpResponseParser.h"

#include <gtest/gtest.h>

#include <variant>

namespace {

using Parser = HttpResponseParser;

struct Result {
    Parser::Stage stage;
    int status;
    QList<Parser::Header> headers;
    QByteArray body;
    std::optional<Parser::Failure::Kind> failure;
    qsizetype taken;
    bool keeps;

    bool operator==(const Result&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Result& r)
{
    return out << "stage " << int(r.stage) << " status " << r.status << " body " << r.body.size() << " failure "
               << (r.failure ? int(*r.failure) : -1) << " taken " << r.taken << " keeps " << r.keeps;
}

struct Sample {
    QByteArray bytes;
    // What it makes of them: complete with this body, or the failure.
    std::variant<QByteArray, Parser::Failure::Kind> expected;
    // The connection ends after the bytes.
    bool closes = false;
    qint64 maxBody = 1024;
    Parser::Answering answering = Parser::Answering::get;
};

// Feeds each piece as a reader would: again after a head, until the parser takes no more.
Result run(const Sample& sample, const QList<QByteArrayView>& pieces)
{
    Parser parser(sample.maxBody, sample.answering);
    qsizetype taken = 0;
    for (QByteArrayView piece : pieces) {
        while (!piece.isEmpty()) {
            const qsizetype n = parser.feed(piece);
            EXPECT_LE(n, piece.size());
            if (n == 0)
                break;
            taken += n;
            piece = piece.sliced(n);
        }
    }
    if (sample.closes)
        parser.closed();
    EXPECT_LE(parser.headBytes(), Parser::maxHeadBytes);
    EXPECT_LE(parser.body().size(), sample.maxBody);
    // What a failed response took, and of its body, goes nowhere.
    return {parser.stage(),
            parser.status(),
            parser.headers(),
            parser.failure() ? QByteArray() : parser.body(),
            parser.failure() ? std::optional(parser.failure()->kind) : std::nullopt,
            parser.failure() ? -1 : taken,
            parser.keepsConnection()};
}

QByteArray head(qsizetype size)
{
    const QByteArray start = "HTTP/1.1 200 OK\r\nX: ";
    return start + QByteArray(size - start.size() - 4, 'a') + "\r\n\r\n";
}

} // namespace

// Every response, cut at every place into two reads and into reads of one byte, comes out as
// it does in one read.
TEST(HttpResponseParserTest, AResponseIsTheSameHoweverItsBytesAreCut)
{
    const QByteArray next = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nnext";
    using enum Parser::Failure::Kind;
    const Sample samples[] = {
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Folded: a\r\n b\r\n\r\nhello" + next,
         "hello"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n6;ext=1\r\n{\"v\": \r\n3\n4.5\n1\r\n}\r\n0\r\n"
         "X-Trailer: t\r\n\r\n" + next,
         "{\"v\": 4.5}"},
        {"HTTP/1.1 200 OK\nContent-Length: 2\n\nokHTTP/1.1 ...", "ok"},
        {"HTTP/1.1 200 OK\r\nConnection: keep-alive, close\r\n\r\nuntil the end", "until the end", true},
        {"HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n1" + next, "1"},
        {"HTTP/1.1 204 No Content\r\n\r\n" + next, ""},
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n" + next,
         "abc"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5, 5\r\n\r\n12", truncated, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\n12345", malformed},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcd\r\n", malformed},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0x3\r\nabc\r\n", malformed},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n400\r\n" + QByteArray(0x400, 'x') +
             "\r\n1\r\ny\r\n0\r\n\r\n",
         bodyTooLarge},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1025\r\n\r\n", bodyTooLarge},
        {"HTTP/1.1 101 Switching Protocols\r\n\r\n", malformed},
        {"HTTP/2 200\r\n\r\n", malformed},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", truncated, true},
        {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n", "", false, 0,
         Parser::Answering::connect},
        {"HTTP/1.1 200 Connection established\r\n\r\n\x16\x03\x01", "", false, 0, Parser::Answering::connect},
        // The head's limit, exactly and one past it; interim answers and trailers count.
        {head(Parser::maxHeadBytes) + "rest", "rest", true},
        {head(Parser::maxHeadBytes + 1), headTooLarge},
        {"HTTP/1.1 100 Continue\r\n\r\n" + head(Parser::maxHeadBytes - 24), headTooLarge},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX: " + QByteArray(Parser::maxHeadBytes, 't'),
         headTooLarge},
    };
    for (const Sample& sample : samples) {
        const Result whole = run(sample, {sample.bytes});
        const std::string name = sample.bytes.left(60).toPercentEncoding().toStdString();
        if (const auto* body = std::get_if<QByteArray>(&sample.expected)) {
            EXPECT_EQ(whole.stage, Parser::Stage::complete) << name;
            EXPECT_EQ(whole.body, *body) << name;
        } else {
            EXPECT_EQ(whole.failure, std::get<Parser::Failure::Kind>(sample.expected)) << name;
        }
        QList<QByteArrayView> bytes;
        for (qsizetype i = 0; i < sample.bytes.size(); ++i)
            bytes.append(QByteArrayView(sample.bytes).sliced(i, 1));
        EXPECT_EQ(run(sample, bytes), whole) << name;
        // Cutting a 64 KB head at every place takes long and finds nothing the others miss.
        const qsizetype step = sample.bytes.size() > 4096 ? 97 : 1;
        for (qsizetype cut = 0; cut <= sample.bytes.size(); cut += step) {
            const QByteArrayView all(sample.bytes);
            ASSERT_EQ(run(sample, {all.first(cut), all.sliced(cut)}), whole) << name << " cut at " << cut;
        }
    }
}

// What the next response on a connection may follow: only a response framed by its length or
// its chunks, in HTTP/1.1, that no one asked to close, and never one framed both ways.
TEST(HttpResponseParserTest, OnlyAFramedResponseLeavesItsConnectionForTheNext)
{
    const std::pair<QByteArray, bool> cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", true},
        {"HTTP/1.1 204 No Content\r\n\r\n", true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: Close\r\n\r\nok", false},
        {"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nok", false},
    };
    for (const auto& [bytes, keeps] : cases) {
        Parser parser(1024);
        parser.feed(bytes);
        parser.feed(bytes.mid(parser.headBytes()));
        EXPECT_EQ(parser.keepsConnection(), keeps) << bytes.toStdString();
    }
}
