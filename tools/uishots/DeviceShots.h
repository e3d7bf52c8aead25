#pragma once
// The shots of the device controls: the Device menu and the tray menu in a connection state,
// and the Diagnostics page with a capture of the device's screen.

#include <QPixmap>
#include <QString>

#include <functional>

class DeviceManager;
class MainWindow;

using SaveShot = std::function<bool(const QString& name, const QPixmap& image)>;

// "main-device-menu-<state>", "tray-menu-<state>" and "tray-menu-profiles-<state>".
void drawDeviceMenus(MainWindow& window, DeviceManager& hub, const QString& state, const SaveShot& save);
// Captures the device's screen, then "main-diagnostics-snapshot" (the window) and
// "page-diagnostics-snapshot" (the whole page). False when the capture failed.
bool drawDiagnosticsSnapshot(MainWindow& window, DeviceManager& hub, const SaveShot& save);
