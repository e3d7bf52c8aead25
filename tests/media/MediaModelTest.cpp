#include "media/NowPlayingState.h"
#include "media/PlaybackTime.h"
#include "media/ScreensaverState.h"
#include "media/StockQuote.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(PlaybackTime, MinutesAndTwoDigitSeconds)
{
    EXPECT_EQ(formatPlaybackTime(0), "0:00");
    EXPECT_EQ(formatPlaybackTime(187), "3:07");
    EXPECT_EQ(formatPlaybackTime(3665), "61:05");
    EXPECT_EQ(formatPlaybackTime(59.99), "0:59");
    EXPECT_EQ(formatPlaybackTime(-5), "0:00");
}

TEST(PlaybackTime, NonFiniteAndHugeValuesStayDefined)
{
    EXPECT_EQ(formatPlaybackTime(std::numeric_limits<double>::quiet_NaN()), "0:00");
    EXPECT_EQ(formatPlaybackTime(std::numeric_limits<double>::infinity()), "0:00");
    EXPECT_EQ(formatPlaybackTime(-std::numeric_limits<double>::infinity()), "0:00");
    EXPECT_FALSE(formatPlaybackTime(1e300).isEmpty());
}

TEST(StockQuote, ChangeTextSignAndTwoDecimals)
{
    StockQuote q;
    EXPECT_EQ(q.changeText(), "UNAVAILABLE");
    q.percentageChange = 1.234;
    EXPECT_EQ(q.changeText(), "+1.23%");
    q.percentageChange = -0.4;
    EXPECT_EQ(q.changeText(), "-0.40%");
    q.percentageChange = -0.004;
    EXPECT_EQ(q.changeText(), "-0.00%");
    q.percentageChange = 0;
    EXPECT_EQ(q.changeText(), "+0.00%");
    q.percentageChange = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(q.changeText(), "UNAVAILABLE");
}

TEST(NowPlayingState, IdleStateAndArtworkKey)
{
    NowPlayingState s;
    EXPECT_EQ(s, NowPlayingState::idle());
    EXPECT_EQ(s.title, "Nothing Playing");
    EXPECT_EQ(s.accent, 0xFFB020u);
    s.artworkID = "42";
    EXPECT_EQ(s.artworkKey(), "");  // no player
    s.source = NowPlayingState::Source::spotify;
    EXPECT_EQ(s.artworkKey(), "Spotify:42");
    EXPECT_EQ(NowPlayingState::sourceFromName("No player"), NowPlayingState::Source::none);
    EXPECT_EQ(NowPlayingState::sourceFromName("Music"), std::nullopt);
}

TEST(ScreensaverModel, DefaultsAndRawNames)
{
    const ScreensaverState s;
    EXPECT_TRUE(s.isEnabled);
    EXPECT_EQ(s.timeout, 300);
    EXPECT_EQ(s.photoInterval, 60);
    EXPECT_EQ(s.style, ScreensaverStyle::corner);
    for (ScreensaverStyle style : allScreensaverStyles())
        EXPECT_EQ(screensaverStyleFromName(screensaverStyleName(style)), style);
    EXPECT_EQ(screensaverStyleFromName("quietcorner"), std::nullopt);
    EXPECT_EQ(screensaverCornerFromName("topRight"), ScreensaverCorner::topRight);
    EXPECT_TRUE(isTopCorner(ScreensaverCorner::topRight));
    EXPECT_FALSE(isRightCorner(ScreensaverCorner::bottomLeft));
}

}  // namespace
