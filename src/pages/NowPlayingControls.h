#pragma once
// The live parts of the Now Playing page: the progress bar, the accent dot, scrubbing on the
// progress area and the hit test of the transport buttons.

#include "link/Frame.h"
#include "link/PatchOp.h"
#include "media/MediaControl.h"
#include "media/NowPlayingState.h"
#include "pages/PageIndicator.h"

#include <QList>

#include <cstdint>
#include <optional>

namespace DynamicUIDemo {

namespace NowPlayingNodes {
inline constexpr std::uint32_t title = 801;
inline constexpr std::uint32_t artist = 802;
inline constexpr std::uint32_t progressFill = 803;
inline constexpr std::uint32_t elapsed = 804;
inline constexpr std::uint32_t remaining = 805;
inline constexpr std::uint32_t scrubKnob = 806;
inline constexpr std::uint32_t time = 810;
inline constexpr std::uint32_t artworkPanel = 812;
inline constexpr std::uint32_t artworkCaption = 813;
inline constexpr std::uint32_t progressTrack = 814;
inline constexpr std::uint32_t backdrop = 815;
inline constexpr std::uint32_t previousButton = 820;
inline constexpr std::uint32_t playPauseButton = 821;
inline constexpr std::uint32_t nextButton = 822;
inline constexpr std::uint32_t playPauseLabel = 831;
inline constexpr std::uint32_t firstDot = 850;
}  // namespace NowPlayingNodes

// "-" and the time left, never below 0:00.
QString remainingTimeText(double duration, double elapsed);

// The fill of the 240-pixel track for the state's position: at least 1 pixel.
int progressWidth(const NowPlayingState& state);
// The fill width and the elapsed and remaining texts.
QList<TarvUSB::PatchOp> progressOps(const NowPlayingState& state);
// The active dot in the accent colour; nothing when no dot is active.
QList<TarvUSB::PatchOp> accentDotOps(const PageIndicator& indicator, std::uint32_t accent);

// The position along the track (0 … 1) of a touch on the progress area, or none elsewhere.
std::optional<double> scrubFraction(int x, int y);
// The page while the user drags: the fill, the visible knob and the times at the fraction.
TarvUSB::Frame scrubFrame(const NowPlayingState& state, std::uint16_t seq, double fraction);

// The transport button under a touch, or none (also in the gaps between buttons).
std::optional<MediaControl> transportButtonAt(int x, int y);

}  // namespace DynamicUIDemo
