#include "screens/format/ScreenAction.h"

#include "macros/HIDKeyTables.h"
#include "macros/MacroJson.h"
#include "platform/Graphemes.h"

#include <QJsonArray>
#include <QStringList>

#include <algorithm>

namespace ScreenAction {
namespace {

const QHash<QString, std::uint16_t>& keyNames()
{
    static const QHash<QString, std::uint16_t> names{
        {QStringLiteral("return"), 0x28},    {QStringLiteral("enter"), 0x28},
        {QStringLiteral("escape"), 0x29},    {QStringLiteral("delete"), 0x2A},
        {QStringLiteral("tab"), 0x2B},       {QStringLiteral("space"), 0x2C},
        {QStringLiteral("forwarddelete"), 0x4C}, {QStringLiteral("home"), 0x4A},
        {QStringLiteral("end"), 0x4D},       {QStringLiteral("pageup"), 0x4B},
        {QStringLiteral("pagedown"), 0x4E},  {QStringLiteral("right"), 0x4F},
        {QStringLiteral("left"), 0x50},      {QStringLiteral("down"), 0x51},
        {QStringLiteral("up"), 0x52},
    };
    return names;
}

const QString& keyNamesText()
{
    static const QString text = [] {
        QStringList names = keyNames().keys();
        names.sort();
        return names.join(QStringLiteral(", ")) + QStringLiteral(", f1\u2026f20");
    }();
    return text;
}

// "f1" … "f20": plain decimal digits only, so "f+5" or "f05x" are not function keys.
std::optional<std::uint16_t> functionKeyUsage(const QString& lowered)
{
    if (lowered.size() < 2 || lowered.size() > 3 || !lowered.startsWith(u'f'))
        return std::nullopt;
    int n = 0;
    for (qsizetype i = 1; i < lowered.size(); ++i) {
        const char16_t c = lowered[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        n = n * 10 + (c - u'0');
    }
    if (n >= 1 && n <= 12)
        return std::uint16_t(0x39 + n);
    if (n >= 13 && n <= 20)
        return std::uint16_t(0x5B + n);
    return std::nullopt;
}

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

Problem problemOf(const MacroJsonError& error)
{
    switch (error.kind) {
    case MacroJsonError::Kind::typeMismatch:
        return {quoted(error.codingPath.isEmpty() ? QStringLiteral("value") : error.lastKey())
                + QStringLiteral(" has the wrong type")};
    case MacroJsonError::Kind::keyNotFound:
        return {QStringLiteral("is missing ") + quoted(error.lastKey())};
    case MacroJsonError::Kind::dataCorrupted:
        return {error.description};
    case MacroJsonError::Kind::valueNotFound:
        break;
    }
    return {QStringLiteral("could not be read: ") + error.description};
}

} // namespace

std::optional<KeyChord> keyUsage(const QString& name)
{
    const QString lowered = name.toLower();
    if (const auto it = keyNames().constFind(lowered); it != keyNames().cend())
        return KeyChord{*it, HIDModifiers::none()};
    if (const auto usage = functionKeyUsage(lowered))
        return KeyChord{*usage, HIDModifiers::none()};
    if (graphemeCount(lowered) == 1)
        return hidChordForCharacter(lowered);
    return std::nullopt;
}

const QHash<QString, std::uint8_t>& modifierBits()
{
    static const QHash<QString, std::uint8_t> bits{
        {QStringLiteral("control"), HIDModifiers::controlBit}, {QStringLiteral("ctrl"), HIDModifiers::controlBit},
        {QStringLiteral("shift"), HIDModifiers::shiftBit},     {QStringLiteral("option"), HIDModifiers::optionBit},
        {QStringLiteral("alt"), HIDModifiers::optionBit},      {QStringLiteral("command"), HIDModifiers::commandBit},
        {QStringLiteral("cmd"), HIDModifiers::commandBit},
    };
    return bits;
}

std::variant<MacroAction, Problem> decode(const QJsonObject& object)
{
    QJsonObject rewritten = object;
    const QJsonValue key = object.value(QStringLiteral("key"));
    if (object.value(QStringLiteral("kind")) == QJsonValue(QStringLiteral("keystroke")) && key.isString()) {
        const QString name = key.toString();
        const auto chord = keyUsage(name);
        if (!chord)
            return Problem{quoted(name) + QStringLiteral(" is not a key name; use a character, or one of ")
                           + keyNamesText()};
        std::uint8_t modifiers = chord->modifiers.rawValue;
        if (object.contains(QStringLiteral("modifiers"))) {
            const QJsonValue list = object.value(QStringLiteral("modifiers"));
            const QJsonArray names = list.toArray();
            const bool allText = list.isArray() && std::all_of(names.begin(), names.end(), [](const QJsonValue& v) {
                                     return v.isString();
                                 });
            if (!allText)
                return Problem{QStringLiteral(
                    "with \"key\", \"modifiers\" is a list of names such as [\"command\", \"shift\"]")};
            for (const QJsonValue& entry : names) {
                const auto bit = modifierBits().constFind(entry.toString().toLower());
                if (bit == modifierBits().cend())
                    return Problem{quoted(entry.toString())
                                   + QStringLiteral(" is not a modifier; use control, option, shift or command")};
                modifiers |= *bit;
            }
        }
        rewritten.remove(QStringLiteral("key"));
        rewritten.insert(QStringLiteral("usage"), int(chord->usage));
        rewritten.insert(QStringLiteral("modifiers"), int(modifiers));
    }
    auto decoded = decodeMacroAction(rewritten);
    if (!decoded)
        return problemOf(decoded.error());
    return std::move(decoded).value();
}

} // namespace ScreenAction
