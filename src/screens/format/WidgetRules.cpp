// What every widget type of a screen file shares: the "type" dispatch, the geometry of the
// panel, font sizes, alignments, colour and range settings, shown texts and colour rules.

#include "screens/format/CustomScreen.h"

#include "device/FoldForDevice.h"
#include "device/MontserratMetrics.h"
#include "device/Placeholders.h"
#include "platform/Graphemes.h"
#include "platform/Scalars.h"
#include "screens/format/DesignColors.h"
#include "screens/format/ValueEvaluators.h"
#include "screens/format/WidgetKeys.h"

#include <algorithm>
#include <set>

namespace {

using namespace WidgetDefaults;

const QString colorByKey = QStringLiteral("colorBy");
const QString isKey = QStringLiteral("is");

constexpr qsizetype longTextCharacters = 64;

QString colourMessage()
{
    return QStringLiteral("must be \"#RRGGBB\" or a design colour: ") + DesignColors::namesText();
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85) || c == QChar(0x2028)
           || c == QChar(0x2029);
}

// White space around a match word goes, but not line ends: those are part of what was written.
QString trimmedOfSpaces(const QString& text)
{
    const auto blank = [](QChar c) { return c.isSpace() && !isLineBreak(c); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

std::optional<CustomScreen::Widget> CustomScreen::parseWidget(const QJsonObject& object, const QString& path,
                                                              const QSet<QString>& sourceNames,
                                                              ScreenIssueSink& sink)
{
    const qsizetype before = sink.issues.size();
    const QJsonValue type = object.value(WidgetKeys::type);
    if (!type.isString()) {
        sink.error(path, QStringLiteral("needs a \"type\": text, box, card, bar, button, sprite or sparkline"));
        return std::nullopt;
    }
    const QString name = type.toString();
    std::optional<Widget> widget;
    const auto wrap = [&widget](auto payload) {
        if (payload)
            widget = Widget(std::move(*payload));
    };
    if (name == u"text")
        wrap(parseTextWidget(object, path, sourceNames, sink));
    else if (name == u"box")
        wrap(parseBoxWidget(object, path, sourceNames, sink));
    else if (name == u"bar")
        wrap(parseBarWidget(object, path, sourceNames, sink));
    else if (name == u"button")
        wrap(parseButtonWidget(object, path, sourceNames, sink));
    else if (name == u"sprite")
        wrap(parseSpriteWidget(object, path, sourceNames, sink));
    else if (name == u"sparkline")
        wrap(parseSparklineWidget(object, path, sourceNames, sink));
    else {
        sink.error(keyPath(path, WidgetKeys::type), u'"' + name
                                               + QStringLiteral("\" is not a widget type; use text, box, card, bar, "
                                                                "button, sprite or sparkline"));
        return std::nullopt;
    }
    if (hasErrors(sink.issues.mid(before)))
        return std::nullopt;
    return widget;
}

std::optional<qint64> CustomScreen::requireWholeNumber(const QJsonObject& object, const QString& key,
                                                       const QString& path, ScreenIssueSink& sink)
{
    if (!object.contains(key)) {
        sink.error(keyPath(path, key), QStringLiteral("is missing"));
        return std::nullopt;
    }
    return readWholeNumber(object, key, path, sink);
}

bool CustomScreen::checkRect(qint64 x, qint64 y, qint64 w, qint64 h, const QString& path, ScreenIssueSink& sink)
{
    bool fits = true;
    if (w < 1 || h < 1) {
        sink.error(path, QStringLiteral("w and h must be at least 1"));
        fits = false;
    }
    if (x < 0 || x + w > panelWidth) {
        sink.error(path, QStringLiteral("reaches outside the 480 px wide panel (x %1, w %2)").arg(x).arg(w));
        fits = false;
    }
    if (y < contentTop) {
        sink.error(path, QStringLiteral("overlaps the status bar: y must be at least %1").arg(contentTop));
        fits = false;
    }
    if (y + h > contentBottom) {
        sink.error(path,
                   QStringLiteral("overlaps the page dots: y + h is %1, the limit is %2").arg(y + h).arg(contentBottom));
        fits = false;
    }
    return fits;
}

qint64 CustomScreen::readFontSize(const QJsonObject& object, const QString& path, qint64 defaultSize,
                                  ScreenIssueSink& sink)
{
    const auto size = readWholeNumber(object, QStringLiteral("size"), path, sink);
    if (!size)
        return defaultSize;
    if (*size == 14 || *size == 18 || *size == 24 || *size == 34)
        return *size;
    sink.error(keyPath(path, QStringLiteral("size")),
               QStringLiteral("%1 is not a device font size; use 14, 18, 24, 34").arg(*size));
    return defaultSize;
}

CustomScreen::Alignment CustomScreen::readAlignment(const QJsonObject& object, const QString& path,
                                                    ScreenIssueSink& sink)
{
    const auto text = readString(object, QStringLiteral("align"), path, sink);
    if (!text || *text == u"left")
        return Alignment::left;
    if (*text == u"center")
        return Alignment::center;
    if (*text == u"right")
        return Alignment::right;
    sink.error(keyPath(path, QStringLiteral("align")),
               u'"' + *text + QStringLiteral("\" is not an alignment; use left, center or right"));
    return Alignment::left;
}

std::uint32_t CustomScreen::readColorSetting(const QJsonObject& object, const QString& key, const QString& path,
                                             std::uint32_t defaultColor, ScreenIssueSink& sink)
{
    if (!object.contains(key))
        return defaultColor;
    const auto text = readString(object, key, path, sink);
    if (const auto colour = text ? parseColor(*text) : std::nullopt)
        return *colour;
    sink.error(keyPath(path, key), colourMessage());
    return defaultColor;
}

qint64 CustomScreen::readRangeSetting(const QJsonObject& object, const QString& key, const QString& path, qint64 lo,
                                      qint64 hi, qint64 defaultValue, ScreenIssueSink& sink)
{
    const auto value = readWholeNumber(object, key, path, sink);
    if (!value)
        return defaultValue;
    if (*value < lo || *value > hi) {
        sink.error(keyPath(path, key), QStringLiteral("must be between %1 and %2").arg(lo).arg(hi));
        return defaultValue;
    }
    return *value;
}

std::optional<std::uint32_t> CustomScreen::requireColor(const QString& text, const QString& path,
                                                        ScreenIssueSink& sink)
{
    const auto colour = parseColor(text);
    if (!colour)
        sink.error(path, colourMessage());
    return colour;
}

void CustomScreen::reportUnresolvedKeys(const QString& text, const QString& path, const QSet<QString>& sourceNames,
                                        ScreenIssueSink& sink)
{
    QStringList keys = extractPlaceholderKeys(text);
    keys.sort();
    keys.removeDuplicates();
    for (const QString& key : std::as_const(keys)) {
        if (!resolveKey(key, sourceNames))
            sink.error(path, QStringLiteral("{{") + key + QStringLiteral("}} is not a source in this file"));
    }
}

void CustomScreen::checkText(const QString& text, const QString& path, qint64 fontSize,
                             const QSet<QString>& sourceNames, ScreenIssueSink& sink)
{
    reportUnresolvedKeys(text, path, sourceNames, sink);
    const bool hasKeys = !extractPlaceholderKeys(text).isEmpty();
    if (!hasKeys && text.contains(QStringLiteral("{{")))
        sink.warning(path, QStringLiteral("has \"{{\" but no valid {{key}}; it will be shown as written"));

    const QString shown = foldForDevice(fillPlaceholders(text, {}).remove(QStringLiteral("--")));
    if (hasUndrawableScalar(shown, MontserratMetrics::fontForSize(int(fontSize)))) {
        // Distinct scalars in code point order, each written on its own.
        const QString undrawable = undrawableScalars(shown, int(fontSize));
        std::set<char32_t> scalars;
        for (qsizetype i = 0; i < undrawable.size();)
            scalars.insert(nextScalar(undrawable, i));
        QStringList written;
        for (const char32_t scalar : scalars)
            written.append(QString::fromUcs4(&scalar, 1));
        sink.warning(path, QStringLiteral("the device font has no glyph for ") + written.join(u' ')
                               + QStringLiteral("; each is drawn as an empty box"));
    }

    if (!hasKeys && graphemeCount(text.trimmed()) > longTextCharacters)
        sink.warning(path, QStringLiteral("is longer than %1 characters and will be cut").arg(longTextCharacters));
}

std::pair<std::uint32_t, std::optional<CustomScreen::ColorRule>>
CustomScreen::readColorRule(const QJsonObject& object, const QString& path, const QString& text,
                            const QSet<QString>& sourceNames, ScreenIssueSink& sink)
{
    const std::optional<QString> by = readString(object, colorByKey, path, sink);
    if (by) {
        if (extractPlaceholderKeys(*by).isEmpty())
            sink.error(keyPath(path, colorByKey), QStringLiteral("must hold a {{key}}: the value the colour follows"));
        else
            reportUnresolvedKeys(*by, keyPath(path, colorByKey), sourceNames, sink);
    }

    const QJsonValue colour = object.value(WidgetKeys::color);
    if (colour.isArray()) {
        const QJsonArray list = colour.toArray();
        const QString listPath = keyPath(path, WidgetKeys::color);
        if (list.isEmpty())
            sink.error(listPath, QStringLiteral("is an empty list; give a colour, or { \"at\" | \"is\", \"color\" } "
                                                "entries"));
        ColorRule rule = readColorList(list, by, listPath, sink);
        if (!by && extractPlaceholderKeys(text).isEmpty())
            sink.warning(listPath, QStringLiteral("follows the text, which never changes; add \"colorBy\": "
                                                  "\"{{key}}\" or put the {{key}} in the text"));
        return {textColour, std::move(rule)};
    }
    if (by)
        sink.warning(keyPath(path, colorByKey),
                     QStringLiteral("does nothing without a \"color\" list for it to pick from"));
    return {readColorSetting(object, WidgetKeys::color, path, textColour, sink), std::nullopt};
}

CustomScreen::ColorRule CustomScreen::readColorList(const QJsonArray& list, const std::optional<QString>& by,
                                                    const QString& path, ScreenIssueSink& sink)
{
    ColorRule rule;
    rule.by = by;
    readObjectEntries(list, path, {WidgetKeys::at, isKey, WidgetKeys::color}, sink, [&](const QJsonObject& entry, const QString& entryPath) {

        if (!entry.contains(WidgetKeys::color)) {
            sink.error(keyPath(entryPath, WidgetKeys::color), QStringLiteral("is missing"));
            return;
        }
        const auto text = readString(entry, WidgetKeys::color, entryPath, sink);
        if (!text)
            return;
        const auto colour = requireColor(*text, keyPath(entryPath, WidgetKeys::color), sink);
        if (!colour)
            return;

        if (entry.contains(WidgetKeys::at) == entry.contains(isKey)) {
            sink.error(entryPath, QStringLiteral("needs either \"at\" (a number: this colour from there up) or \"is\" "
                                                 "(a word: this colour when the value is exactly that)"));
            return;
        }
        if (entry.contains(WidgetKeys::at)) {
            if (const auto at = readNumber(entry, WidgetKeys::at, entryPath, sink))
                rule.stops.append({*at, *colour});
        } else if (const auto word = readString(entry, isKey, entryPath, sink)) {
            rule.matches.append({trimmedOfSpaces(*word).toLower(), *colour});
        }
    });
    sortColorStops(rule.stops);
    return rule;
}

void CustomScreen::sortColorStops(QList<ColorStop>& stops)
{
    std::stable_sort(stops.begin(), stops.end(), [](const ColorStop& a, const ColorStop& b) { return a.at < b.at; });
}
