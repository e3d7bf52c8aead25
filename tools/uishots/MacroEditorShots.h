#pragma once
// The shots of the macro editor's key inspector: the icon picker on both tabs, the action
// editor for each kind of action and for chords short and long, the shortcut recorder, the
// profile's applications (also while switching is paused) and the application chooser.

#include "DeviceShots.h"

class DeviceManager;

// "main-macros-icon-picker-*", "main-macros-action-<kind>", "main-macros-shortcut-capture*",
// "main-macros-profile-apps*" and "dialog-app-chooser".
void drawMacroEditor(MainWindow& window, DeviceManager& hub, const SaveShot& save);
