#pragma once
// How the screensaver lays its clock over a photo, and the corner a layout puts it in;
// both are stored by their raw names.

#include <QString>

#include <array>
#include <optional>

enum class ScreensaverStyle { corner, quietCorner, pill, minimal, photoOnly, strip };

// "corner", "quietCorner", "pill", "minimal", "photoOnly", "strip".
QString screensaverStyleName(ScreensaverStyle style);
// Exact, case-sensitive match of a raw name; none for any other text.
std::optional<ScreensaverStyle> screensaverStyleFromName(const QString& name);
const std::array<ScreensaverStyle, 6>& allScreensaverStyles();

enum class ScreensaverCorner { bottomLeft, bottomRight, topLeft, topRight };

// The raw names equal the case names.
QString screensaverCornerName(ScreensaverCorner corner);
std::optional<ScreensaverCorner> screensaverCornerFromName(const QString& name);
bool isTopCorner(ScreensaverCorner corner);
bool isRightCorner(ScreensaverCorner corner);
