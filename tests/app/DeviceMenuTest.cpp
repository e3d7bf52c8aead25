// The Device menu and the tray menu: order, texts, shortcuts and enable rules, disconnected and
// connected, against the in-process fake device.

#include "ShellFixture.h"

#include "app/DeviceCommands.h"
#include "app/DeviceToggles.h"
#include "app/SettingsWindow.h"
#include "app/TrayMenu.h"
#include "macros/ProfileAutoSwitcher.h"

#include <QApplication>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

namespace {

// The menu as the user reads it: separators as "-", section headings as "[title]", check
// marks as "*".
QStringList menuLines(const QMenu* menu)
{
    QStringList out;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            out.append(action->text().isEmpty() ? QStringLiteral("-") : u'[' + action->text() + u']');
        else
            out.append((action->isChecked() ? QStringLiteral("*") : QString()) + action->text());
    }
    return out;
}

QStringList enabledEntries(const QMenu* menu)
{
    QStringList out;
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && action->isEnabled())
            out.append(action->text());
    return out;
}

}  // namespace

class DeviceMenuTest : public ShellTest {
protected:
    QMenu* deviceMenu() { return window->findChild<QMenu*>(QStringLiteral("deviceMenu")); }
    QAction* action(const QString& name) { return window->findChild<QAction*>(name); }
    qsizetype orientationCount() const
    {
        return std::count_if(device.received().cbegin(), device.received().cend(),
                             [](const TarvUSB::Frame& f) { return f.get<TarvUSB::OrientationPayload>() != nullptr; });
    }
    void waitForIdle()
    {
        ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty() && hub->queuedFrames().isEmpty(); }));
    }
    // The window active, so its shortcuts reach its actions.
    void activate()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
};

TEST_F(DeviceMenuTest, DisconnectedOnlyThePauseAndFlipTogglesAct)
{
    MainWindow& w = makeWindow();
    QStringList menus;
    for (QAction* menuAction : w.menuBar()->actions())
        menus.append(menuAction->text());
    EXPECT_EQ(menus, (QStringList{"&File", "&Edit", "&View", "&Device"}));

    EXPECT_EQ(menuLines(deviceMenu()),
              (QStringList{"Send Profile to Tarv", "-", "[Show on Tarv]", "*Home", "Stocks", "Calculator", "Now Playing",
                           "Screensaver", "-", "Wake Tarv", "-", "Pause Auto-Switching", "-", "Flip Display"}));
    EXPECT_EQ(enabledEntries(deviceMenu()), (QStringList{"Pause Auto-Switching", "Flip Display"}));
    EXPECT_EQ(action(QStringLiteral("sendProfileAction"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
    EXPECT_EQ(action(QStringLiteral("wakeAction"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+W")));
    EXPECT_EQ(action(QStringLiteral("devicePage:calculator"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+3")));

    // The flip is stored while disconnected, and nothing is sent.
    action(QStringLiteral("flipDisplayAction"))->trigger();
    EXPECT_TRUE(hub->isDisplayFlipped());
    EXPECT_EQ(settings->boolean(QStringLiteral("display.flipped")), true);
    action(QStringLiteral("pauseAutoSwitchingAction"))->trigger();
    EXPECT_TRUE(hub->autoSwitcher().isPaused());
}

TEST_F(DeviceMenuTest, ConnectedThePagesActAndCtrlDigitSwitchesTheDevicesPage)
{
    makeWindow();
    connectAndGreet();
    EXPECT_EQ(enabledEntries(deviceMenu()),
              (QStringList{"Send Profile to Tarv", "Home", "Stocks", "Calculator", "Now Playing", "Screensaver",
                           "Pause Auto-Switching", "Flip Display"}));
    activate();

    const qsizetype before = patchCount();
    QTest::keyClick(window.get(), Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());
    ASSERT_TRUE(waitUntil([&] { return patchCount() > before; }));
    EXPECT_TRUE(action(QStringLiteral("devicePage:calculator"))->isChecked());
    EXPECT_FALSE(action(QStringLiteral("devicePage:home"))->isChecked());
    waitForIdle();

    // Send Profile shows the home page afresh, also when it is already shown.
    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    waitForIdle();
    const qsizetype homeSent = patchCount();
    action(QStringLiteral("sendProfileAction"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return patchCount() > homeSent; }));

    device.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !hub->state().isConnected(); }));
    QTest::keyClick(window.get(), Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
}

TEST_F(DeviceMenuTest, TwelvePagesOnlyTheFirstNineHaveShortcuts)
{
    for (int i = 1; i <= 7; ++i)
        screens.add(QStringLiteral("screen%1").arg(i), QStringLiteral("Screen %1").arg(i), true);
    makeWindow();
    const QList<QAction*> pages = window->deviceCommands()->pageActions();
    ASSERT_EQ(pages.size(), 12);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(pages[i]->shortcut(), i < 9 ? QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)) : QKeySequence());
    }
    EXPECT_EQ(pages[9]->text(), QStringLiteral("Screen 5"));
}

TEST_F(DeviceMenuTest, WakeActsOnlyOnTheScreensaverAndReturnsToThePageBefore)
{
    makeWindow();
    connectAndGreet();
    activate();
    QAction* wake = action(QStringLiteral("wakeAction"));
    hub->showScreen(DeviceScreen::calculator());
    EXPECT_FALSE(wake->isEnabled());
    QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());

    hub->showScreen(DeviceScreen::screensaver());
    EXPECT_TRUE(wake->isEnabled());
    const QDateTime before = hub->screensaver().lastInteraction;
    QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());
    EXPECT_GE(hub->screensaver().lastInteraction, before);
    EXPECT_FALSE(wake->isEnabled());
}

TEST_F(DeviceMenuTest, FlipSendsTheOrientationWhileConnected)
{
    makeWindow();
    connectAndGreet();
    const qsizetype before = orientationCount();
    action(QStringLiteral("flipDisplayAction"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return orientationCount() > before; }));
    const TarvUSB::Frame& last = *std::find_if(device.received().crbegin(), device.received().crend(),
                                               [](const TarvUSB::Frame& f) { return f.get<TarvUSB::OrientationPayload>(); });
    EXPECT_TRUE(last.get<TarvUSB::OrientationPayload>()->flipped);
    // Set elsewhere (the Settings window), the check mark follows.
    hub->setDisplayFlipped(false);
    EXPECT_FALSE(action(QStringLiteral("flipDisplayAction"))->isChecked());
}

TEST_F(DeviceMenuTest, TrayMenuShowsProfilesOnlyFromTwoAndSwitchesThem)
{
    makeWindow();
    TrayMenu tray(*hub, *window);
    QStringList lines = menuLines(tray.menu());
    EXPECT_EQ(lines, (QStringList{"Not Connected", "-", "[Show on Tarv]", "*Home", "Stocks", "Calculator",
                                  "Now Playing", "Screensaver", "-", "Open Tarv", "Settings…", "Quit Tarv"}));
    EXPECT_EQ(enabledEntries(tray.menu()), (QStringList{"Open Tarv", "Settings…", "Quit Tarv"}));
    EXPECT_EQ(tray.menu()->findChild<QAction*>(QStringLiteral("traySettingsAction"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+,")));
    EXPECT_EQ(tray.menu()->findChild<QAction*>(QStringLiteral("trayQuitAction"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Q")));

    const QString firstName = profiles->activeProfile().name;
    const MacroProfile second = profiles->addProfile(false);
    profiles->renameProfile(second.id, QString());
    profiles->activateProfile(profiles->profiles().first().id);
    ASSERT_TRUE(waitUntil([&] { return menuLines(tray.menu()).contains(QStringLiteral("[Profile]")); }));
    lines = menuLines(tray.menu());
    const qsizetype at = lines.indexOf(QStringLiteral("[Profile]"));
    EXPECT_EQ(lines.mid(at, 5), (QStringList{"[Profile]", u'*' + firstName, "Untitled", "-", "Pause Auto-Switching"}));
    EXPECT_TRUE(tray.menu()->findChild<QAction*>(QStringLiteral("trayProfile:") +
                                                 second.id.toString(QUuid::WithoutBraces))->isEnabled());

    // Choosing the other profile makes it the active one.
    tray.menu()->findChild<QAction*>(QStringLiteral("trayProfile:") + second.id.toString(QUuid::WithoutBraces))->trigger();
    EXPECT_EQ(profiles->activeID(), second.id);
    ASSERT_TRUE(waitUntil([&] { return menuLines(tray.menu()).contains(QStringLiteral("*Untitled")); }));

    // The pause toggle is the Device menu's own: both show the same state.
    QAction* pause = window->deviceCommands()->pauseAction();
    EXPECT_TRUE(tray.menu()->actions().contains(pause));
    pause->trigger();
    EXPECT_TRUE(hub->autoSwitcher().isPaused());
    hub->autoSwitcher().setPaused(false);
    EXPECT_FALSE(pause->isChecked());
}

TEST_F(DeviceMenuTest, TrayMenuFollowsTheConnectionAndOpensTheWindow)
{
    makeWindow();
    TrayMenu tray(*hub, *window);
    connectAndGreet();
    ASSERT_TRUE(waitUntil([&] { return menuLines(tray.menu()).first() == QStringLiteral("Connected · fake-1.0"); }));
    EXPECT_FALSE(tray.menu()->actions().first()->isEnabled());
    tray.menu()->findChild<QAction*>(QStringLiteral("trayPage:stocks"))->trigger();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::stocks());
    ASSERT_TRUE(waitUntil([&] { return menuLines(tray.menu()).contains(QStringLiteral("*Stocks")); }));

    EXPECT_FALSE(window->isVisible());
    tray.menu()->findChild<QAction*>(QStringLiteral("trayOpenAction"))->trigger();
    EXPECT_TRUE(window->isVisible());
    QSignalSpy quit(&tray, &TrayMenu::quitRequested);
    tray.menu()->findChild<QAction*>(QStringLiteral("trayQuitAction"))->trigger();
    EXPECT_EQ(quit.count(), 1);
}

TEST_F(DeviceMenuTest, TheApplicationsCommandsWorkInSettingsWhichEscapeAndCtrlWClose)
{
    // Settings opened while the main window is closed, as from the tray.
    makeWindow();
    connectAndGreet();
    QSignalSpy quit(window.get(), &MainWindow::quitRequested);
    const auto openSettings = [&] {
        window->showSettings();
        QApplication::setActiveWindow(window->settingsWindow());
        return QTest::qWaitForWindowActive(window->settingsWindow());
    };
    ASSERT_TRUE(openSettings());
    SettingsWindow* settings = window->settingsWindow();

    QTest::keyClick(settings, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());
    waitForIdle();
    QTest::keyClick(settings, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    hub->enterScreensaver();
    QTest::keyClick(settings, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    QTest::keyClick(settings, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_TRUE(settings->isVisible());

    QTest::keyClick(settings, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(settings->isVisible());
    ASSERT_TRUE(openSettings());
    QTest::keyClick(settings, Qt::Key_Escape);
    EXPECT_FALSE(settings->isVisible());
}

TEST_F(DeviceMenuTest, TheOpenTrayMenuTakesCtrlCommaAndCtrlQ)
{
    makeWindow();
    TrayMenu tray(*hub, *window);
    QSignalSpy quit(&tray, &TrayMenu::quitRequested);
    const auto openMenu = [&] {
        tray.menu()->popup(QPoint(20, 20));
        return waitUntil([&] { return QApplication::activePopupWidget() == tray.menu(); });
    };
    ASSERT_TRUE(openMenu());
    QTest::keyClick(tray.menu(), Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_NE(window->settingsWindow(), nullptr);
    EXPECT_TRUE(window->settingsWindow()->isVisible());
    EXPECT_FALSE(tray.menu()->isVisible());

    ASSERT_TRUE(openMenu());
    QTest::keyClick(tray.menu(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_FALSE(tray.menu()->isVisible());
}
