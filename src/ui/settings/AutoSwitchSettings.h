#pragma once
// The Auto-Switching tab of Settings: whether the profile follows the application in front,
// and the profile for applications no profile is linked to. It says how the desktop tells
// which application is in front, or why it cannot; on GNOME's Wayland session, also what
// Tarv's GNOME Shell extension still needs, with the step that helps.

#include <QWidget>

#include <memory>

class DeviceManager;
class FormSection;
class GnomeExtensionRow;
class GnomeExtensionSetup;
class QCheckBox;
class QComboBox;
class QLabel;
class SymbolLabel;

class AutoSwitchSettings : public QWidget {
    Q_OBJECT
public:
    // With `gnomeExtension`, the tab also shows what Tarv's GNOME Shell extension needs.
    explicit AutoSwitchSettings(DeviceManager& deviceManager,
                                std::unique_ptr<GnomeExtensionSetup> gnomeExtension = nullptr, QWidget* parent = nullptr);

    QComboBox* fallbackPicker() const { return m_fallback; }
    GnomeExtensionRow* gnomeExtensionRow() const { return m_gnomeRow; }

protected:
    // The user may have changed extensions elsewhere while the tab was away.
    void showEvent(QShowEvent* event) override;

private:
    void showPause();
    void fillProfiles();
    void showSource();

    DeviceManager& m_deviceManager;
    GnomeExtensionSetup* m_gnomeExtension = nullptr;
    FormSection* m_section = nullptr;
    GnomeExtensionRow* m_gnomeRow = nullptr;
    QCheckBox* m_switch = nullptr;
    QLabel* m_source = nullptr;
    SymbolLabel* m_unavailable = nullptr;
    QComboBox* m_fallback = nullptr;
};
