// The widgets of a screen file that show text and frames: "text", "card" (expanded into a box
// with a caption and a value) and "box" with its animation frames.

#include "screens/format/CustomScreen.h"

#include "device/MontserratMetrics.h"
#include "screens/format/ValueEvaluators.h"
#include "screens/format/WidgetKeys.h"

#include <algorithm>

namespace {

using namespace WidgetDefaults;

const QString captionKey = QStringLiteral("caption");

constexpr std::uint32_t textMuteColour = 0x6B747E;
constexpr qint64 captionSize = 14;
constexpr qint64 cardPadding = 12;
constexpr qint64 minimumCardWidth = 32;

int lineHeight(qint64 size)
{
    return MontserratMetrics::fontForSize(int(size)).lineHeight();
}

// The width of a template as the device draws it before any value has arrived.
qint64 emptyWidth(const QString& templateText, qint64 size)
{
    return MontserratMetrics::textWidth(fillPlaceholders(templateText, {}), int(size));
}

} // namespace

std::optional<CustomScreen::TextWidget> CustomScreen::parseTextWidget(const QJsonObject& object, const QString& path,
                                                                      const QSet<QString>& sourceNames,
                                                                      ScreenIssueSink& sink)
{
    warnUnknownKeys(object, path,
                    {QStringLiteral("type"), WidgetKeys::x, WidgetKeys::y, WidgetKeys::w, WidgetKeys::h, QStringLiteral("text"), QStringLiteral("size"),
                     QStringLiteral("color"), QStringLiteral("colorBy"), QStringLiteral("align"),
                     QStringLiteral("visible"), QStringLiteral("hidden")},
                    sink);
    const qint64 fontSize = readFontSize(object, path, 14, sink);
    const Alignment alignment = readAlignment(object, path, sink);
    const auto x = requireWholeNumber(object, WidgetKeys::x, path, sink);
    if (!x)
        return std::nullopt;
    const auto y = requireWholeNumber(object, WidgetKeys::y, path, sink);
    if (!y)
        return std::nullopt;
    const std::optional<qint64> width = readWholeNumber(object, WidgetKeys::w, path, sink);
    const qint64 height = readWholeNumber(object, WidgetKeys::h, path, sink).value_or(lineHeight(fontSize));
    if (alignment != Alignment::left && !width)
        sink.error(keyPath(path, WidgetKeys::w), QStringLiteral("is needed to align text ")
                                            + (alignment == Alignment::center ? QStringLiteral("center")
                                                                              : QStringLiteral("right"))
                                            + QStringLiteral(": it is the column the text is aligned within"));
    checkRect(*x, *y, width.value_or(std::max<qint64>(panelWidth - *x, 1)), height, path, sink);

    const QString textPath = keyPath(path, QStringLiteral("text"));
    const auto text = readString(object, QStringLiteral("text"), path, sink);
    if (!text || deviceLineText(*text, 64).isEmpty()) {
        sink.error(textPath, QStringLiteral("is missing or empty"));
        return std::nullopt;
    }
    checkText(*text, textPath, fontSize, sourceNames, sink);
    auto [color, rule] = readColorRule(object, path, *text, sourceNames, sink);
    return TextWidget{*x, *y, width, height, *text, fontSize, color, alignment, std::move(rule)};
}

QList<CustomScreen::Widget> CustomScreen::parseCard(const QJsonObject& object, const QString& path,
                                                    const QSet<QString>& sourceNames, ScreenIssueSink& sink)
{
    warnUnknownKeys(object, path,
                    {QStringLiteral("type"), WidgetKeys::x, WidgetKeys::y, WidgetKeys::w, WidgetKeys::h, captionKey, WidgetKeys::value, QStringLiteral("size"),
                     QStringLiteral("color"), QStringLiteral("colorBy"), QStringLiteral("captionColor"),
                     QStringLiteral("align"), WidgetKeys::bg, WidgetKeys::border, WidgetKeys::borderWidth, WidgetKeys::radius, QStringLiteral("visible"),
                     QStringLiteral("hidden")},
                    sink);
    const auto x = requireWholeNumber(object, WidgetKeys::x, path, sink);
    const auto y = requireWholeNumber(object, WidgetKeys::y, path, sink);
    const auto w = requireWholeNumber(object, WidgetKeys::w, path, sink);
    const auto h = requireWholeNumber(object, WidgetKeys::h, path, sink);
    if (!x || !y || !w || !h)
        return {};
    if (!checkRect(*x, *y, *w, *h, path, sink))
        return {};

    const qint64 valueSize = readFontSize(object, path, *h >= 80 ? 34 : 24, sink);
    const Alignment alignment =
        object.contains(QStringLiteral("align")) ? readAlignment(object, path, sink) : Alignment::right;
    const qint64 captionHeight = lineHeight(captionSize);
    const qint64 valueHeight = lineHeight(valueSize);
    const std::optional<QString> caption = readString(object, captionKey, path, sink);

    // A card too low to stack its caption over its value puts them side by side.
    const qint64 stacked = captionHeight + valueHeight + 26;
    const bool besideCaption = caption && *h < stacked;
    if (caption) {
        if (*h < valueHeight + 12)
            sink.error(keyPath(path, WidgetKeys::h), QStringLiteral("must be at least %1 for a %2 px value beside its caption "
                                                           "(%3 to stack them)")
                                                .arg(valueHeight + 12)
                                                .arg(valueSize)
                                                .arg(stacked));
    } else if (*h < valueHeight + 26) {
        sink.error(keyPath(path, WidgetKeys::h),
                   QStringLiteral("must be at least %1 for a %2 px value").arg(valueHeight + 26).arg(valueSize));
    }
    if (*w < minimumCardWidth)
        sink.error(keyPath(path, WidgetKeys::w), QStringLiteral("must be at least %1").arg(minimumCardWidth));

    const QString valuePath = keyPath(path, WidgetKeys::value);
    const auto value = readString(object, WidgetKeys::value, path, sink);
    if (!value || deviceLineText(*value, 64).isEmpty()) {
        sink.error(valuePath,
                   QStringLiteral("is missing or empty: the text along the card's bottom edge, usually a {{key}}"));
        return {};
    }
    checkText(*value, valuePath, valueSize, sourceNames, sink);

    const qint64 captionPart = besideCaption ? emptyWidth(*caption, captionSize) + cardPadding : 0;
    const qint64 available = std::max<qint64>(*w - 2 * cardPadding - captionPart, 1);
    if (emptyWidth(*value, valueSize) > available)
        sink.warning(valuePath, QStringLiteral("is wider than the card even before its values arrive"));

    BoxWidget box;
    box.rect = {*x, *y, *w, *h};
    box.background = readColorSetting(object, WidgetKeys::bg, path, surfaceColour, sink);
    box.border = readColorSetting(object, WidgetKeys::border, path, borderColour, sink);
    box.borderWidth = readRangeSetting(object, WidgetKeys::borderWidth, path, 0, 16, 1, sink);
    box.radius = readRangeSetting(object, WidgetKeys::radius, path, 0, 160, 8, sink);
    QList<Widget> widgets{box};

    if (caption && !deviceLineText(*caption, 64).isEmpty()) {
        checkText(*caption, keyPath(path, captionKey), captionSize, sourceNames, sink);
        TextWidget label;
        label.x = *x + cardPadding;
        label.y = besideCaption ? *y + (*h - captionHeight) / 2 : *y + 10;
        label.width = besideCaption ? std::max<qint64>(emptyWidth(*caption, captionSize), 1) : available;
        label.height = captionHeight;
        label.text = *caption;
        label.fontSize = captionSize;
        label.color = readColorSetting(object, QStringLiteral("captionColor"), path, textMuteColour, sink);
        label.alignment = Alignment::left;
        widgets.append(label);
    } else if (object.contains(captionKey)) {
        sink.error(keyPath(path, captionKey), QStringLiteral("is empty; leave it out for a card without one"));
    }

    auto [color, rule] = readColorRule(object, path, *value, sourceNames, sink);
    TextWidget shown;
    shown.x = *x + cardPadding + captionPart;
    shown.y = besideCaption ? *y + (*h - valueHeight) / 2 : *y + *h - 14 - valueHeight;
    shown.width = available;
    shown.height = valueHeight;
    shown.text = *value;
    shown.fontSize = valueSize;
    shown.color = color;
    shown.alignment = alignment;
    shown.rule = std::move(rule);
    widgets.append(shown);
    return widgets;
}

std::optional<CustomScreen::BoxWidget> CustomScreen::parseBoxWidget(const QJsonObject& object, const QString& path,
                                                                    const QSet<QString>& sourceNames,
                                                                    ScreenIssueSink& sink)
{
    Q_UNUSED(sourceNames);
    warnUnknownKeys(object, path,
                    {QStringLiteral("type"), WidgetKeys::x, WidgetKeys::y, WidgetKeys::w, WidgetKeys::h, WidgetKeys::bg, WidgetKeys::border, WidgetKeys::borderWidth, WidgetKeys::radius,
                     QStringLiteral("frames"), QStringLiteral("visible"), QStringLiteral("hidden")},
                    sink);
    const auto x = requireWholeNumber(object, WidgetKeys::x, path, sink);
    const auto y = requireWholeNumber(object, WidgetKeys::y, path, sink);
    const auto w = requireWholeNumber(object, WidgetKeys::w, path, sink);
    const auto h = requireWholeNumber(object, WidgetKeys::h, path, sink);
    if (!x || !y || !w || !h)
        return std::nullopt;
    if (!checkRect(*x, *y, *w, *h, path, sink))
        return std::nullopt;

    BoxWidget box;
    box.rect = {*x, *y, *w, *h};
    box.background = readColorSetting(object, WidgetKeys::bg, path, surfaceColour, sink);
    box.border = readColorSetting(object, WidgetKeys::border, path, borderColour, sink);
    box.borderWidth = readRangeSetting(object, WidgetKeys::borderWidth, path, 0, 16, 1, sink);
    box.radius = readRangeSetting(object, WidgetKeys::radius, path, 0, 160, 8, sink);
    const auto frames = object.constFind(QStringLiteral("frames"));
    box.frames = readBoxFrames(frames == object.constEnd() ? std::nullopt : std::optional(*frames),
                               keyPath(path, QStringLiteral("frames")), box.rect, box.background, sink);
    return box;
}

QList<CustomScreen::BoxFrame> CustomScreen::readBoxFrames(const std::optional<QJsonValue>& value, const QString& path,
                                                          const Rect& rect, std::uint32_t background,
                                                          ScreenIssueSink& sink)
{
    QList<BoxFrame> frames;
    if (!value)
        return frames;
    if (!value->isArray()) {
        sink.error(path, QStringLiteral("must be an array of frames such as {\"for\": 0.2, \"y\": 96, \"h\": 4}"));
        return frames;
    }
    const QJsonArray list = value->toArray();
    if (list.size() == 1)
        sink.warning(path, QStringLiteral("has one frame, so the box never changes; an animation needs two or more"));
    readObjectEntries(list, path, {WidgetKeys::forKey, WidgetKeys::x, WidgetKeys::y, WidgetKeys::w, WidgetKeys::h, WidgetKeys::bg}, sink, [&](const QJsonObject& entry, const QString& entryPath) {
        if (!entry.contains(WidgetKeys::forKey)) {
            sink.error(keyPath(entryPath, WidgetKeys::forKey), QStringLiteral("is missing: the seconds this frame shows"));
            return;
        }
        const auto duration = readNumber(entry, WidgetKeys::forKey, entryPath, sink);
        if (!duration)
            return;
        if (*duration < shortestFrame || *duration > longestFrame)
            sink.error(keyPath(entryPath, WidgetKeys::forKey), QStringLiteral("must be between 0.1 and 3600 seconds"));

        BoxFrame frame;
        frame.duration = *duration;
        frame.rect = {readWholeNumber(entry, WidgetKeys::x, entryPath, sink).value_or(rect.x),
                      readWholeNumber(entry, WidgetKeys::y, entryPath, sink).value_or(rect.y),
                      readWholeNumber(entry, WidgetKeys::w, entryPath, sink).value_or(rect.w),
                      readWholeNumber(entry, WidgetKeys::h, entryPath, sink).value_or(rect.h)};
        checkRect(frame.rect.x, frame.rect.y, frame.rect.w, frame.rect.h, entryPath, sink);
        frame.background = readColorSetting(entry, WidgetKeys::bg, entryPath, background, sink);
        frames.append(frame);
    });
    return frames;
}
