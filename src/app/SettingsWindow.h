#pragma once
// The Settings window: one window for the whole application, opened from the sidebar's
// "Settings" button and the File menu. Its tabs come with the settings' own work.

#include <QWidget>

class DeviceManager;

class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 520;
    static constexpr int defaultHeight = 360;

    explicit SettingsWindow(DeviceManager& deviceManager, QWidget* parent = nullptr);

private:
    DeviceManager& m_deviceManager;
};
