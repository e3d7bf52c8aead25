#include "screens/runtime/CustomLayoutCache.h"

#include "device/Placeholders.h"

#include <variant>

namespace CustomScreenRenderer {

namespace {

// Every key a widget's look or its button's address is filled from.
QStringList keysReadBy(const CustomScreen::Widget& widget)
{
    QStringList keys;
    if (const auto* text = std::get_if<CustomScreen::TextWidget>(&widget)) {
        keys = extractPlaceholderKeys(text->text);
        if (text->rule && text->rule->by)
            keys += extractPlaceholderKeys(*text->rule->by);
    } else if (const auto* bar = std::get_if<CustomScreen::BarWidget>(&widget)) {
        keys = extractPlaceholderKeys(bar->value);
    } else if (const auto* button = std::get_if<CustomScreen::ButtonWidget>(&widget)) {
        keys = extractPlaceholderKeys(button->label);
        if (const auto* open = button->action.as<MacroAction::OpenURL>())
            keys += extractPlaceholderKeys(open->url);
    } else if (const auto* sparkline = std::get_if<CustomScreen::SparklineWidget>(&widget)) {
        keys = extractPlaceholderKeys(sparkline->value);
        // A single value plots the history kept under its key.
        const qsizetype plain = keys.size();
        for (qsizetype k = 0; k < plain; ++k)
            keys.append(historyKey(keys[k]));
    }
    return keys;
}

bool followsTime(const CustomScreen::Widget& widget)
{
    return std::holds_alternative<CustomScreen::BoxWidget>(widget)
        || std::holds_alternative<CustomScreen::SpriteWidget>(widget);
}

}  // namespace

LayoutCache::LayoutCache(const QList<CustomScreen::Widget>& widgets,
                         const std::map<qint64, CustomScreen::Condition>& conditions)
{
    m_screen.widgets = widgets;
    m_screen.conditions = conditions;
    m_entries.resize(widgets.size());
    qint64 spriteSlots = 0;
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        Entry& entry = m_entries[i];
        entry.keys = keysReadBy(widgets[i]);
        if (const auto condition = conditions.find(i); condition != conditions.end())
            entry.keys += extractPlaceholderKeys(condition->second.templateText);
        entry.keys.removeDuplicates();
        entry.seen.resize(entry.keys.size());
        entry.followsTime = followsTime(widgets[i]);
        entry.spriteSlotsBefore = spriteSlots;
        if (const auto* sprite = std::get_if<CustomScreen::SpriteWidget>(&widgets[i]))
            spriteSlots += sprite->count;
    }
}

bool LayoutCache::isFor(const CustomScreen& screen) const
{
    return screen.widgets == m_screen.widgets && screen.conditions == m_screen.conditions;
}

bool LayoutCache::readsChanged(Entry& entry, const DisplayValues& values)
{
    bool changed = !entry.isEvaluated;
    for (qsizetype k = 0; k < entry.keys.size(); ++k) {
        const auto it = values.constFind(entry.keys[k]);
        std::optional<QString> now = it == values.constEnd() ? std::nullopt : std::optional<QString>(*it);
        if (now != entry.seen[k]) {
            entry.seen[k] = std::move(now);
            changed = true;
        }
    }
    return changed;
}

bool LayoutCache::frameChanged(Entry& entry, qsizetype i, double time) const
{
    if (!entry.followsTime)
        return false;
    const CustomScreen::Widget& widget = m_screen.widgets[i];
    bool changed = false;
    if (const auto* box = std::get_if<CustomScreen::BoxWidget>(&widget)) {
        const auto frame = box->currentFrame(time);
        std::optional<CustomScreen::BoxFrame> now = frame ? std::optional(frame->first) : std::nullopt;
        changed = now != entry.boxFrame;
        entry.boxFrame = std::move(now);
    } else if (const auto* sprite = std::get_if<CustomScreen::SpriteWidget>(&widget)) {
        const auto frame = sprite->currentFrame(time);
        const std::optional<qint64> now = frame ? std::optional(frame->first) : std::nullopt;
        changed = now != entry.spriteCell;
        entry.spriteCell = now;
    }
    return changed;
}

Layout LayoutCache::layout(const DisplayValues& values, double time)
{
    QList<TarvUSB::PatchOp> unused;
    qsizetype labels = 0, boxes = 0, sprites = 0, presences = 0, buttons = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        Entry& entry = m_entries[i];
        // Both are asked: each keeps what it saw for the next turn.
        const bool reads = readsChanged(entry, values);
        const bool frame = frameChanged(entry, i, time);
        if (reads || frame) {
            entry.part = Layout{};
            unused.clear();
            buildWidget(m_screen, i, values, 0, entry.spriteSlotsBefore, time, unused, entry.part);
            entry.isEvaluated = true;
        }
        labels += entry.part.labels.size();
        boxes += entry.part.boxes.size();
        sprites += entry.part.sprites.size();
        presences += entry.part.presences.size();
        buttons += entry.part.buttons.size();
    }
    Layout whole;
    whole.labels.reserve(labels);
    whole.boxes.reserve(boxes);
    whole.sprites.reserve(sprites);
    whole.presences.reserve(presences);
    whole.buttons.reserve(buttons);
    for (const Entry& entry : std::as_const(m_entries)) {
        whole.labels += entry.part.labels;
        whole.boxes += entry.part.boxes;
        whole.sprites += entry.part.sprites;
        whole.presences += entry.part.presences;
        whole.buttons += entry.part.buttons;
    }
    return whole;
}

}  // namespace CustomScreenRenderer
