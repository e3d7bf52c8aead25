#include "screens/format/DesignColors.h"

#include <QHash>
#include <QStringList>

namespace DesignColors {
namespace {

const QHash<QString, std::uint32_t>& table()
{
    static const QHash<QString, std::uint32_t> colours{
        {QStringLiteral("bg"), 0x0A0B0C},          {QStringLiteral("surface"), 0x15171A},
        {QStringLiteral("surface-alt"), 0x1E2126}, {QStringLiteral("border"), 0x2A2E34},
        {QStringLiteral("accent-fill"), 0x2A2008}, {QStringLiteral("accent"), 0xFFB020},
        {QStringLiteral("text"), 0xF2F4F6},        {QStringLiteral("text-dim"), 0x9AA3AD},
        {QStringLiteral("text-mute"), 0x6B747E},   {QStringLiteral("up"), 0x3FBF6F},
        {QStringLiteral("down"), 0xE5484D},
    };
    return colours;
}

} // namespace

std::optional<std::uint32_t> named(const QString& name)
{
    const auto& colours = table();
    const auto it = colours.constFind(name.toLower());
    if (it == colours.cend())
        return std::nullopt;
    return *it;
}

const QString& namesText()
{
    static const QString text = [] {
        QStringList names = table().keys();
        names.sort();
        return names.join(QStringLiteral(", "));
    }();
    return text;
}

} // namespace DesignColors
