#pragma once
// A screen button's "action" object turned into a macro action: keystrokes may name their key
// ("return", "f5", "a") and modifiers (["command", "shift"]); every failure is one short phrase.

#include "macros/MacroAction.h"

#include <QHash>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

namespace ScreenAction {

struct Problem {
    QString message;
    friend bool operator==(const Problem&, const Problem&) = default;
};

// The key chord a key name stands for (compared lower-cased), or none.
std::optional<KeyChord> keyUsage(const QString& name);

// Modifier names (lower-case) → bits of the HID modifier byte.
const QHash<QString, std::uint8_t>& modifierBits();

// The action, or the first problem met.
std::variant<MacroAction, Problem> decode(const QJsonObject& object);

} // namespace ScreenAction
