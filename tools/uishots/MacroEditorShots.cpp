#include "MacroEditorShots.h"

#include "app/MainWindow.h"
#include "hub/DeviceManager.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "ui/macros/ActionEditor.h"
#include "ui/macros/AppChooser.h"
#include "ui/macros/IconPicker.h"
#include "ui/macros/KeyPanel.h"
#include "ui/macros/KeyboardGrab.h"
#include "ui/macros/MacrosView.h"
#include "ui/macros/ProfileAppsButton.h"
#include "ui/macros/ProfileAppsPopover.h"
#include "ui/macros/ShortcutCapture.h"
#include "ui/macros/ShortcutEditor.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

namespace {

void settle()
{
    QTest::qWait(30);
}

// The window with a popup drawn over it where it shows.
QPixmap withPopup(MainWindow& window, QWidget* popup)
{
    settle();
    QPixmap image = window.grab();
    QPainter painter(&image);
    painter.drawPixmap(window.mapFromGlobal(popup->pos()), popup->grab());
    painter.end();
    return image;
}

void putAction(ProfileStore& profiles, const MacroAction& action)
{
    MacroProfile profile = profiles.activeProfile();
    profile.buttons[0].action = action;
    profiles.updateKey(profile, QStringLiteral("Shots"));
}

void writeEntry(const QString& id, const QString& name, const QString& icon)
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
    QDir().mkpath(folder);
    QFile file(folder + u'/' + id + QStringLiteral(".desktop"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(("[Desktop Entry]\nType=Application\nExec=/bin/true\nName=" + name + "\nIcon=" + icon + "\n").toUtf8());
}

// What the recorder shows where the desktop gives it the keyboard (X11).
class ShotGrab final : public KeyboardGrab {
public:
    Result grab(QWindow*) override { return Result::grabbed; }
    void release() override {}
};

class ShotRunningApps final : public RunningAppsSource {
public:
    QFuture<QList<RunningApp>> runningApps() override
    {
        return QtFuture::makeReadyFuture(QList<RunningApp>{
            {QStringLiteral("org.example.Terminal"), QStringLiteral("Terminal"), QStringLiteral("utilities-terminal")},
            {QStringLiteral("org.example.Files"), QStringLiteral("Files"), QStringLiteral("system-file-manager")},
            {QStringLiteral("org.example.Editor"), QStringLiteral("Text Editor"),
             QStringLiteral("accessories-text-editor")},
        });
    }
};

void pressModifier(QWidget* target, int key, Qt::KeyboardModifiers modifiers, quint32 scanCode)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers, scanCode, 0, 0);
    QApplication::sendEvent(target, &event);
}

// The recorder under "Record…", with two modifiers held, as X11 and Wayland caption it.
void drawShortcutCapture(MainWindow& window, const SaveShot& save)
{
    for (const bool grabbed : {true, false}) {
        if (grabbed)
            KeyboardGrab::setFactory([] { return std::make_unique<ShotGrab>(); });
        auto* editor = window.findChild<ShortcutEditor*>(QStringLiteral("shortcutEditor"));
        if (!editor)
            return;
        editor->recordButton()->click();
        ShortcutCapturePopup* popup = editor->capturePopup();
        if (popup) {
            pressModifier(popup, Qt::Key_Control, Qt::ControlModifier, 37);
            pressModifier(popup, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier, 50);
            save(grabbed ? QStringLiteral("main-macros-shortcut-capture")
                         : QStringLiteral("main-macros-shortcut-capture-wayland"),
                 withPopup(window, popup));
            popup->close();
        }
        KeyboardGrab::setFactory({});
    }
}

// The keystroke editor before and after a long chord is recorded (Ctrl+Shift+K) and after a
// long common shortcut is picked: the Shortcut row keeps its layout whatever the chord's length.
void drawLongChords(MainWindow& window, ProfileStore& profiles, const SaveShot& save)
{
    putAction(profiles, MacroAction::keystroke({4, HIDModifiers::none()}));
    settle();
    save(QStringLiteral("main-macros-action-keystroke-short"), window.grab());
    auto* editor = window.findChild<ShortcutEditor*>(QStringLiteral("shortcutEditor"));
    if (!editor)
        return;
    editor->recordButton()->click();
    if (ShortcutCapturePopup* popup = editor->capturePopup()) {
        pressModifier(popup, Qt::Key_Control, Qt::ControlModifier, 37);
        pressModifier(popup, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier, 50);
        pressModifier(popup, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, 45);
    }
    settle();
    save(QStringLiteral("main-macros-action-keystroke-recorded"), window.grab());
    editor = window.findChild<ShortcutEditor*>(QStringLiteral("shortcutEditor"));
    const QList<QAction*> common = editor ? editor->systemShortcutsMenu()->actions() : QList<QAction*>{};
    if (!common.isEmpty()) {
        common.last()->trigger();
        settle();
        save(QStringLiteral("main-macros-action-keystroke-common"), window.grab());
    }
}

// The profile's applications: none linked; then linked with another profile the fallback;
// then the "Add App" menu with a move marked.
void drawProfileApps(MainWindow& window, DeviceManager& hub, ProfileStore& profiles, const SaveShot& save)
{
    ProfileAppsButton* button = window.macrosView()->profileAppsButton();
    ProfileAppsPopover* popover = button->popover();
    popover->setRunningAppsSource(std::make_unique<ShotRunningApps>());
    const QUuid active = profiles.activeID();
    const MacroProfile before = profiles.activeProfile();
    const std::optional<QUuid> fallback = profiles.fallbackID();
    for (const AppTarget& app : before.linkedApps)
        profiles.unlinkApp(app.bundleID, active);
    profiles.setFallbackProfile(std::nullopt);
    button->click();
    save(QStringLiteral("main-macros-profile-apps-empty"), withPopup(window, popover));
    popover->close();

    const QUuid other = profiles.addProfile(false).id;
    profiles.renameProfile(other, QStringLiteral("Writing"));
    profiles.linkApps({QStringLiteral("org.example.Files"), QStringLiteral("Files")}, other);
    profiles.setFallbackProfile(other);
    profiles.activateProfile(active);
    profiles.linkApps({QStringLiteral("org.example.Editor"), QStringLiteral("Text Editor")}, active);
    profiles.linkApps({QStringLiteral("org.example.Nameless"), QString()}, active);
    button->click();
    save(QStringLiteral("main-macros-profile-apps"), withPopup(window, popover));
    QMenu* menu = popover->addAppMenu();
    menu->popup(popover->mapToGlobal(QPoint(14, popover->height() / 2)));
    settle();
    QPixmap image = withPopup(window, popover);
    QPainter painter(&image);
    painter.drawPixmap(window.mapFromGlobal(menu->pos()), menu->grab());
    painter.end();
    save(QStringLiteral("main-macros-profile-apps-add-menu"), image);
    menu->close();
    popover->close();

    hub.autoSwitcher().setPaused(true);
    button->click();
    save(QStringLiteral("main-macros-profile-apps-paused"), withPopup(window, popover));
    popover->close();
    hub.autoSwitcher().setPaused(false);

    profiles.deleteProfile(other);
    profiles.activateProfile(active);
    const QList<AppTarget> shown = profiles.activeProfile().linkedApps;
    for (const AppTarget& app : shown)
        profiles.unlinkApp(app.bundleID, active);
    for (const AppTarget& app : before.linkedApps)
        profiles.linkApps(app, active);
    profiles.setFallbackProfile(fallback);
}

}  // namespace

void drawMacroEditor(MainWindow& window, DeviceManager& hub, const SaveShot& save)
{
    ProfileStore& profiles = hub.profiles();
    window.select(SidebarItem::macros);
    MacrosView* view = window.macrosView();
    view->setSelection(0);
    KeyInspector* inspector = view->inspector();
    const MacroAction original = profiles.activeProfile().buttons[0].action;
    settle();

    inspector->openIconPicker();
    IconPickerPopover* picker = inspector->iconPicker();
    save(QStringLiteral("main-macros-icon-picker-symbols"), withPopup(window, picker));
    picker->findChild<QLineEdit*>(QStringLiteral("iconSearchField"))->setText(QStringLiteral("vol"));
    save(QStringLiteral("main-macros-icon-picker-symbols-search"), withPopup(window, picker));
    picker->setTab(IconPickerPopover::Tab::emoji);
    save(QStringLiteral("main-macros-icon-picker-emoji"), withPopup(window, picker));
    picker->findChild<QPushButton*>(QStringLiteral("moreEmojiButton"))->setChecked(true);
    save(QStringLiteral("main-macros-icon-picker-emoji-more"), withPopup(window, picker));
    picker->hide();

    writeEntry(QStringLiteral("org.example.Editor"), QStringLiteral("Text Editor"),
               QStringLiteral("accessories-text-editor"));
    writeEntry(QStringLiteral("org.example.Terminal"), QStringLiteral("Terminal"),
               QStringLiteral("utilities-terminal"));
    writeEntry(QStringLiteral("org.example.Files"), QStringLiteral("Files"), QStringLiteral("system-file-manager"));

    const QList<std::pair<QString, MacroAction>> actions = {
        {QStringLiteral("none"), MacroAction::unassigned()},
        {QStringLiteral("keystroke"), MacroAction::keystroke({16, HIDModifiers{0x0A}})},
        {QStringLiteral("media"), MacroAction::media(MediaKey::volumeUp)},
        {QStringLiteral("openApp-none"), MacroAction::openApp({})},
        {QStringLiteral("openApp"),
         MacroAction::openApp({QStringLiteral("org.example.Editor"), QStringLiteral("Text Editor")})},
        {QStringLiteral("openURL"), MacroAction::openURL(QStringLiteral("https://example.org/status"))},
        {QStringLiteral("runShortcut-missing"), MacroAction::runShortcut(QStringLiteral("Backup Photos"))},
        {QStringLiteral("typeText"), MacroAction::typeText(QStringLiteral("Kind regards,"))},
        {QStringLiteral("screenshot"),
         MacroAction::screenshot({ScreenshotOptions::Mode::window, ScreenshotOptions::Destination::clipboard})},
        {QStringLiteral("showScreen"), MacroAction::showScreen(QStringLiteral("Calculator"))},
        {QStringLiteral("showScreen-missing"), MacroAction::showScreen(QStringLiteral("garden"))},
    };
    for (const auto& [name, action] : actions) {
        putAction(profiles, action);
        settle();
        save(QStringLiteral("main-macros-action-") + name, window.grab());
    }

    drawLongChords(window, profiles, save);
    putAction(profiles, MacroAction::keystroke({16, HIDModifiers{0x0A}}));
    settle();
    drawShortcutCapture(window, save);
    drawProfileApps(window, hub, profiles, save);

    putAction(profiles, MacroAction::openApp({}));
    settle();
    auto* choose = window.findChild<QPushButton*>(QStringLiteral("chooseAppButton"));
    if (choose)
        choose->click();
    auto* chooser = window.findChild<AppChooser*>(QStringLiteral("appChooser"));
    if (chooser) {
        if (!QTest::qWaitFor([chooser] { return chooser->isLoaded(); }, 5000))
            std::fputs("tarv-ui-shots: the application chooser did not load\n", stderr);
        settle();
        save(QStringLiteral("dialog-app-chooser"), chooser->grab());
        chooser->reject();
    }
    putAction(profiles, original);
}
