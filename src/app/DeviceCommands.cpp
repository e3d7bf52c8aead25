#include "app/DeviceCommands.h"

#include "app/DeviceToggles.h"
#include "app/PageMenuEntries.h"
#include "hub/DeviceManager.h"

#include <QAction>
#include <QMenu>

DeviceCommands::DeviceCommands(DeviceManager& deviceManager, QMenu* menu, QObject* parent)
    : QObject(parent), m_deviceManager(deviceManager), m_menu(menu)
{
    m_sendProfile = new QAction(QStringLiteral("Send Profile to Tarv"), this);
    m_sendProfile->setObjectName(QStringLiteral("sendProfileAction"));
    m_sendProfile->setShortcut(QKeySequence(QStringLiteral("Ctrl+R")));
    connect(m_sendProfile, &QAction::triggered, &m_deviceManager, &DeviceManager::showHome);

    m_pagesHeading = new QAction(QStringLiteral("Show on Tarv"), this);
    m_pagesHeading->setSeparator(true);
    m_pagesEnd = new QAction(this);
    m_pagesEnd->setSeparator(true);
    m_pages = new PageMenuEntries(m_deviceManager, m_menu, m_pagesEnd, QStringLiteral("devicePage:"), this);
    m_pages->setShortcuts(true);

    m_wake = new QAction(QStringLiteral("Wake Tarv"), this);
    m_wake->setObjectName(QStringLiteral("wakeAction"));
    m_wake->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+W")));
    connect(m_wake, &QAction::triggered, &m_deviceManager, &DeviceManager::wakeFromScreensaver);

    m_pause = new PauseAutoSwitchingToggle(m_deviceManager.autoSwitcher(), this);

    m_menu->addAction(m_sendProfile);
    m_menu->addSeparator();
    // A separator with text is how a menu heads a section.
    m_menu->addAction(m_pagesHeading);
    m_menu->addAction(m_pagesEnd);
    m_menu->addAction(m_wake);
    m_menu->addSeparator();
    m_menu->addAction(m_pause);
    m_menu->addSeparator();
    m_menu->addAction(new FlipDisplayToggle(m_deviceManager, this));

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &DeviceCommands::refresh);
    connect(&m_deviceManager, &DeviceManager::activeScreenChanged, this, &DeviceCommands::refresh);
    connect(&m_deviceManager, &DeviceManager::availableScreensChanged, m_pages, &PageMenuEntries::pagesChanged);
    m_pages->pagesChanged();
    refresh();
}

QList<QAction*> DeviceCommands::pageActions() const
{
    return m_pages->actions();
}

void DeviceCommands::refresh()
{
    const bool connected = m_deviceManager.state().isConnected();
    m_sendProfile->setEnabled(connected);
    // Wake looks only at the page shown: the wake itself needs no connection.
    m_wake->setEnabled(m_deviceManager.activeScreen() == DeviceScreen::screensaver());
    m_pages->activeChanged();
    m_pages->setEnabled(connected);
}
