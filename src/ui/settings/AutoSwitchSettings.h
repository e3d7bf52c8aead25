#pragma once
// The Auto-Switching tab of Settings: whether the profile follows the application in front,
// and the profile for applications no profile is linked to. Where the desktop cannot tell
// which application is in front, the tab says why.

#include <QWidget>

class DeviceManager;
class QCheckBox;
class QComboBox;
class QLabel;

class AutoSwitchSettings : public QWidget {
    Q_OBJECT
public:
    explicit AutoSwitchSettings(DeviceManager& deviceManager, QWidget* parent = nullptr);

    QComboBox* fallbackPicker() const { return m_fallback; }

private:
    void showPause();
    void fillProfiles();

    DeviceManager& m_deviceManager;
    QCheckBox* m_switch = nullptr;
    QComboBox* m_fallback = nullptr;
};
