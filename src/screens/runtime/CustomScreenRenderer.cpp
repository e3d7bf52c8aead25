#include "screens/runtime/CustomScreenRenderer.h"

#include "device/DeviceIcon.h"
#include "device/MontserratMetrics.h"
#include "pages/PageDots.h"
#include "pages/PageNodes.h"
#include "pages/TopBar.h"
#include "screens/format/ValueEvaluators.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>

namespace CustomScreenRenderer {

namespace {

using DynamicUIDemo::appendLabel;
using DynamicUIDemo::appendNode;
using DynamicUIDemo::boolProp;
using DynamicUIDemo::colorProp;
using DynamicUIDemo::intProp;
using DynamicUIDemo::pageNode;
using TarvUSB::PatchOp;
using TarvUSB::PropEntry;

constexpr qint64 panelWidth = 480;
constexpr int iconFontSize = 24;
constexpr qint64 iconLabelGap = 4;

// The validator keeps every number of a screen far inside the wire's int32; a screen that
// skipped it is clamped rather than wrapped.
std::int32_t px(qint64 value)
{
    return std::int32_t(std::clamp<qint64>(value, std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max()));
}

// The device fonts come in four sizes; anything else measures as size 14 there too.
int fontSizeOf(qint64 size)
{
    return int(std::clamp<qint64>(size, 0, 1000));
}

std::uint16_t childIndex(qint64 index)
{
    return std::uint16_t(std::clamp<qint64>(index, 0, std::numeric_limits<std::uint16_t>::max()));
}

QList<PropEntry> rectBoxProps(const CustomScreen::Rect& r, std::uint32_t bg, std::optional<std::uint32_t> border,
                              qint64 borderWidth, qint64 radius)
{
    return DynamicUIDemo::boxProps(px(r.x), px(r.y), px(r.w), px(r.h), bg, border, px(borderWidth), px(radius));
}

// What one widget adds: its edits go to `ops`, its changeable nodes to `layout`.
struct WidgetBuilder {
    const DisplayValues& values;
    double time;
    QList<PatchOp>& ops;
    Layout& layout;
    std::uint32_t base = 0;
    std::uint16_t index = 0;
    bool isHidden = false;
    qint64 firstSpriteSlot = 0;
    qsizetype widgetIndex = 0;

    void operator()(const CustomScreen::TextWidget& w) const
    {
        QString text = fillPlaceholders(w.text, values);
        if (text.isEmpty())
            text = QStringLiteral("--");
        qint64 x = w.x;
        qint64 width = w.width ? *w.width : std::max<qint64>(panelWidth - w.x, 1);
        if (w.alignment != CustomScreen::Alignment::left) {
            // The label is exactly as wide as its text, placed inside the widget's span.
            const qint64 measured = MontserratMetrics::textWidth(text, fontSizeOf(w.fontSize));
            const qint64 m = std::max<qint64>(std::min(width, measured), 1);
            x += w.alignment == CustomScreen::Alignment::center ? (width - m) / 2 : width - m;
            width = m;
        }
        std::uint32_t color = w.color;
        if (w.rule) {
            if (const auto picked = w.rule->pickColor(text, values))
                color = *picked;
        }
        appendLabel(ops, base, pageNode, index, px(x), px(w.y), px(width), px(std::max<qint64>(w.height, 1)), color,
                    px(w.fontSize), text);
        layout.labels.append(Label{base, text, x, width, color});
    }

    void operator()(const CustomScreen::BoxWidget& w) const
    {
        const auto frame = w.currentFrame(time);
        const CustomScreen::Rect rect = frame ? frame->first.rect : w.rect;
        const std::uint32_t background = frame ? frame->first.background : w.background;
        appendNode(ops, base, "cont", pageNode, index, rectBoxProps(rect, background, w.border, w.borderWidth, w.radius));
        if (frame)
            layout.boxes.append(Box{base, rect, background});
    }

    void operator()(const CustomScreen::BarWidget& w) const
    {
        appendNode(ops, base, "cont", pageNode, index, rectBoxProps(w.rect, w.track, w.border, w.borderWidth, w.radius));
        const CustomScreen::Rect fill = barFillRect(w, values);
        const std::uint32_t color = w.fillColor(values);
        appendNode(ops, base + 1, "cont", base, 0,
                   rectBoxProps(fill, color, color, 0, std::max<qint64>(w.radius - w.inset, 0)));
        layout.boxes.append(Box{base + 1, fill, color});
    }

    void operator()(const CustomScreen::ButtonWidget& w) const
    {
        appendNode(ops, base, "btn", pageNode, index, rectBoxProps(w.rect, w.background, w.border, w.borderWidth, w.radius));
        // The children sit inside the border.
        const qint64 innerW = std::max<qint64>(w.rect.w - 2 * w.borderWidth, 1);
        const qint64 innerH = std::max<qint64>(w.rect.h - 2 * w.borderWidth, 1);

        QString label;
        if (!w.label.isEmpty()) {
            label = fillPlaceholders(w.label, values);
            if (label.isEmpty())
                label = QStringLiteral("--");
        }
        const int fontSize = fontSizeOf(w.fontSize);
        const qint64 labelH = label.isEmpty() ? 0 : MontserratMetrics::fontForSize(fontSize).lineHeight();
        const qint64 iconH = w.icon ? MontserratMetrics::fontForSize(iconFontSize).lineHeight() : 0;
        const qint64 gap = w.icon && !label.isEmpty() ? iconLabelGap : 0;
        const qint64 top = std::max<qint64>((innerH - iconH - gap - labelH) / 2, 0);
        const auto fitted = [innerW](qint64 measured) { return measured < 1 ? 1 : std::min(measured, innerW); };

        if (w.icon) {
            const QString glyph = w.icon->glyph();
            const qint64 iw = fitted(MontserratMetrics::textWidth(glyph, iconFontSize));
            appendLabel(ops, base + 1, base, 0, px((innerW - iw) / 2), px(top), px(iw), px(std::max<qint64>(iconH, 1)),
                        w.color, iconFontSize, glyph);
        }
        if (!label.isEmpty()) {
            const qint64 lw = fitted(MontserratMetrics::textWidth(label, fontSize));
            const qint64 lx = (innerW - lw) / 2;
            appendLabel(ops, base + 2, base, w.icon ? 1 : 0, px(lx), px(top + iconH + gap), px(lw),
                        px(std::max<qint64>(labelH, 1)), w.color, px(w.fontSize), label);
            layout.labels.append(Label{base + 2, label, lx, lw, 0});
        }
        // A hidden button cannot be pressed.
        if (!isHidden) {
            const QString title = !label.isEmpty() ? label : w.icon ? w.icon->label() : QStringLiteral("Button");
            QString refusal;
            QString note;
            MacroAction action = w.action.resolvedWebURL(values, &refusal, &note);
            layout.buttons.append(Button{w.rect, std::move(action), title, refusal, note});
        }
    }

    void operator()(const CustomScreen::SpriteWidget& w) const
    {
        qint64 cell = 0;
        if (const auto frame = w.currentFrame(time))
            cell = frame->first;
        else if (!w.frames.isEmpty())
            cell = w.frames.first().cell;
        const qint64 asset = std::clamp<qint64>(firstSpriteAsset + firstSpriteSlot + cell, 0,
                                                std::numeric_limits<std::int32_t>::max());
        QList<PropEntry> props = DynamicUIDemo::frameProps(px(w.x), px(w.y), int(CustomScreen::spriteFrameWidth),
                                                           int(CustomScreen::spriteFrameHeight));
        props.append(intProp("assetId", std::int32_t(asset)));
        appendNode(ops, base, "image", pageNode, index, std::move(props));
        if (w.frames.size() >= 2)
            layout.sprites.append(Sprite{base, std::uint32_t(asset)});
    }

    void operator()(const CustomScreen::SparklineWidget& w) const
    {
        appendNode(ops, base, "cont", pageNode, index, rectBoxProps(w.rect, w.background, std::nullopt, 0, 0));
        const QList<CustomScreen::Rect> segments = w.segmentRects(values);
        // Each sparkline owns a block of segment ids; a plot longer than its block (only a
        // screen that skipped validation has one) is cut rather than reach the next block.
        const qsizetype count = std::min<qsizetype>(segments.size(), segmentsPerSparkline);
        for (qsizetype j = 0; j < count; ++j) {
            const std::uint32_t id = segmentNode(widgetIndex, j);
            appendNode(ops, id, "cont", base, int(j), rectBoxProps(segments[j], w.color, std::nullopt, 0, 0));
            layout.boxes.append(Box{id, segments[j], w.color});
        }
    }
};

}  // namespace

QList<PatchOp> renderPage(const CustomScreen& screen, const DisplayValues& values, const PageIndicator& indicator,
                          const QString& timeText)
{
    QList<PatchOp> ops;
    ops.append(PatchOp::setProps(DynamicUIDemo::screenNode, {colorProp("bg", screen.background)}));
    appendNode(ops, pageNode, "cont", DynamicUIDemo::screenNode, 0,
               DynamicUIDemo::boxProps(0, 0, 480, 320, screen.background, std::nullopt, 0, 0));
    DynamicUIDemo::appendTopBar(ops, titleNode, 0, timeText);
    ops.append(DynamicUIDemo::pageIndicatorOps(indicator, firstDotNode, 2));
    Layout scratch;
    ops.append(buildNodes(screen, values, childIndex(2 + indicator.dots().size()), scratch, 0));
    return ops;
}

QList<PatchOp> buildNodes(const CustomScreen& screen, const DisplayValues& values, std::uint16_t firstIndex,
                          Layout& layout, double time)
{
    QList<PatchOp> ops;
    ops.reserve(screen.widgets.size() * 3);
    qint64 spriteSlots = 0;
    for (qsizetype i = 0; i < screen.widgets.size(); ++i) {
        buildWidget(screen, i, values, firstIndex, spriteSlots, time, ops, layout);
        if (const auto* sprite = std::get_if<CustomScreen::SpriteWidget>(&screen.widgets[i]))
            spriteSlots += sprite->count;
    }
    return ops;
}

void buildWidget(const CustomScreen& screen, qsizetype i, const DisplayValues& values, std::uint16_t firstIndex,
                 qint64 spriteSlotsBefore, double time, QList<PatchOp>& ops, Layout& layout)
{
    const std::uint32_t base = widgetNode(i);
    bool isHidden = false;
    if (const auto condition = screen.conditions.find(i); condition != screen.conditions.end()) {
        isHidden = !condition->second.shows(values);
        layout.presences.append(Presence{base, isHidden});
    }
    std::visit(
        WidgetBuilder{values, time, ops, layout, base, childIndex(firstIndex + i), isHidden, spriteSlotsBefore, i},
        screen.widgets[i]);
    if (isHidden)
        ops.append(PatchOp::setProps(base, {boolProp("hidden", true)}));
}

CustomScreen::Rect barFillRect(const CustomScreen::BarWidget& bar, const DisplayValues& values)
{
    const std::optional<double> n = firstNumber(fillPlaceholders(bar.value, values));
    double fraction = 0;
    if (n && bar.max > 0) {
        const double quotient = *n / bar.max;
        if (quotient >= 0)
            fraction = std::min(quotient, 1.0);
    }
    const qint64 innerW = std::max<qint64>(bar.rect.w - 2 * bar.inset, 1);
    const qint64 innerH = std::max<qint64>(bar.rect.h - 2 * bar.inset, 1);
    const auto fillW = std::max<qint64>(qint64(std::round(fraction * double(innerW))), 1);
    return {bar.inset, bar.inset, fillW, innerH};
}

// --- Value-only updates and taps ----------------------------------------------------------

namespace {

// The entries of a list by node id. A repeated id breaks the Layout's promise; its last
// entry is the one read, and nothing worse follows.
template <typename Entry>
QHash<std::uint32_t, const Entry*> byID(const QList<Entry>& entries)
{
    QHash<std::uint32_t, const Entry*> index;
    index.reserve(entries.size());
    for (const Entry& entry : entries)
        index.insert(entry.id, &entry);
    return index;
}

}  // namespace

QList<PatchOp> updateOps(const Layout& last, const Layout& next)
{
    QList<PatchOp> ops;

    const auto oldBoxes = byID(last.boxes);
    for (const Box& box : next.boxes) {
        const Box* old = oldBoxes.value(box.id);
        if (!old || *old == box)
            continue;
        QList<PropEntry> props;
        if (box.rect.x != old->rect.x)
            props.append(intProp("x", px(box.rect.x)));
        if (box.rect.y != old->rect.y)
            props.append(intProp("y", px(box.rect.y)));
        if (box.rect.w != old->rect.w)
            props.append(intProp("w", px(box.rect.w)));
        if (box.rect.h != old->rect.h)
            props.append(intProp("h", px(box.rect.h)));
        if (box.background != old->background)
            props.append(colorProp("bg", box.background));
        ops.append(PatchOp::setProps(box.id, std::move(props)));
    }

    const auto oldSprites = byID(last.sprites);
    for (const Sprite& sprite : next.sprites) {
        const Sprite* old = oldSprites.value(sprite.id);
        if (old && old->assetID != sprite.assetID)
            ops.append(PatchOp::setProps(sprite.id, {intProp("assetId", px(sprite.assetID))}));
    }

    // The only way a hidden widget shows again; its other nodes follow as its children.
    const auto oldPresences = byID(last.presences);
    for (const Presence& presence : next.presences) {
        const Presence* old = oldPresences.value(presence.id);
        if (old && old->isHidden != presence.isHidden)
            ops.append(PatchOp::setProps(presence.id, {boolProp("hidden", presence.isHidden)}));
    }

    const auto oldLabels = byID(last.labels);
    for (const Label& label : next.labels) {
        const Label* old = oldLabels.value(label.id);
        if (!old || *old == label)
            continue;
        if (label.color != old->color)
            ops.append(PatchOp::setProps(label.id, {colorProp("textColor", label.color)}));
        if (label.x != old->x || label.width != old->width)
            ops.append(PatchOp::setProps(label.id, {intProp("x", px(label.x)), intProp("w", px(label.width))}));
        if (label.text != old->text)
            ops.append(PatchOp::setText(label.id, label.text));
    }
    return ops;
}

std::optional<Button> hitTestButton(std::uint16_t x, std::uint16_t y, const Layout& layout)
{
    // The last drawn lies on top where buttons overlap.
    for (auto it = layout.buttons.crbegin(); it != layout.buttons.crend(); ++it) {
        const CustomScreen::Rect& r = it->rect;
        if (r.x <= x && x < r.x + r.w && r.y <= y && y < r.y + r.h)
            return *it;
    }
    return std::nullopt;
}

}  // namespace CustomScreenRenderer
