#include "pages/PageFrames.h"

#include "pages/ClockText.h"
#include "pages/PageNodes.h"
#include "pages/ScreensaverPages.h"

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

TarvUSB::Frame clockTickFrame(std::uint16_t seq, const DeviceScreen& page, const QDateTime& date)
{
    std::uint32_t timeNode = 101;
    switch (page.kind()) {
    case DeviceScreen::Kind::home:
        timeNode = 101;
        break;
    case DeviceScreen::Kind::stocks:
        timeNode = 601;
        break;
    case DeviceScreen::Kind::calculator:
        timeNode = 405;
        break;
    case DeviceScreen::Kind::nowPlaying:
        timeNode = 810;
        break;
    case DeviceScreen::Kind::custom:
        timeNode = 901;
        break;
    case DeviceScreen::Kind::screensaver:
        return clockUpdateFrame(seq, date);
    }
    return patchFrame(seq, {PatchOp::setText(timeNode, timeText(date))});
}

QList<TarvUSB::Frame> withRootReset(QList<TarvUSB::Frame> frames, std::uint16_t seq, bool mergeIntoFirst)
{
    if (mergeIntoFirst && !frames.isEmpty()) {
        if (const auto* first = frames.first().get<TarvUSB::PatchPayload>(); first && first->ops.size() < 64) {
            QList<PatchOp> ops;
            ops.reserve(first->ops.size() + 1);
            ops.append(PatchOp::remove(pageNode));
            ops.append(first->ops);
            frames.first() = patchFrame(frames.first().q, std::move(ops));
            return frames;
        }
    }
    frames.prepend(patchFrame(seq, {PatchOp::remove(pageNode)}));
    return frames;
}

}  // namespace DynamicUIDemo
