#include "macros/MacroProfile.h"

namespace {

MacroButton key(const QString& label, MacroAction action, std::optional<DeviceIcon> icon = std::nullopt,
                bool latching = false)
{
    MacroButton button;
    button.label = label;
    button.action = std::move(action);
    button.icon = icon;
    button.isToggle = latching;
    button.isActive = latching;
    return button;
}

MacroAction letter(std::uint16_t usage)
{
    return MacroAction::keystroke({usage, HIDModifiers::none()});
}

MacroProfile buildDefaultProfile()
{
    const HIDModifiers shiftCommand = HIDModifiers::shift() | HIDModifiers::command();
    MacroProfile profile;
    profile.id = QUuid::createUuid();
    profile.version = 1;
    profile.name = QStringLiteral("Default");
    profile.buttons = {
        key(QStringLiteral("MIC"), MacroAction::keystroke({16, shiftCommand}), DeviceIcon::mute, true),
        key(QStringLiteral("FOCUS"), MacroAction::keystroke({9, shiftCommand}), DeviceIcon::bell, true),
        key(QStringLiteral("VOL+"), MacroAction::media(MediaKey::volumeUp), DeviceIcon::volumeMax),
        key(QStringLiteral("VOL-"), MacroAction::media(MediaKey::volumeDown), DeviceIcon::volumeMid),
        key(QStringLiteral("A"), letter(4)),
        key(QStringLiteral("B"), letter(5)),
        key(QStringLiteral("C"), letter(6)),
        key(QStringLiteral("D"), letter(7)),
        key(QStringLiteral("E"), letter(8)),
        key(QStringLiteral("G"), letter(10)),
        key(QStringLiteral("H"), letter(11)),
        MacroButton{},
    };
    return profile;
}

} // namespace

QString MacroProfile::shownName() const
{
    return name.isEmpty() ? QStringLiteral("Untitled") : name;
}

MacroProfile MacroProfile::named(const QString& name)
{
    MacroProfile profile;
    profile.id = QUuid::createUuid();
    profile.version = 1;
    profile.name = name;
    profile.buttons = normalizedButtons({});
    return profile;
}

const MacroProfile& MacroProfile::defaultProfile()
{
    static const MacroProfile profile = buildDefaultProfile();
    return profile;
}

std::optional<int> MacroProfile::keyIndexAtPoint(std::uint16_t x, std::uint16_t y) const
{
    using G = KeyGrid;
    if (x < G::originX || y < G::originY)
        return std::nullopt;
    const int dx = x - G::originX;
    const int dy = y - G::originY;
    if (dx > G::columnPitch * (G::columns - 1) + G::keyWidth - 1 || dy > G::rowPitch * (G::rows - 1) + G::keyHeight - 1)
        return std::nullopt;
    if (dx % G::columnPitch > G::keyWidth - 1 || dy % G::rowPitch > G::keyHeight - 1)
        return std::nullopt;
    const int index = G::columns * (dy / G::rowPitch) + dx / G::columnPitch;
    if (index >= buttons.size())
        return std::nullopt;
    if (buttons[index].action.kind() == MacroAction::Kind::unassigned)
        return std::nullopt;
    return index;
}

MacroProfile MacroProfile::duplicate(const QString& named) const
{
    MacroProfile copy;
    copy.id = QUuid::createUuid();
    copy.version = 1;
    copy.name = named;
    copy.buttons = buttons;
    for (MacroButton& button : copy.buttons)
        button.id = QUuid::createUuid();
    return copy;
}

QList<MacroButton> MacroProfile::normalizedButtons(QList<MacroButton> buttons)
{
    if (buttons.size() > keyCount)
        buttons.resize(keyCount);
    while (buttons.size() < keyCount)
        buttons.append(MacroButton{});
    return buttons;
}
