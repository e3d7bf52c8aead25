#pragma once
// The Settings window: one window for the whole application, opened from the sidebar's
// "Settings" button, the File menu and the tray. Four tabs: General (open at login, the
// version), Device (brightness, flip), Auto-Switching and Advanced (the tarv tool's link and
// the trusted screen files). It is 520 pixels wide and as tall as its tabs need, but never
// taller than the screen: a tab with more than that scrolls inside the window.

#include "control/CommandLineToolInstaller.h"
#include "macros/GnomeExtensionSetup.h"

#include <QMargins>
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
class QScrollArea;
class QTabWidget;
class TrustedScreensSection;

class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 520;

    // What the window works with beyond the hub; each left empty takes the real one: the
    // autostart entry of this user and program, the link in /usr/local/bin to the tool beside
    // the application, pkexec, and, on GNOME's Wayland session, Tarv's GNOME Shell extension
    // on the session bus.
    struct Services {
        std::unique_ptr<LoginItem> loginItem;
        std::optional<CommandLineToolInstaller> installer;
        std::unique_ptr<PrivilegedRunner> runner;
        std::unique_ptr<GnomeExtensionSetup> gnomeExtension;
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
    // The scroll area around the shown tab's content.
    QScrollArea* currentScrollArea() const;

    // Shows the window raised and active. When it was not shown, it is first placed centred
    // over `anchor` (the main window) if that is on screen, else in the middle of the screen.
    void showCentredOver(const QWidget* anchor);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape closes the window, as it closes a dialog.
    void keyPressEvent(QKeyEvent* event) override;
    // Also called by Qt when the focused control is disabled or hidden: FocusKeeper keeps the
    // focus in its page.
    bool focusNextPrevChild(bool next) override;

private:
    void fitHeight();
    // The height the window may take on its screen: the screen's free height less the frame.
    int roomOnScreen() const;
    // Moves the window back onto its screen when its frame has grown past an edge.
    void keepOnScreen();

    DeviceManager& m_deviceManager;
    std::unique_ptr<PrivilegedRunner> m_runner;
    QTabWidget* m_tabs = nullptr;
    GeneralSettings* m_general = nullptr;
    DeviceSettings* m_device = nullptr;
    AutoSwitchSettings* m_autoSwitch = nullptr;
    CommandLineToolSection* m_commandLineTool = nullptr;
    TrustedScreensSection* m_trustedScreens = nullptr;
    // The window manager's frame around the window: its own once shown, until then the one
    // around the window it opens over.
    QMargins m_frame;
};
