#include "PageOps.h"
#include "pages/NowPlayingControls.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace DynamicUIDemo;
using namespace PageOps;
using TarvUSB::PatchOp;

NowPlayingState playing(double elapsed, double duration)
{
    NowPlayingState s;
    s.title = "Song";
    s.source = NowPlayingState::Source::spotify;
    s.elapsed = elapsed;
    s.duration = duration;
    s.isPlaying = true;
    return s;
}

TEST(NowPlayingProgress, ZeroDurationAndPastTheEnd)
{
    EXPECT_EQ(progressWidth(playing(0, 0)), 1);
    EXPECT_EQ(progressOps(playing(0, 0)),
              (QList<PatchOp>{PatchOp::setProps(803, ints({{"w", 1}})), PatchOp::setText(804, "0:00"),
                              PatchOp::setText(805, "-0:00")}));
    EXPECT_EQ(progressWidth(playing(400, 200)), 240);
    EXPECT_EQ(textOf(progressOps(playing(400, 200)), 805), "-0:00");
    EXPECT_EQ(progressWidth(playing(60, 240)), 60);
    EXPECT_EQ(textOf(progressOps(playing(60, 187 + 60)), 805), "-3:07");
}

TEST(NowPlayingProgress, NonFiniteTimesGiveAnEmptyBar)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(progressWidth(playing(nan, 100)), 1);
    EXPECT_EQ(progressWidth(playing(10, nan)), 1);
    EXPECT_EQ(progressWidth(playing(10, inf)), 1);
    EXPECT_EQ(progressWidth(playing(inf, 100)), 240);
    EXPECT_EQ(progressWidth(playing(inf, inf)), 1);
    EXPECT_EQ(textOf(progressOps(playing(nan, inf)), 805), "-0:00");
}

TEST(NowPlayingScrub, FractionsAtTheEdgesOfTheArea)
{
    EXPECT_EQ(scrubFraction(228, 120), 0.0);
    EXPECT_EQ(scrubFraction(470, 150), 1.0);
    EXPECT_EQ(scrubFraction(214, 110), 0.0);
    EXPECT_EQ(scrubFraction(479, 167), 1.0);
    EXPECT_EQ(scrubFraction(348, 130), 0.5);
    EXPECT_EQ(scrubFraction(200, 120), std::nullopt);
    EXPECT_EQ(scrubFraction(480, 120), std::nullopt);
    EXPECT_EQ(scrubFraction(300, 109), std::nullopt);
    EXPECT_EQ(scrubFraction(300, 168), std::nullopt);
}

TEST(NowPlayingScrub, FrameShowsTheKnobAndTheTimesAtTheFraction)
{
    const TarvUSB::Frame frame = scrubFrame(playing(10, 200), 9, 0.5);
    EXPECT_EQ(frame.q, 9);
    QList<TarvUSB::PropEntry> knob = ints({{"x", 120 + 222}});
    knob.append({"hidden", TarvUSB::PropValue::boolean(false)});
    EXPECT_EQ(opsOf(frame), (QList<PatchOp>{PatchOp::setProps(803, ints({{"w", 120}})), PatchOp::setProps(806, knob),
                                            PatchOp::setText(804, "1:40"), PatchOp::setText(805, "-1:40")}));
    // Zero duration: the knob sits at the start of the track.
    EXPECT_EQ(intOf(opsOf(scrubFrame(playing(0, 0), 1, 1.0)), 806, "x"), 223);
    EXPECT_EQ(intOf(opsOf(scrubFrame(playing(0, 100), 1, std::nan(""))), 806, "x"), 223);
    expectSendable(frame);
}

TEST(NowPlayingTransport, ButtonsAndTheGapsBetweenThem)
{
    EXPECT_EQ(transportButtonAt(228, 176), MediaControl::previous);
    EXPECT_EQ(transportButtonAt(287, 235), MediaControl::previous);
    EXPECT_EQ(transportButtonAt(292, 200), std::nullopt);
    EXPECT_EQ(transportButtonAt(296, 200), MediaControl::playPause);
    EXPECT_EQ(transportButtonAt(391, 200), MediaControl::playPause);
    EXPECT_EQ(transportButtonAt(395, 200), std::nullopt);
    EXPECT_EQ(transportButtonAt(467, 200), MediaControl::next);
    EXPECT_EQ(transportButtonAt(468, 200), std::nullopt);
    EXPECT_EQ(transportButtonAt(300, 175), std::nullopt);
    EXPECT_EQ(transportButtonAt(300, 236), std::nullopt);
}

TEST(NowPlayingAccentDot, OnlyTheActiveDotTakesTheAccent)
{
    EXPECT_EQ(accentDotOps({4, 3}, 0x123456),
              (QList<PatchOp>{PatchOp::setProps(853, {{"bg", TarvUSB::PropValue::color(0x123456)}})}));
    EXPECT_TRUE(accentDotOps({4, std::nullopt}, 0x123456).isEmpty());
}

}  // namespace
