#include "control/ToastTouchFilter.h"

QRect ToastTouchFilter::touchArea(qsizetype lineCount)
{
    return QRect(24, 34, 432, lineCount == 1 ? 44 : 60);
}

ToastTouchFilter::Verdict ToastTouchFilter::update(Phase phase, int x, int y, const std::optional<QRect>& toastArea)
{
    switch (phase) {
    case Phase::down:
        isTracking = toastArea && toastArea->contains(x, y);
        return isTracking ? Verdict::swallowed : Verdict::pass;
    case Phase::move:
        return isTracking ? Verdict::swallowed : Verdict::pass;
    case Phase::up: {
        const bool wasTracking = isTracking;
        isTracking = false;
        return wasTracking ? Verdict::dismiss : Verdict::pass;
    }
    }
    return Verdict::pass;
}
