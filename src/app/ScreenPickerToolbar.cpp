#include "app/ScreenPickerToolbar.h"

#include "app/PageMenuEntries.h"
#include "hub/DeviceManager.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolIcon.h"

#include <QAction>
#include <QMenu>

ScreenPickerToolbar::ScreenPickerToolbar(DeviceManager& deviceManager, QWidget* parent)
    : QToolButton(parent), m_deviceManager(deviceManager)
{
    setObjectName(QStringLiteral("screenPicker"));
    setIcon(symbolIcon(QStringLiteral("display")));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setPopupMode(QToolButton::InstantPopup);
    setToolTip(QStringLiteral("Choose the screen Tarv is showing"));

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("screenPickerMenu"));
    setMenu(m_menu);
    m_menu->addSection(QStringLiteral("Show on Tarv"));
    // Children of the menu, where callers look for them.
    m_entries = new PageMenuEntries(m_deviceManager, m_menu, nullptr, QStringLiteral("showScreen:"), m_menu);

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &ScreenPickerToolbar::refresh);
    connect(&m_deviceManager, &DeviceManager::activeScreenChanged, this, &ScreenPickerToolbar::refresh);
    // Titles of custom pages may change with their files.
    connect(&m_deviceManager, &DeviceManager::availableScreensChanged, m_entries, &PageMenuEntries::pagesChanged);
    connect(&m_deviceManager, &DeviceManager::availableScreensChanged, this, &ScreenPickerToolbar::refresh);
    m_entries->pagesChanged();
    refresh();
}

void ScreenPickerToolbar::refresh()
{
    const QString title = m_deviceManager.pageTitle(m_deviceManager.activeScreen());
    setText(PlainText::actionText(title));
    // The button shows the page it picks; its name says what it picks as well.
    setAccessibleName(QStringLiteral("Show on Tarv: ") + title);
    setEnabled(m_deviceManager.state().isConnected());
    m_entries->activeChanged();
}
