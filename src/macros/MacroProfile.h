#pragma once
// One set of keys for the home page's 4 × 3 grid, with the applications that select it.

#include "macros/AppTarget.h"
#include "macros/MacroButton.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

struct MacroProfile {
    static constexpr int keyCount = 12;

    // Geometry of the key grid in device pixels; key i is column i mod 4, row i div 4.
    struct KeyGrid {
        static constexpr int columns = 4;
        static constexpr int rows = 3;
        static constexpr int originX = 8;
        static constexpr int originY = 36;
        static constexpr int columnPitch = 118;
        static constexpr int rowPitch = 85;
        static constexpr int keyWidth = 110;
        static constexpr int keyHeight = 77;
    };

    QUuid id;
    std::int64_t version = 1;
    QString name;
    QList<MacroButton> buttons;
    QList<AppTarget> linkedApps;

    // The name where names are listed: an empty one reads "Untitled".
    QString shownName() const;

    // A new profile: fresh id, version 1, twelve empty keys, no linked applications.
    static MacroProfile named(const QString& name);

    // The built-in profile, built once per run (so its random ids stay the same in a run).
    static const MacroProfile& defaultProfile();

    // The index of the assigned key under a device point, if any.
    std::optional<int> keyIndexAtPoint(std::uint16_t x, std::uint16_t y) const;

    // A copy under a new name with fresh profile and key ids and no application links.
    MacroProfile duplicate(const QString& named) const;

    // Exactly twelve keys: the first twelve, or padded at the end with empty keys.
    static QList<MacroButton> normalizedButtons(QList<MacroButton> buttons);

    friend bool operator==(const MacroProfile&, const MacroProfile&) = default;
};
