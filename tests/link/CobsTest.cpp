#include "link/Cobs.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <random>

using namespace TarvUSB;

namespace {

QString decodeError(const QByteArray& data)
{
    try {
        cobsDecode(data);
    } catch (CobsError e) {
        return cobsErrorText(e);
    }
    return QStringLiteral("no error");
}

QByteArray nonZero(int n)
{
    QByteArray out(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        out[i] = char(1 + i % 255);
    return out;
}

}  // namespace

TEST(Cobs, SmallExamples)
{
    EXPECT_EQ(cobsEncode(QByteArray()), bytes({0x01}));
    EXPECT_EQ(cobsEncode(bytes({0x00})), bytes({0x01, 0x01}));
    EXPECT_EQ(cobsEncode(bytes({0x11, 0x22, 0x00, 0x33})), bytes({0x03, 0x11, 0x22, 0x02, 0x33}));
    EXPECT_EQ(cobsEncode(bytes({0x11, 0x00})), bytes({0x02, 0x11, 0x01}));
    EXPECT_EQ(cobsDecode(bytes({0x03, 0x11, 0x22, 0x02, 0x33})), bytes({0x11, 0x22, 0x00, 0x33}));
    EXPECT_EQ(cobsDecode(bytes({0x01, 0x01})), bytes({0x00}));
    EXPECT_EQ(cobsDecode(QByteArray()), QByteArray());
}

TEST(Cobs, FullGroups)
{
    const QByteArray data254 = nonZero(254);
    const QByteArray enc254 = cobsEncode(data254);
    ASSERT_EQ(enc254.size(), 256);
    EXPECT_EQ(std::uint8_t(enc254[0]), 0xFF);
    EXPECT_EQ(enc254.back(), 0x01);
    EXPECT_EQ(cobsDecode(enc254), data254);
    EXPECT_EQ(cobsDecode(enc254.chopped(1)), data254);

    const QByteArray data255 = nonZero(255);
    const QByteArray enc255 = cobsEncode(data255);
    ASSERT_EQ(enc255.size(), 257);
    EXPECT_EQ(std::uint8_t(enc255[255]), 0x02);
    EXPECT_EQ(enc255.back(), data255.back());
    EXPECT_EQ(cobsDecode(enc255), data255);
}

TEST(Cobs, DecodingFailures)
{
    EXPECT_EQ(decodeError(bytes({0x05, 0x11, 0x22})), QStringLiteral("overhead byte points past end of frame"));
    EXPECT_EQ(decodeError(bytes({0x02, 0x11, 0x00, 0x11})), QStringLiteral("0x00 inside a COBS frame"));
    EXPECT_EQ(decodeError(bytes({0x00})), QStringLiteral("0x00 inside a COBS frame"));
    EXPECT_EQ(cobsErrorText(CobsError::truncated), QStringLiteral("truncated frame"));
}

TEST(Cobs, RandomRoundTripsAndSizes)
{
    std::mt19937 rng(42);
    for (int round = 0; round < 500; ++round) {
        const int n = int(rng() % 1200);
        const int zeroEvery = 1 + int(rng() % 600);
        QByteArray data(n, Qt::Uninitialized);
        for (int i = 0; i < n; ++i)
            data[i] = rng() % zeroEvery == 0 ? '\0' : char(1 + rng() % 255);
        const QByteArray enc = cobsEncode(data);
        ASSERT_FALSE(enc.contains('\0'));
        ASSERT_LE(enc.size(), n + (n + 253) / 254 + 1);
        ASSERT_EQ(cobsEncodedSize(data), enc.size());
        ASSERT_EQ(cobsDecode(enc), data);
    }
}
