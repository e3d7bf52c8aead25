#include "pages/NowPlayingControls.h"

#include "media/PlaybackTime.h"
#include "pages/PageNodes.h"

#include <algorithm>
#include <cmath>

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

namespace {

constexpr int trackWidth = 240;

int progressWidthAt(double elapsed, double duration)
{
    double f = 0;
    if (duration > 0) {
        f = elapsed / duration;
        f = std::isnan(f) ? 0 : std::clamp(f, 0.0, 1.0);
    }
    return std::max(roundedPixels(f * trackWidth), 1);
}

}  // namespace

QString remainingTimeText(double duration, double elapsed)
{
    return QLatin1Char('-') + formatPlaybackTime(std::max(duration - elapsed, 0.0));
}

int progressWidth(const NowPlayingState& state)
{
    return progressWidthAt(state.elapsed, state.duration);
}

QList<PatchOp> progressOps(const NowPlayingState& state)
{
    return {
        PatchOp::setProps(NowPlayingNodes::progressFill, {intProp("w", progressWidth(state))}),
        PatchOp::setText(NowPlayingNodes::elapsed, formatPlaybackTime(state.elapsed)),
        PatchOp::setText(NowPlayingNodes::remaining, remainingTimeText(state.duration, state.elapsed)),
    };
}

QList<PatchOp> accentDotOps(const PageIndicator& indicator, std::uint32_t accent)
{
    const QList<PageIndicator::Dot> dots = indicator.dots();
    for (int i = 0; i < dots.size(); ++i) {
        if (dots[i].isActive)
            return {PatchOp::setProps(NowPlayingNodes::firstDot + i, {colorProp("bg", accent)})};
    }
    return {};
}

std::optional<double> scrubFraction(int x, int y)
{
    if (y < 110 || y > 167 || x < 214 || x > 479)
        return std::nullopt;
    return std::clamp(double(x - 228) / trackWidth, 0.0, 1.0);
}

TarvUSB::Frame scrubFrame(const NowPlayingState& state, std::uint16_t seq, double fraction)
{
    double position = fraction * state.duration;
    if (!std::isfinite(position))
        position = 0;
    const int w = progressWidthAt(position, state.duration);
    return patchFrame(seq, {
        PatchOp::setProps(NowPlayingNodes::progressFill, {intProp("w", w)}),
        PatchOp::setProps(NowPlayingNodes::scrubKnob,
                          {intProp("x", std::min(std::max(w, 0), trackWidth) + 222), boolProp("hidden", false)}),
        PatchOp::setText(NowPlayingNodes::elapsed, formatPlaybackTime(position)),
        PatchOp::setText(NowPlayingNodes::remaining, remainingTimeText(state.duration, position)),
    });
}

std::optional<MediaControl> transportButtonAt(int x, int y)
{
    if (y < 176 || y > 235)
        return std::nullopt;
    if (x >= 228 && x <= 287)
        return MediaControl::previous;
    if (x >= 296 && x <= 391)
        return MediaControl::playPause;
    if (x >= 400 && x <= 467)
        return MediaControl::next;
    return std::nullopt;
}

}  // namespace DynamicUIDemo
