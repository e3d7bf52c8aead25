#pragma once
// The hub's two clocks: the wall clock for dates it records, and a monotonic clock for the
// time-outs it measures. Tests replace both to drive time without waiting.

#include "screens/runtime/ScreenSourceClock.h"

#include <QDateTime>

#include <chrono>
#include <functional>

struct HubClock {
    using MonotonicTime = std::chrono::steady_clock::time_point;

    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    std::function<MonotonicTime()> monotonic = [] { return std::chrono::steady_clock::now(); };
    // One-shot waits: the refresh pauses of the custom screens' data sources, the frame log's pace.
    std::function<std::unique_ptr<SourceTimer>()> makeSourceTimer = ScreenSourceClock::makeQtTimer;
};
