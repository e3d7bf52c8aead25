#pragma once
// The main window's "Device" menu: send the home page with the active profile's keys again,
// choose the page the device shows (Ctrl+1 … Ctrl+9 for the first nine), wake the device from
// its screensaver, pause automatic profile switching and flip the display.

#include <QList>
#include <QObject>

class DeviceManager;
class PageMenuEntries;
class PauseAutoSwitchingToggle;
class QAction;
class QMenu;

class DeviceCommands : public QObject {
public:
    // Fills `menu`; the actions belong to this object.
    DeviceCommands(DeviceManager& deviceManager, QMenu* menu, QObject* parent = nullptr);

    QMenu* menu() const { return m_menu; }
    QAction* sendProfileAction() const { return m_sendProfile; }
    QAction* wakeAction() const { return m_wake; }
    PauseAutoSwitchingToggle* pauseAction() const { return m_pause; }
    // The page entries in menu order, as far as they are made.
    QList<QAction*> pageActions() const;

private:
    void refresh();

    DeviceManager& m_deviceManager;
    QMenu* m_menu = nullptr;
    QAction* m_sendProfile = nullptr;
    QAction* m_pagesHeading = nullptr;
    QAction* m_pagesEnd = nullptr;
    PageMenuEntries* m_pages = nullptr;
    QAction* m_wake = nullptr;
    PauseAutoSwitchingToggle* m_pause = nullptr;
};
