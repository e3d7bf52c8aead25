#include "pages/ScreensaverPages.h"

#include "pages/ClockText.h"
#include "pages/PageNodes.h"

#include <algorithm>

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

namespace {

constexpr std::uint32_t timeNode = ScreensaverNodes::time;
constexpr std::uint32_t dateNode = ScreensaverNodes::date;
constexpr std::uint32_t agendaNode = 703;
constexpr std::uint32_t idleNode = 704;
constexpr std::uint32_t idleWakeNode = 705;
constexpr std::uint32_t photoNode = ScreensaverNodes::photo;
constexpr std::uint32_t stripNode = ScreensaverNodes::strip;
constexpr std::uint32_t stripWakeNode = 708;

constexpr std::int32_t photoAsset = ScreensaverNodes::photoAsset;

QString upperDateText(const QDateTime& date)
{
    return dateText(date).toUpper();
}

}  // namespace

TarvUSB::Frame clockOps(std::uint16_t seq, const QDateTime& date)
{
    QList<PatchOp> ops = pagePrefixOps();
    QList<TarvUSB::PropEntry> photo = frameProps(0, 0, 480, 320);
    photo.append(intProp("assetId", photoAsset));
    appendNode(ops, photoNode, "image", pageNode, 0, std::move(photo));
    appendNode(ops, stripNode, "cont", pageNode, 1, boxProps(0, 238, 480, 82, Palette::background, Palette::line, 1, 0));
    appendLabel(ops, timeNode, stripNode, 0, 16, 8, 190, 42, Palette::primaryText, 34, timeText(date));
    appendLabel(ops, dateNode, stripNode, 1, 16, 50, 260, 20, Palette::secondaryText, 14, upperDateText(date));
    appendLabel(ops, stripWakeNode, stripNode, 2, 352, 50, 116, 20, Palette::accent, 14, QStringLiteral("TAP TO WAKE"));
    return patchFrame(seq, std::move(ops));
}

TarvUSB::Frame clockUpdateFrame(std::uint16_t seq, const QDateTime& date)
{
    return patchFrame(seq, {PatchOp::setText(timeNode, timeText(date)), PatchOp::setText(dateNode, upperDateText(date))});
}

TarvUSB::Frame idlePageFrame(std::uint16_t seq, const QDateTime& date, int minutes)
{
    QList<PatchOp> ops = pagePrefixOps();
    appendLabel(ops, timeNode, pageNode, 0, 160, 88, 200, 48, Palette::primaryText, 34, timeText(date));
    appendLabel(ops, dateNode, pageNode, 1, 158, 144, 250, 28, Palette::secondaryText, 18, upperDateText(date));
    appendLabel(ops, agendaNode, pageNode, 2, 158, 196, 260, 22, Palette::dimText, 14, QStringLiteral("NO UPCOMING EVENTS"));
    appendLabel(ops, idleNode, pageNode, 3, 12, 294, 180, 18, Palette::dimText, 14,
                QStringLiteral("IDLE ") + QString::number(std::max(minutes, 1)) + QLatin1Char('M'));
    appendLabel(ops, idleWakeNode, pageNode, 4, 352, 294, 116, 18, Palette::accent, 14, QStringLiteral("TAP TO WAKE"));
    return patchFrame(seq, std::move(ops));
}

}  // namespace DynamicUIDemo
