#include "PageOps.h"
#include "device/MontserratMetrics.h"
#include "pages/NowPlayingPage.h"

#include <gtest/gtest.h>

namespace {

using namespace DynamicUIDemo;
using namespace PageOps;
using TarvUSB::PatchOp;

NowPlayingState track()
{
    NowPlayingState s;
    s.title = "Bohemian Rhapsody";
    s.artist = "Queen";
    s.duration = 354;
    s.elapsed = 60;
    s.isPlaying = true;
    s.source = NowPlayingState::Source::musicPlayer;
    s.accent = 0x3366CC;
    return s;
}

QList<std::uint32_t> createdIDs(const QList<PatchOp>& ops)
{
    QList<std::uint32_t> ids;
    for (const PatchOp& op : ops) {
        if (op.kind() == TarvUSB::PatchOpKind::create)
            ids.append(op.id());
    }
    return ids;
}

TEST(NowPlayingPage, NodesInOrder)
{
    const auto lists = nowPlayingPageOps(track(), "9:41 AM", {5, 3});
    ASSERT_EQ(lists.size(), 1);
    const QList<PatchOp>& ops = lists[0];
    EXPECT_EQ(createdIDs(ops), (QList<std::uint32_t>{100, 815, 810, 811, 812, 813, 801, 802, 814, 803, 804, 805, 820,
                                                     830, 821, 831, 822, 832, 850, 851, 852, 853, 854, 806}));
    EXPECT_EQ(createOf(ops, 810)->index, 1);
    EXPECT_EQ(createOf(ops, 822)->index, 12);
    EXPECT_EQ(createOf(ops, 850)->index, 13);
    EXPECT_EQ(createOf(ops, 806)->index, 18);
    EXPECT_EQ(intOf(ops, 811, "x"), 450);
    // The accent dot follows the dots.
    const qsizetype knob = ops.indexOf(PatchOp::create(806, "cont", 100, 18));
    EXPECT_EQ(ops[knob - 1], PatchOp::setProps(853, {{"bg", TarvUSB::PropValue::color(0x3366CC)}}));
    EXPECT_EQ(colorOf(ops, 821, "bg"), 0x3366CCu);
    EXPECT_EQ(colorOf(ops, 831, "textColor"), 0x0A0B0Cu);
    EXPECT_EQ(textOf(ops, 831), QString(QChar(0xF04C)));
    EXPECT_EQ(textOf(ops, 830), QString(QChar(0xF048)));
    EXPECT_EQ(intOf(ops, 832, "x"), (68 - 23) / 2);
    EXPECT_EQ(textOf(ops, 804), "1:00");
    EXPECT_EQ(textOf(ops, 805), "-4:54");
    EXPECT_EQ(intOf(ops, 803, "w"), 41);  // 60 / 354 of 240
    EXPECT_EQ(intOf(ops, 806, "x"), 41 + 222);
    expectSendable(ops);
}

TEST(NowPlayingPage, ArtworkSwitchesBackdropPanelAndTextColours)
{
    NowPlayingState s = track();
    QList<PatchOp> ops = nowPlayingPageOps(s, "", {4, 3})[0];
    EXPECT_EQ(prop(ops, 815, "hidden"), TarvUSB::PropValue::boolean(true));
    EXPECT_EQ(prop(ops, 812, "hidden"), TarvUSB::PropValue::boolean(false));
    EXPECT_EQ(colorOf(ops, 802, "textColor"), 0x9AA3ADu);
    EXPECT_EQ(colorOf(ops, 804, "textColor"), 0x6B747Eu);

    s.hasArtwork = true;
    ops = nowPlayingPageOps(s, "", {4, 3})[0];
    EXPECT_EQ(prop(ops, 815, "hidden"), TarvUSB::PropValue::boolean(false));
    EXPECT_EQ(prop(ops, 812, "hidden"), TarvUSB::PropValue::boolean(true));
    EXPECT_EQ(colorOf(ops, 802, "textColor"), 0xC9CED4u);
    EXPECT_EQ(colorOf(ops, 805, "textColor"), 0xA9B0B8u);
}

TEST(NowPlayingPage, IdleStateAtDurationZero)
{
    const QList<PatchOp> ops = nowPlayingPageOps(NowPlayingState::idle(), "", {4, std::nullopt})[0];
    EXPECT_EQ(intOf(ops, 803, "w"), 1);
    EXPECT_EQ(intOf(ops, 806, "x"), 223);
    EXPECT_EQ(createOf(ops, 806)->index, 13);
    EXPECT_EQ(textOf(ops, 805), "-0:00");
    EXPECT_EQ(textOf(ops, 831), QString(QChar(0xF04B)));
    EXPECT_EQ(colorOf(ops, 803, "bg"), 0xFFB020u);
}

TEST(NowPlayingPage, LongTitlesAreFittedWithThreeDots)
{
    NowPlayingState s = track();
    s.title = "A Very Long Song Title That Goes On And On Forever";
    const QList<PatchOp> ops = nowPlayingPageOps(s, "", {4, 3})[0];
    const QString title = *textOf(ops, 801);
    EXPECT_TRUE(title.endsWith("..."));
    EXPECT_LE(MontserratMetrics::textWidth(title, 24), 240);
}

TEST(NowPlayingPage, UpdateFrameInOrder)
{
    NowPlayingState s = track();
    s.isPlaying = false;
    const TarvUSB::Frame frame = nowPlayingUpdateFrame(s, 12, {4, 3});
    EXPECT_EQ(frame.q, 12);
    const QList<PatchOp>& ops = opsOf(frame);
    QList<std::uint32_t> ids;
    for (const PatchOp& op : ops)
        ids.append(op.id());
    EXPECT_EQ(ids, (QList<std::uint32_t>{801, 802, 815, 812, 802, 804, 805, 803, 821, 853, 803, 804, 805, 831}));
    EXPECT_EQ(ops.last(), PatchOp::setText(831, QString(QChar(0xF04B))));
    EXPECT_EQ(ops[8], PatchOp::setProps(821, {{"bg", TarvUSB::PropValue::color(0x3366CC)},
                                              {"borderColor", TarvUSB::PropValue::color(0x3366CC)}}));
    expectSendable(frame);
    // Without an active dot the accent dot operation is left out.
    EXPECT_EQ(opsOf(nowPlayingUpdateFrame(s, 12, {4, std::nullopt})).size(), ops.size() - 1);
}

}  // namespace
