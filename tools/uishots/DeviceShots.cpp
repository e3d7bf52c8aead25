#include "DeviceShots.h"

#include "app/DeviceCommands.h"
#include "app/MainWindow.h"
#include "app/SidebarHost.h"
#include "app/TrayMenu.h"
#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "ui/diagnostics/DeviceScreenSection.h"
#include "ui/diagnostics/DiagnosticsView.h"
#include "ui/diagnostics/FrameLogView.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTest>

#include <cstdio>

namespace {

void settle()
{
    QTest::qWait(30);
}

// The window with a menu of its menu bar open over it, where the menu drops.
QPixmap withMenuOpen(MainWindow& window, QMenu* menu)
{
    QMenuBar* bar = window.menuBar();
    const QRect item = bar->actionGeometry(menu->menuAction());
    const QPoint below = bar->mapTo(&window, item.bottomLeft());
    menu->popup(bar->mapToGlobal(item.bottomLeft()));
    settle();
    QPixmap image = window.grab();
    QPainter painter(&image);
    painter.drawPixmap(below, menu->grab());
    painter.end();
    menu->hide();
    settle();
    return image;
}

}  // namespace

void drawDeviceMenus(MainWindow& window, DeviceManager& hub, const QString& state, const SaveShot& save)
{
    save(QStringLiteral("main-device-menu-") + state, withMenuOpen(window, window.deviceCommands()->menu()));

    TrayMenu tray(hub, window);
    const auto drawTray = [&](const QString& name) {
        tray.menu()->popup(QPoint(0, 0));
        settle();
        save(name, tray.menu()->grab());
        tray.menu()->hide();
        settle();
    };
    drawTray(QStringLiteral("tray-menu-") + state);

    // From two profiles on, the menu offers them and the pause; the second goes again after,
    // so the other views are drawn as before.
    ProfileStore& profiles = hub.profiles();
    const MacroProfile added = profiles.addProfile(false);
    profiles.renameProfile(added.id, QStringLiteral("Editing"));
    drawTray(QStringLiteral("tray-menu-profiles-") + state);
    profiles.deleteProfile(added.id);
    settle();
}

bool drawDiagnosticsSnapshot(MainWindow& window, DeviceManager& hub, const SaveShot& save)
{
    bool done = false;
    hub.captureSnapshot([&done](const DeviceManager::SnapshotResult&) { done = true; });
    if (!QTest::qWaitFor([&] { return done; }, 10000) || !hub.snapshot()) {
        std::fputs("tarv-ui-shots: the fake device sent no snapshot\n", stderr);
        return false;
    }
    window.select(SidebarItem::diagnostics);
    settle();
    save(QStringLiteral("main-diagnostics-snapshot"), window.grab());
    QWidget* page = window.sidebarHost()->page(QStringLiteral("diagnostics"));
    // The whole page, not just the part the window shows.
    const QSize full(page->width(), std::max(page->height(), page->sizeHint().height()));
    const QSize before = page->size();
    page->resize(full);
    settle();
    save(QStringLiteral("page-diagnostics-snapshot"), page->grab());

    // A save into a folder that does not exist, for the look of the failure.
    DeviceScreenSection* section = static_cast<DiagnosticsView*>(page)->deviceScreen();
    section->setSaveFileAsker([](QWidget*, const QString& name, std::function<void(const QString&)> chosen) {
        chosen(QStringLiteral("/nonexistent/") + name);
    });
    section->saveSnapshot();
    if (QTest::qWaitFor([section] { return !section->isSaving(); }, 10000))
        save(QStringLiteral("page-diagnostics-save-failed"), page->grab());
    else
        std::fputs("tarv-ui-shots: the failing save did not end\n", stderr);

    // The keyboard in the frame log, come by Tab, with no row current yet.
    QApplication::setActiveWindow(&window);
    static_cast<DiagnosticsView*>(page)->logView()->setFocus(Qt::TabFocusReason);
    settle();
    save(QStringLiteral("page-diagnostics-log-focus"), page->grab());
    page->resize(before);
    window.select(SidebarItem::macros);
    settle();
    return true;
}
