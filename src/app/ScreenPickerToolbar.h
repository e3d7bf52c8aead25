#pragma once
// The toolbar's page picker: a pull-down button naming the page the device shows, whose menu
// ("Show on Tarv") switches the device to another page. Usable only while connected.

#include <QToolButton>

class DeviceManager;
class PageMenuEntries;
class QMenu;

class ScreenPickerToolbar : public QToolButton {
    Q_OBJECT
public:
    explicit ScreenPickerToolbar(DeviceManager& deviceManager, QWidget* parent = nullptr);

    QMenu* pickerMenu() const { return m_menu; }

    // Follows the hub: the page list, the shown page and the connection.
    void refresh();

private:
    DeviceManager& m_deviceManager;
    QMenu* m_menu = nullptr;
    PageMenuEntries* m_entries = nullptr;
};
