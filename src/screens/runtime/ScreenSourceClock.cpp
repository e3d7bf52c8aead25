#include "screens/runtime/ScreenSourceClock.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

class QtSourceTimer final : public SourceTimer {
public:
    QtSourceTimer()
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            // Moved out first: the callback may start this timer again or destroy it.
            const auto wake = std::move(m_wake);
            m_wake = nullptr;
            if (wake)
                wake();
        });
    }

    void start(std::chrono::milliseconds delay, std::function<void()> wake) override
    {
        m_wake = std::move(wake);
        m_timer.start(delay);
    }

private:
    QTimer m_timer;
    std::function<void()> m_wake;
};

} // namespace

std::unique_ptr<SourceTimer> ScreenSourceClock::makeQtTimer()
{
    return std::make_unique<QtSourceTimer>();
}

std::chrono::milliseconds ScreenSourceClock::delay(double seconds)
{
    if (!(seconds > 0))
        return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(qint64(std::ceil(std::min(seconds, maxDelaySeconds) * 1000.0)));
}
