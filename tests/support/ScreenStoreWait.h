#pragma once
// The Screens folder store reads its folder on a worker: a test or a shot that wrote files and
// asked for a reload runs the event loop until the store has applied what it found.

#include "screens/runtime/CustomScreenStore.h"

#include <QtCore/qtestsupport_core.h>

[[nodiscard]] inline bool waitUntilLoaded(const CustomScreenStore& store, int boundMs = 5000)
{
    return QTest::qWaitFor([&] { return !store.isLoading(); }, boundMs);
}
