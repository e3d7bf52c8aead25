#pragma once
// The time the screen data sources run on: the wall clock that pushed values are dated by,
// and one-shot timers for refresh pauses and expiries. Tests replace both to drive time.

#include <QDateTime>

#include <chrono>
#include <functional>
#include <memory>

// A one-shot wait. Destroying it cancels the wait.
class SourceTimer {
public:
    virtual ~SourceTimer() = default;
    // Calls `wake` once after `delay`; starting again replaces the earlier wait.
    virtual void start(std::chrono::milliseconds delay, std::function<void()> wake) = 0;
};

struct ScreenSourceClock {
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
    std::function<std::unique_ptr<SourceTimer>()> makeTimer = makeQtTimer;

    static std::unique_ptr<SourceTimer> makeQtTimer();

    static constexpr double maxDelaySeconds = 86400.0;

    // Seconds as a timer delay. Intervals and expiries come from screen files, which may say
    // 1e308; they are clamped to a day, after which a wait looks again and waits on.
    static std::chrono::milliseconds delay(double seconds);
};
