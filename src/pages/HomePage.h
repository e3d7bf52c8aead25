#pragma once
// The home page: top bar, page dots and the 4 × 3 grid of macro keys, sent as three lists
// (top bar, keys 0-5, keys 6-11), the restyling of one key when its toggle flips, and the
// edits of labels typed into keys already drawn.

#include "link/Frame.h"
#include "link/PatchOp.h"
#include "macros/MacroProfile.h"
#include "pages/PageIndicator.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace DynamicUIDemo {

// Top bar with dots; keys at positions 0-5; keys at positions 6-11. A profile with fewer
// keys gives only the keys it has.
QList<QList<TarvUSB::PatchOp>> homePageOps(const MacroProfile& profile, const QString& timeText,
                                           const PageIndicator& indicator);

// The nodes of the keys at positions from ..< to (as far as `keys` reaches), child indexes of
// the page counting up from firstIndex; unassigned keys get no nodes and take no index.
QList<TarvUSB::PatchOp> keyGridOps(const QList<MacroButton>& keys, int from, int to, int firstIndex);

// The edits that turn the key grid drawn for `shown` into the one for `next` when the keys
// differ in their labels only, each label drawn before and after; none otherwise, when the
// page is to be drawn anew.
std::optional<QList<TarvUSB::PatchOp>> keyLabelEdits(const QList<MacroButton>& shown, const QList<MacroButton>& next);

// "bg", "borderColor", "borderWidth", "radius" of a key button.
QList<TarvUSB::PropEntry> keyStyleProps(bool isActive, KeyTint tint);

// The button, label and icon colours of key `position` for its new toggle state.
TarvUSB::Frame keyStateFrame(int position, const MacroButton& button, bool isActive, std::uint16_t seq);

}  // namespace DynamicUIDemo
