#include "pages/HomePage.h"

#include "device/MontserratMetrics.h"
#include "pages/KeyLabel.h"
#include "pages/PageNodes.h"
#include "pages/TopBar.h"

#include <algorithm>

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

namespace {

constexpr int maxKeys = 12;
constexpr int keysPerList = 6;

struct TintColors {
    std::uint32_t accent;
    std::uint32_t activeFace;
    std::uint32_t inactiveText;
};

TintColors tintColors(KeyTint tint)
{
    switch (tint) {
    case KeyTint::neutral:
        return {Palette::accent, Palette::amberFace, Palette::primaryText};
    case KeyTint::amber:
        return {Palette::accent, Palette::amberFace, Palette::accent};
    case KeyTint::blue:
        return {0x3B82F6, 0x0B1A33, 0x3B82F6};
    case KeyTint::green:
        return {0x22C55E, 0x0A2415, 0x22C55E};
    case KeyTint::red:
        break;
    }
    return {0xEF4444, 0x2A0B0B, 0xEF4444};
}

std::uint32_t keyTextColor(bool isActive, KeyTint tint)
{
    const TintColors colors = tintColors(tint);
    return isActive ? colors.accent : colors.inactiveText;
}

bool isUnassigned(const MacroButton& button)
{
    return button.action.kind() == MacroAction::Kind::unassigned;
}

bool hasEmoji(const MacroButton& button)
{
    return button.emoji && !button.emoji->isEmpty();
}

// Where a key's picture and label go, as the key lays them out.
struct KeyPlaces {
    int fontSize = 18;      // the label's
    int lineHeight = 0;     // the label's
    int graphicHeight = 0;  // the emoji's or the icon's; none without either
    int top = 0;            // the picture's, or the label's when there is none
    int labelTop = 0;
};

KeyPlaces keyPlaces(const MacroButton& button)
{
    const bool emoji = hasEmoji(button);
    const bool graphic = emoji || button.icon.has_value();
    const int s = keyLabelFontSize(button);
    const int lh = MontserratMetrics::fontForSize(s).lineHeight();
    const int g = emoji ? 28 : (button.icon ? MontserratMetrics::fontForSize(24).lineHeight() : 0);
    const int top = graphic ? (75 - (g + 4 + lh)) / 2 : (75 - lh) / 2;
    return {s, lh, g, top, graphic ? top + g + 4 : top};
}

// A text's left edge in the key: centred in its 108 px.
int labelX(int width)
{
    return std::max((108 - width) / 2, 0);
}

void appendKey(QList<PatchOp>& ops, int k, const MacroButton& button, int index)
{
    const std::uint32_t buttonNode = 200 + k;
    // The grid the touch hit test uses.
    using G = MacroProfile::KeyGrid;
    const int col = k % G::columns;
    const int row = k / G::columns;
    QList<TarvUSB::PropEntry> props = frameProps(G::originX + G::columnPitch * col, G::originY + G::rowPitch * row,
                                                 G::keyWidth, G::keyHeight);
    props.append(keyStyleProps(button.isActive, button.tint));
    appendNode(ops, buttonNode, "btn", pageNode, index, std::move(props));

    const std::uint32_t c = keyTextColor(button.isActive, button.tint);
    const QString t = deviceKeyLabel(button);
    const bool emoji = hasEmoji(button);
    const bool graphic = emoji || button.icon.has_value();
    const KeyPlaces place = keyPlaces(button);

    if (emoji) {
        QList<TarvUSB::PropEntry> image = frameProps(40, place.top, 28, 28);
        image.append(intProp("assetId", 16 + k));
        appendNode(ops, 400 + k, "image", buttonNode, 0, std::move(image));
    } else if (button.icon) {
        const QString glyph = button.icon->glyph();
        const int w = MontserratMetrics::textWidth(glyph, 24);
        appendLabel(ops, 400 + k, buttonNode, 0, labelX(w), place.top, w, place.graphicHeight, c, 24, glyph);
    }
    if (t.isEmpty())
        return;
    const int w = MontserratMetrics::textWidth(t, place.fontSize);
    appendLabel(ops, 300 + k, buttonNode, graphic ? 1 : 0, labelX(w), place.labelTop, w, place.lineHeight, c,
                place.fontSize, t);
}

}  // namespace

QList<TarvUSB::PropEntry> keyStyleProps(bool isActive, KeyTint tint)
{
    const TintColors colors = tintColors(tint);
    return {
        colorProp("bg", isActive ? colors.activeFace : Palette::face),
        colorProp("borderColor", isActive ? colors.accent : Palette::line),
        intProp("borderWidth", isActive ? 2 : 1),
        intProp("radius", 8),
    };
}

QList<PatchOp> keyGridOps(const QList<MacroButton>& keys, int from, int to, int firstIndex)
{
    QList<PatchOp> ops;
    int index = firstIndex;
    const int end = std::min<int>(to, int(std::min<qsizetype>(keys.size(), maxKeys)));
    for (int k = std::max(from, 0); k < end; ++k) {
        if (isUnassigned(keys[k]))
            continue;
        appendKey(ops, k, keys[k], index++);
    }
    return ops;
}

QList<QList<PatchOp>> homePageOps(const MacroProfile& profile, const QString& timeText, const PageIndicator& indicator)
{
    const QList<MacroButton> keys = profile.buttons.first(std::min<qsizetype>(profile.buttons.size(), maxKeys));
    const int firstCount = int(std::min<qsizetype>(keys.size(), keysPerList));
    const int drawnFirst = int(std::count_if(keys.cbegin(), keys.cbegin() + firstCount,
                                             [](const MacroButton& b) { return !isUnassigned(b); }));
    const int dotCount = int(indicator.dots().size());
    return {
        topBarOps(timeText, indicator),
        keyGridOps(keys, 0, keysPerList, dotCount + 2),
        keyGridOps(keys, keysPerList, maxKeys, dotCount + 2 + drawnFirst),
    };
}

std::optional<QList<PatchOp>> keyLabelEdits(const QList<MacroButton>& shown, const QList<MacroButton>& next)
{
    // Read in place: copying both lists would cost more than comparing them.
    const qsizetype count = std::min<qsizetype>(next.size(), maxKeys);
    if (std::min<qsizetype>(shown.size(), maxKeys) != count)
        return std::nullopt;
    QList<PatchOp> ops;
    for (int k = 0; k < count; ++k) {
        if (shown[k] == next[k])
            continue;
        MacroButton relabelled = shown[k];
        relabelled.label = next[k].label;
        if (relabelled != next[k] || isUnassigned(next[k]))
            return std::nullopt;
        const QString was = deviceKeyLabel(shown[k]);
        const QString text = deviceKeyLabel(next[k]);
        // A label that comes or goes adds or takes a node: the key is drawn anew.
        if (was.isEmpty() || text.isEmpty())
            return std::nullopt;
        if (was == text)
            continue;
        const int w = MontserratMetrics::textWidth(text, keyPlaces(next[k]).fontSize);
        ops.append(PatchOp::setProps(300 + k, {intProp("x", labelX(w)), intProp("w", w)}));
        ops.append(PatchOp::setText(300 + k, text));
    }
    return ops;
}

TarvUSB::Frame keyStateFrame(int position, const MacroButton& button, bool isActive, std::uint16_t seq)
{
    QList<PatchOp> ops{PatchOp::setProps(200 + position, keyStyleProps(isActive, button.tint))};
    const std::uint32_t c = keyTextColor(isActive, button.tint);
    if (!deviceKeyLabel(button).isEmpty())
        ops.append(PatchOp::setProps(300 + position, {colorProp("textColor", c)}));
    if (button.icon && !hasEmoji(button))
        ops.append(PatchOp::setProps(400 + position, {colorProp("textColor", c)}));
    return patchFrame(seq, std::move(ops));
}

}  // namespace DynamicUIDemo
