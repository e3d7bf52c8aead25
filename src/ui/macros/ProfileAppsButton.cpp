#include "ui/macros/ProfileAppsButton.h"

#include "hub/DeviceManager.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "platform/Graphemes.h"
#include "ui/macros/ProfileAppsPopover.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolIcon.h"

QString ProfileAppsButton::summary(const ProfileStore& store)
{
    const MacroProfile& active = store.activeProfile();
    const bool isFallback = store.fallbackID() == active.id;
    if (active.linkedApps.isEmpty())
        return isFallback ? QStringLiteral("All Other Apps") : QStringLiteral("No Apps");
    QString name = active.linkedApps.front().name;
    if (graphemeCount(name) >= 21)
        name = firstGraphemes(name, 19) + QStringLiteral("…");
    QString text = name;
    if (active.linkedApps.size() >= 2)
        text += QStringLiteral(" + ") + QString::number(active.linkedApps.size() - 1);
    if (isFallback)
        text += QStringLiteral(" + Others");
    return text;
}

ProfileAppsButton::ProfileAppsButton(DeviceManager& deviceManager, QWidget* parent)
    : QToolButton(parent), m_deviceManager(deviceManager)
{
    setObjectName(QStringLiteral("profileAppsButton"));
    setIcon(symbolIcon(QStringLiteral("macwindow.on.rectangle")));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setToolTip(QStringLiteral("Choose the apps that switch Tarv to this profile"));
    m_popover = new ProfileAppsPopover(m_deviceManager, this);
    connect(this, &QToolButton::clicked, this, [this] { m_popover->popUp(this); });

    const ProfileStore& store = m_deviceManager.profiles();
    connect(&store, &ProfileStore::profilesChanged, this, &ProfileAppsButton::showSummary);
    connect(&store, &ProfileStore::activeIDChanged, this, &ProfileAppsButton::showSummary);
    connect(&store, &ProfileStore::fallbackIDChanged, this, &ProfileAppsButton::showSummary);
    showSummary();
}

void ProfileAppsButton::showSummary()
{
    const QString text = summary(m_deviceManager.profiles());
    setText(PlainText::actionText(text));
    setAccessibleName(QStringLiteral("Auto-Switch: ") + text);
}
