#include "link/SnapshotAssembler.h"
#include "support/Bytes.h"

#include <QImage>

#include <gtest/gtest.h>
#include <zlib.h>

using namespace TarvUSB;

namespace {

std::uint32_t zcrc(const QByteArray& b)
{
    return std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(b.constData()), uInt(b.size())));
}

QString reasonOf(const std::optional<SnapshotFailure>& f) { return f ? f->message() : QStringLiteral("ok"); }

template <class V>
QString reasonOf(const V& v)
{
    const auto* f = std::get_if<SnapshotFailure>(&v);
    return f ? f->message() : QStringLiteral("ok");
}

// Runs of 129 equal pixels: the densest form, 3 bytes per 129 pixels.
QByteArray solidStream(std::size_t pixels, std::uint16_t value)
{
    QByteArray out;
    while (pixels > 0) {
        const std::size_t n = std::min<std::size_t>(pixels, 129);
        if (n == 1)
            out += bytes({0x00, value & 0xFF, value >> 8});
        else
            out += bytes({int(n + 126), value & 0xFF, value >> 8});
        pixels -= n;
    }
    return out;
}

const QString damaged = QStringLiteral("the snapshot arrived damaged: ");

}  // namespace

TEST(Snapshot, UnpacksBothPacketKinds)
{
    auto result = unpackPackBitsRGB565(bytes({0x80, 0x1F, 0x00, 0x00, 0x00, 0xF8, 0x01, 0x34, 0x12, 0xFF, 0xFF}), 5);
    ASSERT_TRUE(std::holds_alternative<std::vector<std::uint16_t>>(result));
    EXPECT_EQ(std::get<0>(result), (std::vector<std::uint16_t>{0x001F, 0x001F, 0xF800, 0x1234, 0xFFFF}));

    EXPECT_EQ(reasonOf(unpackPackBitsRGB565(bytes({0x01, 0x00, 0x00, 0x00}), 2)), damaged + "a packet runs past the end");
    EXPECT_EQ(reasonOf(unpackPackBitsRGB565(bytes({0x80}), 2)), damaged + "a packet runs past the end");
    EXPECT_EQ(reasonOf(unpackPackBitsRGB565(solidStream(480 * 320 + 1, 7), 480 * 320)),
              damaged + "more pixels than the image holds");
    EXPECT_EQ(reasonOf(unpackPackBitsRGB565(solidStream(480 * 320 - 1, 7), 480 * 320)),
              damaged + "153599 pixels for an image of 153600");
}

TEST(Snapshot, HeaderLimits)
{
    SnapshotAssembler a(1);
    EXPECT_EQ(reasonOf(a.begin({1, 0, 320, SnapshotFormat::rgb565Packbits, 10})), damaged + "an image of 0 \u00D7 320");
    EXPECT_EQ(reasonOf(a.begin({1, 1025, 1024, SnapshotFormat::rgb565Packbits, 10})),
              damaged + "an image of 1025 \u00D7 1024");
    EXPECT_EQ(reasonOf(a.begin({1, 1024, 1024, SnapshotFormat::rgb565Packbits, 10})), QStringLiteral("ok"));
    const std::uint32_t p = 480 * 320;
    const std::uint32_t largest = 2 * p + p / 128 + 1;
    EXPECT_EQ(reasonOf(a.begin({1, 480, 320, SnapshotFormat::rgb565Packbits, largest})), QStringLiteral("ok"));
    EXPECT_EQ(reasonOf(a.begin({1, 480, 320, SnapshotFormat::rgb565Packbits, largest + 1})),
              damaged + QStringLiteral("%1 bytes for 153600 pixels").arg(largest + 1));
    // Another capture's header is ignored.
    SnapshotAssembler other(2);
    EXPECT_EQ(reasonOf(other.begin({1, 0, 0, SnapshotFormat::rgb565Packbits, 0})), QStringLiteral("ok"));
    EXPECT_FALSE(other.header);
}

TEST(Snapshot, ChunksInStrictOrder)
{
    SnapshotAssembler a(3);
    EXPECT_EQ(reasonOf(a.addChunk({3, 0, QByteArray(4, 'x')})), damaged + "a chunk before the header");
    ASSERT_EQ(reasonOf(a.begin({3, 10, 10, SnapshotFormat::rgb565Packbits, 120})), QStringLiteral("ok"));
    EXPECT_EQ(reasonOf(a.addChunk({3, 0, QByteArray(96, 'x')})), QStringLiteral("ok"));
    EXPECT_EQ(a.progress(), 0.8);
    EXPECT_TRUE(a.isFlowing());
    EXPECT_EQ(reasonOf(a.addChunk({3, 100, QByteArray(4, 'x')})), damaged + "a gap at byte 96");
    EXPECT_EQ(reasonOf(a.addChunk({3, 0, QByteArray(4, 'x')})), damaged + "a gap at byte 96");
    EXPECT_EQ(reasonOf(a.addChunk({3, 96, QByteArray(25, 'x')})), damaged + "more bytes than announced");
    EXPECT_EQ(reasonOf(a.addChunk({4, 7, QByteArray(25, 'x')})), QStringLiteral("ok"));  // another capture
}

TEST(Snapshot, EndChecksInOrder)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000);
    {
        SnapshotAssembler a(5);
        EXPECT_EQ(reasonOf(a.finish({5, false, 0}, now)),
                  QStringLiteral("the device could not capture its screen (busy or out of memory)"));
        EXPECT_EQ(reasonOf(a.finish({5, true, 0}, now)), damaged + "an end before the header");
        EXPECT_TRUE(std::holds_alternative<std::monostate>(a.finish({6, false, 0}, now)));
    }
    const QByteArray stream = solidStream(480 * 320, 0xF800);
    SnapshotAssembler a(5);
    ASSERT_FALSE(a.begin({5, 480, 320, SnapshotFormat::rgb565Packbits, std::uint32_t(stream.size())}));
    ASSERT_FALSE(a.addChunk({5, 0, stream.left(1000)}));
    EXPECT_EQ(reasonOf(a.finish({5, true, 0}, now)), damaged + QStringLiteral("1000 of %1 bytes").arg(stream.size()));
    ASSERT_FALSE(a.addChunk({5, 1000, stream.mid(1000)}));
    EXPECT_EQ(reasonOf(a.finish({5, true, zcrc(stream) ^ 1}, now)), damaged + "checksum mismatch");
    const auto done = a.finish({5, true, zcrc(stream)}, now);
    ASSERT_TRUE(std::holds_alternative<DeviceSnapshot>(done));
    const DeviceSnapshot& snap = std::get<DeviceSnapshot>(done);
    EXPECT_EQ(snap.width, 480);
    EXPECT_EQ(snap.height, 320);
    EXPECT_EQ(snap.packedBytes, stream.size());
    EXPECT_EQ(snap.date, now);
    EXPECT_EQ(snap.pixels.size(), 480u * 320u);
    EXPECT_EQ(snap.pixels.back(), 0xF800);
}

TEST(Snapshot, ImageAndPng)
{
    DeviceSnapshot snap{2, 1, {0xFFFF, 0x0841}, {}, 0};
    const QImage image = snap.makeImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(1, 0), QColor(8, 8, 8));
    const auto png = snap.pngData();
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->startsWith("\x89PNG"));
    EXPECT_EQ(QImage::fromData(*png).pixelColor(1, 0), QColor(8, 8, 8));
    EXPECT_FALSE((DeviceSnapshot{3, 3, {1, 2}, {}, 0}.pngData()));
}

TEST(Snapshot, FileNameInLocalTime)
{
    const QDateTime at(QDate(2026, 3, 4), QTime(7, 8, 9), Qt::LocalTime);
    EXPECT_EQ(snapshotFileName(at), QStringLiteral("tarv-20260304-070809.png"));
    const QDateTime evening(QDate(1999, 12, 31), QTime(23, 59, 58), Qt::LocalTime);
    EXPECT_EQ(snapshotFileName(evening), QStringLiteral("tarv-19991231-235958.png"));
}
