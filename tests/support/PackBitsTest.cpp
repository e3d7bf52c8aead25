#include "support/Bytes.h"
#include "support/PackBits.h"

#include <gtest/gtest.h>

using TarvFake::packBitsRGB565;

namespace {

QList<std::uint16_t> unpack(const QByteArray& packed)
{
    QList<std::uint16_t> out;
    const auto byte = [&](qsizetype i) { return std::uint16_t(std::uint8_t(packed.at(i))); };
    for (qsizetype i = 0; i < packed.size();) {
        const int h = byte(i);
        const int count = h < 0x80 ? h + 1 : 1;
        for (int k = 0; k < count; ++k) {
            const std::uint16_t pixel = std::uint16_t(byte(i + 1 + 2 * k) | byte(i + 2 + 2 * k) << 8);
            out.append(h < 0x80 ? QList<std::uint16_t>{pixel} : QList<std::uint16_t>(h - 126, pixel));
        }
        i += 1 + 2 * count;
    }
    return out;
}

}  // namespace

TEST(PackBits, PacketsAndByteOrder)
{
    EXPECT_EQ(packBitsRGB565({0x001F, 0x001F}), bytes({0x80, 0x1F, 0x00}));
    EXPECT_EQ(packBitsRGB565({0xF800}), bytes({0x00, 0x00, 0xF8}));
    EXPECT_EQ(packBitsRGB565({1, 2, 2}), bytes({0x00, 0x01, 0x00, 0x80, 0x02, 0x00}));
    EXPECT_TRUE(packBitsRGB565({}).isEmpty());
    // 129 equal pixels are one packet, 130 are two.
    EXPECT_EQ(packBitsRGB565(QList<std::uint16_t>(129, 7)), bytes({0xFF, 0x07, 0x00}));
    EXPECT_EQ(packBitsRGB565(QList<std::uint16_t>(130, 7)), bytes({0xFF, 0x07, 0x00, 0x00, 0x07, 0x00}));
}

TEST(PackBits, RoundTripsWithinTheLargestSize)
{
    QList<std::uint16_t> noisy;  // never two equal neighbours: literal packets only
    for (int i = 0; i < 480 * 320; ++i)
        noisy.append(std::uint16_t(i * 40503u));
    QList<std::uint16_t> mixed = noisy.mid(0, 1000);
    mixed += QList<std::uint16_t>(5000, 0xFFFF);
    mixed += noisy.mid(1000, 300);

    for (const auto& pixels : {noisy, mixed}) {
        const QByteArray packed = packBitsRGB565(pixels);
        EXPECT_EQ(unpack(packed), pixels);
        EXPECT_LE(packed.size(), 2 * pixels.size() + pixels.size() / 128 + 1);
    }
}
