#pragma once
// The Auto-Switching tab of Settings: whether the profile follows the application in front,
// and the profile for applications no profile is linked to. It says how the desktop tells
// which application is in front, or why it cannot.

#include <QWidget>

class DeviceManager;
class QCheckBox;
class QComboBox;
class QLabel;
class SymbolLabel;

class AutoSwitchSettings : public QWidget {
    Q_OBJECT
public:
    explicit AutoSwitchSettings(DeviceManager& deviceManager, QWidget* parent = nullptr);

    QComboBox* fallbackPicker() const { return m_fallback; }

private:
    void showPause();
    void fillProfiles();
    void showSource();

    DeviceManager& m_deviceManager;
    QCheckBox* m_switch = nullptr;
    QLabel* m_source = nullptr;
    SymbolLabel* m_unavailable = nullptr;
    QComboBox* m_fallback = nullptr;
};
