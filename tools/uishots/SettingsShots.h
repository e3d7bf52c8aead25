#pragma once
// The shots of the Settings window: each tab, and the Advanced tab with trusted screens, with
// the tool's link made and with the tool missing.

#include "DeviceShots.h"

class DeviceManager;
class MainWindow;

namespace TarvFake {
class MemoryScreenStore;
}

// "settings-general", "settings-device", "settings-auto-switching", "settings-advanced" and
// the Advanced tab's states. False when a view could not be drawn.
bool drawSettings(MainWindow& window, DeviceManager& hub, TarvFake::MemoryScreenStore& screens, const SaveShot& save);
