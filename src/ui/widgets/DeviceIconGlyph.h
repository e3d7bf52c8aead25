#pragma once
// The device's own icons drawn on the desktop with the device's symbol font, so an editor
// shows exactly the glyph the device will show.

#include "device/DeviceIcon.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

// The family of the bundled device symbol font, loaded on first use; empty when it cannot be
// loaded.
QString deviceIconFontFamily();
// The device symbol font at a pixel size.
QFont deviceIconFont(int pixelSize);
// The icon's glyph, centred and scaled to whatever size it is drawn at, in the given colour
// (the palette's text colour when invalid).
QIcon deviceIconImage(DeviceIcon icon, QColor color = QColor());
