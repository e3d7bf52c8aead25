// Touches from the device: the toast filter, waking from the screensaver, swipes while the
// finger moves, taps hit-tested where the finger went down, calculator keys, scrubbing the
// Now Playing progress bar and the seek that ends it, and the progress estimate.

#include "hub/DeviceManager.h"

#include "device/FoldForDevice.h"
#include "macros/ProfileStore.h"
#include "media/PlaybackTime.h"
#include "pages/CalculatorKeys.h"
#include "pages/NowPlayingControls.h"
#include "platform/Graphemes.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

using namespace TarvUSB;

namespace {

// A drag becomes a swipe once it is this wide and wider than tall.
constexpr int swipeThreshold = 60;
// The shortest time between two scrub preview frames.
constexpr std::chrono::milliseconds scrubFrameInterval{80};
constexpr std::uint32_t scrubKnobNode = DynamicUIDemo::NowPlayingNodes::scrubKnob;
constexpr std::uint32_t calculatorExpressionNode = 401;
constexpr std::uint32_t calculatorDisplayNode = 402;
constexpr qsizetype calculatorLineCharacters = 12;

// Taps on the calculator count inside these bounds only.
constexpr int calculatorLastX = 478;
constexpr int calculatorLastY = 295;

bool isSwipe(int dx, int dy)
{
    return std::abs(dx) >= swipeThreshold && std::abs(dx) > std::abs(dy);
}

// Fraction along the progress track while dragging: the x alone counts.
double dragFraction(std::uint16_t x)
{
    return std::clamp((double(x) - 228.0) / 240.0, 0.0, 1.0);
}

ToastTouchFilter::Phase filterPhase(TouchPhase phase)
{
    switch (phase) {
    case TouchPhase::down:
        return ToastTouchFilter::Phase::down;
    case TouchPhase::move:
        return ToastTouchFilter::Phase::move;
    case TouchPhase::up:
        return ToastTouchFilter::Phase::up;
    }
    return ToastTouchFilter::Phase::move;
}

}  // namespace

void DeviceManager::markInteraction()
{
    ScreensaverState next = m_screensaver;
    next.lastInteraction = m_clock.now();
    setScreensaver(next);
}

void DeviceManager::handleDeviceEvent(const TouchPayload& touch)
{
    emit deviceEvent(touch);
    if (touch.phase != TouchPhase::down && touch.phase != TouchPhase::move && touch.phase != TouchPhase::up)
        return;

    // 1-2. The toast takes the touches that went down on it.
    const ToastTouchFilter::Verdict verdict =
        m_toastTouches.update(filterPhase(touch.phase), touch.x, touch.y, toastTouchRect());
    if (verdict == ToastTouchFilter::Verdict::swallowed)
        return;
    if (verdict == ToastTouchFilter::Verdict::dismiss) {
        markInteraction();
        dismissToast();
        return;
    }

    switch (touch.phase) {
    case TouchPhase::down: {
        if (m_activeScreen == DeviceScreen::screensaver()) {
            // The touch only wakes the device; its release must not press what now shows.
            m_suppressTouchUp = true;
            wakeFromScreensaver();
            return;
        }
        markInteraction();
        // A down starts a new touch: whatever the last one left behind because its release
        // never arrived no longer applies.
        m_suppressTouchUp = false;
        m_scrubFraction.reset();
        if (m_activeScreen == DeviceScreen::nowPlaying() && m_nowPlaying.source != NowPlayingState::Source::none &&
            m_nowPlaying.duration > 0) {
            if (const std::optional<double> fraction = DynamicUIDemo::scrubFraction(touch.x, touch.y)) {
                m_touchStart.reset();
                m_scrubFraction = fraction;
                m_lastScrubFrame = m_clock.monotonic();
                sendDynamicUI({DynamicUIDemo::scrubFrame(m_nowPlaying, takeNextSequence(), *fraction)});
                return;
            }
        }
        m_touchStart = TouchPoint{touch.x, touch.y};
        return;
    }
    case TouchPhase::move: {
        if (m_scrubFraction) {
            scrubNowPlaying(touch);
            return;
        }
        if (!m_touchStart)
            return;
        const int dx = int(touch.x) - int(m_touchStart->x);
        const int dy = int(touch.y) - int(m_touchStart->y);
        if (!isSwipe(dx, dy))
            return;
        m_touchStart.reset();
        m_suppressTouchUp = true;
        swipeFrom(dx, dy);
        return;
    }
    case TouchPhase::up: {
        if (m_scrubFraction) {
            scrubNowPlaying(touch);
            return;
        }
        if (m_suppressTouchUp) {
            m_suppressTouchUp = false;
            m_touchStart.reset();
            return;
        }
        if (!m_touchStart)
            return;
        const TouchPoint start = *m_touchStart;
        m_touchStart.reset();
        const int dx = int(touch.x) - int(start.x);
        const int dy = int(touch.y) - int(start.y);
        if (isSwipe(dx, dy))
            swipeFrom(dx, dy);
        else
            tapAt(start);
        return;
    }
    }
}

void DeviceManager::swipeFrom(int dx, int dy)
{
    if (const std::optional<DeviceScreen> target = DeviceScreen::swipeTarget(dx, dy, swipePages(), m_activeScreen))
        showScreen(*target);
}

void DeviceManager::tapAt(const TouchPoint& start)
{
    switch (m_activeScreen.kind()) {
    case DeviceScreen::Kind::home:
        if (const std::optional<int> index = m_profiles.activeProfile().keyIndexAtPoint(start.x, start.y))
            pressMacroKey(*index);
        return;
    case DeviceScreen::Kind::calculator:
        handleCalculatorTap(start.x, start.y);
        return;
    case DeviceScreen::Kind::nowPlaying:
        if (const std::optional<MediaControl> control = DynamicUIDemo::transportButtonAt(start.x, start.y))
            sendMediaControl(*control);
        return;
    case DeviceScreen::Kind::custom:
        if (!m_customLayout)
            return;
        if (const auto button = CustomScreenRenderer::hitTestButton(start.x, start.y, *m_customLayout)) {
            if (!button->refusal.isEmpty()) {
                log(LogEntry::Direction::system, button->title + QStringLiteral(" opened nothing: ") + button->refusal);
                return;
            }
            if (!button->note.isEmpty())
                log(LogEntry::Direction::system,
                    button->title + QStringLiteral(" opens part of its address: ") + button->note);
            fireMacroKey(button->action, button->title);
        }
        return;
    case DeviceScreen::Kind::stocks:
    case DeviceScreen::Kind::screensaver:
        return;
    }
}

// --- Now Playing ---------------------------------------------------------------------------

void DeviceManager::scrubNowPlaying(const TouchPayload& touch)
{
    const double fraction = dragFraction(touch.x);
    m_scrubFraction = fraction;
    if (touch.phase == TouchPhase::move) {
        const HubClock::MonotonicTime now = m_clock.monotonic();
        if (m_lastScrubFrame && now - *m_lastScrubFrame < scrubFrameInterval)
            return;
        m_lastScrubFrame = now;
        sendDynamicUI({DynamicUIDemo::scrubFrame(m_nowPlaying, takeNextSequence(), fraction)});
        return;
    }
    if (touch.phase != TouchPhase::up)
        return;

    m_scrubFraction.reset();
    if (m_activeScreen != DeviceScreen::nowPlaying())
        return;
    const double seconds = fraction * m_nowPlaying.duration;
    const NowPlayingState playing = m_nowPlaying;
    NowPlayingState next = m_nowPlaying;
    next.elapsed = seconds;
    setNowPlaying(next);
    m_playbackSample = PlaybackSample{seconds, m_clock.now()};

    QList<PatchOp> ops{PatchOp::setProps(scrubKnobNode, {{QStringLiteral("hidden"), PropValue::boolean(true)}})};
    ops.append(DynamicUIDemo::progressOps(m_nowPlaying));
    sendDynamicUI({Frame{takeNextSequence(), PatchPayload{ops}}});
    log(LogEntry::Direction::system, QStringLiteral("Seek to ") + formatPlaybackTime(m_nowPlaying.elapsed));

    const QPointer<DeviceManager> weak(this);
    QTimer::singleShot(0, this, [weak, seconds, playing] {
        if (weak)
            weak->seekPlayer(seconds, playing);
    });
}

void DeviceManager::advanceNowPlayingProgress(const QDateTime& now)
{
    if (m_activeScreen != DeviceScreen::nowPlaying() || m_scrubFraction || !m_nowPlaying.isPlaying ||
        !m_playbackSample)
        return;
    const double since = double(m_playbackSample->date.msecsTo(now)) / 1000.0;
    double position = std::max(0.0, m_playbackSample->elapsed + since);
    // Without a length (a stream) the position runs on without an end.
    if (m_nowPlaying.duration > 0)
        position = std::min(m_nowPlaying.duration, position);
    if (formatPlaybackTime(position) == formatPlaybackTime(m_nowPlaying.elapsed))
        return;
    NowPlayingState next = m_nowPlaying;
    next.elapsed = position;
    setNowPlaying(next);
    sendDynamicUI({Frame{takeNextSequence(), PatchPayload{DynamicUIDemo::progressOps(next)}}});
}

std::optional<std::uint16_t> DeviceManager::consumerUsage(MediaControl control)
{
    switch (control) {
    case MediaControl::previous:
        return 0xB6;
    case MediaControl::playPause:
        return 0xCD;
    case MediaControl::next:
        return 0xB5;
    }
    return std::nullopt;
}

// --- Calculator ----------------------------------------------------------------------------

void DeviceManager::handleCalculatorTap(std::uint16_t x, std::uint16_t y)
{
    using G = DynamicUIDemo::CalculatorGrid;
    if (x < G::originX || y < G::originY || x > calculatorLastX || y > calculatorLastY)
        return;
    const int dx = x - G::originX;
    const int dy = y - G::originY;
    if (dx % G::columnPitch > G::keyWidth - 1 || dy % G::rowPitch > G::keyHeight - 1)
        return;
    const int column = dx / G::columnPitch;
    const int row = dy / G::rowPitch;
    const QList<QString>& labels = DynamicUIDemo::calculatorKeyLabels();
    const int index = row * G::columns + column;
    if (column >= G::columns || row >= G::rows || index >= labels.size())
        return;
    pressCalculatorKey(labels[index]);
}

void DeviceManager::pressCalculatorKey(const QString& key)
{
    if (m_activeScreen != DeviceScreen::calculator())
        return;
    CalculatorState next = m_calculator;
    next.pressKey(key);
    if (next != m_calculator) {
        m_calculator = next;
        emit calculatorChanged();
    }
    const QList<PatchOp> ops{
        PatchOp::setText(calculatorExpressionNode,
                         firstGraphemes(foldForDevice(m_calculator.expression), calculatorLineCharacters)),
        PatchOp::setText(calculatorDisplayNode,
                         firstGraphemes(foldForDevice(m_calculator.display), calculatorLineCharacters)),
    };
    sendDynamicUI({Frame{takeNextSequence(), PatchPayload{ops}}});
    log(LogEntry::Direction::system, QStringLiteral("Calculator key: ") + key);
}
