#include "macros/HIDKeyTables.h"

#include "platform/Graphemes.h"

#include <QChar>

#include <initializer_list>
#include <utility>

namespace {

void addRun(QHash<std::uint16_t, std::uint16_t>& table, std::initializer_list<std::uint16_t> codes,
            std::uint16_t firstUsage)
{
    std::uint16_t usage = firstUsage;
    for (std::uint16_t code : codes)
        table.insert(code, usage++);
}

void addPairs(QHash<std::uint16_t, std::uint16_t>& table, std::initializer_list<std::uint16_t> codes,
              std::initializer_list<std::uint16_t> usages)
{
    auto usage = usages.begin();
    for (std::uint16_t code : codes)
        table.insert(code, *usage++);
}

// Linux input event codes (linux/input-event-codes.h) to HID keyboard usages: the inverse of
// the kernel's own HID keyboard table, for the keys a HID keyboard report can carry.
QHash<std::uint16_t, std::uint16_t> buildEvdevTable()
{
    QHash<std::uint16_t, std::uint16_t> t;
    addRun(t, {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50, 49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44}, 4);
    addRun(t, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 30);
    addRun(t, {28, 1, 14, 15, 57, 12, 13, 26, 27, 43}, 40);
    addRun(t, {39, 40, 41, 51, 52, 53, 58}, 51);
    addRun(t, {59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 87, 88}, 58);
    addRun(t, {99, 70, 119, 110, 102, 104, 111, 107, 109, 106, 105, 108, 103}, 70);
    addRun(t, {69, 98, 55, 74, 78, 96, 79, 80, 81, 75, 76, 77, 71, 72, 73, 82, 83}, 83);
    addRun(t, {86, 127, 116, 117}, 100);
    addRun(t, {183, 184, 185, 186, 187, 188, 189, 190, 191, 192, 193, 194}, 104);
    addRun(t, {134, 138, 130, 132, 128, 129, 131, 137, 133, 135, 136, 113, 115, 114}, 116);
    addPairs(t, {121, 89, 93, 124, 92, 94, 95}, {133, 135, 136, 137, 138, 139, 140});
    addPairs(t, {122, 123, 90, 91, 85}, {144, 145, 146, 147, 148});
    addRun(t, {29, 42, 56, 125, 97, 54, 100, 126}, 224);
    return t;
}

QHash<std::uint16_t, QString> buildKeyNames()
{
    return {
        {40, QStringLiteral("\u21A9")},  {41, QStringLiteral("\u238B")},  {42, QStringLiteral("\u232B")},
        {43, QStringLiteral("\u21E5")},  {44, QStringLiteral("Space")},   {45, QStringLiteral("-")},
        {46, QStringLiteral("=")},       {47, QStringLiteral("[")},       {48, QStringLiteral("]")},
        {49, QStringLiteral("\\")},      {51, QStringLiteral(";")},       {52, QStringLiteral("'")},
        {53, QStringLiteral("`")},       {54, QStringLiteral(",")},       {55, QStringLiteral(".")},
        {56, QStringLiteral("/")},       {57, QStringLiteral("\u21EA")},  {73, QStringLiteral("Insert")},
        {74, QStringLiteral("\u2196")},  {75, QStringLiteral("\u21DE")},  {76, QStringLiteral("\u2326")},
        {77, QStringLiteral("\u2198")},  {78, QStringLiteral("\u21DF")},  {79, QStringLiteral("\u2192")},
        {80, QStringLiteral("\u2190")},  {81, QStringLiteral("\u2193")},  {82, QStringLiteral("\u2191")},
        {83, QStringLiteral("Clear")},   {84, QStringLiteral("Pad /")},   {85, QStringLiteral("Pad *")},
        {86, QStringLiteral("Pad -")},   {87, QStringLiteral("Pad +")},   {88, QStringLiteral("\u2324")},   {70, QStringLiteral("Print")},
        {98, QStringLiteral("Pad 0")},   {99, QStringLiteral("Pad .")},   {103, QStringLiteral("Pad =")},
        {227, QStringLiteral("Super")},
    };
}

QList<HIDKeyGroup> buildKeyGroups()
{
    auto range = [](std::uint16_t from, std::uint16_t to) {
        QList<std::uint16_t> usages;
        for (std::uint16_t u = from; u <= to; ++u)
            usages.append(u);
        return usages;
    };
    return {
        {QStringLiteral("Letters"), range(4, 29)},
        {QStringLiteral("Numbers"), range(30, 39)},
        {QStringLiteral("Function Keys"), range(58, 69) + range(104, 111)},
        {QStringLiteral("Navigation"), {82, 81, 80, 79, 74, 77, 75, 78}},
        {QStringLiteral("Editing"), {40, 43, 44, 41, 42, 76, 57}},
        {QStringLiteral("Punctuation"), {45, 46, 47, 48, 49, 51, 52, 53, 54, 55, 56}},
    };
}

std::optional<std::uint16_t> unshiftedPunctuation(char32_t c)
{
    switch (c) {
    case '-': return 45;
    case '=': return 46;
    case '[': return 47;
    case ']': return 48;
    case '\\': return 49;
    case ';': return 51;
    case '\'': return 52;
    case '`': return 53;
    case ',': return 54;
    case '.': return 55;
    case '/': return 56;
    default: return std::nullopt;
    }
}

std::optional<std::uint16_t> shiftedPunctuation(char32_t c)
{
    switch (c) {
    case '!': return 30;
    case '@': return 31;
    case '#': return 32;
    case '$': return 33;
    case '%': return 34;
    case '^': return 35;
    case '&': return 36;
    case '*': return 37;
    case '(': return 38;
    case ')': return 39;
    case '_': return 45;
    case '+': return 46;
    case '{': return 47;
    case '}': return 48;
    case '|': return 49;
    case ':': return 51;
    case '"': return 52;
    case '~': return 53;
    case '<': return 54;
    case '>': return 55;
    case '?': return 56;
    default: return std::nullopt;
    }
}

} // namespace

const QHash<std::uint16_t, std::uint16_t>& evdevKeyTable()
{
    static const QHash<std::uint16_t, std::uint16_t> table = buildEvdevTable();
    return table;
}

std::optional<std::uint16_t> hidUsageForEvdevCode(std::uint32_t code)
{
    const auto& table = evdevKeyTable();
    auto it = code <= 0xFFFF ? table.constFind(std::uint16_t(code)) : table.cend();
    if (it == table.cend())
        return std::nullopt;
    return *it;
}

std::optional<std::uint16_t> hidUsageForNativeScanCode(std::uint32_t scanCode)
{
    // X11 and Wayland both hand over the XKB key code, which is the evdev code plus 8.
    if (scanCode < 8)
        return std::nullopt;
    return hidUsageForEvdevCode(scanCode - 8);
}

std::optional<KeyChord> hidChordForCharacter(QStringView character)
{
    if (character == u"\r\n")
        return KeyChord{40, HIDModifiers::none()};
    const QList<uint> scalars = character.toUcs4();
    if (scalars.size() != 1)
        return std::nullopt;
    const char32_t c = scalars.front();
    if (c > 127)
        return std::nullopt;
    if (c >= 'a' && c <= 'z')
        return KeyChord{static_cast<std::uint16_t>(c - 93), HIDModifiers::none()};
    if (c >= 'A' && c <= 'Z')
        return KeyChord{static_cast<std::uint16_t>(c - 61), HIDModifiers::shift()};
    if (c >= '1' && c <= '9')
        return KeyChord{static_cast<std::uint16_t>(c - 19), HIDModifiers::none()};
    switch (c) {
    case '\t': return KeyChord{43, HIDModifiers::none()};
    case '\n':
    case '\r': return KeyChord{40, HIDModifiers::none()};
    case ' ': return KeyChord{44, HIDModifiers::none()};
    case '0': return KeyChord{39, HIDModifiers::none()};
    default: break;
    }
    if (auto usage = unshiftedPunctuation(c))
        return KeyChord{*usage, HIDModifiers::none()};
    if (auto usage = shiftedPunctuation(c))
        return KeyChord{*usage, HIDModifiers::shift()};
    return std::nullopt;
}

const QHash<std::uint16_t, QString>& hidKeyNames()
{
    static const QHash<std::uint16_t, QString> names = buildKeyNames();
    return names;
}

QString hidKeyLabel(std::uint16_t usage)
{
    if (usage >= 4 && usage <= 29)
        return QString(QChar(char16_t(usage + 61)));
    if (usage >= 30 && usage <= 38)
        return QString::number(usage - 29);
    if (usage == 39)
        return QStringLiteral("0");
    if (usage >= 58 && usage <= 69)
        return QStringLiteral("F") + QString::number(usage - 57);
    if (usage >= 104 && usage <= 115)
        return QStringLiteral("F") + QString::number(usage - 91);
    if (usage >= 89 && usage <= 97)
        return QStringLiteral("Pad ") + QString::number(usage - 88);
    const auto& names = hidKeyNames();
    auto it = names.constFind(usage);
    if (it != names.cend())
        return *it;
    return QStringLiteral("0x") + QString::number(usage, 16).toUpper().rightJustified(2, u'0');
}

QString hidKeyDisplayName(std::uint16_t usage)
{
    switch (usage) {
    case 40: return QStringLiteral("Return \u21A9");
    case 41: return QStringLiteral("Escape \u238B");
    case 42: return QStringLiteral("Delete \u232B");
    case 43: return QStringLiteral("Tab \u21E5");
    case 44: return QStringLiteral("Space");
    case 57: return QStringLiteral("Caps Lock \u21EA");
    case 74: return QStringLiteral("Home \u2196");
    case 75: return QStringLiteral("Page Up \u21DE");
    case 76: return QStringLiteral("Forward Delete \u2326");
    case 77: return QStringLiteral("End \u2198");
    case 78: return QStringLiteral("Page Down \u21DF");
    case 79: return QStringLiteral("Right Arrow \u2192");
    case 80: return QStringLiteral("Left Arrow \u2190");
    case 81: return QStringLiteral("Down Arrow \u2193");
    case 82: return QStringLiteral("Up Arrow \u2191");
    default: return hidKeyLabel(usage);
    }
}

const QList<HIDKeyGroup>& hidKeyGroups()
{
    static const QList<HIDKeyGroup> groups = buildKeyGroups();
    return groups;
}

QString modifierGlyphs(HIDModifiers modifiers)
{
    // The byte's high half holds the right-hand keys, which the device presses as they are:
    // each is named, so a chord never does more than it reads.
    static constexpr std::pair<std::uint8_t, const char16_t*> names[] = {
        {HIDModifiers::controlBit, u"Ctrl+"},
        {HIDModifiers::optionBit, u"Alt+"},
        {HIDModifiers::shiftBit, u"Shift+"},
        {HIDModifiers::commandBit, u"Super+"},
        {HIDModifiers::controlBit << 4, u"Right Ctrl+"},
        {HIDModifiers::optionBit << 4, u"Right Alt+"},
        {HIDModifiers::shiftBit << 4, u"Right Shift+"},
        {HIDModifiers::commandBit << 4, u"Right Super+"},
    };
    QString glyphs;
    for (const auto& [bit, name] : names)
        if ((modifiers.rawValue & bit) != 0)
            glyphs += QString::fromUtf16(name);
    return glyphs;
}

QStringList untypeableCharacters(QStringView text)
{
    QStringList skipped;
    for (const QString& character : graphemes(text))
        if (!hidChordForCharacter(character) && !skipped.contains(character))
            skipped.append(character);
    return skipped;
}
