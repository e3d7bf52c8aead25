// The hub's construction from the settings, the observation rule, the bounded log, the
// delayed home redraw and the start of the command channel.

#include "HubFixture.h"

#include "macros/FrontmostAppSource.h"

#include <QSignalSpy>

using namespace TarvUSB;

namespace {

class ScriptedServer final : public NotifyServer {
public:
    explicit ScriptedServer(std::optional<StartError> error) : m_error(std::move(error)) {}
    std::optional<StartError> start() override { return m_error; }
    void stop() override {}

private:
    std::optional<StartError> m_error;
};

NotifyServer::Factory serverThatStartsWith(std::optional<NotifyServer::StartError> error)
{
    return [error](const QString&, NotifyServer::Handler) { return std::make_unique<ScriptedServer>(error); };
}

// The application in front when the services start.
class FrontSource final : public FrontmostAppSource {
public:
    bool isAvailable() const override { return true; }
    QString unavailableReason() const override { return {}; }
    std::optional<FrontmostApp> frontmostApp() override { return front; }
    std::optional<FrontmostApp> front;
};

}  // namespace

TEST_F(HubTest, StartsFromDefaultsWhenNothingIsStored)
{
    makeHub();
    EXPECT_EQ(hub->state(), ConnectionState::disconnected());
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    EXPECT_EQ(hub->backlightLevel(), 100);
    EXPECT_FALSE(hub->isDisplayFlipped());
    EXPECT_TRUE(hub->screensaver().isEnabled);
    EXPECT_EQ(hub->screensaver().timeout, 300);
    EXPECT_EQ(hub->screensaver().photoInterval, 60);
    EXPECT_EQ(hub->screensaver().style, ScreensaverStyle::corner);
    EXPECT_EQ(hub->screensaver().lastInteraction, wallNow);
    EXPECT_EQ(hub->nowPlaying(), NowPlayingState::idle());
    EXPECT_FALSE(hub->pushedValues().file()) << "a test run keeps pushed values in memory";
    EXPECT_TRUE(hub->log().isEmpty());
    EXPECT_FALSE(hub->hasNotifyServer());
}

TEST_F(HubTest, ScreensaverSettingsApplyOnlyUnderTheirConditions)
{
    settings->setBoolean(QStringLiteral("screensaver.enabled"), false);
    settings->setDouble(QStringLiteral("screensaver.timeout"), 0);
    settings->setDouble(QStringLiteral("screensaver.photoInterval"), 12.5);
    settings->setText(QStringLiteral("screensaver.style"), QStringLiteral("sideways"));
    settings->setWholeNumber(QStringLiteral("display.backlight"), 3);
    makeHub();
    EXPECT_FALSE(hub->screensaver().isEnabled);
    EXPECT_EQ(hub->screensaver().timeout, 300);
    EXPECT_EQ(hub->screensaver().photoInterval, 12.5);
    EXPECT_EQ(hub->screensaver().style, ScreensaverStyle::corner);
    EXPECT_EQ(hub->backlightLevel(), 10);

    settings->setText(QStringLiteral("screensaver.style"), QStringLiteral("pill"));
    settings->setDouble(QStringLiteral("screensaver.timeout"), 90);
    makeHub();
    EXPECT_EQ(hub->screensaver().style, ScreensaverStyle::pill);
    EXPECT_EQ(hub->screensaver().timeout, 90);
}

TEST_F(HubTest, StoredProfilesThatCouldNotBeReadAreLoggedOnce)
{
    settings->setBytes(ProfileStore::storageKey, QByteArrayLiteral("not a library"));
    makeHub();
    EXPECT_EQ(logTexts(), QStringList{QStringLiteral("Stored macro profiles could not be read; they were kept "
                                                     "under \"macroProfiles.v1.unreadable\"")});
    makeHub();
    EXPECT_TRUE(hub->log().isEmpty()) << "the library stored at the first start reads back";
}

TEST_F(HubTest, TheLogKeepsTheNewest200Entries)
{
    makeHub();
    QSignalSpy changes(hub.get(), &DeviceManager::logChanged);
    for (int k = 1; k <= 201; ++k)
        hub->log(LogEntry::Direction::system, QString::number(k));
    ASSERT_EQ(hub->log().size(), 200);
    EXPECT_EQ(hub->log().first().text, QStringLiteral("2"));
    EXPECT_EQ(hub->log().last().text, QStringLiteral("201"));
    EXPECT_EQ(changes.count(), 202) << "the append and the trim are two changes";
    EXPECT_NE(hub->log()[0].id, hub->log()[1].id);
}

TEST_F(HubTest, EqualWritesDoNotNotifyButEveryStateWriteDoes)
{
    makeHub();
    QSignalSpy screens(hub.get(), &DeviceManager::activeScreenChanged);
    hub->setActiveScreen(DeviceScreen::home());
    EXPECT_EQ(screens.count(), 0);
    hub->setActiveScreen(DeviceScreen::custom(QStringLiteral("a")));
    hub->setActiveScreen(DeviceScreen::custom(QStringLiteral("a")));
    hub->setActiveScreen(DeviceScreen::custom(QStringLiteral("b")));
    EXPECT_EQ(screens.count(), 2);

    QSignalSpy states(hub.get(), &DeviceManager::stateChanged);
    hub->connect(1, dir.filePath(QStringLiteral("missing")));  // connecting, then disconnected
    EXPECT_EQ(states.count(), 2);
}

TEST_F(HubTest, ABurstOfProfileChangesRedrawsTheHomePageOnce)
{
    connectAndGreet();
    const int renders = hub->renderCount();
    const QUuid first = profiles->activeID();
    const QUuid second = profiles->addProfile(false).id;
    profiles->activateProfile(second);
    profiles->activateProfile(first);
    ASSERT_TRUE(waitUntil([&] { return hub->renderCount() > renders; }));
    QTest::qWait(DeviceManager::homeRefreshDelayMs + 50);
    EXPECT_EQ(hub->renderCount(), renders + 1);
}

TEST_F(HubTest, ProfileChangesRedrawNothingWhileDisconnected)
{
    makeHub();
    profiles->addProfile(false);
    QTest::qWait(DeviceManager::homeRefreshDelayMs + 50);
    EXPECT_EQ(hub->renderCount(), 0);
}

TEST_F(HubTest, TheCommandChannelReportsWhyItDidNotStart)
{
    makeHub(serverThatStartsWith(NotifyServer::StartError{NotifyServer::StartError::Kind::alreadyServed, {}}));
    hub->startNotifyServer();
    ASSERT_TRUE(waitUntil([&] { return !hub->log().isEmpty(); }));
    EXPECT_EQ(logTexts(), QStringList{QStringLiteral(
                              "Notifications: another copy of Tarv is already listening for `tarv notify`")});
    EXPECT_FALSE(hub->hasNotifyServer());

    makeHub(serverThatStartsWith(NotifyServer::StartError{NotifyServer::StartError::Kind::failed, QStringLiteral("no room")}));
    hub->startNotifyServer();
    ASSERT_TRUE(waitUntil([&] { return !hub->log().isEmpty(); }));
    EXPECT_EQ(logTexts(), QStringList{QStringLiteral("Notifications: could not listen for `tarv notify`: no room")});

    makeHub(serverThatStartsWith(std::nullopt));
    hub->startNotifyServer();
    ASSERT_TRUE(waitUntil([&] { return hub->hasNotifyServer(); }));
    EXPECT_TRUE(hub->log().isEmpty());
}

TEST_F(HubTest, FramesAreDescribedForTheLog)
{
    EXPECT_EQ(DeviceManager::describeFrame(Frame{3, HelloPayload{QStringLiteral("1.2"), 1, 480, 320, 0}}),
              QStringLiteral("HELLO #3 fw=1.2 pv=1 display=480\u00D7320"));
    EXPECT_EQ(DeviceManager::describeFrame(Frame{4, HidEmitPayload{HidReport::keyboard, 2, {4, 5}}}),
              QStringLiteral("HID_EMIT #4 report=keyboard keys=[4, 5]"));
    EXPECT_EQ(DeviceManager::describeFrame(Frame{5, HidEmitPayload{HidReport::consumer, 0, {}}}),
              QStringLiteral("HID_EMIT #5 report=consumer keys=[]"));
    EXPECT_EQ(DeviceManager::describeFrame(Frame{6, BacklightPayload{40}}), QStringLiteral("BACKLIGHT #6 level=40"));
    EXPECT_EQ(DeviceManager::describeFrame(Frame{7, PingPayload{7}}), QStringLiteral("PING #7"));
    EXPECT_EQ(DeviceManager::describeFrame(Frame{8, TouchPayload{1, 2, TouchPhase::up}}), QStringLiteral("touch #8"));
    EXPECT_EQ(DeviceManager::describeFrame(Frame{9, AssetEndPayload{16, 0}}), QStringLiteral("assetEnd #9"));
    EXPECT_EQ(DeviceManager::describeFrame(Frame{10, SnapshotRequestPayload{1}}), QStringLiteral("snapshotRequest #10"));
}

TEST_F(HubTest, TouchesReachDispatchAfterTheirLogLine)
{
    attach();
    QSignalSpy touches(hub.get(), &DeviceManager::deviceEvent);
    device.sendTouch(10, 20, TouchPhase::down);
    ASSERT_TRUE(waitUntil([&] { return touches.count() == 1; }));
    EXPECT_TRUE(logTexts().last().startsWith(QStringLiteral("touch #")));
}

TEST_F(HubTest, AProfileSwitchWhileTheServicesStartIsLoggedAndRedrawsNothing)
{
    // The switcher's first look at the front application switches the profile inside the
    // constructor, before the loops exist. No port of the developer's is opened.
    qunsetenv("TARV_SERIAL_PORT");
    profiles = std::make_unique<ProfileStore>(*settings);
    const QUuid first = profiles->activeID();
    const QUuid mail = profiles->addProfile(false).id;
    profiles->linkApps(AppTarget{QStringLiteral("org.example.Mail"), QStringLiteral("Mail")}, mail);
    profiles->activateProfile(first);
    FrontSource source;
    source.front = FrontmostApp{QStringLiteral("org.example.Mail"), QStringLiteral("Mail")};

    DeviceManager::Environment environment;
    environment.settings = settings.get();
    environment.frontmostSource = &source;
    environment.clock.now = [this] { return wallNow; };
    environment.clock.monotonic = [this] { return monotonicNow; };
    hub = std::make_unique<DeviceManager>(*profiles, photos, stocks, screens, true, std::move(environment));

    EXPECT_EQ(profiles->activeID(), mail);
    QTest::qWait(DeviceManager::homeRefreshDelayMs + 50);
    // Told once the switches of the start have settled.
    EXPECT_EQ(logCount(QStringLiteral("Profile \u201C")), 1);
    EXPECT_EQ(hub->renderCount(), 0) << "nothing is drawn while disconnected";
}
