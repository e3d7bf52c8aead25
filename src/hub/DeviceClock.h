#pragma once
// The minute last shown in a page's top bar, so that the one-second tick sends one time
// patch per minute instead of one per second.

#include <QDateTime>
#include <QString>

#include <optional>

struct DeviceClock {
    std::optional<QString> renderedMinute;  // "yyyy-MM-dd HH:mm"

    // Records the date's minute; true when it differs from the one recorded before.
    bool tick(const QDateTime& date);

    friend bool operator==(const DeviceClock&, const DeviceClock&) = default;
};
