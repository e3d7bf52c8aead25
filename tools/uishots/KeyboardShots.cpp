#include "KeyboardShots.h"

#include "app/MainWindow.h"
#include "app/SidebarHost.h"
#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "ui/macros/IconPicker.h"
#include "ui/macros/KeyCanvas.h"
#include "ui/macros/KeyPanel.h"
#include "ui/macros/MacrosView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>

#include <cstdio>

namespace {

void settle()
{
    QTest::qWait(30);
}

void putKey(ProfileStore& profiles, const QString& label, const MacroAction& action)
{
    MacroProfile profile = profiles.activeProfile();
    profile.buttons[0].label = label;
    profile.buttons[0].action = action;
    profiles.updateKey(profile, QStringLiteral("Shots"));
}

// An application whose program is not installed.
void writeBrokenEntry()
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/org.example.Gone.desktop"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write("[Desktop Entry]\nType=Application\nName=Openbox Configuration Manager\nExec=/nonexistent/obconf\n");
}

}  // namespace

void drawKeyboardAndFeedback(MainWindow& window, DeviceManager& hub, const SaveShot& save)
{
    ProfileStore& profiles = hub.profiles();
    window.select(SidebarItem::macros);
    MacrosView* view = window.macrosView();
    const MacroButton original = profiles.activeProfile().buttons[0];
    const QSize size = window.size();

    // The keyboard on key 6.
    QApplication::setActiveWindow(&window);
    view->setSelection(5);
    view->canvas()->setFocus(Qt::TabFocusReason);
    settle();
    save(QStringLiteral("main-macros-grid-focus"), window.grab());
    view->setSelection(0);

    // The keyboard on the sidebar's chosen page.
    window.sidebarHost()->list()->setFocus(Qt::TabFocusReason);
    settle();
    save(QStringLiteral("main-sidebar-focus"), window.grab());
    // Then on Settings under the list.
    window.sidebarHost()->settingsButton()->setFocus(Qt::TabFocusReason);
    settle();
    save(QStringLiteral("main-settings-focus"), window.grab());

    // The keyboard on the icon row, then on the key's tint.
    KeyInspector* inspector = view->inspector();
    if (auto* icon = inspector->findChild<QPushButton*>(QStringLiteral("iconButton")))
        icon->setFocus(Qt::TabFocusReason);
    settle();
    save(QStringLiteral("main-macros-icon-button-focus"), window.grab());
    for (TintSwatch* swatch : inspector->findChildren<TintSwatch*>()) {
        if (swatch->isChecked())
            swatch->setFocus(Qt::TabFocusReason);
    }
    settle();
    save(QStringLiteral("main-macros-tint-focus"), window.grab());

    // The icon picker with the keyboard on a cell.
    inspector->openIconPicker();
    if (IconPickerPopover* picker = inspector->iconPicker()) {
        QApplication::setActiveWindow(picker);
        if (auto* cell = picker->findChild<QToolButton*>(QStringLiteral("symbolCell:bell")))
            cell->setFocus(Qt::TabFocusReason);
        settle();
        QPixmap image = window.grab();
        QPainter painter(&image);
        painter.drawPixmap(window.mapFromGlobal(picker->pos()), picker->grab());
        painter.end();
        save(QStringLiteral("main-macros-icon-picker-focus"), image);
        picker->hide();
    }
    QApplication::setActiveWindow(&window);

    // A long application name in a small window, then Test Key on it: the program is missing.
    writeBrokenEntry();
    window.resize(1080, 640);
    putKey(profiles, QStringLiteral("Openbox"),
           MacroAction::openApp({QStringLiteral("org.example.Gone"), QStringLiteral("Openbox Configuration Manager")}));
    settle();
    save(QStringLiteral("main-macros-action-openApp-long"), window.grab());
    if (auto* test = window.findChild<QPushButton*>(QStringLiteral("testKeyButton")))
        test->click();
    settle();
    save(QStringLiteral("main-macros-test-failed"), window.grab());
    window.resize(size);

    putKey(profiles, QStringLiteral("E"), MacroAction::typeText(QStringLiteral("h\u00E9llo w\u00F6rld \u20AC5 \u00F1")));
    settle();
    save(QStringLiteral("main-macros-action-typeText-skipped"), window.grab());

    putKey(profiles, QStringLiteral("Copy \u2702 Stuff"), MacroAction::keystroke({6, HIDModifiers::control()}));
    settle();
    save(QStringLiteral("main-macros-label-clipped"), window.grab());

    // No shortcuts in the folder.
    putKey(profiles, QStringLiteral("Run"), MacroAction::runShortcut({}));
    if (!QTest::qWaitFor([&] { return !view->shortcuts().isLoading(); }, 5000))
        std::fputs("tarv-ui-shots: the shortcuts did not load\n", stderr);
    settle();
    save(QStringLiteral("main-macros-action-runShortcut-none"), window.grab());

    MacroProfile profile = profiles.activeProfile();
    profile.buttons[0] = original;
    profiles.updateKey(profile, QStringLiteral("Shots"));

    // A form on a full HD screen keeps a readable width.
    window.select(SidebarItem::nowPlaying);
    window.resize(1920, 1080);
    settle();
    save(QStringLiteral("screen-nowPlaying-1920"), window.grab());
    window.resize(size);
    window.select(SidebarItem::macros);
    settle();
}
