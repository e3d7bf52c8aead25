#pragma once
// The two check-mark toggles the Device menu holds: pausing automatic profile switching
// (the tray menu shows the same action) and flipping the device's display. Each follows its
// value wherever else it is changed.

#include <QAction>

class DeviceManager;
class ProfileAutoSwitcher;

class PauseAutoSwitchingToggle : public QAction {
public:
    PauseAutoSwitchingToggle(ProfileAutoSwitcher& switcher, QObject* parent = nullptr);
};

class FlipDisplayToggle : public QAction {
public:
    FlipDisplayToggle(DeviceManager& deviceManager, QObject* parent = nullptr);
};
