#pragma once
// Frames that concern whichever page shows: the per-minute clock update and the removal of
// the previous page before a new one is drawn.

#include "link/Frame.h"
#include "pages/DeviceScreen.h"

#include <QDateTime>
#include <QList>

#include <cstdint>

namespace DynamicUIDemo {

// The time label of the shown page set to the date's "h:mm a" text; on the screensaver the
// clock update of its time and date labels.
TarvUSB::Frame clockTickFrame(std::uint16_t seq, const DeviceScreen& page, const QDateTime& date);

// The page's frames preceded by remove(100). With mergeIntoFirst the removal joins the first
// frame when that is a PATCH frame with room for it (fewer than 64 operations); otherwise it
// goes in a frame of its own with sequence number `seq`.
QList<TarvUSB::Frame> withRootReset(QList<TarvUSB::Frame> frames, std::uint16_t seq, bool mergeIntoFirst);

}  // namespace DynamicUIDemo
