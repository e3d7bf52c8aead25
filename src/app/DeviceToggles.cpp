#include "app/DeviceToggles.h"

#include "hub/DeviceManager.h"
#include "macros/ProfileAutoSwitcher.h"

PauseAutoSwitchingToggle::PauseAutoSwitchingToggle(ProfileAutoSwitcher& switcher, QObject* parent)
    : QAction(QStringLiteral("Pause Auto-Switching"), parent)
{
    setObjectName(QStringLiteral("pauseAutoSwitchingAction"));
    setCheckable(true);
    setChecked(switcher.isPaused());
    connect(this, &QAction::toggled, &switcher, &ProfileAutoSwitcher::setPaused);
    connect(&switcher, &ProfileAutoSwitcher::isPausedChanged, this, &QAction::setChecked);
}

FlipDisplayToggle::FlipDisplayToggle(DeviceManager& deviceManager, QObject* parent)
    : QAction(QStringLiteral("Flip Display"), parent)
{
    setObjectName(QStringLiteral("flipDisplayAction"));
    setCheckable(true);
    setChecked(deviceManager.isDisplayFlipped());
    connect(this, &QAction::toggled, &deviceManager, &DeviceManager::setDisplayFlipped);
    connect(&deviceManager, &DeviceManager::isDisplayFlippedChanged, this,
            [this, &deviceManager] { setChecked(deviceManager.isDisplayFlipped()); });
}
