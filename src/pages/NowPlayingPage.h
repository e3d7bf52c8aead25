#pragma once
// The Now Playing page: artwork backdrop or placeholder, title, artist, progress and the
// three transport buttons, and its in-place update.

#include "link/Frame.h"
#include "link/PatchOp.h"
#include "media/NowPlayingState.h"
#include "pages/PageIndicator.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace DynamicUIDemo {

// The whole page as one list.
QList<QList<TarvUSB::PatchOp>> nowPlayingPageOps(const NowPlayingState& state, const QString& timeText,
                                                 const PageIndicator& indicator);

// Texts, colours, artwork visibility, progress and the play/pause glyph of the shown page.
TarvUSB::Frame nowPlayingUpdateFrame(const NowPlayingState& state, std::uint16_t seq, const PageIndicator& indicator);

}  // namespace DynamicUIDemo
