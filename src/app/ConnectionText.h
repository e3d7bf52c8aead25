#pragma once
// The one-line account of the connection that the main window's toolbar (and later the tray
// menu and the diagnostics page) shows.

#include "hub/ConnectionState.h"

#include <QString>

// "Connecting…", "Connected · " and the device's firmware text, or "Not Connected".
QString connectionText(const ConnectionState& state);
