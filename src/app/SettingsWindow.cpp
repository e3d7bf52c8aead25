#include "app/SettingsWindow.h"

#include "hub/DeviceManager.h"

SettingsWindow::SettingsWindow(DeviceManager& deviceManager, QWidget* parent)
    : QWidget(parent, Qt::Window), m_deviceManager(deviceManager)
{
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(QStringLiteral("Settings"));
    resize(defaultWidth, defaultHeight);
}
