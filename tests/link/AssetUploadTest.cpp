#include "link/AssetUpload.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

using namespace TarvUSB;

namespace {

QByteArray pixels(qsizetype n)
{
    QByteArray out(n, Qt::Uninitialized);
    std::mt19937 rng(7);
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char(rng());
    return out;
}

QList<std::uint16_t> seqsFrom(std::uint16_t first, qsizetype count)
{
    QList<std::uint16_t> seqs;
    for (qsizetype i = 0; i < count; ++i)
        seqs.append(std::uint16_t(first + i));
    return seqs;
}

std::uint32_t zlibCrc(const QByteArray& b)
{
    return std::uint32_t(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(b.constData()), uInt(b.size())));
}

}  // namespace

TEST(AssetUpload, FullScreenImage)
{
    const QByteArray data = pixels(480 * 320 * 2);
    const AssetProperties asset{2, 480, 320, 4096, false};
    const QList<Frame> frames = makeAssetUpload(data, asset, seqsFrom(100, 77));
    ASSERT_EQ(frames.size(), 77);

    const auto* begin = frames.first().get<AssetBeginPayload>();
    ASSERT_TRUE(begin);
    EXPECT_EQ(*begin, (AssetBeginPayload{2, 307200, QStringLiteral("rgb565le:480x320")}));
    QByteArray joined;
    for (qsizetype i = 1; i <= 75; ++i) {
        const auto* chunk = frames[i].get<AssetChunkPayload>();
        ASSERT_TRUE(chunk);
        EXPECT_EQ(chunk->id, 2u);
        EXPECT_EQ(chunk->offset, std::uint32_t((i - 1) * 4096));
        EXPECT_EQ(chunk->data.size(), 4096);
        joined += chunk->data;
    }
    EXPECT_EQ(joined, data);
    const auto* end = frames.last().get<AssetEndPayload>();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->crc32, zlibCrc(data));
}

TEST(AssetUpload, EmojiWithAlpha)
{
    const QByteArray data = pixels(28 * 28 * 3);
    const AssetProperties asset{16 + 3, 28, 28, 1024, true};
    EXPECT_EQ(assetName(asset), QStringLiteral("rgb565a8le:28x28"));
    const QList<Frame> frames = makeAssetUpload(data, asset, seqsFrom(65534, 5));
    ASSERT_EQ(frames.size(), 5);
    const QList<std::uint16_t> expectedSeqs = {65534, 65535, 0, 1, 2};
    for (qsizetype i = 0; i < 5; ++i)
        EXPECT_EQ(frames[i].q, expectedSeqs[i]);
    const qsizetype sizes[] = {1024, 1024, 304};
    for (qsizetype i = 0; i < 3; ++i) {
        const auto* chunk = frames[i + 1].get<AssetChunkPayload>();
        ASSERT_TRUE(chunk);
        EXPECT_EQ(chunk->offset, std::uint32_t(i * 1024));
        EXPECT_EQ(chunk->data.size(), sizes[i]);
        EXPECT_EQ(chunk->id, 19u);
    }
    // Every frame of an upload fits the wire encoding.
    for (const Frame& f : frames)
        EXPECT_EQ(Frame::decode(Frame::encode(f)), f);
}

TEST(AssetUpload, Crc32MatchesZlib)
{
    EXPECT_EQ(assetCRC32(QByteArray()), 0u);
    EXPECT_EQ(assetCRC32(QByteArray("123456789")), 0xCBF43926u);
    for (qsizetype n : {1, 3, 1000, 4097}) {
        const QByteArray data = pixels(n);
        EXPECT_EQ(assetCRC32(data), zlibCrc(data));
    }
}

TEST(AssetUpload, EmptyImageHasNoChunks)
{
    const QList<Frame> frames = makeAssetUpload(QByteArray(), AssetProperties{5, 0, 0, 4096, false}, {1, 2});
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames[1].get<AssetEndPayload>()->crc32, 0u);
}

TEST(AssetUploadDeathTest, BrokenPreconditionsStop)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(makeAssetUpload(pixels(10), AssetProperties{2, 2, 2, 4, false}, seqsFrom(0, 4)), "");
    EXPECT_DEATH(makeAssetUpload(pixels(8), AssetProperties{2, 2, 2, 4, false}, seqsFrom(0, 3)), "");
}
