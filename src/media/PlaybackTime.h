#pragma once
// Track positions as the device pages and the desktop show them ("3:07", "61:05").

#include <QString>

// Whole seconds rounded down and clamped at 0, as minutes ":" two-digit seconds. A value
// that is not a finite number shows as 0:00.
QString formatPlaybackTime(double seconds);
