#pragma once
// The shots of the Auto-Switching tab on GNOME's Wayland session: what Tarv's GNOME Shell
// extension still needs, with its step, against a stand-in for GNOME Shell on a bus of its own.

#include "DeviceShots.h"

class DeviceManager;

// "settings-auto-switching-gnome-" followed by "not-installed", "at-next-login", "off" and
// "extensions-off", with folders under `folder`. False when a view could not be drawn.
bool drawGnomeExtensionStates(DeviceManager& hub, const QString& folder, const SaveShot& save);
