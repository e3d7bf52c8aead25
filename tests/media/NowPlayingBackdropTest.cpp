#include "media/NowPlayingBackdrop.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray rgbaOf(const QList<QColor>& colors, int repeat = 1)
{
    QByteArray bytes;
    for (int r = 0; r < repeat; ++r)
        for (const QColor& c : colors) {
            bytes.append(char(c.red()));
            bytes.append(char(c.green()));
            bytes.append(char(c.blue()));
            bytes.append(char(255));
        }
    return bytes;
}

QByteArray pngOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QColor pixelAt(const QByteArray& rgb565, int x, int y)
{
    const int i = (y * NowPlayingBackdrop::width + x) * 2;
    const int value = quint8(rgb565[i]) | quint8(rgb565[i + 1]) << 8;
    return QColor((value >> 11) << 3, ((value >> 5) & 63) << 2, (value & 31) << 3);
}

double luma(const QColor& c)
{
    return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF();
}

TEST(NowPlayingBackdrop, PackingDithersByPositionAndSaturatesAtTheTop)
{
    // Row 0 of the matrix: 0, 32, 8, 40, ...; the red channel gets d / 8, green d / 16.
    const QByteArray rgba = rgbaOf({QColor(4, 2, 0), QColor(4, 2, 0), QColor(252, 254, 255), QColor(255, 255, 255)});
    const QByteArray packed = NowPlayingBackdrop::packRGB565(rgba, 4);
    ASSERT_EQ(packed.size(), 8);
    const auto value = [&](int i) { return quint8(packed[i * 2]) | quint8(packed[i * 2 + 1]) << 8; };
    EXPECT_EQ(value(0), (0 << 11) | (0 << 5) | 0) << "d 0 adds nothing: 4 >> 3 is 0";
    EXPECT_EQ(value(1), (1 << 11) | (1 << 5) | 0) << "d 32 adds 4 to red, 2 to green";
    EXPECT_EQ(value(2), (31 << 11) | (63 << 5) | 31) << "sums from 256 up are the top value";
    EXPECT_EQ(value(3), 0xFFFF);
    EXPECT_EQ(quint8(packed[2]), 0x20) << "low byte first";
    EXPECT_EQ(quint8(packed[3]), 0x08);

    // The second row starts at d 48: 6 for red.
    const QByteArray second = NowPlayingBackdrop::packRGB565(rgbaOf({QColor(2, 0, 0), QColor(2, 0, 0)}), 1);
    EXPECT_EQ(quint8(second[0]), 0x00);
    EXPECT_EQ(quint8(second[3]), 0x08) << "row 1: 2 + 6 reaches 8, red 1";
}

TEST(NowPlayingBackdrop, AccentFollowsTheDominantSaturatedHue)
{
    EXPECT_EQ(NowPlayingBackdrop::accentColor(QByteArray(3, '\0')), 0xFFB020u) << "fewer than one pixel";
    EXPECT_EQ(NowPlayingBackdrop::accentColor(rgbaOf({QColor(128, 128, 128), QColor(200, 200, 200)}, 512)), 0xE8EAEDu)
        << "grey has no saturation";
    EXPECT_EQ(NowPlayingBackdrop::accentColor(rgbaOf({QColor(30, 0, 0)}, 1024)), 0xE8EAEDu) << "too dark to count";

    // Yellow is bright enough as it is: saturation clamped to 0.85, no lift.
    EXPECT_EQ(NowPlayingBackdrop::accentColor(rgbaOf({QColor(255, 255, 0)}, 1024)), 0xFFFF26u);

    // Blue is lifted toward white until it reads on the dark page.
    const std::uint32_t blue = NowPlayingBackdrop::accentColor(rgbaOf({QColor(0, 0, 255)}, 1024));
    const QColor lifted = QColor::fromRgb(blue);
    EXPECT_GT(lifted.blue(), lifted.red());
    EXPECT_GT(lifted.red(), 0x26) << "lifted beyond the plain 0.85-saturated blue";
    EXPECT_EQ(blue, NowPlayingBackdrop::liftForLegibility(0x2626FF));

    // Mostly red with some blue: red wins; a tie between hues goes to the lower bin.
    EXPECT_EQ(QColor::fromRgb(NowPlayingBackdrop::accentColor(rgbaOf({QColor(255, 0, 0)}, 700) +
                                                              rgbaOf({QColor(0, 0, 255)}, 324)))
                  .hue(),
              0);
}

TEST(NowPlayingBackdrop, TheLiftStopsAtItsLumaOrAfterFortySteps)
{
    EXPECT_EQ(NowPlayingBackdrop::liftForLegibility(0xFFFFFF), 0xFFFFFFu);
    EXPECT_EQ(NowPlayingBackdrop::liftForLegibility(0xFFFF26), 0xFFFF26u);
    // Black takes steps until its luma passes 0.3, then stops: a light grey, not white.
    const QColor grey = QColor::fromRgb(NowPlayingBackdrop::liftForLegibility(0x000000));
    EXPECT_EQ(grey.red(), grey.blue());
    EXPECT_GT(grey.red(), 140);
    EXPECT_LT(grey.red(), 160);
}

TEST(NowPlayingBackdrop, DimmingKeepsLessOfBrighterArtwork)
{
    EXPECT_DOUBLE_EQ(NowPlayingBackdrop::dimKeep(0), 0.55) << "black artwork: overlay opacity 0.45";
    EXPECT_NEAR(NowPlayingBackdrop::dimKeep(0.8), 0.24, 0.005);
    EXPECT_DOUBLE_EQ(NowPlayingBackdrop::meanLuma(rgbaOf({QColor(255, 255, 255)}, 4)), 1.0);
    EXPECT_NEAR(NowPlayingBackdrop::meanLuma(rgbaOf({QColor(128, 128, 128)})), 0.2158, 0.0005) << "linearised";
}

TEST(NowPlayingBackdrop, RenderingComposesCoverOverTheDimmedBlur)
{
    EXPECT_FALSE(NowPlayingBackdrop::render(QByteArray("<html>not found</html>")));
    EXPECT_FALSE(NowPlayingBackdrop::render(QByteArray()));

    QImage art(1000, 1000, QImage::Format_RGB32);
    art.fill(QColor(220, 40, 40));
    const auto backdrop = NowPlayingBackdrop::render(pngOf(art));
    ASSERT_TRUE(backdrop);
    EXPECT_EQ(backdrop->pixels.size(), 307200);
    EXPECT_EQ(QColor::fromRgb(backdrop->accent).hue(), 0) << "a red accent";

    const QColor cover = pixelAt(backdrop->pixels, 110, 138);
    EXPECT_NEAR(cover.red(), 220, 8) << "the cover is sharp and undimmed";
    const QColor fill = pixelAt(backdrop->pixels, 400, 100);
    EXPECT_LT(fill.red(), cover.red() * 0.6) << "the fill keeps at most 55 %";
    EXPECT_GT(fill.red(), 40) << "saturated red survives the blur";
    EXPECT_LT(luma(pixelAt(backdrop->pixels, 400, 318)), 0.06) << "the shade darkens the bottom edge";
    EXPECT_LT(luma(pixelAt(backdrop->pixels, 110, 250)), luma(pixelAt(backdrop->pixels, 400, 250)) * 0.9)
        << "the cover's shadow below it";
}

TEST(NowPlayingBackdrop, BlackArtworkStaysBlackAndWideArtworkCoversTheCanvas)
{
    QImage black(300, 300, QImage::Format_RGB32);
    black.fill(Qt::black);
    const auto dark = NowPlayingBackdrop::render(black);
    ASSERT_TRUE(dark);
    EXPECT_EQ(dark->accent, 0xE8EAEDu);
    EXPECT_EQ(pixelAt(dark->pixels, 300, 100), QColor(0, 0, 0));

    // A strip wider than the canvas: the blur extends its edges, so no black border appears.
    QImage wide(2000, 100, QImage::Format_RGB32);
    wide.fill(QColor(40, 200, 40));
    const auto strip = NowPlayingBackdrop::render(wide);
    ASSERT_TRUE(strip);
    EXPECT_GT(pixelAt(strip->pixels, 479, 2).green(), 40);
    EXPECT_GT(pixelAt(strip->pixels, 240, 2).green(), 40);
}

TEST(NowPlayingBackdrop, ArtworkOfAnExtremeShapeIsCroppedBeforeScalingOrRefused)
{
    // A thin strip is scaled only as far as the canvas and the cover show it.
    QImage strip(2, 2000, QImage::Format_RGB32);
    strip.fill(QColor(40, 40, 220));
    const auto tall = NowPlayingBackdrop::render(strip);
    ASSERT_TRUE(tall);
    EXPECT_EQ(tall->pixels.size(), 307200);
    EXPECT_NEAR(pixelAt(tall->pixels, 110, 138).blue(), 220, 8) << "the cover";
    EXPECT_GT(pixelAt(tall->pixels, 400, 100).blue(), 40) << "the blurred fill";

    // At 2,048 pixels on its longer side this one would be narrower than a pixel: it cannot
    // be drawn, however it arrives.
    QImage needle(1, 12000, QImage::Format_RGB32);
    needle.fill(QColor(220, 40, 40));
    EXPECT_FALSE(NowPlayingBackdrop::render(pngOf(needle)));
    EXPECT_FALSE(NowPlayingBackdrop::render(needle));
}

// A vector picture costs what its drawing says, which its size does not bound, and it may
// name files: none is drawn, however small, and none is parsed at all.
TEST(NowPlayingBackdrop, AVectorPictureIsRefusedWhateverItHolds)
{
    // About 5 KB of 168 elements: groups that use groups, four levels of forty, each drawing
    // the level below forty times over: 2.5 million fills of the whole picture.
    QByteArray svg = R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" )"
                     R"(width="480" height="480"><g id="l0"><rect width="480" height="480" fill="#2050d0" )"
                     R"(opacity="0.5"/><rect width="240" height="240" fill="#d05020"/></g>)";
    for (int level = 1; level <= 4; ++level) {
        svg += "<g id=\"l" + QByteArray::number(level) + "\">";
        for (int i = 0; i < 40; ++i)
            svg += "<use xlink:href=\"#l" + QByteArray::number(level - 1) + "\" x=\"" + QByteArray::number(i) + "\"/>";
        svg += "</g>";
    }
    svg += "</svg>";
    ASSERT_EQ(svg.count("<") - svg.count("</"), 168);
    ASSERT_LT(svg.size(), 6000);
    EXPECT_FALSE(NowPlayingBackdrop::render(svg));

    // A drawing whose picture is another drawing, which names a pipe that never answers.
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("never")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const auto showing = [](const QByteArray& address) {
        return R"(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="480" )"
               R"(height="480"><image width="480" height="480" xlink:href=")" + address + "\"/></svg>";
    };
    EXPECT_FALSE(NowPlayingBackdrop::render(showing("data:image/svg+xml;base64," + showing(fifo).toBase64())));
    EXPECT_FALSE(NowPlayingBackdrop::render(showing(fifo)));
}

}  // namespace
