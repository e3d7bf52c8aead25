#include "PageOps.h"
#include "UsLocale.h"
#include "pages/ClockText.h"
#include "pages/PageFrames.h"
#include "pages/PageNodes.h"
#include "pages/ScreensaverPages.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using namespace DynamicUIDemo;
using TarvUSB::PatchOp;
using namespace PageOps;

// Tuesday 9 January 2024, 15:07 in a zone two hours east of UTC.
QDateTime afternoon()
{
    return QDateTime(QDate(2024, 1, 9), QTime(15, 7, 30), QTimeZone(7200));
}

TEST(ClockText, FormatsTheWallClockOfTheDatesOwnZone)
{
    EXPECT_EQ(timeText(afternoon()), "3:07 PM");
    EXPECT_EQ(dateText(afternoon()), "Tuesday, Jan 9");
    // The same instant in UTC is two hours earlier on the wall clock.
    EXPECT_EQ(timeText(afternoon().toUTC()), "1:07 PM");
    EXPECT_EQ(timeText(QDateTime(QDate(2024, 1, 9), QTime(0, 5), Qt::UTC)), "12:05 AM");
    EXPECT_EQ(timeText(QDateTime()), "");
}

TEST(ClockPages, ClockStripPageInOrder)
{
    const TarvUSB::Frame frame = clockOps(42, afternoon());
    EXPECT_EQ(frame.q, 42);
    const QList<PatchOp>& ops = opsOf(frame);
    ASSERT_EQ(ops.size(), 3 + 2 + 2 + 3 * 3);
    EXPECT_EQ(ops[0], PatchOp::setProps(0, {{"bg", TarvUSB::PropValue::color(0x0A0B0C)}}));
    EXPECT_EQ(ops[1], PatchOp::create(100, "cont", 0, 0));
    EXPECT_EQ(ops[3], PatchOp::create(706, "image", 100, 0));
    EXPECT_EQ(intOf(ops, 706, "assetId"), 2);
    EXPECT_EQ(ops[5], PatchOp::create(707, "cont", 100, 1));
    EXPECT_EQ(keysOf(ops, 707), (QStringList{"x", "y", "w", "h", "bg", "borderColor", "borderWidth", "radius"}));
    EXPECT_EQ(ops[7], PatchOp::create(701, "label", 707, 0));
    EXPECT_EQ(textOf(ops, 701), "3:07 PM");
    EXPECT_EQ(intOf(ops, 701, "fontSize"), 34);
    EXPECT_EQ(textOf(ops, 702), "TUESDAY, JAN 9");
    EXPECT_EQ(createOf(ops, 708)->parentId, 707u);
    EXPECT_EQ(textOf(ops, 708), "TAP TO WAKE");
    expectSendable(frame);
}

TEST(ClockPages, ClockUpdateSetsTimeAndUpperCaseDate)
{
    EXPECT_EQ(opsOf(clockUpdateFrame(7, afternoon())),
              (QList<PatchOp>{PatchOp::setText(701, "3:07 PM"), PatchOp::setText(702, "TUESDAY, JAN 9")}));
}

TEST(ClockPages, IdlePageShowsTheTimeoutInWholeMinutesAtLeastOne)
{
    const TarvUSB::Frame frame = idlePageFrame(1, afternoon(), 5);
    const QList<PatchOp>& ops = opsOf(frame);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(createOf(ops, 701 + i), (TarvUSB::PatchOpCreate{std::uint32_t(701 + i), "label", 100, std::uint16_t(i)}));
    EXPECT_EQ(textOf(ops, 703), "NO UPCOMING EVENTS");
    EXPECT_EQ(textOf(ops, 704), "IDLE 5M");
    EXPECT_EQ(intOf(ops, 704, "x"), 12);
    EXPECT_EQ(colorOf(ops, 705, "textColor"), 0xFFB020u);
    EXPECT_EQ(textOf(opsOf(idlePageFrame(1, afternoon(), 0)), 704), "IDLE 1M");
    expectSendable(frame);
}

TEST(PageFrames, ClockTickAddressesThePagesTimeLabel)
{
    const QDateTime now = afternoon();
    EXPECT_EQ(opsOf(clockTickFrame(3, DeviceScreen::home(), now)), (QList<PatchOp>{PatchOp::setText(101, "3:07 PM")}));
    EXPECT_EQ(opsOf(clockTickFrame(3, DeviceScreen::stocks(), now))[0].id(), 601u);
    EXPECT_EQ(opsOf(clockTickFrame(3, DeviceScreen::calculator(), now))[0].id(), 405u);
    EXPECT_EQ(opsOf(clockTickFrame(3, DeviceScreen::nowPlaying(), now))[0].id(), 810u);
    EXPECT_EQ(opsOf(clockTickFrame(3, DeviceScreen::custom("x"), now))[0].id(), 901u);
    EXPECT_EQ(clockTickFrame(3, DeviceScreen::screensaver(), now), clockUpdateFrame(3, now));
}

TEST(PageFrames, RootResetJoinsTheFirstPatchWhenItHasRoom)
{
    const TarvUSB::Frame page = patchFrame(10, {PatchOp::setText(101, "a")});
    const TarvUSB::Frame keys = patchFrame(11, {PatchOp::setText(300, "b")});

    const QList<TarvUSB::Frame> merged = withRootReset({page, keys}, 99, true);
    ASSERT_EQ(merged.size(), 2);
    EXPECT_EQ(merged[0], patchFrame(10, {PatchOp::remove(100), PatchOp::setText(101, "a")}));
    EXPECT_EQ(merged[1], keys);

    const QList<TarvUSB::Frame> separate = withRootReset({page, keys}, 99, false);
    EXPECT_EQ(separate, (QList<TarvUSB::Frame>{patchFrame(99, {PatchOp::remove(100)}), page, keys}));

    EXPECT_EQ(withRootReset({}, 5, true), (QList<TarvUSB::Frame>{patchFrame(5, {PatchOp::remove(100)})}));
}

TEST(PageFrames, RootResetNeverOverfillsAFrame)
{
    QList<PatchOp> full;
    for (int i = 0; i < 64; ++i)
        full.append(PatchOp::remove(1000 + i));
    const QList<TarvUSB::Frame> reset = withRootReset({patchFrame(10, full)}, 9, true);
    ASSERT_EQ(reset.size(), 2);
    EXPECT_EQ(reset[0], patchFrame(9, {PatchOp::remove(100)}));

    full.removeLast();
    const QList<TarvUSB::Frame> joined = withRootReset({patchFrame(10, full)}, 9, true);
    ASSERT_EQ(joined.size(), 1);
    EXPECT_EQ(opsOf(joined[0]).size(), 64);
    expectSendable(joined[0]);

    const TarvUSB::Frame ping{4, TarvUSB::PingPayload{}};
    EXPECT_EQ(withRootReset({ping}, 9, true).size(), 2);
}

}  // namespace
