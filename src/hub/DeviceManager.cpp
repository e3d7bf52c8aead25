// Construction of the hub, the observation rule of its properties, and its release.

#include "hub/DeviceManager.h"
#include "hub/DeviceSettingsKeys.h"

#include "hub/LogCategory.h"
#include "link/DeviceWatcher.h"
#include "link/SerialPort.h"
#include "macros/DesktopActionRunner.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "media/ScreensaverStyle.h"
#include "media/StockService.h"
#include "platform/Settings.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/PushedValues.h"
#include "screens/runtime/ScreenDataSources.h"

#include <QPointer>
#include <QTimer>

Q_LOGGING_CATEGORY(tarvDevice, "tarv.device", QtInfoMsg)

namespace {


// The observation rule: an equal value is stored without telling anyone.
template <class T, class Signal>
void assign(DeviceManager* owner, T& field, const T& value, Signal signal)
{
    if (field == value)
        return;
    field = value;
    emit(owner->*signal)();
}

}  // namespace

DeviceManager::DeviceManager(ProfileStore& profiles, ScreensaverPhotoService& photoService, StockStore& stocks,
                             CustomScreenStore& customScreens, bool startServices, Environment environment,
                             QObject* parent)
    : QObject(parent),
      m_profiles(profiles),
      m_photoService(photoService),
      m_stocks(stocks),
      m_customScreens(customScreens),
      m_settings(*environment.settings),
      m_isTesting(environment.isTesting),
      m_frontmostSource(environment.frontmostSource),
      m_runningAppsSource(environment.runningAppsSource),
      m_notifyServerFactory(std::move(environment.notifyServerFactory)),
      m_clock(std::move(environment.clock)),
      m_mediaService(environment.mediaService),
      m_artworkService(environment.artworkService)
{
    // 1. Starting values of the connection and page models.
    m_screensaver.lastInteraction = m_clock.now();
    m_thumbnails.setMaxCost(environment.thumbnailCacheBytes);
    m_photoWork = std::make_unique<QThreadPool>();
    m_photoWork->setMaxThreadCount(1);

    // 2-3. Pushed values (in memory only under a test run) and the custom screen sources.
    std::optional<QString> pushedFile = environment.pushedValuesFile;
    if (!pushedFile && !m_isTesting)
        pushedFile = PushedValues::defaultFile();
    m_pushedValues = std::make_unique<PushedValues>(pushedFile);
    if (!m_pushedValues->loadProblem().isEmpty())
        log(LogEntry::Direction::system, QStringLiteral("Pushed values: ") + m_pushedValues->loadProblem());
    m_screenData = std::make_unique<ScreenDataSources>(
        *m_pushedValues, std::make_unique<ScreenDataFetcher>(10.0),
        ScreenSourceClock{[this] { return m_clock.now(); }, m_clock.makeSourceTimer});

    // The quote service, whose base address the settings give.
    m_stockService = std::make_unique<StockService>(m_settings);

    // 4. The device watcher, without callbacks yet.
    m_watcher = std::make_unique<TarvUSB::DeviceWatcher>();

    // 5. The remaining starting values and the device settings.
    m_customShownAt = m_clock.now();
    m_backlightLevel = storedBacklightLevel(m_settings).value_or(100);
    m_isDisplayFlipped = m_settings.boolean(DeviceSettingsKeys::flipped).value_or(false);

    // 6. The auto-switcher over the given profile store.
    m_autoSwitcher = std::make_unique<ProfileAutoSwitcher>(m_profiles, m_settings, QStringLiteral("tarv"),
                                                           m_frontmostSource);
    m_actionRunner = std::make_unique<DesktopActionRunner>();
    // The hub's own settings: a second reader of the file would read it again from disk on
    // this thread, while its writes go out on the settings writer's thread.
    m_actionRunner->screenshotLocation = [this] { return m_settings.text(QStringLiteral("screenshot.location")); };

    // 7-8. Photos and the stored screensaver settings.
    loadPhotoLibrary();
    readScreensaverSettings();

    // The timers the callbacks and the services may reach at once (the switcher's first look
    // at the front application can change the profile inside step 10); they run only when
    // something starts them.
    m_homeRefreshTimer = new QTimer(this);
    m_homeRefreshTimer->setSingleShot(true);
    m_homeRefreshTimer->setInterval(homeRefreshDelayMs);
    QObject::connect(m_homeRefreshTimer, &QTimer::timeout, this, &DeviceManager::refreshHome);
    m_snapshotWatchdog = new QTimer(this);
    m_snapshotWatchdog->setInterval(snapshotWatchdogIntervalMs);
    QObject::connect(m_snapshotWatchdog, &QTimer::timeout, this, &DeviceManager::checkSnapshotWatchdog);

    // 9. Callbacks of the stores. Stored profiles that could not be used are told once.
    installStoreCallbacks();
    if (const auto problem = m_profiles.takeLoadProblem())
        log(LogEntry::Direction::system, problem->text());

    // 10. The services, only outside tests. The watcher reports a plugged-in device at once,
    // so its port opens here, before the switcher and the socket server start.
    if (startServices) {
        m_customScreens.start();
        m_watcher->start();
        m_autoSwitcher->start();
        startNotifyServer();
    }

    // 11. The loops that run for the life of the application. The timers are children of
    // the hub: they end with it, so none of them ever reaches a hub that is gone.
    m_heartbeatTimer = new QTimer(this);
    m_heartbeatTimer->setTimerType(Qt::PreciseTimer);
    m_heartbeatTimer->setInterval(heartbeatIntervalMs);
    QObject::connect(m_heartbeatTimer, &QTimer::timeout, this, &DeviceManager::heartbeatTick);
    m_heartbeatTimer->start();

    startPageLoops();
}

// The port closes with its owner; its reader thread holds nothing of the hub, and any
// callback still queued is dropped with the hub's context.
DeviceManager::~DeviceManager() = default;

void DeviceManager::readScreensaverSettings()
{
    ScreensaverState next = m_screensaver;
    if (m_settings.contains(DeviceSettingsKeys::screensaverEnabled))
        next.isEnabled = m_settings.boolean(DeviceSettingsKeys::screensaverEnabled).value_or(next.isEnabled);
    if (const auto timeout = m_settings.finiteDouble(DeviceSettingsKeys::screensaverTimeout); timeout && *timeout > 0)
        next.timeout = *timeout;
    if (const auto interval = m_settings.finiteDouble(DeviceSettingsKeys::screensaverPhotoInterval); interval && *interval > 0)
        next.photoInterval = *interval;
    if (const auto name = m_settings.text(DeviceSettingsKeys::screensaverStyle))
        if (const auto style = screensaverStyleFromName(*name))
            next.style = *style;
    setScreensaver(next);
}

void DeviceManager::installStoreCallbacks()
{
    QPointer<DeviceManager> weak(this);
    m_profiles.setOnChange([weak] {
        if (weak)
            weak->scheduleHomeRefresh();
    });
    m_autoSwitcher->setOnSwitch([weak](const QString& text) {
        if (weak)
            weak->log(LogEntry::Direction::system, text);
    });
    m_customScreens.onLog = [weak](const QString& text) {
        if (weak)
            weak->log(LogEntry::Direction::system, text);
    };
    m_screenData->onLog = m_customScreens.onLog;
    // Screen files, sprite sheets, approvals and data values: the page driver's reactions.
    installPageCallbacks();
    m_watcher->onAttach = [weak](const TarvUSB::DeviceWatcher::Device& device) {
        if (weak)
            weak->connect(device.registryID, device.path);
    };
    m_watcher->onDetach = [weak](const TarvUSB::DeviceWatcher::Device& device) {
        if (weak)
            weak->disconnect(device.registryID);
    };
}

std::optional<int> DeviceManager::storedBacklightLevel(const Settings& settings)
{
    const auto level = settings.wholeNumber(DeviceSettingsKeys::backlight);
    if (!level)
        return std::nullopt;
    return int(std::clamp<std::int64_t>(*level, 10, 100));
}

void DeviceManager::setState(const ConnectionState& state)
{
    // Every write of the state is reported, equal or not.
    m_state = state;
    emit stateChanged();
}

void DeviceManager::setActiveScreen(const DeviceScreen& screen)
{
    assign(this, m_activeScreen, screen, &DeviceManager::activeScreenChanged);
}

void DeviceManager::setLastInteractiveScreen(const DeviceScreen& screen)
{
    assign(this, m_lastInteractiveScreen, screen, &DeviceManager::lastInteractiveScreenChanged);
}

void DeviceManager::setNowPlaying(const NowPlayingState& state)
{
    assign(this, m_nowPlaying, state, &DeviceManager::nowPlayingChanged);
}

void DeviceManager::setScreensaver(const ScreensaverState& state)
{
    assign(this, m_screensaver, state, &DeviceManager::screensaverChanged);
}

void DeviceManager::setDisplayFlippedField(bool flipped)
{
    assign(this, m_isDisplayFlipped, flipped, &DeviceManager::isDisplayFlippedChanged);
}

void DeviceManager::setDeviceHoldsScreen(bool holds)
{
    assign(this, m_deviceHoldsScreen, holds, &DeviceManager::deviceHoldsScreenChanged);
}

void DeviceManager::setSnapshotProgress(const std::optional<double>& progress)
{
    assign(this, m_snapshotProgress, progress, &DeviceManager::snapshotProgressChanged);
}

void DeviceManager::setSnapshotError(const std::optional<QString>& error)
{
    assign(this, m_snapshotError, error, &DeviceManager::snapshotErrorChanged);
}

void DeviceManager::setHeartbeatInterval(int milliseconds)
{
    m_heartbeatTimer->setInterval(milliseconds);
}
