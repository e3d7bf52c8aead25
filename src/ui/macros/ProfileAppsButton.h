#pragma once
// The toolbar button of the macros page that reads which applications switch the device to
// the active profile, and opens the popover where they are chosen.

#include <QToolButton>

class DeviceManager;
class ProfileAppsPopover;
class ProfileStore;

class ProfileAppsButton : public QToolButton {
    Q_OBJECT
public:
    explicit ProfileAppsButton(DeviceManager& deviceManager, QWidget* parent = nullptr);

    // "Mail + 2 + Others", "All Other Apps", "No Apps".
    static QString summary(const ProfileStore& store);

    ProfileAppsPopover* popover() const { return m_popover; }

private:
    void showSummary();

    DeviceManager& m_deviceManager;
    ProfileAppsPopover* m_popover = nullptr;
};
