// Now Playing: asking the players, keeping the shown position steady between answers, the
// transport buttons and seeking, and the artwork backdrop in the device's picture slot.

#include "hub/DeviceManager.h"

#include "media/MediaPlaybackService.h"
#include "pages/NowPlayingPage.h"

#include <QPointer>
#include <QTimer>

#include <cmath>

using namespace TarvUSB;

namespace {

// A player's position this close to the extrapolated one is the same playback: the shown
// position keeps running from its anchor instead of jumping by the poll's jitter.
constexpr double inStepTolerance = 1.5;
// The transport key travels through the device and the desktop before the player acts on
// it, while asking the player takes a millisecond: asked at once, the player would still
// report the state before the key and undo the page's own answer until the next poll.
constexpr int mediaControlSettleMs = 250;

QString controlName(MediaControl control)
{
    switch (control) {
    case MediaControl::previous:
        return QStringLiteral("previous");
    case MediaControl::playPause:
        return QStringLiteral("playPause");
    case MediaControl::next:
        return QStringLiteral("next");
    }
    return {};
}

}  // namespace

void DeviceManager::pollNowPlaying(std::function<void()> finished)
{
    if (!m_mediaService) {
        if (finished)
            finished();
        return;
    }
    const QPointer<DeviceManager> weak(this);
    m_mediaService->nowPlaying(this, [weak, finished = std::move(finished)](const NowPlayingState& fresh) {
        if (!weak)
            return;
        weak->applyNowPlaying(fresh, weak->m_clock.now());
        if (finished)
            finished();
    });
}

void DeviceManager::refreshNowPlaying()
{
    pollNowPlaying();
}

void DeviceManager::applyNowPlaying(NowPlayingState fresh, const QDateTime& now)
{
    const NowPlayingState old = m_nowPlaying;
    const QString key = fresh.artworkKey();
    const bool usable = !key.isEmpty() && key != m_failedArtworkIdentity;
    fresh.hasArtwork = m_backdropIdentity.has_value() && usable;
    fresh.accent = usable && m_cachedBackdrop ? m_cachedBackdrop->accent : NowPlayingBackdrop::defaultAccent;

    if (!m_playbackSample) {
        m_playbackSample = PlaybackSample{fresh.elapsed, now};
    } else {
        double expected = old.elapsed;
        if (old.isPlaying) {
            expected = m_playbackSample->elapsed + double(m_playbackSample->date.msecsTo(now)) / 1000.0;
            expected = expected <= 0 ? 0 : expected;
            // A stream, or a player that gives no length, runs on without an end.
            if (old.duration > 0)
                expected = std::min(expected, old.duration);
        }
        if (old.isPlaying && fresh.isPlaying && std::abs(fresh.elapsed - expected) <= inStepTolerance)
            fresh.elapsed = old.elapsed;
        else
            m_playbackSample = PlaybackSample{fresh.elapsed, now};
    }
    // The user's drag is not overwritten by the player's idea of the position.
    if (m_scrubFraction)
        fresh.elapsed = old.elapsed;

    const bool changed = fresh != old;
    setNowPlaying(fresh);
    if (changed && m_activeScreen == DeviceScreen::nowPlaying() && !m_scrubFraction)
        refreshNowPlayingPage();

    if (key.isEmpty() || key == m_requestedArtworkIdentity)
        return;
    m_requestedArtworkIdentity = key;
    if (!m_artworkService) {
        applyArtwork(key, std::nullopt);
        return;
    }
    const QPointer<DeviceManager> weak(this);
    m_artworkService->fetchArtwork(this, fresh, [weak, key](const std::optional<NowPlayingBackdrop>& backdrop) {
        if (weak)
            weak->applyArtwork(key, backdrop);
    });
}

void DeviceManager::applyArtwork(const QString& key, const std::optional<NowPlayingBackdrop>& backdrop)
{
    // A late answer for a track that is no longer current changes nothing.
    if (m_nowPlaying.artworkKey() != key)
        return;
    NowPlayingState next = m_nowPlaying;
    if (backdrop) {
        m_cachedArtworkIdentity = key;
        m_cachedBackdrop = backdrop;
        next.accent = backdrop->accent;
        setNowPlaying(next);
        if (m_activeScreen == DeviceScreen::nowPlaying())
            updateNowPlayingBackdrop();
        return;
    }
    m_failedArtworkIdentity = key;
    next.hasArtwork = false;
    next.accent = NowPlayingBackdrop::defaultAccent;
    setNowPlaying(next);
    if (m_activeScreen == DeviceScreen::nowPlaying())
        refreshNowPlayingPage();
}

void DeviceManager::updateNowPlayingBackdrop()
{
    // Without a connection nothing reaches the device; the page's next render uploads it.
    if (!m_cachedBackdrop || !m_state.isConnected())
        return;
    NowPlayingState next = m_nowPlaying;
    if (m_backdropIdentity && *m_backdropIdentity == m_cachedArtworkIdentity) {
        if (next.hasArtwork)
            return;
    } else {
        uploadAsset(m_cachedBackdrop->pixels);
        m_backdropIdentity = m_cachedArtworkIdentity;
    }
    next.hasArtwork = true;
    setNowPlaying(next);
    refreshNowPlayingPage();
}

void DeviceManager::refreshNowPlayingPage()
{
    if (!m_state.isConnected())
        return;
    const std::uint16_t seq = takeNextSequence();
    const QList<DeviceScreen> pages = swipePages();
    const qsizetype position = pages.indexOf(DeviceScreen::nowPlaying());
    const PageIndicator indicator{int(pages.size()), position >= 0 ? std::optional<int>(int(position)) : std::nullopt};
    sendDynamicUI({DynamicUIDemo::nowPlayingUpdateFrame(m_nowPlaying, seq, indicator)});
}

void DeviceManager::sendMediaControl(MediaControl control)
{
    if (!m_state.isConnected())
        return;
    const std::optional<std::uint16_t> usage = consumerUsage(control);
    if (!usage)
        return;
    sendHidEmit(HidReport::consumer, 0, *usage);
    if (control == MediaControl::playPause) {
        // The page answers the button at once; the player's own answer follows.
        NowPlayingState next = m_nowPlaying;
        next.isPlaying = !next.isPlaying;
        setNowPlaying(next);
        m_playbackSample = PlaybackSample{m_nowPlaying.elapsed, m_clock.now()};
        // Only the Now Playing page has the nodes to update; the key itself works from any page.
        if (m_activeScreen == DeviceScreen::nowPlaying())
            refreshNowPlayingPage();
    }
    log(LogEntry::Direction::system, QStringLiteral("Media control: ") + controlName(control));
    const QPointer<DeviceManager> weak(this);
    QTimer::singleShot(mediaControlSettleMs, this, [weak] {
        if (weak)
            weak->pollNowPlaying();
    });
}

void DeviceManager::seekPlayer(double seconds, const NowPlayingState& playing)
{
    const QString refused = playing.playerName() + QStringLiteral(" did not accept the seek");
    if (!m_mediaService || playing.source == NowPlayingState::Source::none) {
        log(LogEntry::Direction::system, refused);
        pollNowPlaying();
        return;
    }
    const QPointer<DeviceManager> weak(this);
    m_mediaService->seek(this, playing, seconds, [weak, refused](bool accepted) {
        if (!weak)
            return;
        if (!accepted)
            weak->log(LogEntry::Direction::system, refused);
        weak->pollNowPlaying();
    });
}
