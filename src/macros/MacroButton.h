#pragma once
// One key of the home page's key grid: its label, look and action.

#include "device/DeviceIcon.h"
#include "macros/KeyTint.h"
#include "macros/MacroAction.h"

#include <QString>
#include <QUuid>

#include <optional>

struct MacroButton {
    // A default-made key is the empty key with a fresh id.
    QUuid id = QUuid::createUuid();
    QString label;
    MacroAction action;
    std::optional<DeviceIcon> icon;
    std::optional<QString> emoji;
    KeyTint tint = KeyTint::neutral;
    // A latching key flips isActive on each press.
    bool isToggle = false;
    bool isActive = false;

    friend bool operator==(const MacroButton&, const MacroButton&) = default;
};
