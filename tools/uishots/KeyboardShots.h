#pragma once
// The shots of the macro editor used from the keyboard and of what it tells about a key: the
// grid with the keyboard on a key, the icon picker's cell under the keyboard, a long
// application name at a small window size, Test Key's outcome, the characters Type Text will
// skip, a label cut as the device cuts it, no shortcuts yet, and a form on a wide window.

#include "DeviceShots.h"

class DeviceManager;

// "main-macros-grid-focus", "main-macros-icon-picker-focus", "main-macros-action-openApp-long",
// "main-macros-test-failed", "main-macros-action-typeText-skipped", "main-macros-label-clipped",
// "main-macros-action-runShortcut-none", and "screen-nowPlaying-1920" (a full HD window).
void drawKeyboardAndFeedback(MainWindow& window, DeviceManager& hub, const SaveShot& save);
