#include "pages/ScreensaverPhotoLayout.h"

#include "device/MontserratMetrics.h"
#include "pages/ClockText.h"
#include "pages/PageNodes.h"
#include "pages/ScreensaverPages.h"

#include <algorithm>
#include <cmath>
#include <limits>

using TarvUSB::PatchOp;
using namespace DynamicUIDemo;

namespace {

constexpr int width = 480;
constexpr int height = 320;
constexpr qsizetype frameBytes = qsizetype(width) * height * 2;

constexpr std::uint32_t timeNode = ScreensaverNodes::time;
constexpr std::uint32_t dateNode = ScreensaverNodes::date;
constexpr std::uint32_t photoNode = ScreensaverNodes::photo;
constexpr std::uint32_t pillNode = ScreensaverNodes::strip;
constexpr std::int32_t photoAsset = ScreensaverNodes::photoAsset;

constexpr std::uint32_t labelText = 0xF2F4F6;
constexpr std::uint32_t stackedDateText = 0xC9CED4;
constexpr std::uint32_t pillDateText = 0x9AA3AD;

constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

int lineHeight(int size)
{
    return MontserratMetrics::fontForSize(size).lineHeight();
}

int textWidth(const QString& text, int size)
{
    return MontserratMetrics::textWidth(text, size);
}

QList<TarvUSB::PropEntry> labelStyle(std::uint32_t color, int size)
{
    return {colorProp("textColor", color), intProp("fontSize", size)};
}

int channel(double value, int maximum)
{
    // std::round rounds halves away from zero.
    return std::clamp(int(std::round(value)), 0, maximum);
}

}  // namespace

ScreensaverPhotoLayout::FadeSpec ScreensaverPhotoLayout::fadeSpec(const ScreensaverPhotoLayout& layout)
{
    switch (layout.style) {
    case ScreensaverStyle::corner:
    case ScreensaverStyle::quietCorner:
        return {isTopCorner(layout.corner) ? FadeEdge::top : FadeEdge::bottom, 120, 0.75};
    case ScreensaverStyle::minimal:
        return {FadeEdge::bottom, 72, 0.6};
    case ScreensaverStyle::pill:
    case ScreensaverStyle::photoOnly:
    case ScreensaverStyle::strip:
        break;
    }
    return {};
}

QByteArray ScreensaverPhotoLayout::fadedFrame(FadeEdge edge, int rows, const QByteArray& frame, double strength)
{
    if (frame.size() != frameBytes || rows < 1 || edge == FadeEdge::none)
        return frame;
    QByteArray copy(frame.constData(), frame.size());
    applySoftFade(edge, rows, copy, strength);
    return copy;
}

void applySoftFade(ScreensaverPhotoLayout::FadeEdge edge, int rows, QByteArray& frame, double strength)
{
    if (frame.size() != frameBytes || rows < 1 || edge == ScreensaverPhotoLayout::FadeEdge::none)
        return;
    auto* bytes = reinterpret_cast<uchar*>(frame.data());
    const int count = std::min(rows, height);
    for (int i = 0; i < count; ++i) {
        const int y = edge == ScreensaverPhotoLayout::FadeEdge::top ? i : height - 1 - i;
        const double t = 1.0 - double(i) / rows;
        const double k = 1.0 - strength * t * t * (3.0 - 2.0 * t);
        uchar* row = bytes + qsizetype(y) * width * 2;
        const int* cells = bayer[y % 4];
        for (int x = 0; x < width; ++x) {
            const double d = cells[x % 4] / 16.0 - 0.5;
            uchar* pixel = row + x * 2;
            const int p = pixel[0] | (pixel[1] << 8);
            const int r = channel(k * ((p >> 11) & 31) + d, 31);
            const int g = channel(k * ((p >> 5) & 63) + d, 63);
            const int b = channel(k * (p & 31) + d, 31);
            const int out = (r << 11) | (g << 5) | b;
            pixel[0] = uchar(out & 0xFF);
            pixel[1] = uchar(out >> 8);
        }
    }
}

ScreensaverCorner quietestCorner(const QByteArray& frame)
{
    if (frame.size() != frameBytes)
        return ScreensaverCorner::bottomLeft;
    const auto* bytes = reinterpret_cast<const uchar*>(frame.constData());
    constexpr int boxW = 200;
    constexpr int boxH = 72;
    constexpr double area = boxW * boxH;
    double best = std::numeric_limits<double>::infinity();
    ScreensaverCorner result = ScreensaverCorner::bottomLeft;
    for (const ScreensaverCorner corner : {ScreensaverCorner::bottomLeft, ScreensaverCorner::bottomRight,
                                           ScreensaverCorner::topLeft, ScreensaverCorner::topRight}) {
        const int left = isRightCorner(corner) ? width - boxW : 0;
        const int top = isTopCorner(corner) ? 0 : height - boxH;
        double sum = 0;
        double squares = 0;
        for (int y = top; y < top + boxH; ++y) {
            const uchar* row = bytes + (qsizetype(y) * width + left) * 2;
            for (int x = 0; x < boxW; ++x) {
                const int p = row[x * 2] | (row[x * 2 + 1] << 8);
                const double l =
                    0.299 * ((p >> 11) & 31) / 31.0 + 0.587 * ((p >> 5) & 63) / 63.0 + 0.114 * (p & 31) / 31.0;
                sum += l;
                squares += l * l;
            }
        }
        const double mean = sum / area;
        const double variance = squares / area - mean * mean;
        const double score = 0.25 * mean + std::sqrt(std::max(variance, 0.0));
        if (score < best - 0.000000001) {
            best = score;
            result = corner;
        }
    }
    return result;
}

QList<int> ScreensaverPhotoLayout::stackedRows(const QList<int>& sizes, int gap, const ScreensaverPhotoLayout& layout)
{
    QList<int> heights;
    int total = 0;
    for (const int size : sizes) {
        heights.append(lineHeight(size));
        total += heights.last();
    }
    if (!sizes.isEmpty())
        total += gap * int(sizes.size() - 1);
    QList<int> rows;
    int y = isTopCorner(layout.corner) ? 12 : 306 - total;
    for (const int h : heights) {
        rows.append(y);
        y += h + gap;
    }
    return rows;
}

QList<ScreensaverPhotoLayout::Node> ScreensaverPhotoLayout::labelNodes(const QDateTime& date,
                                                                       const ScreensaverPhotoLayout& layout)
{
    const QString time = timeText(date);
    const bool right = isRightCorner(layout.corner);
    const auto xFor = [right](int w) { return right ? 464 - w : 16; };
    switch (layout.style) {
    case ScreensaverStyle::corner:
    case ScreensaverStyle::quietCorner: {
        const QString day = shortDateText(date).toUpper();
        const QList<int> rows = stackedRows({24, 14}, 1, layout);
        const int timeW = std::max(textWidth(time, 24), 1);
        const int dayW = std::max(textWidth(day, 14), 1);
        return {Node{timeNode, QStringLiteral("label"), pageNode, xFor(timeW), rows[0], timeW, lineHeight(24),
                     labelStyle(labelText, 24), time},
                Node{dateNode, QStringLiteral("label"), pageNode, xFor(dayW), rows[1], dayW, lineHeight(14),
                     labelStyle(stackedDateText, 14), day}};
    }
    case ScreensaverStyle::pill: {
        const QString day = shortDateTextWithoutComma(date).toUpper();
        const int w1 = textWidth(time, 18);
        const int w2 = textWidth(day, 14);
        QList<TarvUSB::PropEntry> pillStyle{colorProp("bg", Palette::background), colorProp("borderColor", Palette::line),
                                           intProp("borderWidth", 1), intProp("radius", 16)};
        return {Node{pillNode, QStringLiteral("cont"), pageNode, 12, 276, w1 + w2 + 35, 32, pillStyle, std::nullopt},
                Node{timeNode, QStringLiteral("label"), pillNode, 12, (30 - lineHeight(18)) / 2, w1, lineHeight(18),
                     labelStyle(labelText, 18), time},
                Node{dateNode, QStringLiteral("label"), pillNode, w1 + 21, (30 - lineHeight(14)) / 2 + 1, w2,
                     lineHeight(14), labelStyle(pillDateText, 14), day}};
    }
    case ScreensaverStyle::minimal: {
        const QList<int> rows = stackedRows({18}, 0, layout);
        const int timeW = std::max(textWidth(time, 18), 1);
        return {Node{timeNode, QStringLiteral("label"), pageNode, xFor(timeW), rows[0], timeW, lineHeight(18),
                     labelStyle(labelText, 18), time}};
    }
    case ScreensaverStyle::photoOnly:
    case ScreensaverStyle::strip:
        break;
    }
    return {};
}

TarvUSB::Frame ScreensaverPhotoLayout::makeNodes(std::uint16_t seq, const QDateTime& date,
                                                 const ScreensaverPhotoLayout& layout)
{
    if (layout.style == ScreensaverStyle::strip)
        return clockOps(seq, date);
    QList<PatchOp> ops = pagePrefixOps();
    QList<TarvUSB::PropEntry> photo = frameProps(0, 0, width, height);
    photo.append(intProp("assetId", photoAsset));
    appendNode(ops, photoNode, "image", pageNode, 0, std::move(photo));
    QHash<std::uint32_t, int> children{{pageNode, 1}};
    for (const Node& node : labelNodes(date, layout)) {
        int& index = children[node.parent];
        ops.append(PatchOp::create(node.id, node.kind, node.parent, std::uint16_t(index++)));
        QList<TarvUSB::PropEntry> props = frameProps(node.x, node.y, node.w, node.h);
        props.append(node.style);
        ops.append(PatchOp::setProps(node.id, std::move(props)));
        if (node.text)
            ops.append(PatchOp::setText(node.id, *node.text));
    }
    return patchFrame(seq, std::move(ops));
}

std::optional<TarvUSB::Frame> ScreensaverPhotoLayout::overlayPatch(std::uint16_t seq, const QDateTime& date,
                                                                   const ScreensaverPhotoLayout& layout)
{
    if (layout.style == ScreensaverStyle::strip)
        return clockUpdateFrame(seq, date);
    const QList<Node> nodes = labelNodes(date, layout);
    if (nodes.isEmpty())
        return std::nullopt;
    QList<PatchOp> ops;
    for (const Node& node : nodes) {
        ops.append(PatchOp::setProps(node.id, frameProps(node.x, node.y, node.w, node.h)));
        if (node.text)
            ops.append(PatchOp::setText(node.id, *node.text));
    }
    return patchFrame(seq, std::move(ops));
}
