#include "app/MainWindow.h"

#include "hub/DeviceManager.h"

#include <QLabel>

MainWindow::MainWindow(DeviceManager& deviceManager, QWidget* parent)
    : QMainWindow(parent), m_deviceManager(deviceManager)
{
    setWindowTitle(QStringLiteral("Tarv"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(defaultWidth, defaultHeight);
    m_status = new QLabel(this);
    m_status->setAlignment(Qt::AlignCenter);
    setCentralWidget(m_status);
    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &MainWindow::showConnection);
    showConnection();
}

void MainWindow::showConnection()
{
    const ConnectionState& state = m_deviceManager.state();
    switch (state.kind) {
    case ConnectionState::Kind::disconnected: m_status->setText(QStringLiteral("Not Connected")); break;
    case ConnectionState::Kind::connecting: m_status->setText(QStringLiteral("Connecting…")); break;
    case ConnectionState::Kind::connected:
        m_status->setText(QStringLiteral("Connected · ") + (state.hello ? state.hello->fw : QString()));
        break;
    }
}
