// The device settings: what each setter stores and sends, the initial page after HELLO, and
// the refused screensaver timings.

#include "HubFixture.h"

#include "hub/DeviceClock.h"

#include <cmath>
#include <limits>

using namespace TarvUSB;

class SettingsTest : public HubTest {
protected:
    QList<int> backlightLevels() const
    {
        QList<int> out;
        for (const Frame& frame : framesOf<BacklightPayload>())
            out.append(frame.get<BacklightPayload>()->level);
        return out;
    }
};

TEST_F(SettingsTest, TheBacklightIsClampedStoredEveryTimeAndSentAtOnce)
{
    connectAndGreet();
    EXPECT_TRUE(backlightLevels().isEmpty()) << "no level stored, none sent after HELLO";
    hub->setBacklight(5);
    EXPECT_EQ(hub->backlightLevel(), 10);
    EXPECT_EQ(settings->wholeNumber(QStringLiteral("display.backlight")), 10);
    hub->setBacklight(250);
    hub->setBacklight(55);
    hub->setBacklight(55);
    EXPECT_EQ(hub->backlightLevel(), 55);
    EXPECT_TRUE(hub->queuedFrames().isEmpty()) << "sent directly, outside the queue";
    ASSERT_TRUE(waitUntil([&] { return backlightLevels().size() == 4; }));
    EXPECT_EQ(backlightLevels(), (QList<int>{10, 100, 55, 55}));

    // Stored now, so the next handshake sends it after ORIENTATION.
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return backlightLevels().size() == 5; }));
}

TEST_F(SettingsTest, TheFlipIsStoredAndSentOnlyOnAChange)
{
    connectAndGreet();
    const qsizetype before = count<OrientationPayload>();
    hub->setDisplayFlipped(true);
    hub->setDisplayFlipped(true);
    EXPECT_EQ(settings->boolean(QStringLiteral("display.flipped")), true);
    roundTrip();
    EXPECT_EQ(count<OrientationPayload>(), before + 1);
    EXPECT_TRUE(framesOf<OrientationPayload>().last().get<OrientationPayload>()->flipped);
}

TEST_F(SettingsTest, TheInitialPageIsMatchedWithoutRegardToCase)
{
    settings->setText(QStringLiteral("initialScreen"), QStringLiteral("Calculator"));
    connectAndGreet();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());
    EXPECT_EQ(hub->lastInteractiveScreen(), DeviceScreen::calculator());

    settings->setText(QStringLiteral("initialScreen"), QStringLiteral("SCREENSAVER"));
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == DeviceScreen::screensaver(); }));
    EXPECT_EQ(hub->lastInteractiveScreen(), DeviceScreen::home());
    hub->wakeFromScreensaver();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());

    settings->setText(QStringLiteral("initialScreen"), QStringLiteral("weather"));
    hub->showScreen(DeviceScreen::stocks());
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == DeviceScreen::home(); }));
}

TEST_F(SettingsTest, TurningTheScreensaverOffWakesItAndTheTimeoutRedrawsIt)
{
    connectAndGreet();
    hub->showScreen(DeviceScreen::nowPlaying());
    hub->showScreen(DeviceScreen::screensaver());
    int renders = hub->renderCount();
    EXPECT_TRUE(hub->setScreensaverTimeout(120));
    EXPECT_EQ(hub->renderCount(), renders + 1);
    EXPECT_EQ(settings->finiteDouble(QStringLiteral("screensaver.timeout")), 120.0);

    renders = hub->renderCount();
    hub->setScreensaverStyle(ScreensaverStyle::pill);
    EXPECT_EQ(hub->renderCount(), renders) << "no photos: the style does not show";
    EXPECT_EQ(settings->text(QStringLiteral("screensaver.style")), QStringLiteral("pill"));

    hub->setScreensaverEnabled(false);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::nowPlaying());
    EXPECT_EQ(settings->boolean(QStringLiteral("screensaver.enabled")), false);
    waitForQuiet();
    EXPECT_TRUE(device.problems().isEmpty()) << device.problems().join(u'\n').toStdString();
}

TEST_F(SettingsTest, ATimeoutOrIntervalThatIsNoFiniteNumberAboveZeroIsRefused)
{
    makeHub();
    const ScreensaverState before = hub->screensaver();
    for (double bad : {0.0, -5.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(hub->setScreensaverTimeout(bad)) << bad;
        EXPECT_FALSE(hub->setScreensaverPhotoInterval(bad)) << bad;
    }
    EXPECT_EQ(hub->screensaver(), before);
    EXPECT_FALSE(settings->contains(QStringLiteral("screensaver.timeout")));
    EXPECT_FALSE(settings->contains(QStringLiteral("screensaver.photoInterval")));
    EXPECT_TRUE(hub->setScreensaverPhotoInterval(15));
    EXPECT_EQ(hub->screensaver().photoInterval, 15.0);

    // After a wake the idle clock starts again: the screensaver does not return at once.
    connectAndGreet();
    hub->showScreen(DeviceScreen::screensaver());
    hub->wakeFromScreensaver();
    hub->tick(hub->screensaver().lastInteraction.addSecs(1));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
}

TEST(IdleMinutes, AreWholeMinutesOfAtLeastOneForAnyTimeout)
{
    EXPECT_EQ(DeviceManager::idleMinutes(300), 5);
    EXPECT_EQ(DeviceManager::idleMinutes(90), 1);
    EXPECT_EQ(DeviceManager::idleMinutes(30), 1);
    EXPECT_EQ(DeviceManager::idleMinutes(std::nan("")), 1);
    EXPECT_EQ(DeviceManager::idleMinutes(std::numeric_limits<double>::infinity()), 1);
    EXPECT_EQ(DeviceManager::idleMinutes(1e300), std::numeric_limits<int>::max());
}

TEST(DeviceClockTick, ReportsEachNewMinuteOnce)
{
    DeviceClock clock;
    const QDateTime start(QDate(2025, 3, 14), QTime(9, 41, 59));
    EXPECT_TRUE(clock.tick(start));
    EXPECT_FALSE(clock.tick(start));
    EXPECT_TRUE(clock.tick(start.addSecs(1)));
    EXPECT_EQ(clock.renderedMinute, QStringLiteral("2025-03-14 09:42"));
}
