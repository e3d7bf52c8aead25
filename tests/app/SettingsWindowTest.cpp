// The Settings window against a hub on the fake device, in private XDG folders: the autostart
// entry, the version, the debounced brightness, the fallback picker and pause, the tool's link
// in a temporary folder with a stand-in pkexec, and the trusted screen files.

#include "ShellFixture.h"

#include "app/SettingsWindow.h"
#include "macros/ProfileAutoSwitcher.h"
#include "platform/DesktopLaunch.h"
#include "ui/settings/AutoSwitchSettings.h"
#include "ui/settings/BuildInfo.h"
#include "ui/settings/CommandLineToolSection.h"
#include "ui/settings/DeviceSettings.h"
#include "ui/settings/GeneralSettings.h"
#include "ui/settings/GnomeExtensionRow.h"
#include "ui/settings/LoginItem.h"
#include "ui/settings/PrivilegedRunner.h"
#include "ui/settings/TrustedScreensModel.h"
#include "ui/settings/TrustedScreensSection.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/WrappingText.h"

#include "support/FakeGnomeShell.h"
#include "support/PrivateSessionBus.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>

#include <cerrno>

namespace {

using Status = CommandLineToolInstaller::Status;

// The installer's own attempts fail as in a folder of root's; the shell's commands do not.
class RootOwnedFolder final : public CommandLineToolInstaller::FileSystem {
public:
    int removeItem(const QString&) override { return EACCES; }
    int makeLink(const QString&, const QString&) override { return EACCES; }
};

// A desktop that is still asked, then answers, then goes away.
class AnsweringSource final : public FrontmostAppSource {
public:
    bool isAvailable() const override { return !m_description.isEmpty(); }
    QString unavailableReason() const override { return m_reason; }
    QString description() const override { return m_description; }
    std::optional<FrontmostApp> frontmostApp() override { return std::nullopt; }
    void answer(const QString& description, const QString& reason)
    {
        m_description = description;
        m_reason = reason;
        emit availabilityChanged();
    }

private:
    QString m_description;
    QString m_reason;
};

CustomScreen commandScreen(const QString& id, const QString& command)
{
    const QByteArray json = QStringLiteral(R"({"title": "T", "sources": {"v": {"shell": "%1", "every": 60}},)"
                                           R"( "widgets": [{"type": "text", "x": 12, "y": 40, "text": "{{v}}"}]})")
                                .arg(command)
                                .toUtf8();
    QList<ScreenIssue> issues;
    return CustomScreen::parse(json, id, id + QStringLiteral(".json"), issues).value();
}

bool shows(const QWidget* widget)
{
    return widget && !widget->isHidden();
}

}  // namespace

class SettingsWindowTest : public ShellTest {
protected:
    QString tool = xdg.path("system") + QStringLiteral("/Tarv/tarv");
    QString linkFolder = xdg.path("system") + QStringLiteral("/local bin");
    QString link = linkFolder + QStringLiteral("/tarv");
    std::unique_ptr<SettingsWindow> settingsWindow;

    void SetUp() override { TempXdg::write(tool, "#!/bin/sh\n", true); }

    SettingsWindow& open(std::shared_ptr<CommandLineToolInstaller::FileSystem> files = nullptr,
                         QString pkexec = QStringLiteral("/nonexistent/pkexec"), int tab = 0,
                         std::unique_ptr<GnomeExtensionSetup> gnomeExtension = nullptr)
    {
        if (!hub)
            makeHub();
        SettingsWindow::Services services;
        services.installer.emplace(tool, linkFolder, std::move(files));
        services.runner = std::make_unique<PkexecRunner>(std::move(pkexec));
        services.gnomeExtension = std::move(gnomeExtension);
        settingsWindow = std::make_unique<SettingsWindow>(*hub, std::move(services));
        settingsWindow->tabs()->setCurrentIndex(tab);
        settingsWindow->show();
        return *settingsWindow;
    }

    // A stand-in for pkexec: the shell script's body, run with pkexec's arguments.
    QString fakePkexec(const QByteArray& body) const
    {
        const QString path = xdg.path("system") + QStringLiteral("/bin/pkexec");
        TempXdg::write(path, "#!/bin/sh\n" + body + '\n', true);
        return path;
    }

    QList<int> backlightLevels() const
    {
        QList<int> levels;
        for (const TarvUSB::Frame& frame : device.received())
            if (const auto* payload = frame.get<TarvUSB::BacklightPayload>())
                levels.append(payload->level);
        return levels;
    }

    template <typename T>
    T* find(const char* name) const
    {
        return settingsWindow->findChild<T*>(QLatin1String(name));
    }
};

TEST_F(SettingsWindowTest, OpenAtLoginWritesHidesAndRemovesTheAutostartEntry)
{
    SettingsWindow& w = open();
    LoginItem& item = w.general()->loginItem();
    const QString entry = xdg.path("config") + QStringLiteral("/autostart/tarv.desktop");
    EXPECT_EQ(item.entryPath(), entry);
    auto* toggle = find<QCheckBox>("openAtLoginSwitch");
    EXPECT_EQ(toggle->text(), QStringLiteral("Open Tarv at login"));
    EXPECT_FALSE(toggle->isChecked());

    // The entry is written on a worker: until it answers the switch shows what was asked.
    toggle->click();
    EXPECT_TRUE(item.isChanging());
    EXPECT_TRUE(toggle->isChecked());
    ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
    EXPECT_TRUE(toggle->isChecked());
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto parsed = DesktopEntry::parse(file.readAll(), QStringLiteral("tarv"), entry, QStringLiteral("C"));
    file.close();
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, QStringLiteral("Tarv"));
    const auto argv = DesktopLaunch::expandExec(*parsed);
    ASSERT_TRUE(std::holds_alternative<QStringList>(argv));
    EXPECT_EQ(std::get<QStringList>(argv), QStringList{QCoreApplication::applicationFilePath()});

    // An entry switched off by the desktop, or one that starts another program, reads as off
    // when Tarv comes back to the front; turning it on writes Tarv's own entry over it.
    const QByteArray exec = "Exec=" + LoginItem::execValue(QCoreApplication::applicationFilePath()).toUtf8() + '\n';
    for (const QByteArray& off : {exec + "Hidden=true", exec + "X-GNOME-Autostart-enabled=false",
                                  QByteArray("Exec=/usr/bin/another-program --tarv"), QByteArray("Exec=tarv")}) {
        TempXdg::write(entry, "[Desktop Entry]\nType=Application\nName=Tarv\n" + off + '\n');
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
        EXPECT_FALSE(toggle->isChecked()) << off.constData();
        toggle->click();
        ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
        EXPECT_TRUE(toggle->isChecked()) << off.constData();
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(LoginItem::startsProgram(file.readAll(), QCoreApplication::applicationFilePath()));
    file.close();
    toggle->click();
    ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(QFileInfo::exists(entry));
}

// Space on the switch leaves the focus on it while the entry is written, so a second Space
// reaches it too: both changes are written, in order, and the switch ends showing the last.
TEST_F(SettingsWindowTest, TheLoginSwitchKeepsTheFocusWhileItsChangeIsWritten)
{
    SettingsWindow& w = open();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    LoginItem& item = w.general()->loginItem();
    ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
    auto* toggle = find<QCheckBox>("openAtLoginSwitch");
    toggle->setFocus(Qt::TabFocusReason);
    QTest::keyClick(toggle, Qt::Key_Space);
    EXPECT_TRUE(item.isChanging());
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), toggle);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
    EXPECT_EQ(QApplication::focusWidget(), toggle);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(QFileInfo::exists(item.entryPath()));
}

// Openbox and GNOME without an extension run no tray: the window comes back only by a start.
TEST_F(SettingsWindowTest, WithoutATrayTheFooterSaysHowToGetTheWindowBack)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "a tray is available here";
    open();
    const QString footer = find<FormSection>("loginSection")->footer()->text();
    EXPECT_FALSE(footer.contains(QStringLiteral("tray"))) << footer.toStdString();
    EXPECT_TRUE(footer.contains(QStringLiteral("start Tarv again to show the window"))) << footer.toStdString();
}

TEST_F(SettingsWindowTest, AFailedChangeShowsItsReasonUntilOneSucceeds)
{
    SettingsWindow& w = open();
    LoginItem& item = w.general()->loginItem();
    const QString folder = xdg.path("config") + QStringLiteral("/autostart");
    TempXdg::write(folder, "a file where the folder goes");
    auto* toggle = find<QCheckBox>("openAtLoginSwitch");
    auto* failure = find<QLabel>("loginFailureLabel");
    EXPECT_FALSE(shows(failure));
    toggle->click();
    ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_TRUE(shows(failure));
    // With the system's reason after it.
    EXPECT_TRUE(failure->text().startsWith(QStringLiteral("Could not make the folder %1: ").arg(folder)))
        << failure->text().toStdString();

    QFile::remove(folder);
    toggle->click();
    ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_FALSE(shows(failure));
}

TEST_F(SettingsWindowTest, ExecQuotesWhatTheDesktopEntryFormatReserves)
{
    const QString program = QStringLiteral(R"(/opt/My "Apps"/$HOME/`x`/50%/back\slash/tarv)");
    LoginItem item(xdg.path("config") + QStringLiteral("/autostart/tarv.desktop"), program);
    item.setEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return !item.isBusy(); }));
    ASSERT_TRUE(item.isEnabled());
    QFile file(item.entryPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto parsed =
        DesktopEntry::parse(file.readAll(), QStringLiteral("tarv"), item.entryPath(), QStringLiteral("C"));
    ASSERT_TRUE(parsed);
    const auto argv = DesktopLaunch::expandExec(*parsed);
    ASSERT_TRUE(std::holds_alternative<QStringList>(argv)) << std::get<ExecError>(argv).message.toStdString();
    EXPECT_EQ(std::get<QStringList>(argv), QStringList{program});
}

TEST_F(SettingsWindowTest, VersionComesFromTheBuild)
{
    open();
    EXPECT_TRUE(find<QLabel>("versionValue")->text().startsWith(QStringLiteral(TARV_PROJECT_VERSION " (")));
    EXPECT_EQ(BuildInfo::versionText(QStringLiteral("1.2"), QStringLiteral("45")), QStringLiteral("1.2 (45)"));
    EXPECT_EQ(BuildInfo::versionText(QStringLiteral("1.2"), QString()), QStringLiteral("1.2 (\u2014)"));
    EXPECT_EQ(BuildInfo::versionText(QString(), QString()), QStringLiteral("\u2014 (\u2014)"));
}

TEST_F(SettingsWindowTest, BrightnessShowsTheStoredLevelAndWritesOnlyWhereASlideStops)
{
    settings->setWholeNumber(QStringLiteral("display.backlight"), 35);
    makeHub();
    connectAndGreet();
    EXPECT_EQ(backlightLevels(), QList<int>{35});
    open(nullptr, QString(), 1);
    QSlider* slider = settingsWindow->device()->brightnessSlider();
    EXPECT_EQ(slider->value(), 35);
    EXPECT_EQ(find<QLabel>("brightnessValue")->text(), QStringLiteral("35%"));

    // A drag, then back to where it started before the wait is over: nothing to write.
    slider->setValue(60);
    slider->setValue(35);
    QTest::qWait(DeviceSettings::writeDelayMs * 3);
    EXPECT_EQ(backlightLevels(), QList<int>{35});

    for (int level = 40; level <= 80; level += 5)
        slider->setValue(level);
    EXPECT_EQ(find<QLabel>("brightnessValue")->text(), QStringLiteral("80%"));
    ASSERT_TRUE(waitUntil([&] { return backlightLevels().size() == 2; }));
    QTest::qWait(DeviceSettings::writeDelayMs * 3);
    EXPECT_EQ(backlightLevels(), (QList<int>{35, 80}));
    EXPECT_EQ(hub->backlightLevel(), 80);
    EXPECT_EQ(settings->wholeNumber(QStringLiteral("display.backlight")), 80);

    slider->setValue(0);
    EXPECT_EQ(find<QLabel>("brightnessValue")->text(), QStringLiteral("10%"));
    slider->setValue(200);
    EXPECT_EQ(find<QLabel>("brightnessValue")->text(), QStringLiteral("100%"));

    // The flip switch and the hub follow each other.
    auto* flip = find<QCheckBox>("flipDisplaySwitch");
    flip->click();
    EXPECT_TRUE(hub->isDisplayFlipped());
    hub->setDisplayFlipped(false);
    EXPECT_FALSE(flip->isChecked());
}

TEST_F(SettingsWindowTest, OpeningSettingsOnAnotherTabLeavesTheBrightnessAlone)
{
    settings->setWholeNumber(QStringLiteral("display.backlight"), 35);
    makeHub();
    connectAndGreet();
    open(nullptr, QString(), 0);
    QTest::qWait(DeviceSettings::writeDelayMs * 3);
    EXPECT_EQ(backlightLevels(), QList<int>{35});
    EXPECT_EQ(settings->wholeNumber(QStringLiteral("display.backlight")), 35);
}

TEST_F(SettingsWindowTest, TheFallbackPickerListsProfilesAndRestsWhilePaused)
{
    makeHub();
    const MacroProfile unnamed = profiles->addProfile(false);
    profiles->renameProfile(unnamed.id, QString());
    open(nullptr, QString(), 2);
    QComboBox* picker = settingsWindow->autoSwitch()->fallbackPicker();
    auto* toggle = find<QCheckBox>("autoSwitchSwitch");
    QStringList entries;
    for (int i = 0; i < picker->count(); ++i)
        entries.append(picker->itemText(i));
    ASSERT_EQ(entries.size(), 2 + profiles->profiles().size());
    EXPECT_EQ(entries.first(), QStringLiteral("Keep the Current Profile"));
    EXPECT_EQ(entries.last(), QStringLiteral("Untitled"));
    EXPECT_EQ(picker->currentIndex(), 0);
    EXPECT_FALSE(shows(find<QWidget>("autoSwitchUnavailable")));

    picker->activated(picker->count() - 1);
    EXPECT_EQ(profiles->fallbackID(), unnamed.id);

    // Paused from the switch or from the Device menu: the picker keeps showing the fallback.
    EXPECT_TRUE(toggle->isChecked());
    toggle->click();
    EXPECT_TRUE(hub->autoSwitcher().isPaused());
    EXPECT_FALSE(picker->isEnabled());
    EXPECT_EQ(picker->currentText(), QStringLiteral("Untitled"));
    hub->autoSwitcher().setPaused(false);
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(picker->isEnabled());

    picker->activated(0);
    EXPECT_EQ(profiles->fallbackID(), std::nullopt);
    profiles->setFallbackProfile(profiles->profiles().first().id);
    EXPECT_EQ(picker->currentIndex(), 2);
}

TEST_F(SettingsWindowTest, TheTabSaysHowTheAppInFrontIsFollowedOrWhyNotAsTheDesktopAnswers)
{
    AnsweringSource source;
    profiles = std::make_unique<ProfileStore>(*settings);
    DeviceManager::Environment environment;
    environment.settings = settings.get();
    environment.isTesting = true;
    environment.frontmostSource = &source;
    hub = std::make_unique<DeviceManager>(*profiles, photos, stocks, screens, false, std::move(environment));
    open(nullptr, QString(), 2);
    auto* inUse = find<QLabel>("autoSwitchSource");
    // A screen reader hears on the switch what the tab shows under it.
    const auto heard = [this] {
        return QAccessible::queryAccessibleInterface(find<QCheckBox>("autoSwitchSwitch"))->text(QAccessible::Description);
    };
    // Still asked: nothing said either way.
    EXPECT_FALSE(shows(find<QWidget>("autoSwitchUnavailable")));
    EXPECT_FALSE(shows(inUse));
    EXPECT_EQ(heard(), QString());

    EXPECT_TRUE(find<QCheckBox>("autoSwitchSwitch")->isEnabled());

    source.answer(QStringLiteral("Apps are followed through the window list of this Wayland compositor."), {});
    EXPECT_TRUE(find<QCheckBox>("autoSwitchSwitch")->isEnabled());
    EXPECT_TRUE(shows(inUse));
    EXPECT_EQ(inUse->text(), source.description());
    EXPECT_FALSE(shows(find<QWidget>("autoSwitchUnavailable")));
    EXPECT_EQ(heard(), source.description());

    source.answer({}, QStringLiteral("The connection to the Wayland compositor was lost. "
                                     "The application in front is no longer followed."));
    EXPECT_TRUE(shows(find<QWidget>("autoSwitchUnavailable")));
    EXPECT_EQ(find<QLabel>("autoSwitchUnavailableText")->text(), source.unavailableReason());
    EXPECT_FALSE(shows(inUse));
    EXPECT_EQ(heard(), source.unavailableReason());
    // Nothing can switch: the switch rests, its reason beside it.
    EXPECT_FALSE(find<QCheckBox>("autoSwitchSwitch")->isEnabled());
}

TEST_F(SettingsWindowTest, OnGnomeTheTabSaysWhatTheExtensionNeedsAndItsButtonTakesTheStep)
{
    // GNOME's settings in a file of the test's own, GNOME Shell on a bus of the test's own.
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qputenv("GSETTINGS_SCHEMA_DIR", "/usr/share/glib-2.0/schemas");
    const auto restore = qScopeGuard([] {
        qunsetenv("GSETTINGS_BACKEND");
        qunsetenv("GSETTINGS_SCHEMA_DIR");
    });
    TarvFake::PrivateSessionBus bus;
    ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
    TarvFake::FakeGnomeShell shell(bus.address());
    ASSERT_TRUE(shell.isReady());
    GnomeExtensionSetup::Places places;
    places.bundled = QStringLiteral(TARV_GNOME_EXTENSION_DIR);
    places.userExtensions = xdg.path("data") + QStringLiteral("/gnome-shell/extensions");
    auto setup = std::make_unique<GnomeExtensionSetup>(QDBusConnection::connectToBus(bus.address(), "settings-gnome"),
                                                       places);
    open(nullptr, QString(), 2, std::move(setup));
    auto* row = settingsWindow->autoSwitch()->gnomeExtensionRow();
    ASSERT_TRUE(row);
    ASSERT_TRUE(waitUntil([&] { return shows(row->stepButton()); }));
    EXPECT_EQ(row->stepButton()->text(), QStringLiteral("Install Extension"));
    EXPECT_EQ(row->stateLabel()->text(), QStringLiteral("Tarv's GNOME Shell extension, which tells Tarv the app in front, "
                                                        "is not installed."));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(row->stepButton())->text(QAccessible::Description),
              row->stateLabel()->text());

    row->stepButton()->click();
    EXPECT_FALSE(row->stepButton()->isEnabled()) << "one step at a time";
    ASSERT_TRUE(waitUntil([&] { return !shows(row->stepButton()); }));
    EXPECT_TRUE(shows(row->stateLabel()));
    EXPECT_TRUE(row->stateLabel()->text().endsWith(QLatin1String("Log out and back in once to finish.")))
        << row->stateLabel()->text().toStdString();
    EXPECT_TRUE(QFile::exists(places.userExtensions + u'/' + GnomeExtensionSetup::uuid() + QStringLiteral("/extension.js")));
    EXPECT_FALSE(shows(row->failureLabel()));

    // Switched on elsewhere and running: nothing more to say.
    shell.setExtension(GnomeExtensionSetup::uuid(), {{"state", 2.0}, {"version", double(GnomeExtensionSetup::version())}});
    shell.switchOn();
    ASSERT_TRUE(waitUntil([&] { return !shows(row); }));
    settingsWindow.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("settings-gnome"));
}

TEST_F(SettingsWindowTest, TheToolsLinkIsInstalledReplacedAndRemoved)
{
    open(nullptr, QString(), 3);
    CommandLineToolSection* section = settingsWindow->commandLineTool();
    QPushButton* button = section->actionButton();
    auto* status = find<QLabel>("toolStatusLabel");
    const auto press = [&] {
        button->click();
        return waitUntil([&] { return !section->isBusy(); });
    };
    // A screen reader hears what the button acts on, and the state shown beside it.
    const auto heard = [&](const QString& name) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(button);
        EXPECT_EQ(control->text(QAccessible::Name), name);
        EXPECT_EQ(control->text(QAccessible::Description), status->text());
    };
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    EXPECT_EQ(status->text(), QStringLiteral("Not installed"));
    EXPECT_EQ(button->text(), QStringLiteral("Install…"));
    heard(QStringLiteral("Install the tarv command…"));

    ASSERT_TRUE(press());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), tool);
    EXPECT_EQ(status->text(), QStringLiteral("Installed at ") + link);
    EXPECT_EQ(button->text(), QStringLiteral("Remove"));
    heard(QStringLiteral("Remove the tarv command"));
    ASSERT_TRUE(press());
    EXPECT_EQ(status->text(), QStringLiteral("Not installed"));
    EXPECT_FALSE(QFileInfo(link).isSymLink());

    // Made outside Tarv: shown when the tab is shown again.
    QFile::link(QStringLiteral("/opt/Other/tarv"), link);
    settingsWindow->hide();
    settingsWindow->show();
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    EXPECT_EQ(status->text(), link + QStringLiteral(" points to /opt/Other/tarv"));
    EXPECT_EQ(button->text(), QStringLiteral("Replace…"));
    heard(QStringLiteral("Replace the tarv command…"));
    ASSERT_TRUE(press());
    EXPECT_EQ(section->status(), Status::installed());

    QFile::remove(link);
    TempXdg::write(link, "someone's own script");
    section->refreshStatus();
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    EXPECT_EQ(status->text(), link + QStringLiteral(" is another file"));
    ASSERT_TRUE(press());
    EXPECT_EQ(section->status(), Status::installed());

    // A folder in the link's place stays, and the press says why.
    QFile::remove(link);
    QDir().mkpath(link);
    section->refreshStatus();
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    ASSERT_TRUE(press());
    EXPECT_TRUE(QFileInfo(link).isDir());
    EXPECT_TRUE(shows(find<QLabel>("toolFailureLabel")));
    EXPECT_TRUE(find<QLabel>("toolFailureLabel")->text().startsWith(link + QStringLiteral(" is a folder")));
    EXPECT_EQ(button->text(), QStringLiteral("Replace…"));
}

// The link is made on a worker: while the folder keeps it waiting, the window and the device go
// on, and the outcome shows once the worker answers.
TEST_F(SettingsWindowTest, TheToolsLinkIsMadeWithoutTheWindowWaiting)
{
    class SlowFolder final : public CommandLineToolInstaller::FileSystem {
    public:
        int makeLink(const QString& destination, const QString& path) override
        {
            go.acquire();
            return FileSystem::makeLink(destination, path);
        }
        QSemaphore go;
    };
    auto folder = std::make_shared<SlowFolder>();
    // Never leaves the worker, and so the window's end, waiting for good.
    const auto release = qScopeGuard([&] { folder->go.release(); });
    makeHub();
    connectAndGreet();
    open(folder, QString(), 3);
    CommandLineToolSection* section = settingsWindow->commandLineTool();
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    section->actionButton()->click();
    EXPECT_TRUE(section->isBusy());
    EXPECT_FALSE(section->actionButton()->isEnabled());
    const qsizetype before = patchCount();
    hub->showScreen(DeviceScreen::calculator());
    ASSERT_TRUE(waitUntil([&] { return patchCount() > before; }));
    EXPECT_EQ(find<QLabel>("toolStatusLabel")->text(), QStringLiteral("Not installed"));

    folder->go.release();
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    EXPECT_EQ(find<QLabel>("toolStatusLabel")->text(), QStringLiteral("Installed at ") + link);
    EXPECT_TRUE(section->actionButton()->isEnabled());
}

TEST_F(SettingsWindowTest, WithoutTheToolThePressSaysSoUnderTheWholeStatusLine)
{
    QFile::remove(tool);
    // Enough trusted screens that the tab scrolls, as it does on a short screen.
    makeHub();
    for (int i = 0; i < 30; ++i) {
        const CustomScreen screen = commandScreen(QStringLiteral("screen-%1").arg(i), QStringLiteral("uptime"));
        screens.loaded.append(screen);
        screens.trust().approveScreen(screen);
    }
    open(nullptr, QString(), 3);
    settingsWindow->commandLineTool()->actionButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !settingsWindow->commandLineTool()->isBusy(); }));
    EXPECT_EQ(find<QLabel>("toolFailureLabel")->text(),
              QStringLiteral("This copy of Tarv has no tarv tool inside it."));
    EXPECT_EQ(settingsWindow->commandLineTool()->status(), Status::notInstalled());
    // The first failure shown takes a row of its own; the status line keeps its height.
    auto* statusLine = find<QLabel>("toolStatusLabel");
    ASSERT_TRUE(waitUntil([&] { return find<QLabel>("toolFailureLabel")->isVisible(); }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_GE(statusLine->height(), statusLine->sizeHint().height());
}

TEST_F(SettingsWindowTest, AFolderOfRootsGoesThroughPkexecWithoutTheWindowWaiting)
{
    // The stand-in waits for the test's word, then runs the command as pkexec would.
    const QString go = xdg.path("system") + QStringLiteral("/go");
    const QString pkexec =
        fakePkexec(QStringLiteral("while [ ! -e '%1' ]; do sleep 0.01; done\nexec \"$@\"").arg(go).toUtf8());
    makeHub();
    connectAndGreet();
    open(std::make_shared<RootOwnedFolder>(), pkexec, 3);
    CommandLineToolSection* section = settingsWindow->commandLineTool();
    section->actionButton()->click();
    ASSERT_TRUE(waitUntil([&] { return section->isWaitingForAdministrator(); }));
    EXPECT_FALSE(section->actionButton()->isEnabled());
    // The device link goes on meanwhile.
    const qsizetype before = patchCount();
    hub->showScreen(DeviceScreen::calculator());
    ASSERT_TRUE(waitUntil([&] { return patchCount() > before; }));
    EXPECT_TRUE(section->isWaitingForAdministrator());

    TempXdg::write(go, "");
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    EXPECT_EQ(section->failure(), std::nullopt);
    EXPECT_EQ(section->status(), Status::installed());
    EXPECT_TRUE(section->actionButton()->isEnabled());

    // Removing asks again.
    section->actionButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    EXPECT_EQ(section->status(), Status::notInstalled());
}

TEST_F(SettingsWindowTest, PkexecsOutcomesDismissedFailedAndNotStartable)
{
    struct Case {
        QByteArray script;  // empty: no program at all
        std::optional<QString> failure;
    };
    const QList<Case> cases{
        {"exit 126", std::nullopt},
        {"echo 'Error executing command as another user: Not authorized' >&2; exit 127",
         QStringLiteral("Could not launch pkexec: Error executing command as another user: Not authorized")},
        {"echo 'ln: failed to create symbolic link: Read-only file system' >&2; exit 1",
         QStringLiteral("ln: failed to create symbolic link: Read-only file system")},
        {"exit 3", QStringLiteral("The link could not be made.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script.toStdString());
        open(std::make_shared<RootOwnedFolder>(), fakePkexec(c.script), 3);
        CommandLineToolSection* section = settingsWindow->commandLineTool();
        section->actionButton()->click();
        ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
        EXPECT_EQ(section->failure(), c.failure);
        EXPECT_EQ(shows(find<QLabel>("toolFailureLabel")), c.failure.has_value());
        EXPECT_EQ(section->status(), Status::notInstalled());
    }

    open(std::make_shared<RootOwnedFolder>(), xdg.path("system") + QStringLiteral("/no/pkexec"), 3);
    CommandLineToolSection* section = settingsWindow->commandLineTool();
    section->actionButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !section->isBusy(); }));
    ASSERT_TRUE(section->failure());
    EXPECT_TRUE(section->failure()->startsWith(QStringLiteral("Could not launch pkexec: ")))
        << section->failure()->toStdString();
    EXPECT_TRUE(section->actionButton()->isEnabled());
}

TEST_F(SettingsWindowTest, TrustedScreensAreListedInOrderAndRevoked)
{
    open(nullptr, QString(), 3);
    TrustedScreensSection* section = settingsWindow->trustedScreens();
    QAbstractItemModelTester tester(section->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto* empty = find<QLabel>("noTrustedScreensLabel");
    EXPECT_TRUE(section->listedIDs().isEmpty());
    EXPECT_TRUE(shows(empty));
    EXPECT_EQ(empty->text(), QStringLiteral("No screen file has been allowed to do anything."));

    // "c" and "b" are loaded; "a" was approved, then its file went away.
    QSignalSpy inserted(section->model(), &QAbstractItemModel::rowsInserted);
    const CustomScreen c = commandScreen(QStringLiteral("c"), QStringLiteral("uptime"));
    const CustomScreen b = commandScreen(QStringLiteral("b"), QStringLiteral("df -h /"));
    screens.loaded = {c, b};
    for (const CustomScreen& screen : {c, b, commandScreen(QStringLiteral("a"), QStringLiteral("date"))})
        screens.trust().approveScreen(screen);
    EXPECT_EQ(inserted.size(), 3);
    EXPECT_EQ(section->listedIDs(), (QStringList{"a", "b", "c"}));
    EXPECT_FALSE(shows(empty));
    const auto row = [&](const char* id) {
        return section->findChild<QWidget*>(QStringLiteral("trustedScreen:") + QLatin1String(id));
    };
    const auto details = [&](const char* id) {
        return row(id)->findChild<WrappingText*>(QStringLiteral("trustedScreenDetails"));
    };
    EXPECT_EQ(row("a")->findChild<QLabel*>(QStringLiteral("trustedScreenName"))->text(), QStringLiteral("a.json"));
    EXPECT_FALSE(shows(details("a")));
    EXPECT_EQ(details("b")->text(), QStringLiteral("df -h /"));
    EXPECT_EQ(details("c")->text(), QStringLiteral("uptime"));

    // The file of "a" comes back: its row learns what it does.
    screens.loaded.append(commandScreen(QStringLiteral("a"), QStringLiteral("date")));
    emit screens.screensChanged();
    EXPECT_EQ(details("a")->text(), QStringLiteral("date"));
    EXPECT_TRUE(shows(details("a")));

    // Revoking the middle row, then the first: each press revokes its own row.
    row("b")->findChild<QPushButton*>(QStringLiteral("revokeButton"))->click();
    EXPECT_EQ(section->listedIDs(), (QStringList{"a", "c"}));
    EXPECT_FALSE(screens.trust().approved().contains(QStringLiteral("b")));
    row("a")->findChild<QPushButton*>(QStringLiteral("revokeButton"))->click();
    EXPECT_EQ(section->listedIDs(), QStringList{"c"});
    screens.trust().revokeScreen(QStringLiteral("c"));
    EXPECT_TRUE(section->listedIDs().isEmpty());
    EXPECT_TRUE(shows(empty));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(row("c"), nullptr);
}

TEST_F(SettingsWindowTest, ManyTrustedScreensScrollInAWindowThatStaysOnTheScreenOverTheMainWindow)
{
    // Thirty trusted screens, one of them fetching an address of 300 characters without a blank.
    QString command = QStringLiteral("curl -s https://status.example.com/v2/summary?token=");
    while (command.size() < 308)
        command += QStringLiteral("8f14e45fceea167a5a36dedd4bea2543");
    QList<CustomScreen> trusted{commandScreen(QStringLiteral("build-status"), command)};
    for (int i = 1; trusted.size() < 30; ++i)
        trusted.append(commandScreen(QStringLiteral("screen-%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("uptime")));
    for (const CustomScreen& screen : trusted) {
        screens.loaded.append(screen);
        screens.trust().approveScreen(screen);
    }
    MainWindow& w = makeWindow();
    w.move(40, 30);
    w.show();
    w.showSettings();
    SettingsWindow* s = w.settingsWindow();
    const QRect area = s->screen()->availableGeometry();

    // It opens on its short first tab, centred over the main window as far as the screen allows.
    const QRect frame = s->frameGeometry();
    const int centreX = std::clamp(w.frameGeometry().center().x(), area.left() + frame.width() / 2,
                                   area.right() - frame.width() / 2);
    EXPECT_LE(std::abs(frame.center().x() - centreX), 1);
    EXPECT_LE(std::abs(frame.center().y() - w.frameGeometry().center().y()), 1);

    // The long tab takes no more than the screen's height, and its rows scroll into reach.
    s->tabs()->setCurrentIndex(3);
    EXPECT_TRUE(area.contains(s->frameGeometry())) << s->frameGeometry().height() << " on " << area.height();
    QScrollArea* scroll = s->currentScrollArea();
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    QWidget* last = s->findChild<QWidget*>(QStringLiteral("trustedScreen:screen-29"));
    scroll->ensureWidgetVisible(last);
    EXPECT_FALSE(last->visibleRegion().isEmpty());
    // The address wraps inside its row, so every Revoke stays inside the window.
    for (QPushButton* revoke : s->findChildren<QPushButton*>(QStringLiteral("revokeButton")))
        EXPECT_LE(revoke->mapTo(s, QPoint(revoke->width(), 0)).x(), s->width());
}
