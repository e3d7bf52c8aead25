#pragma once
// The keys of widget entries in screen files and the widget defaults that several widget
// readers share.

#include <QString>

#include <cstdint>

namespace WidgetKeys {

inline const QString type = QStringLiteral("type");
inline const QString x = QStringLiteral("x");
inline const QString y = QStringLiteral("y");
inline const QString w = QStringLiteral("w");
inline const QString h = QStringLiteral("h");
inline const QString value = QStringLiteral("value");
inline const QString color = QStringLiteral("color");
inline const QString bg = QStringLiteral("bg");
inline const QString border = QStringLiteral("border");
inline const QString borderWidth = QStringLiteral("borderWidth");
inline const QString radius = QStringLiteral("radius");
inline const QString forKey = QStringLiteral("for");
inline const QString at = QStringLiteral("at");

}  // namespace WidgetKeys

namespace WidgetDefaults {

inline constexpr std::uint32_t textColour = 0xF2F4F6;
inline constexpr std::uint32_t surfaceColour = 0x15171A;
inline constexpr std::uint32_t borderColour = 0x2A2E34;
// Bounds of one animation frame's duration, in seconds.
inline constexpr double shortestFrame = 0.1;
inline constexpr double longestFrame = 3600;

}  // namespace WidgetDefaults
