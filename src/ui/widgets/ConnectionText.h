#pragma once
// The one-line account of the connection that the main window's toolbar, the tray
// menu and the diagnostics page show.

#include "hub/ConnectionState.h"

#include <QString>

// "Connecting…", "Connected · " and the device's firmware text, or "Not Connected".
QString connectionText(const ConnectionState& state);
