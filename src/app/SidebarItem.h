#pragma once
// The pages of the main window's sidebar, with their stored names, titles, symbols and
// groups, and the rules by which the stored selection is read and written.

#include <QList>
#include <QString>

#include <optional>

enum class SidebarItem { macros, stocks, nowPlaying, customScreens, screensaver, diagnostics };

// Every item in sidebar order.
const QList<SidebarItem>& allSidebarItems();
QString rawValue(SidebarItem item);
std::optional<SidebarItem> sidebarItemFromRaw(const QString& raw);
QString title(SidebarItem item);
QString symbol(SidebarItem item);
// The heading of the group the item is listed under: "Screens" or "Device".
QString section(SidebarItem item);

// The settings key of the stored selection.
inline constexpr const char* sidebarSelectionKey = "sidebarSelection";
// The selection a stored text stands for: a text that names no item (or none at all) reads as
// the macros page, so there is always a selection.
SidebarItem readSidebarSelection(const std::optional<QString>& stored);
// The text stored for a selection; an empty selection stores the macros page.
QString storedSidebarSelection(std::optional<SidebarItem> selection);
