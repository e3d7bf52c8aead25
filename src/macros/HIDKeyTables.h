#pragma once
// Translations between HID keyboard usages and what the desktop sees and shows: key codes of
// the original keyboard events, typed characters, key names and glyphs, the key picker groups.

#include "macros/KeyChord.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>

// Linux key codes (evdev, the kernel's input event codes) to HID usages, for the keys a HID
// keyboard report can carry; modifier keys map to their usages 0xE0 to 0xE7.
const QHash<std::uint16_t, std::uint16_t>& evdevKeyTable();
std::optional<std::uint16_t> hidUsageForEvdevCode(std::uint32_t code);
// A key event's native scan code (the XKB key code on X11 and Wayland: evdev code + 8).
std::optional<std::uint16_t> hidUsageForNativeScanCode(std::uint32_t scanCode);

// The chord that types one character (grapheme) on a US layout: no modifiers or shift alone.
std::optional<KeyChord> hidChordForCharacter(QStringView character);
// The characters of a text that have no such chord, each once, in the order they first come:
// typing the text skips them.
QStringList untypeableCharacters(QStringView text);

// Short names of the usages that are neither letters, digits, F-keys nor keypad digits.
const QHash<std::uint16_t, QString>& hidKeyNames();

// Short name of a usage for summaries and tiles ("A", "F13", "Pad 1", "↩", "0x32").
QString hidKeyLabel(std::uint16_t usage);

// Longer name with the key's glyph for the key picker ("Return ↩").
QString hidKeyDisplayName(std::uint16_t usage);

struct HIDKeyGroup {
    QString title;
    QList<std::uint16_t> usages;
};

// The key picker's six groups, in order.
const QList<HIDKeyGroup>& hidKeyGroups();

// The modifiers present as Linux desktops write them, each followed by "+", always in the
// order Ctrl, Alt, Shift, Super, then the right-hand keys of the byte's high half in the same
// order ("Shift+Super+", "Ctrl+Right Super+"); the empty text for none.
QString modifierGlyphs(HIDModifiers modifiers);
