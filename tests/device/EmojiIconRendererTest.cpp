#include "device/EmojiIconRenderer.h"

#include <gtest/gtest.h>

#include <QFontDatabase>

using namespace Qt::StringLiterals;

TEST(EmojiIconRenderer, FirstEmojiFindsWholeCharacters)
{
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u""), std::nullopt);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"no emoji here \u00B0 \u2022"), std::nullopt);
    // Digits, "#" and text-style symbols carry the Emoji property but alone are text.
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"7"), std::nullopt);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"#"), std::nullopt);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"\u2764"), std::nullopt);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"Launch \U0001F680!"), u"\U0001F680"_s);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"1\uFE0F\u20E3 first"), u"1\uFE0F\u20E3"_s);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"I \u2764\uFE0F it"), u"\u2764\uFE0F"_s);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"\U0001F44D\U0001F3FD ok"),
              u"\U0001F44D\U0001F3FD"_s);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"x\U0001F468\u200D\U0001F469\u200D\U0001F467y"),
              u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s);
    EXPECT_EQ(EmojiIconRenderer::firstEmoji(u"\U0001F1F3\U0001F1F4"), u"\U0001F1F3\U0001F1F4"_s);
}

TEST(EmojiIconRenderer, DeviceBytesUnpremultiplyAndPack)
{
    QImage image(28, 28, QImage::Format_RGBA8888_Premultiplied);
    image.fill(Qt::transparent);
    auto put = [&](int x, int y, int r, int g, int b, int a) {
        std::uint8_t* px = image.scanLine(y) + 4 * x;
        px[0] = std::uint8_t(r), px[1] = std::uint8_t(g), px[2] = std::uint8_t(b);
        px[3] = std::uint8_t(a);
    };
    put(0, 0, 255, 255, 255, 255);  // white
    put(1, 0, 128, 0, 0, 128);      // half-transparent red: 128 × 255 / 128 = 255
    put(2, 0, 200, 100, 50, 0);     // transparent with stray channels: stored as zeros
    put(27, 27, 0, 0, 255, 255);    // blue, last pixel
    put(3, 0, 200, 10, 10, 100);    // a channel above alpha clamps to 255

    const QByteArray bytes = EmojiIconRenderer::deviceBytes(image);
    ASSERT_EQ(bytes.size(), 2352);
    auto color = [&](int i) { return std::uint8_t(bytes[2 * i]) | std::uint8_t(bytes[2 * i + 1]) << 8; };
    auto alpha = [&](int i) { return std::uint8_t(bytes[1568 + i]); };
    EXPECT_EQ(color(0), 0xFFFF);
    EXPECT_EQ(alpha(0), 255);
    EXPECT_EQ(color(1), 0xF800);
    EXPECT_EQ(alpha(1), 128);
    EXPECT_EQ(color(2), 0);
    EXPECT_EQ(alpha(2), 0);
    EXPECT_EQ(color(3), (0xF8 << 8) | ((25 & 0xFC) << 3) | (25 >> 3));
    EXPECT_EQ(color(783), 0x001F);
    EXPECT_EQ(alpha(783), 255);
    EXPECT_EQ(std::uint8_t(bytes[2 * 783]), 0x1F);  // low byte first
    EXPECT_EQ(color(4), 0);
}

TEST(EmojiIconRenderer, RendersAnEmojiCentredInColour)
{
    if (!QFontDatabase::families().contains(u"Noto Color Emoji"_s))
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    const std::optional<QByteArray> bytes = EmojiIconRenderer::render(u"\U0001F34E"_s);  // red apple
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), 2352);
    auto alpha = [&](int x, int y) { return std::uint8_t((*bytes)[1568 + y * 28 + x]); };
    EXPECT_EQ(alpha(0, 0), 0);
    EXPECT_EQ(alpha(27, 27), 0);
    EXPECT_EQ(alpha(14, 14), 255);
    // The apple is red: its centre pixel has far more red than green or blue.
    const int i = 14 * 28 + 14;
    const unsigned rgb = std::uint8_t((*bytes)[2 * i]) | std::uint8_t((*bytes)[2 * i + 1]) << 8;
    EXPECT_GT(rgb >> 11, 20u);
    EXPECT_LT((rgb >> 5) & 63, 30u);
    // The drawing is balanced around the centre, left against right.
    int left = 0, right = 0;
    for (int y = 0; y < 28; ++y) {
        for (int x = 0; x < 14; ++x) {
            left += alpha(x, y);
            right += alpha(27 - x, y);
        }
    }
    EXPECT_NEAR(double(left) / right, 1.0, 0.2);
    // Pixels left transparent are stored as zeros in both planes.
    for (int p = 0; p < 784; ++p) {
        if (std::uint8_t((*bytes)[1568 + p]) == 0) {
            ASSERT_EQ((*bytes)[2 * p], '\0');
            ASSERT_EQ((*bytes)[2 * p + 1], '\0');
        }
    }
}

TEST(EmojiIconRenderer, KeycapIsDrawnAsOneKey)
{
    if (!QFontDatabase::families().contains(u"Noto Color Emoji"_s))
        GTEST_SKIP() << "fonts-noto-color-emoji is not installed";
    // Drawn whole, the key fills most of the square; a plain "1" beside an empty key would
    // leave far fewer opaque pixels.
    const std::optional<QByteArray> bytes = EmojiIconRenderer::render(u"1\uFE0F\u20E3"_s);
    ASSERT_TRUE(bytes);
    int opaque = 0;
    for (int p = 0; p < 784; ++p)
        opaque += std::uint8_t((*bytes)[1568 + p]) == 255;
    EXPECT_GT(opaque, 330);  // about 380 whole, 250 split
}

TEST(EmojiIconRenderer, WideEmojiIsClippedNotMisplaced)
{
    // A flag and a family are wider than 28 px at 22 px: drawn centred, cut at the edges.
    const std::optional<QByteArray> bytes =
        EmojiIconRenderer::render(u"\U0001F468\u200D\U0001F469\u200D\U0001F467\U0001F468"_s);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 2352);
}
