// What keeps the shown page current between full redraws: the one-second tick (clock minute,
// screensaver entry and photos), the Now Playing and stock loops, and the reactions to the
// screen stores.

#include "hub/DeviceManager.h"

#include "pages/PageFrames.h"
#include "pages/ScreensaverPages.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenDataSources.h"

#include <QPointer>
#include <QTimer>

using namespace TarvUSB;

namespace {

constexpr int tickIntervalMs = 1000;
constexpr int mediaIntervalMs = 3000;
constexpr int stockIntervalMs = 900 * 1000;
// Value changes of a custom page within this time go out as one push.
constexpr int customUpdateDelayMs = 50;

// Seconds from `since` to `now`; an invalid `since` lies in the distant past.
double secondsBetween(const QDateTime& since, const QDateTime& now)
{
    if (!since.isValid())
        return std::numeric_limits<double>::infinity();
    return double(since.msecsTo(now)) / 1000.0;
}

}  // namespace

void DeviceManager::startPageLoops()
{
    // The timers are children of the hub: they end with it. A loop whose work is slow never
    // overlaps itself, since each pass runs to its end on this thread before the next.
    m_tickTimer = new QTimer(this);
    m_tickTimer->setTimerType(Qt::PreciseTimer);
    m_tickTimer->setInterval(tickIntervalMs);
    QObject::connect(m_tickTimer, &QTimer::timeout, this, [this] { tick(m_clock.now()); });
    m_tickTimer->start();

    m_mediaTimer = new QTimer(this);
    m_mediaTimer->setInterval(mediaIntervalMs);
    QObject::connect(m_mediaTimer, &QTimer::timeout, this, [this] {
        // A player slow to answer gets no second poll on top of the first: polls that overlap
        // could answer out of order and show an older state last. Every poll answers, at the
        // latest when its bus calls time out.
        if (m_mediaLoopPollInFlight || !m_state.isConnected() || m_activeScreen != DeviceScreen::nowPlaying())
            return;
        m_mediaLoopPollInFlight = true;
        pollNowPlaying([this] { m_mediaLoopPollInFlight = false; });
    });
    m_mediaTimer->start();

    m_stockTimer = new QTimer(this);
    m_stockTimer->setInterval(stockIntervalMs);
    QObject::connect(m_stockTimer, &QTimer::timeout, this, [this] {
        if (m_state.isConnected() && m_activeScreen == DeviceScreen::stocks())
            refreshStockQuotes();
    });
    m_stockTimer->start();

    m_customUpdateTimer = new QTimer(this);
    m_customUpdateTimer->setSingleShot(true);
    m_customUpdateTimer->setInterval(customUpdateDelayMs);
    QObject::connect(m_customUpdateTimer, &QTimer::timeout, this, &DeviceManager::pushCustomValues);

    // One animation step at a time; a step yields to frames still waiting to go out, since the
    // next step rebuilds from the elapsed time anyway.
    m_customAnimationTimer = new QTimer(this);
    m_customAnimationTimer->setSingleShot(true);
    m_customAnimationTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_customAnimationTimer, &QTimer::timeout, this, [this] {
        if (m_queuedFrames.isEmpty())
            pushCustomValues();
        scheduleCustomAnimation();
    });
}

void DeviceManager::installPageCallbacks()
{
    const QPointer<DeviceManager> weak(this);
    m_customScreens.onChange = [weak] {
        if (weak)
            weak->screensDidChange();
    };
    m_customScreens.onSheetChange = [weak](const QSet<QString>& ids) {
        if (weak)
            weak->spriteSheetsDidChange(ids);
    };
    m_customScreens.trust().onApprove = [weak](const QString& id) {
        if (!weak)
            return;
        weak->log(LogEntry::Direction::system, QStringLiteral("Screens: ") + id + QStringLiteral(" approved"));
        weak->screensDidChange();
    };
    m_customScreens.trust().onRevoke = [weak](const QString& id) {
        if (!weak)
            return;
        weak->log(LogEntry::Direction::system, QStringLiteral("Screens: ") + id + QStringLiteral(" no longer approved"));
        weak->screensDidChange();
    };
    // The first run's approvals come into effect after the reload that made them, once stored.
    m_customScreens.trust().onFirstRunStored = [weak] {
        if (weak)
            weak->screensDidChange();
    };
    m_screenData->onChange = [weak](const QString& id) {
        if (weak)
            weak->screenValuesDidChange(id);
    };
}

// --- The one-second tick -------------------------------------------------------------------

void DeviceManager::tick(const QDateTime& now)
{
    const bool connected = m_state.isConnected();
    if (m_activeScreen != DeviceScreen::screensaver() && connected && m_screensaver.isEnabled) {
        if (secondsBetween(m_screensaver.lastInteraction, now) >= m_screensaver.timeout) {
            enterScreensaver();
            return;
        }
        advanceScreensaverPhoto(now);
    } else {
        advanceScreensaverPhoto(now);
        if (!connected)
            return;
    }

    if (m_deviceClock.tick(now)) {
        const bool photoShows = m_activeScreen == DeviceScreen::screensaver() && m_photoIndex >= 0 &&
                                m_photoIndex < m_photoLibrary.size();
        if (photoShows) {
            if (const std::optional<ScreensaverPhotoLayout> layout = screensaverLayout())
                if (auto patch = ScreensaverPhotoLayout::overlayPatch(takeNextSequence(), now, *layout))
                    sendDynamicUI({*patch});
        } else
            sendDynamicUI({DynamicUIDemo::clockTickFrame(takeNextSequence(), m_activeScreen, now)});
    }
    advanceNowPlayingProgress(now);
}

void DeviceManager::enterScreensaver()
{
    if (!m_state.isConnected())
        return;
    if (m_activeScreen != DeviceScreen::screensaver()) {
        setLastInteractiveScreen(m_activeScreen);
        setActiveScreen(DeviceScreen::screensaver());
    }
    renderActivePage();
}

// --- Store reactions -----------------------------------------------------------------------

void DeviceManager::screensDidChange()
{
    // Values are kept for every screen the store holds, so a screen waiting for its
    // approval keeps what was pushed to it.
    m_screenData->keepScreensWhere(
        [this](const QString& id) { return m_customScreens.screenWithID(id).has_value(); });
    // Worked out anew also when a listener of an outer announcement made this change.
    m_announcedScreens.reset();
    m_announcedScreens = availableScreens();
    emit availableScreensChanged();
    // And so are the lists asked for after it, by the rest of an outer announcement too.
    m_announcedScreens.reset();

    if (m_lastInteractiveScreen.isCustom()) {
        const std::optional<CustomScreen> found = m_customScreens.screenWithID(m_lastInteractiveScreen.customID());
        if (!found || !m_customScreens.trust().isScreenApproved(*found))
            setLastInteractiveScreen(DeviceScreen::home());
    }

    if (!m_state.isConnected() || m_activeScreen == DeviceScreen::screensaver())
        return;
    if (m_activeScreen.isCustom() || swipePages().size() != m_renderedPageCount)
        renderActivePage();
}

void DeviceManager::spriteSheetsDidChange(const QSet<QString>& screenIDs)
{
    if (m_state.isConnected() && m_activeScreen.isCustom() && screenIDs.contains(m_activeScreen.customID()))
        renderActivePage();
}

void DeviceManager::screenValuesDidChange(const QString& screenID)
{
    if (m_activeScreen.isCustom() && m_activeScreen.customID() == screenID && m_customUpdateTimer &&
        !m_customUpdateTimer->isActive())
        m_customUpdateTimer->start();
}
