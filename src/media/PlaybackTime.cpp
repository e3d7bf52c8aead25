#include "media/PlaybackTime.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

QString formatPlaybackTime(double seconds)
{
    // Far beyond any track length, and small enough that the integer conversion is defined.
    constexpr double longest = 1e12;
    std::int64_t whole = 0;
    if (std::isfinite(seconds) && seconds > 0)
        whole = std::int64_t(std::floor(std::min(seconds, longest)));
    const std::int64_t minutes = whole / 60;
    const std::int64_t rest = whole % 60;
    return QString::number(minutes) + QLatin1Char(':') + QString::number(rest).rightJustified(2, QLatin1Char('0'));
}
