#include "app/TarvApp.h"

#include "control/SocketNotifyServer.h"
#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "macros/SessionAppSource.h"
#include "media/MprisPlaybackService.h"
#include "media/ScreensaverPhotoService.h"
#include "media/UrlArtworkService.h"
#include "media/StockStore.h"
#include "platform/Settings.h"
#include "screens/runtime/CustomScreenStore.h"

#include <QDir>
#include <QStandardPaths>

TarvApp::TarvApp() = default;

// The hub goes first: it holds references to every store.
TarvApp::~TarvApp()
{
    m_deviceManager.reset();
}

bool TarvApp::isTesting()
{
    static const bool testing = qEnvironmentVariableIsSet("TARV_TEST_RUN");
    return testing;
}

QString TarvApp::applicationFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Tarv");
}

Settings& TarvApp::settings()
{
    deviceManager();
    return *m_settings;
}

DeviceManager& TarvApp::deviceManager()
{
    if (m_deviceManager)
        return *m_deviceManager;

    // In this order: each store is built before the next step and handed on.
    const bool testing = isTesting();
    m_settings = std::make_unique<Settings>(Settings::userSettingsPath());
    m_profiles = std::make_unique<ProfileStore>(*m_settings);
    m_photoService = std::make_unique<ScreensaverPhotoService>(applicationFolder());
    m_stocks = std::make_unique<StockStore>(*m_settings);
    const QString screensFolder = QDir(applicationFolder()).filePath(QStringLiteral("Screens"));
    // The screen store keeps its trust; under a test run the trust reads and stores no approvals.
    auto trust = std::make_unique<ScreenTrust>(testing ? nullptr : m_settings.get(),
                                               QDir(applicationFolder()).filePath(QStringLiteral("first-run-not-saved")));
    m_customScreens = std::make_unique<CustomScreenStore>(screensFolder, std::move(trust));
    // The KWin script lives beside the single-instance lock, in the private runtime folder.
    m_appSource = std::make_unique<SessionAppSource>(
        QDBusConnection::sessionBus(),
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/tarv-kwin-script.js"));
    m_mediaService = std::make_unique<MprisPlaybackService>(QDBusConnection::sessionBus());
    m_artworkService = std::make_unique<UrlArtworkService>();

    DeviceManager::Environment environment;
    environment.settings = m_settings.get();
    environment.isTesting = testing;
    environment.frontmostSource = m_appSource.get();
    environment.runningAppsSource = m_appSource.get();
    environment.mediaService = m_mediaService.get();
    environment.artworkService = m_artworkService.get();
    environment.notifyServerFactory = SocketNotifyServer::factory();
    m_deviceManager = std::make_unique<DeviceManager>(*m_profiles, *m_photoService, *m_stocks, *m_customScreens,
                                                      !testing, std::move(environment));
    return *m_deviceManager;
}
