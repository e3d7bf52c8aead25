#include "pages/NowPlayingPage.h"

#include "device/TextFit.h"
#include "media/PlaybackTime.h"
#include "pages/NowPlayingControls.h"
#include "pages/PageDots.h"
#include "pages/PageNodes.h"
#include "pages/TopBar.h"
#include "platform/OneLineText.h"

#include <algorithm>

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

namespace {

namespace N = NowPlayingNodes;

struct TransportButton {
    std::uint32_t id;
    int x;
    int w;
};

constexpr TransportButton previousButton{N::previousButton, 228, 60};
constexpr TransportButton playPauseButton{N::playPauseButton, 296, 96};
constexpr TransportButton nextButton{N::nextButton, 400, 68};

QString glyphText(char32_t codePoint)
{
    return QString::fromUcs4(&codePoint, 1);
}

QString playPauseGlyph(bool isPlaying)
{
    return glyphText(isPlaying ? 0xF04C : 0xF04B);
}

// Lighter texts over the artwork backdrop, dimmer ones on the plain background.
std::uint32_t timeColor(const NowPlayingState& s)
{
    return s.hasArtwork ? 0xA9B0B8 : Palette::dimText;
}
std::uint32_t artistColor(const NowPlayingState& s)
{
    return s.hasArtwork ? 0xC9CED4 : Palette::secondaryText;
}

QString fittedTitle(const NowPlayingState& s)
{
    return fitText(oneLineText(s.title), 24, 240);
}
QString fittedArtist(const NowPlayingState& s)
{
    return fitText(oneLineText(s.artist), 18, 240);
}

void appendTransportButton(QList<PatchOp>& ops, const TransportButton& b, int index, bool accented,
                           std::uint32_t accent, const QString& glyph)
{
    const std::uint32_t face = accented ? accent : Palette::face;
    const std::uint32_t border = accented ? accent : Palette::line;
    appendNode(ops, b.id, "btn", pageNode, index, boxProps(b.x, 176, b.w, 60, face, border, 1, 8));
    appendLabel(ops, b.id + 10, b.id, 0, (b.w - 23) / 2, 16, 24, 27, accented ? Palette::background : Palette::primaryText,
                24, glyph);
}

}  // namespace

QList<QList<PatchOp>> nowPlayingPageOps(const NowPlayingState& state, const QString& timeText,
                                        const PageIndicator& indicator)
{
    QList<PatchOp> ops = pagePrefixOps();

    QList<TarvUSB::PropEntry> backdrop = frameProps(0, 0, 480, 320);
    backdrop.append(intProp("assetId", 2));
    backdrop.append(boolProp("hidden", !state.hasArtwork));
    appendNode(ops, N::backdrop, "image", pageNode, 0, std::move(backdrop));

    appendTopBar(ops, N::time, 1, timeText);

    QList<TarvUSB::PropEntry> panel = boxProps(8, 36, 204, 204, Palette::face, Palette::line, 1, 8);
    panel.append(boolProp("hidden", state.hasArtwork));
    appendNode(ops, N::artworkPanel, "cont", pageNode, 3, std::move(panel));
    appendLabel(ops, N::artworkCaption, N::artworkPanel, 0, 50, 88, 120, 30, Palette::dimText, 24, QStringLiteral("MUSIC"));

    appendLabel(ops, N::title, pageNode, 4, 228, 46, 240, 30, Palette::primaryText, 24, fittedTitle(state));
    appendLabel(ops, N::artist, pageNode, 5, 228, 82, 240, 24, artistColor(state), 18, fittedArtist(state));
    appendNode(ops, N::progressTrack, "cont", pageNode, 6, boxProps(228, 124, 240, 6, Palette::line, std::nullopt, 0, 3));
    const int progress = progressWidth(state);
    appendNode(ops, N::progressFill, "cont", pageNode, 7, boxProps(228, 124, progress, 6, state.accent, std::nullopt, 0, 3));
    appendLabel(ops, N::elapsed, pageNode, 8, 228, 138, 80, 18, timeColor(state), 14, formatPlaybackTime(state.elapsed));
    appendLabel(ops, N::remaining, pageNode, 9, 418, 138, 50, 18, timeColor(state), 14, remainingTimeText(state.duration, state.elapsed));

    appendTransportButton(ops, previousButton, 10, false, state.accent, glyphText(0xF048));
    appendTransportButton(ops, playPauseButton, 11, true, state.accent, playPauseGlyph(state.isPlaying));
    appendTransportButton(ops, nextButton, 12, false, state.accent, glyphText(0xF051));

    const QList<PatchOp> dots = pageIndicatorOps(indicator, N::firstDot, 13);
    const int dotCount = int(dots.size() / 2);
    ops.append(dots);
    ops.append(accentDotOps(indicator, state.accent));

    QList<TarvUSB::PropEntry> knob = boxProps(std::min(progress + 222, 462), 121, 12, 12, Palette::primaryText, std::nullopt, 0, 6);
    knob.append(boolProp("hidden", true));
    appendNode(ops, N::scrubKnob, "cont", pageNode, dotCount + 13, std::move(knob));
    return {ops};
}

TarvUSB::Frame nowPlayingUpdateFrame(const NowPlayingState& state, std::uint16_t seq, const PageIndicator& indicator)
{
    QList<PatchOp> ops{
        PatchOp::setText(N::title, fittedTitle(state)),
        PatchOp::setText(N::artist, fittedArtist(state)),
        PatchOp::setProps(N::backdrop, {boolProp("hidden", !state.hasArtwork)}),
        PatchOp::setProps(N::artworkPanel, {boolProp("hidden", state.hasArtwork)}),
        PatchOp::setProps(N::artist, {colorProp("textColor", artistColor(state))}),
        PatchOp::setProps(N::elapsed, {colorProp("textColor", timeColor(state))}),
        PatchOp::setProps(N::remaining, {colorProp("textColor", timeColor(state))}),
        PatchOp::setProps(N::progressFill, {colorProp("bg", state.accent)}),
        PatchOp::setProps(N::playPauseButton, {colorProp("bg", state.accent), colorProp("borderColor", state.accent)}),
    };
    ops.append(accentDotOps(indicator, state.accent));
    ops.append(progressOps(state));
    ops.append(PatchOp::setText(N::playPauseLabel, playPauseGlyph(state.isPlaying)));
    return patchFrame(seq, std::move(ops));
}

}  // namespace DynamicUIDemo
