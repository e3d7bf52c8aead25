#pragma once
// The Settings window: one window for the whole application, opened from the sidebar's
// "Settings" button, the File menu and the tray. Four tabs: General (open at login, the
// version), Device (brightness, flip), Auto-Switching and Advanced (the tarv tool's link and
// the trusted screen files). It is 520 pixels wide and as tall as its tabs need.

#include "control/CommandLineToolInstaller.h"

#include <QWidget>

#include <memory>
#include <optional>

class AutoSwitchSettings;
class CommandLineToolSection;
class DeviceManager;
class DeviceSettings;
class GeneralSettings;
class LoginItem;
class PrivilegedRunner;
class QTabWidget;
class TrustedScreensSection;

class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 520;

    // What the window works with beyond the hub; each left empty takes the real one: the
    // autostart entry of this user and program, the link in /usr/local/bin to the tool beside
    // the application, and pkexec.
    struct Services {
        std::unique_ptr<LoginItem> loginItem;
        std::optional<CommandLineToolInstaller> installer;
        std::unique_ptr<PrivilegedRunner> runner;
    };

    explicit SettingsWindow(DeviceManager& deviceManager, QWidget* parent = nullptr);
    SettingsWindow(DeviceManager& deviceManager, Services services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    QTabWidget* tabs() const { return m_tabs; }
    GeneralSettings* general() const { return m_general; }
    DeviceSettings* device() const { return m_device; }
    AutoSwitchSettings* autoSwitch() const { return m_autoSwitch; }
    CommandLineToolSection* commandLineTool() const { return m_commandLineTool; }
    TrustedScreensSection* trustedScreens() const { return m_trustedScreens; }

protected:
    bool event(QEvent* event) override;

private:
    void fitHeight();

    DeviceManager& m_deviceManager;
    std::unique_ptr<PrivilegedRunner> m_runner;
    QTabWidget* m_tabs = nullptr;
    GeneralSettings* m_general = nullptr;
    DeviceSettings* m_device = nullptr;
    AutoSwitchSettings* m_autoSwitch = nullptr;
    CommandLineToolSection* m_commandLineTool = nullptr;
    TrustedScreensSection* m_trustedScreens = nullptr;
};
