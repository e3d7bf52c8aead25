#include "MacroEditorShots.h"

#include "app/MainWindow.h"
#include "macros/ProfileStore.h"
#include "ui/macros/ActionEditor.h"
#include "ui/macros/AppChooser.h"
#include "ui/macros/IconPicker.h"
#include "ui/macros/KeyPanel.h"
#include "ui/macros/MacrosView.h"

#include <QDir>
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

}  // namespace

void drawMacroEditor(MainWindow& window, ProfileStore& profiles, const SaveShot& save)
{
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
