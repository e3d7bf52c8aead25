#pragma once
// Follows a touch that went down on the notification toast, so that its moves reach nothing
// beneath and its release, wherever it lands, dismisses the toast.

#include <QRect>

#include <cstdint>
#include <optional>

struct ToastTouchFilter {
    enum class Phase { down, move, up };
    enum class Verdict { pass, swallowed, dismiss };

    bool isTracking = false;

    // The toast's touch area for its number of lines; x and y are device pixels.
    static QRect touchArea(qsizetype lineCount);

    // One touch through the filter; `toastArea` is none while no toast is on the device.
    Verdict update(Phase phase, int x, int y, const std::optional<QRect>& toastArea);

    friend bool operator==(const ToastTouchFilter&, const ToastTouchFilter&) = default;
};
