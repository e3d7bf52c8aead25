#pragma once
// Runs the event loop until a condition holds or a generous bound passes; never a fixed
// sleep. The bound only matters when a test is failing.

#include <QtCore/qtestsupport_core.h>

template <class Predicate>
[[nodiscard]] bool waitUntil(Predicate&& done, int boundMs = 5000)
{
    return QTest::qWaitFor(std::forward<Predicate>(done), boundMs);
}
