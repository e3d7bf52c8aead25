// tarv-ui-shots OUTDIR: draws every view of the desktop interface in the states that matter
// (disconnected, connecting, connected to an in-process fake device, with and without custom
// screens) into PNG files named after the view and the state, on the offscreen platform and in
// a temporary HOME, so the user's own settings are never read or written.

#include "DeviceShots.h"
#include "KeyboardShots.h"
#include "MacroEditorShots.h"
#include "ScreensaverShots.h"
#include "PageShots.h"
#include "SettingsShots.h"
#include "GnomeShots.h"
#include "ShotAppSource.h"
#include "app/MainWindow.h"
#include "app/ScreenPickerToolbar.h"
#include "app/SettingsWindow.h"
#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "media/ScreensaverPhotoService.h"
#include "media/StockService.h"
#include "media/StockStore.h"
#include "platform/Settings.h"
#include "support/FakeDevice.h"
#include "support/FakeScreenStore.h"
#include "ui/macros/MacrosView.h"
#include "ui/macros/ProfileAppsButton.h"
#include "ui/macros/ProfileAppsPopover.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

class Shots {
public:
    explicit Shots(QString folder) : m_folder(std::move(folder)) {}

    bool save(const QString& name, const QPixmap& image)
    {
        const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "tarv-ui-shots: cannot write %s\n", qPrintable(path));
            m_failed = true;
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    }

    bool failed() const { return m_failed; }

private:
    QString m_folder;
    bool m_failed = false;
};

// Lets pending events, timers and repaints run.
void settle()
{
    QTest::qWait(30);
}

// The window with its page picker's menu open over it, where the menu drops from the button.
QPixmap withPickerOpen(MainWindow& window)
{
    ScreenPickerToolbar* picker = window.screenPicker();
    QMenu* menu = picker->pickerMenu();
    menu->popup(picker->mapToGlobal(QPoint(0, picker->height())));
    settle();
    QPixmap image = window.grab();
    const QPixmap menuImage = menu->grab();
    QPoint at = picker->mapTo(&window, QPoint(0, picker->height()));
    at.setX(std::min(at.x(), image.width() - menuImage.width()));
    QPainter painter(&image);
    painter.drawPixmap(at, menuImage);
    painter.end();
    menu->hide();
    settle();
    return image;
}

// The macros page with keys of every look: lit, tinted, with emoji, not set up, and empty; the
// inspector shows a configured key.
void showKeyVariety(ProfileStore& profiles, MainWindow& window)
{
    MacroProfile profile = profiles.activeProfile();
    QList<MacroButton>& keys = profile.buttons;
    keys[0].isActive = true;
    keys[1].emoji = QStringLiteral("\U0001F3A7");
    keys[1].label = QStringLiteral("Music");
    keys[1].tint = KeyTint::blue;
    keys[2].label = QStringLiteral("Docs");
    keys[2].action = MacroAction::openURL(QStringLiteral("https://"));
    keys[2].icon.reset();
    keys[5] = MacroButton{};
    keys[6].emoji = QStringLiteral("\U0001F680");
    keys[6].label = QStringLiteral("Launch rocket now");
    keys[6].tint = KeyTint::green;
    keys[6].isToggle = true;
    keys[6].isActive = true;
    keys[9].tint = KeyTint::red;
    profiles.updateKey(profile, QStringLiteral("Shots"));
    window.select(SidebarItem::macros);
    window.macrosView()->setSelection(1);
}

// The offscreen platform cannot raise windows or grab the keyboard for menus, and says so
// each time; that is no news here.
QtMessageHandler standardHandler = nullptr;

void quietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QStringLiteral("This plugin does not support")))
        return;
    if (standardHandler)
        standardHandler(type, context, message);
}

int run(const QString& folder)
{
    Shots shots(folder);
    const QString home = QDir::homePath();
    Settings settings(home + QStringLiteral("/.config/Tarv/Tarv.conf"));
    ProfileStore profiles(settings);
    ScreensaverPhotoService photos(home + QStringLiteral("/.local/share/Tarv"));
    // The pictures never depend on the real quote service: nothing listens on port 0.
    settings.setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
    StockStore stocks(settings);
    TarvFake::MemoryScreenStore screens;
    DeviceManager::Environment environment;
    environment.settings = &settings;
    environment.isTesting = true;
    ShotAppSource appSource;
    environment.frontmostSource = &appSource;
    DeviceManager hub(profiles, photos, stocks, screens, false, std::move(environment));
    TarvFake::FakeDevice device;

    MainWindow window(hub, settings);
    window.move(0, 0);
    window.show();
    settle();

    const auto eachPage = [&](const QString& state) {
        for (SidebarItem item : allSidebarItems()) {
            window.select(item);
            settle();
            shots.save(QStringLiteral("main-%1-%2").arg(rawValue(item), state), window.grab());
        }
        window.select(SidebarItem::macros);
    };

    eachPage(QStringLiteral("disconnected"));
    const SaveShot save = [&shots](const QString& name, const QPixmap& image) { return shots.save(name, image); };
    drawDeviceMenus(window, hub, QStringLiteral("disconnected"), save);

    if (!device.start()) {
        std::fprintf(stderr, "tarv-ui-shots: the fake device did not start: %s\n", qPrintable(device.lastError()));
        return 1;
    }
    hub.connect(1, device.portPath());
    settle();
    shots.save(QStringLiteral("main-macros-connecting"), window.grab());

    device.sendHello();
    const auto idle = [&] {
        return hub.state().isConnected() && hub.queuedFrames().isEmpty() && hub.outstandingAcks().isEmpty();
    };
    if (!QTest::qWaitFor(idle, 10000)) {
        std::fprintf(stderr, "tarv-ui-shots: the fake device did not connect\n");
        return 1;
    }
    eachPage(QStringLiteral("connected"));
    shots.save(QStringLiteral("main-picker-connected"), withPickerOpen(window));
    drawDeviceMenus(window, hub, QStringLiteral("connected"), save);
    if (!drawDiagnosticsSnapshot(window, hub, save))
        return 1;
    showKeyVariety(profiles, window);
    settle();
    shots.save(QStringLiteral("main-macros-keys-connected"), window.grab());
    window.macrosView()->setSelection(0);
    drawMacroEditor(window, hub, save);
    drawKeyboardAndFeedback(window, hub, save);

    // With data: approved custom screens, one of them on the device.
    screens.add(QStringLiteral("weather"), QStringLiteral("Weather"), true);
    screens.add(QStringLiteral("builds"), QStringLiteral("Build Status"), true);
    screens.add(QStringLiteral("unapproved"), QStringLiteral("Waiting For Approval"), false);
    hub.showScreen(DeviceScreen::custom(QStringLiteral("weather")));
    if (!QTest::qWaitFor(idle, 10000))
        std::fputs("tarv-ui-shots: the custom page did not reach the device\n", stderr);
    settle();
    shots.save(QStringLiteral("main-macros-connected-custom"), window.grab());
    shots.save(QStringLiteral("main-picker-connected-custom"), withPickerOpen(window));

    if (!drawScreensaverPage(window, hub, save))
        return 1;

    if (!drawSettings(window, hub, screens, save))
        return 1;
    // GNOME on Wayland: the tab and the profile's popover say why nothing switches.
    appSource.setGnome(true);
    window.showSettings();
    window.settingsWindow()->tabs()->setCurrentIndex(2);
    settle();
    shots.save(QStringLiteral("settings-auto-switching-gnome"), window.settingsWindow()->grab());
    window.settingsWindow()->close();
    if (!drawGnomeExtensionStates(hub, home + QStringLiteral("/gnome-shell-extensions"), save))
        return 1;
    window.select(SidebarItem::macros);
    window.macrosView()->profileAppsButton()->click();
    settle();
    {
        QWidget* popover = window.macrosView()->profileAppsButton()->popover();
        QPixmap image = window.grab();
        QPainter painter(&image);
        painter.drawPixmap(window.mapFromGlobal(popover->pos()), popover->grab());
        painter.end();
        shots.save(QStringLiteral("main-macros-profile-apps-gnome"), image);
    }
    window.macrosView()->profileAppsButton()->popover()->close();
    appSource.setGnome(false);

    drawMediaPages(hub, save);
    if (!drawCustomScreensPages(home + QStringLiteral("/custom-screens"), save))
        return 1;

    return shots.failed() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: tarv-ui-shots OUTDIR\n", stderr);
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "tarv-ui-shots: cannot make %s\n", argv[1]);
        return 1;
    }

    // A home of its own, set before Qt reads any of it.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fputs("tarv-ui-shots: cannot make a temporary home\n", stderr);
        return 1;
    }
    for (const char* sub : {".config", ".local/share", ".cache", "runtime"})
        QDir(home.path()).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral(".local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral(".cache")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.filePath(QStringLiteral("runtime")).toLocal8Bit());
    qputenv("TARV_TEST_RUN", "1");
    // A laptop's screen, 1366 x 768, so windows that must fit a screen show whether they do.
    QFile screens(home.filePath(QStringLiteral("screens.json")));
    if (!screens.open(QIODevice::WriteOnly) ||
        screens.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768}]})") < 0) {
        std::fputs("tarv-ui-shots: cannot describe the screen\n", stderr);
        return 1;
    }
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication::setAttribute(Qt::AA_Use96Dpi);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarv"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarv"));
    QLoggingCategory::setFilterRules(QStringLiteral("tarv.device.info=false"));
    standardHandler = qInstallMessageHandler(quietPlatformNotes);
    return run(folder);
}
