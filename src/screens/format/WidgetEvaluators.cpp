// What a widget shows for the current values and time: colours by value, a bar's fill,
// a sparkline's line, the frame of an animation, and the page's node and slot needs.

#include "screens/format/CustomScreen.h"

#include "device/MontserratMetrics.h"
#include "device/Placeholders.h"
#include "platform/Scalars.h"
#include "platform/TextTrim.h"
#include "screens/format/DesignColors.h"
#include "screens/format/ValueEvaluators.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QString judgedText(const QString& text)
{
    return trimSpacesAndTabs(text).toString().toLower();
}

// The stop of the highest threshold at or below the value, searching from the last stop.
const CustomScreen::ColorStop* stopFor(const QList<CustomScreen::ColorStop>& stops, double value)
{
    for (auto it = stops.crbegin(); it != stops.crend(); ++it) {
        if (it->at <= value)
            return &*it;
    }
    return nullptr;
}

// The frame index current at `time` and its remaining seconds, over frames of these
// durations; none when nothing animates. A total that is not finite cannot be stepped
// through, so such an animation stands still.
template <typename Frames>
std::optional<std::pair<qsizetype, double>> frameAt(const Frames& frames, double time)
{
    if (frames.size() < 2)
        return std::nullopt;
    double total = 0;
    for (const auto& frame : frames)
        total += frame.duration;
    if (!(total > 0) || !std::isfinite(total))
        return std::nullopt;
    double p = std::fmod(std::max(time, 0.0), total);
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (p < frames[i].duration)
            return std::pair{i, frames[i].duration - p};
        p -= frames[i].duration;
    }
    return std::pair{qsizetype(0), frames[0].duration};
}

// Round half away from zero of a value known to lie within [0, avail].
qint64 roundedOffset(double f, qint64 avail)
{
    return static_cast<qint64>(std::round(f * double(avail)));
}

} // namespace

std::optional<std::uint32_t> CustomScreen::ColorRule::pickColor(const QString& text, const DisplayValues& values) const
{
    const QString subject = by ? fillPlaceholders(*by, values) : text;
    const QString judged = judgedText(subject);
    for (const Match& match : matches) {
        if (match.text == judged)
            return match.color;
    }
    const auto number = firstNumber(subject);
    if (!number || stops.isEmpty())
        return std::nullopt;
    if (const ColorStop* stop = stopFor(stops, *number))
        return stop->color;
    return std::nullopt;
}

std::uint32_t CustomScreen::BarWidget::fillColor(const DisplayValues& values) const
{
    const auto n = firstNumber(fillPlaceholders(value, values));
    double percent = 0;
    if (n && max > 0 && *n / max >= 0)
        percent = std::min(*n / max, 1.0) * 100;
    if (stops.isEmpty())
        return DesignColors::accent;
    if (const ColorStop* stop = stopFor(stops, percent))
        return stop->color;
    return stops.first().color;
}

QList<double> CustomScreen::SparklineWidget::series(const DisplayValues& values) const
{
    const QList<double> filled = numbersIn(fillPlaceholders(value, values));
    if (filled.size() > 1)
        return filled;
    const QStringList keys = extractPlaceholderKeys(value);
    if (!keys.isEmpty()) {
        const QList<double> history = numbersIn(values.value(historyKey(keys.first())));
        if (!history.isEmpty())
            return history;
    }
    return filled;
}

QList<CustomScreen::Rect> CustomScreen::SparklineWidget::segmentRects(const DisplayValues& values) const
{
    QList<Rect> rects;
    if (points <= 0)
        return rects;
    const QList<double> all = series(values);
    const QList<double> data = all.mid(std::max<qsizetype>(0, all.size() - points));
    const qsizetype count = data.size();

    double lo = 0;
    double hi = 0;
    if (count > 0) {
        const auto [minIt, maxIt] = std::minmax_element(data.begin(), data.end());
        lo = *minIt;
        hi = *maxIt;
    }
    if (min && std::isfinite(*min))
        lo = *min;
    if (max && std::isfinite(*max))
        hi = *max;

    const qint64 avail = std::max<qint64>(rect.h - 2, 0);
    // Halving both ends keeps the span finite when lo and hi lie near the ends of the range.
    const double halfSpan = hi / 2 - lo / 2;
    const auto y = [&](qint64 i) -> qint64 {
        if (count == 0 || lo >= hi || !(halfSpan > 0))
            return avail / 2;
        const qsizetype j = std::min<qsizetype>(qsizetype(i * count / points), count - 1);
        double f = (data[j] / 2 - lo / 2) / halfSpan;
        f = std::isnan(f) ? 0 : std::clamp(f, 0.0, 1.0);
        return avail - roundedOffset(f, avail);
    };

    rects.reserve(2 * points - 1);
    qint64 current = y(0);
    for (qint64 i = 0; i < points; ++i) {
        const qint64 x0 = i * rect.w / points;
        const qint64 x1 = (i + 1) * rect.w / points;
        rects.append({x0, current, std::max<qint64>(x1 - x0, 2), 2});
        if (i + 1 < points) {
            const qint64 next = y(i + 1);
            rects.append({std::max<qint64>(x1 - 2, 0), std::min(current, next), 2, std::abs(next - current) + 2});
            current = next;
        }
    }
    return rects;
}

std::optional<std::pair<CustomScreen::BoxFrame, double>> CustomScreen::BoxWidget::currentFrame(double time) const
{
    const auto found = frameAt(frames, time);
    if (!found)
        return std::nullopt;
    return std::pair{frames[found->first], found->second};
}

std::optional<std::pair<qint64, double>> CustomScreen::SpriteWidget::currentFrame(double time) const
{
    const auto found = frameAt(frames, time);
    if (!found)
        return std::nullopt;
    return std::pair{frames[found->first].cell, found->second};
}

bool CustomScreen::Condition::shows(const DisplayValues& values) const
{
    return isTruthy(templateText, values) != hidesWhenTrue;
}

std::optional<double> CustomScreen::nextFrameChange(double time) const
{
    std::optional<double> soonest;
    const auto consider = [&](const std::optional<double>& remaining) {
        if (remaining && (!soonest || *remaining < *soonest))
            soonest = remaining;
    };
    for (const Widget& widget : widgets) {
        if (const auto* box = std::get_if<BoxWidget>(&widget)) {
            const auto frame = box->currentFrame(time);
            consider(frame ? std::optional(frame->second) : std::nullopt);
        } else if (const auto* sprite = std::get_if<SpriteWidget>(&widget)) {
            const auto frame = sprite->currentFrame(time);
            consider(frame ? std::optional(frame->second) : std::nullopt);
        }
    }
    return soonest;
}

qint64 CustomScreen::nodeCount() const
{
    qint64 nodes = 0;
    for (const Widget& widget : widgets) {
        if (std::holds_alternative<BarWidget>(widget)) {
            nodes += 2;
        } else if (const auto* button = std::get_if<ButtonWidget>(&widget)) {
            nodes += 1 + (button->icon ? 1 : 0) + (button->label.isEmpty() ? 0 : 1);
        } else if (const auto* sparkline = std::get_if<SparklineWidget>(&widget)) {
            nodes += 2 * std::max<qint64>(sparkline->points, 0);
        } else {
            nodes += 1;
        }
    }
    return nodes;
}

QList<CustomScreen::SpriteWidget> CustomScreen::spriteWidgets() const
{
    QList<SpriteWidget> sprites;
    for (const Widget& widget : widgets) {
        if (const auto* sprite = std::get_if<SpriteWidget>(&widget))
            sprites.append(*sprite);
    }
    return sprites;
}

QString CustomScreen::undrawableScalars(const QString& text, int fontSize)
{
    const MontserratMetrics::Font& font = MontserratMetrics::fontForSize(fontSize);
    QString undrawable;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype start = i;
        nextScalar(text, i);
        const QStringView scalar = QStringView(text).mid(start, i - start);
        if (hasUndrawableScalar(scalar, font))
            undrawable.append(scalar);
    }
    return undrawable;
}
