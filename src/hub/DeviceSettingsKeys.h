#pragma once
// The settings keys under which the hub keeps the device settings.

#include <QString>

namespace DeviceSettingsKeys {

inline const QString backlight = QStringLiteral("display.backlight");
inline const QString flipped = QStringLiteral("display.flipped");
inline const QString initialScreen = QStringLiteral("initialScreen");
inline const QString screensaverEnabled = QStringLiteral("screensaver.enabled");
inline const QString screensaverTimeout = QStringLiteral("screensaver.timeout");
inline const QString screensaverPhotoInterval = QStringLiteral("screensaver.photoInterval");
inline const QString screensaverStyle = QStringLiteral("screensaver.style");

}  // namespace DeviceSettingsKeys
