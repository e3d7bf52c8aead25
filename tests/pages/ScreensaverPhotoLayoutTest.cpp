// The screensaver photo overlay: the quiet corner, the faded edge and the widgets per style.

#include "PageOps.h"
#include "UsLocale.h"
#include "device/MontserratMetrics.h"
#include "pages/ScreensaverPages.h"
#include "pages/ScreensaverPhotoLayout.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace PageOps;
using Edge = ScreensaverPhotoLayout::FadeEdge;

constexpr qsizetype frameBytes = 480 * 320 * 2;

QDateTime afternoon()
{
    return QDateTime(QDate(2024, 1, 9), QTime(15, 7, 30), QTimeZone(7200));
}

QByteArray uniform(quint16 value)
{
    QByteArray frame(frameBytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < frameBytes; i += 2) {
        frame[i] = char(value & 0xFF);
        frame[i + 1] = char(value >> 8);
    }
    return frame;
}

void setPixel(QByteArray& frame, int x, int y, quint16 value)
{
    frame[(y * 480 + x) * 2] = char(value & 0xFF);
    frame[(y * 480 + x) * 2 + 1] = char(value >> 8);
}

quint16 pixelAt(const QByteArray& frame, int x, int y)
{
    const auto* p = reinterpret_cast<const uchar*>(frame.constData()) + (y * 480 + x) * 2;
    return quint16(p[0] | (p[1] << 8));
}

int lh(int size)
{
    return MontserratMetrics::fontForSize(size).lineHeight();
}

TEST(QuietCorner, DarkFlatBoxesWinAndTiesKeepTheFirstCorner)
{
    EXPECT_EQ(quietestCorner(uniform(0)), ScreensaverCorner::bottomLeft);
    EXPECT_EQ(quietestCorner(uniform(0xFFFF)), ScreensaverCorner::bottomLeft);
    EXPECT_EQ(quietestCorner(QByteArray(10, '\0')), ScreensaverCorner::bottomLeft);
    QByteArray frame = uniform(0xFFFF);
    for (int y = 0; y < 72; ++y)
        for (int x = 280; x < 480; ++x)
            setPixel(frame, x, y, 0);
    EXPECT_EQ(quietestCorner(frame), ScreensaverCorner::topRight);
    // A busy dark box loses to a flat grey one.
    QByteArray busy = uniform(0x8410);
    for (int y = 248; y < 320; ++y)
        for (int x = 0; x < 200; ++x)
            setPixel(busy, x, y, (x + y) % 2 ? 0xFFFF : 0);
    EXPECT_EQ(quietestCorner(busy), ScreensaverCorner::bottomRight);
}

TEST(SoftFade, OnlyTheEdgeRowsDarkenAlongTheRampWithTheDither)
{
    const QByteArray white = uniform(0xFFFF);
    const QByteArray faded = ScreensaverPhotoLayout::fadedFrame(Edge::bottom, 120, white, 0.75);
    EXPECT_EQ(white, uniform(0xFFFF)) << "the stored frame is never changed";
    EXPECT_EQ(faded.left(200 * 960), white.left(200 * 960));
    constexpr int bayer[4] = {15, 7, 13, 5};  // row 319 uses the matrix row 3
    for (int x = 0; x < 4; ++x) {
        const quint16 p = pixelAt(faded, x, 319);
        const double d = bayer[x] / 16.0 - 0.5;
        EXPECT_EQ(p >> 11, int(std::round(0.25 * 31 + d))) << x;
        EXPECT_EQ((p >> 5) & 63, int(std::round(0.25 * 63 + d))) << x;
        EXPECT_TRUE((p >> 11) == 7 || (p >> 11) == 8);
    }
    // Row 200 is nearly untouched: 31 × 0.99984 plus the dither stays 31 or drops by one.
    for (int x = 0; x < 480; ++x)
        EXPECT_GE(pixelAt(faded, x, 200) >> 11, 30);

    const QByteArray top = ScreensaverPhotoLayout::fadedFrame(Edge::top, 72, white, 0.6);
    EXPECT_NE(pixelAt(top, 0, 0), 0xFFFF);
    EXPECT_EQ(top.mid(72 * 960), white.mid(72 * 960));
    EXPECT_EQ(ScreensaverPhotoLayout::fadedFrame(Edge::bottom, 0, white, 0.75), white);
    EXPECT_EQ(ScreensaverPhotoLayout::fadedFrame(Edge::bottom, 120, white.left(100), 0.75), white.left(100));
}

TEST(PhotoLayout, FadeRulesPerStyle)
{
    using S = ScreensaverStyle;
    using C = ScreensaverCorner;
    using F = ScreensaverPhotoLayout::FadeSpec;
    EXPECT_EQ(ScreensaverPhotoLayout::fadeSpec({S::corner, C::bottomLeft}), (F{Edge::bottom, 120, 0.75}));
    EXPECT_EQ(ScreensaverPhotoLayout::fadeSpec({S::quietCorner, C::topRight}), (F{Edge::top, 120, 0.75}));
    EXPECT_EQ(ScreensaverPhotoLayout::fadeSpec({S::minimal, C::bottomRight}), (F{Edge::bottom, 72, 0.6}));
    for (const S style : {S::pill, S::photoOnly, S::strip})
        EXPECT_EQ(ScreensaverPhotoLayout::fadeSpec({style, C::bottomLeft}), F{});
}

TEST(PhotoLayout, StackedLabelsFollowTheCorner)
{
    const auto top = ScreensaverPhotoLayout::labelNodes(afternoon(), {ScreensaverStyle::quietCorner, ScreensaverCorner::topRight});
    ASSERT_EQ(top.size(), 2);
    EXPECT_EQ(top[0].y, 12);
    EXPECT_EQ(top[1].y, 12 + lh(24) + 1);
    EXPECT_EQ(top[0].x, 464 - top[0].w);
    EXPECT_EQ(top[0].text, QStringLiteral("3:07 PM"));
    EXPECT_EQ(top[1].text, QStringLiteral("TUE, JAN 9"));

    const auto bottom = ScreensaverPhotoLayout::labelNodes(afternoon(), {ScreensaverStyle::corner, ScreensaverCorner::bottomLeft});
    EXPECT_EQ(bottom[0].x, 16);
    EXPECT_EQ(bottom[1].y + bottom[1].h, 306);

    const auto minimal = ScreensaverPhotoLayout::labelNodes(afternoon(), {ScreensaverStyle::minimal, ScreensaverCorner::bottomRight});
    ASSERT_EQ(minimal.size(), 1);
    EXPECT_EQ(minimal[0].y, 306 - lh(18));

    const auto pill = ScreensaverPhotoLayout::labelNodes(afternoon(), {ScreensaverStyle::pill, ScreensaverCorner::bottomLeft});
    ASSERT_EQ(pill.size(), 3);
    EXPECT_EQ(pill[0].id, 707u);
    EXPECT_EQ(pill[1].parent, 707u);
    EXPECT_EQ(pill[2].x, pill[1].w + 21);
    EXPECT_EQ(pill[0].w, pill[1].w + pill[2].w + 35);
    EXPECT_EQ(pill[2].text, QStringLiteral("TUE JAN 9"));
    // An invalid date has empty texts: a right corner still gets a one-pixel label.
    const auto empty = ScreensaverPhotoLayout::labelNodes(QDateTime(), {ScreensaverStyle::corner, ScreensaverCorner::bottomRight});
    EXPECT_EQ(empty[0].w, 1);
    EXPECT_EQ(empty[0].x, 463);
}

TEST(PhotoLayout, PagesAndOverlayPatchesPerStyle)
{
    const QDateTime date = afternoon();
    const ScreensaverPhotoLayout photoOnly{ScreensaverStyle::photoOnly, ScreensaverCorner::bottomLeft};
    const QList<PatchOp> bare = opsOf(ScreensaverPhotoLayout::makeNodes(5, date, photoOnly));
    EXPECT_EQ(bare.size(), 5);
    EXPECT_EQ(prop(bare, 706, "assetId"), TarvUSB::PropValue::int32(2));
    EXPECT_FALSE(ScreensaverPhotoLayout::overlayPatch(6, date, photoOnly));

    const ScreensaverPhotoLayout pill{ScreensaverStyle::pill, ScreensaverCorner::bottomLeft};
    const QList<PatchOp> ops = opsOf(ScreensaverPhotoLayout::makeNodes(5, date, pill));
    EXPECT_EQ(createOf(ops, 707)->index, 1);
    EXPECT_EQ(createOf(ops, 701)->index, 0);
    EXPECT_EQ(createOf(ops, 702)->index, 1);
    EXPECT_EQ(prop(ops, 707, "radius"), TarvUSB::PropValue::int32(16));
    const QList<PatchOp> overlay = opsOf(*ScreensaverPhotoLayout::overlayPatch(6, date, pill));
    EXPECT_EQ(propsOf(overlay, 701).size(), 4) << "styles are not re-sent";
    EXPECT_EQ(textOf(overlay, 701), QStringLiteral("3:07 PM"));

    const ScreensaverPhotoLayout strip{ScreensaverStyle::strip, ScreensaverCorner::bottomLeft};
    EXPECT_EQ(ScreensaverPhotoLayout::makeNodes(5, date, strip), DynamicUIDemo::clockOps(5, date));
    EXPECT_EQ(*ScreensaverPhotoLayout::overlayPatch(6, date, strip), DynamicUIDemo::clockUpdateFrame(6, date));
}

}  // namespace
