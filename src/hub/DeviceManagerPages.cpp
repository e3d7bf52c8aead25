// The page side of the hub as far as the connection needs it: the initial page after the
// handshake, a full redraw, touch dispatch and the delayed home redraw. The page driver
// replaces the drawing here with the one for every page; until then the device shows the
// home page.

#include "hub/DeviceManager.h"

#include "macros/ProfileStore.h"
#include "pages/ClockText.h"
#include "pages/HomePage.h"
#include "pages/PageIndicator.h"
#include "pages/PatchBatching.h"
#include "platform/Settings.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenDataSources.h"

#include <QTimer>

using namespace TarvUSB;

namespace {

// The page container under the screen root: removing it clears a page.
constexpr std::uint32_t pageContainerNode = 100;

QList<DeviceScreen> builtInSwipePages()
{
    return {DeviceScreen::home(), DeviceScreen::stocks(), DeviceScreen::calculator(), DeviceScreen::nowPlaying()};
}

}  // namespace

void DeviceManager::showInitialScreen()
{
    QList<DeviceScreen> pages = builtInSwipePages();
    for (const CustomScreen& screen : m_customScreens.approvedScreens())
        pages.append(DeviceScreen::custom(screen.id));

    const std::optional<QString> stored = m_settings.text(QStringLiteral("initialScreen"));
    DeviceScreen initial = DeviceScreen::home();
    if (stored) {
        for (const DeviceScreen& page : pages)
            if (page.id().compare(*stored, Qt::CaseInsensitive) == 0) {
                initial = page;
                break;
            }
    }
    setActiveScreen(initial);
    setLastInteractiveScreen(initial);
    ScreensaverState next = m_screensaver;
    next.lastInteraction = m_clock.now();
    setScreensaver(next);
    if (stored && stored->compare(QStringLiteral("screensaver"), Qt::CaseInsensitive) == 0)
        setActiveScreen(DeviceScreen::screensaver());
    renderActivePage();
}

void DeviceManager::renderActivePage()
{
    ++m_renderCount;
    // Until the page driver draws every page, each page is drawn as the home page.
    const std::uint16_t resetSeq = takeNextSequence();
    const QList<DeviceScreen> pages = builtInSwipePages();
    const qsizetype position = pages.indexOf(m_activeScreen);
    const PageIndicator indicator{int(pages.size()), position >= 0 ? std::optional<int>(int(position)) : std::nullopt};

    QList<Frame> frames;
    if (m_deviceHoldsScreen)
        frames.append(Frame{resetSeq, PatchPayload{{PatchOp::remove(pageContainerNode)}}});
    const QString time = DynamicUIDemo::timeText(m_clock.now());
    for (const QList<PatchOp>& list : DynamicUIDemo::homePageOps(m_profiles.activeProfile(), time, indicator))
        for (const QList<PatchOp>& batch : DynamicUIDemo::batchPatchOps(list))
            frames.append(Frame{takeNextSequence(), PatchPayload{batch}});
    if (m_serialPort)
        setDeviceHoldsScreen(true);
    sendDynamicUI(frames);
}

void DeviceManager::handleDeviceEvent(const TouchPayload& touch)
{
    emit deviceEvent(touch);
}

void DeviceManager::updateScreenDataSources()
{
    // No custom page is drawn yet, so no source has anything to feed.
    m_screenData->stopAll();
}

void DeviceManager::scheduleHomeRefresh()
{
    // A burst of profile changes redraws the device once.
    m_homeRefreshTimer->start();
}
