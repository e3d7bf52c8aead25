#include "app/ScreenPickerToolbar.h"

#include "hub/DeviceManager.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolIcon.h"

#include <QActionGroup>
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
    m_group = new QActionGroup(this);
    m_group->setExclusive(true);

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &ScreenPickerToolbar::refresh);
    connect(&m_deviceManager, &DeviceManager::activeScreenChanged, this, &ScreenPickerToolbar::refresh);
    connect(&m_deviceManager, &DeviceManager::availableScreensChanged, this, &ScreenPickerToolbar::refresh);
    refresh();
}

void ScreenPickerToolbar::refresh()
{
    setText(PlainText::actionText(m_deviceManager.pageTitle(m_deviceManager.activeScreen())));
    setEnabled(m_deviceManager.state().isConnected());
    rebuildEntries();
}

void ScreenPickerToolbar::rebuildEntries()
{
    const QList<DeviceScreen> screens = m_deviceManager.availableScreens();
    const DeviceScreen& active = m_deviceManager.activeScreen();
    if (screens == m_offered && !m_menu->isEmpty()) {
        // Titles of custom pages may change with their files; marks follow the shown page.
        const QList<QAction*> actions = m_group->actions();
        for (int i = 0; i < actions.size(); ++i) {
            actions[i]->setText(PlainText::actionText(m_deviceManager.pageTitle(screens[i])));
            actions[i]->setChecked(screens[i] == active);
        }
        return;
    }
    m_offered = screens;
    m_menu->clear();
    for (QAction* action : m_group->actions())
        m_group->removeAction(action);
    m_menu->addSection(QStringLiteral("Show on Tarv"));
    for (const DeviceScreen& screen : screens) {
        QAction* action = m_menu->addAction(PlainText::actionText(m_deviceManager.pageTitle(screen)));
        action->setObjectName(QStringLiteral("showScreen:") + screen.id());
        action->setCheckable(true);
        action->setChecked(screen == active);
        m_group->addAction(action);
        connect(action, &QAction::triggered, this, [this, screen] { m_deviceManager.showScreen(screen); });
    }
}
