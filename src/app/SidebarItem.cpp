#include "app/SidebarItem.h"

namespace {

struct ItemRow {
    SidebarItem item;
    const char* raw;
    const char* title;
    const char* symbol;
    const char* section;
};

constexpr ItemRow rows[] = {
    {SidebarItem::macros, "macros", "Macros", "square.grid.3x3", "Screens"},
    {SidebarItem::stocks, "stocks", "Stocks", "chart.line.uptrend.xyaxis", "Screens"},
    {SidebarItem::nowPlaying, "nowPlaying", "Now Playing", "music.note", "Screens"},
    {SidebarItem::customScreens, "customScreens", "Custom Screens", "curlybraces", "Screens"},
    {SidebarItem::screensaver, "screensaver", "Screensaver", "moon.stars", "Screens"},
    {SidebarItem::diagnostics, "diagnostics", "Diagnostics", "stethoscope", "Device"},
};

const ItemRow& row(SidebarItem item) { return rows[int(item)]; }

}  // namespace

const QList<SidebarItem>& allSidebarItems()
{
    static const QList<SidebarItem> items = [] {
        QList<SidebarItem> out;
        for (const ItemRow& r : rows)
            out.append(r.item);
        return out;
    }();
    return items;
}

QString rawValue(SidebarItem item) { return QString::fromLatin1(row(item).raw); }
QString title(SidebarItem item) { return QString::fromLatin1(row(item).title); }
QString symbol(SidebarItem item) { return QString::fromLatin1(row(item).symbol); }
QString section(SidebarItem item) { return QString::fromLatin1(row(item).section); }

std::optional<SidebarItem> sidebarItemFromRaw(const QString& raw)
{
    for (const ItemRow& r : rows)
        if (raw == QLatin1String(r.raw))
            return r.item;
    return std::nullopt;
}

SidebarItem readSidebarSelection(const std::optional<QString>& stored)
{
    return stored ? sidebarItemFromRaw(*stored).value_or(SidebarItem::macros) : SidebarItem::macros;
}

QString storedSidebarSelection(std::optional<SidebarItem> selection)
{
    return rawValue(selection.value_or(SidebarItem::macros));
}
