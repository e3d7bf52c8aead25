// The widgets of a screen file that gauge, act and move: "bar", "button", "sprite" and
// "sparkline".

#include "screens/format/CustomScreen.h"

#include "device/MontserratMetrics.h"
#include "device/Placeholders.h"
#include "macros/ShortcutName.h"
#include "platform/WebAddress.h"
#include "screens/format/DesignColors.h"
#include "screens/format/ScreenAction.h"
#include "screens/format/ValueEvaluators.h"
#include "screens/format/WidgetKeys.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

using namespace WidgetDefaults;

const QString cellKey = QStringLiteral("cell");
const QString visibleKey = QStringLiteral("visible");
const QString hiddenKey = QStringLiteral("hidden");

constexpr qint64 fewestPoints = 4;
constexpr qint64 mostPoints = 24;
constexpr qint64 defaultPoints = 12;
constexpr qint64 pointWidth = 2;

QList<CustomScreen::ColorStop> defaultFill()
{
    return {{0, DesignColors::accent}};
}

// Reads x, y, w and h (all four, so each missing one is reported) and checks them on the panel.
std::optional<CustomScreen::Rect> readRect(const QJsonObject& object, const QString& path, ScreenIssueSink& sink)
{
    const auto x = CustomScreen::requireWholeNumber(object, WidgetKeys::x, path, sink);
    const auto y = CustomScreen::requireWholeNumber(object, WidgetKeys::y, path, sink);
    const auto w = CustomScreen::requireWholeNumber(object, WidgetKeys::w, path, sink);
    const auto h = CustomScreen::requireWholeNumber(object, WidgetKeys::h, path, sink);
    if (!x || !y || !w || !h || !CustomScreen::checkRect(*x, *y, *w, *h, path, sink))
        return std::nullopt;
    return CustomScreen::Rect{*x, *y, *w, *h};
}

QString actionKindName(MacroAction::Kind kind)
{
    switch (kind) {
    case MacroAction::Kind::openApp:
        return QStringLiteral("Open App");
    case MacroAction::Kind::openURL:
        return QStringLiteral("Open URL");
    case MacroAction::Kind::runShortcut:
        return QStringLiteral("Run Shortcut");
    case MacroAction::Kind::typeText:
        return QStringLiteral("Type Text");
    case MacroAction::Kind::showScreen:
        return QStringLiteral("Show Screen");
    default:
        return MacroAction::kindRawValue(kind);
    }
}

// Whether an address with placeholders can open anything once filled: one that is a single
// placeholder alone may become any http, https or mailto address; any other writes http: or
// https: before its first value, which may not change it.
bool canEverOpen(const QString& url)
{
    const QRegularExpressionMatch first = placeholderPattern().match(url);
    const QStringView before = QStringView(url).first(first.capturedStart(0));
    if (before.trimmed().isEmpty())
        return QStringView(url).sliced(first.capturedEnd(0)).trimmed().isEmpty();
    const qsizetype colon = before.indexOf(u':');
    const QStringView scheme = colon < 0 ? QStringView() : before.first(colon);
    return scheme.compare(u"http", Qt::CaseInsensitive) == 0 || scheme.compare(u"https", Qt::CaseInsensitive) == 0;
}

// The action's problems, reported at the button's "action" path; parsing goes on either way.
std::optional<MacroAction> readButtonAction(const QJsonObject& object, const QString& path,
                                            const QSet<QString>& sourceNames, ScreenIssueSink& sink)
{
    const QString actionPath = CustomScreen::keyPath(path, QStringLiteral("action"));
    const QJsonValue value = object.value(QStringLiteral("action"));
    if (!value.isObject()) {
        sink.error(actionPath, QStringLiteral("is missing; a button needs an action such as {\"kind\": \"openURL\", "
                                              "\"url\": \"https://…\"}"));
        return std::nullopt;
    }
    auto decoded = ScreenAction::decode(value.toObject());
    if (const auto* problem = std::get_if<ScreenAction::Problem>(&decoded)) {
        sink.error(actionPath, problem->message);
        return std::nullopt;
    }
    MacroAction action = std::get<MacroAction>(std::move(decoded));
    const QString urlPath = CustomScreen::keyPath(actionPath, QStringLiteral("url"));
    if (const auto* open = action.as<MacroAction::OpenURL>();
        open && !extractPlaceholderKeys(open->url).isEmpty()) {
        // The address is only whole once its values arrive; it is judged then.
        CustomScreen::reportUnresolvedKeys(open->url, urlPath, sourceNames, sink);
        if (!canEverOpen(open->url))
            sink.error(urlPath, QStringLiteral("must write http: or https: before its first placeholder, or be one "
                                               "placeholder alone"));
    } else if (const auto* open = action.as<MacroAction::OpenURL>(); open && !open->url.isEmpty()) {
        // Read once, as it opens: the approval shows this reading and a tap opens it.
        auto address = readWebAddress(open->url, AddressUse::opened);
        if (const auto* problem = std::get_if<QString>(&address))
            sink.error(urlPath, *problem);
        else
            action = MacroAction::openURL(open->url, std::get<QUrl>(std::move(address)));
    } else if (const auto* shortcut = action.as<MacroAction::RunShortcut>();
               shortcut && !shortcut->name.isEmpty() && !isShortcutName(shortcut->name)) {
        sink.error(CustomScreen::keyPath(actionPath, QStringLiteral("shortcut")),
                   QStringLiteral("must be the name of a file in ~/.local/share/Tarv/Shortcuts/: without \"/\", and "
                                  "not beginning with \".\""));
    } else if (action.kind() == MacroAction::Kind::unassigned) {
        sink.error(actionPath, QStringLiteral("must do something; \"unassigned\" is only for empty macro keys"));
    } else if (!action.isConfigured()) {
        sink.error(actionPath,
                   QStringLiteral("is incomplete: ") + actionKindName(action.kind()) + QStringLiteral(" needs its target"));
    }
    return action;
}

} // namespace

std::optional<CustomScreen::BarWidget> CustomScreen::parseBarWidget(const QJsonObject& object, const QString& path,
                                                                    const QSet<QString>& sourceNames,
                                                                    ScreenIssueSink& sink)
{
    warnUnknownKeys(object, path,
                    {WidgetKeys::type, WidgetKeys::x, WidgetKeys::y, WidgetKeys::w, WidgetKeys::h, WidgetKeys::value, QStringLiteral("max"), WidgetKeys::color,
                     QStringLiteral("track"), WidgetKeys::border, WidgetKeys::borderWidth, WidgetKeys::radius, QStringLiteral("inset"),
                     visibleKey, hiddenKey},
                    sink);
    const auto rect = readRect(object, path, sink);
    if (!rect)
        return std::nullopt;

    const QString valuePath = keyPath(path, WidgetKeys::value);
    const auto value = readString(object, WidgetKeys::value, path, sink);
    if (!value || value->isEmpty()) {
        sink.error(valuePath, QStringLiteral("is missing or empty"));
        return std::nullopt;
    }
    reportUnresolvedKeys(*value, valuePath, sourceNames, sink);
    if (extractPlaceholderKeys(*value).isEmpty() && !firstNumber(*value))
        sink.error(valuePath, QStringLiteral("is neither a number nor a {{key}}"));

    BarWidget bar;
    bar.rect = *rect;
    bar.value = *value;
    if (const auto max = readNumber(object, QStringLiteral("max"), path, sink)) {
        if (*max <= 0)
            sink.error(keyPath(path, QStringLiteral("max")), QStringLiteral("must be greater than 0"));
        else
            bar.max = *max;
    }
    bar.borderWidth = readRangeSetting(object, WidgetKeys::borderWidth, path, 0, 16, 1, sink);
    const auto colour = object.constFind(WidgetKeys::color);
    bar.stops = readBarColor(colour == object.constEnd() ? std::nullopt : std::optional(*colour),
                             keyPath(path, WidgetKeys::color), sink);
    bar.track = readColorSetting(object, QStringLiteral("track"), path, surfaceColour, sink);
    bar.border = readColorSetting(object, WidgetKeys::border, path, borderColour, sink);
    bar.radius = readRangeSetting(object, WidgetKeys::radius, path, 0, 160, 4, sink);
    bar.inset = readRangeSetting(object, QStringLiteral("inset"), path, 0, 32, bar.borderWidth + 1, sink);
    return bar;
}

QList<CustomScreen::ColorStop> CustomScreen::readBarColor(const std::optional<QJsonValue>& value,
                                                          const QString& path, ScreenIssueSink& sink)
{
    if (!value)
        return defaultFill();
    if (value->isString()) {
        const auto colour = requireColor(value->toString(), path, sink);
        return {{0, colour.value_or(DesignColors::accent)}};
    }
    if (!value->isArray() || value->toArray().isEmpty()) {
        sink.error(path, QStringLiteral("must be a colour or a list of { \"at\": percent, \"color\": … } stops"));
        return defaultFill();
    }
    const QJsonArray list = value->toArray();
    QList<ColorStop> stops;
    readObjectEntries(list, path, {WidgetKeys::at, WidgetKeys::color}, sink, [&](const QJsonObject& entry, const QString& entryPath) {
        const double at = readNumber(entry, WidgetKeys::at, entryPath, sink).value_or(0);
        if (at < 0 || at > 100)
            sink.error(keyPath(entryPath, WidgetKeys::at), QStringLiteral("must be between 0 and 100"));
        const auto text = readString(entry, WidgetKeys::color, entryPath, sink);
        const auto colour = text ? requireColor(*text, entryPath, sink) : std::nullopt;
        if (!colour) {
            sink.error(keyPath(entryPath, WidgetKeys::color), QStringLiteral("is missing or not a colour"));
            return;
        }
        stops.append({std::clamp(at, 0.0, 100.0), *colour});
    });
    if (stops.isEmpty())
        return defaultFill();
    sortColorStops(stops);
    if (stops.first().at > 0)
        stops.prepend({0, stops.first().color});
    return stops;
}

std::optional<CustomScreen::ButtonWidget> CustomScreen::parseButtonWidget(const QJsonObject& object,
                                                                          const QString& path,
                                                                          const QSet<QString>& sourceNames,
                                                                          ScreenIssueSink& sink)
{
    warnUnknownKeys(object, path,
                    {WidgetKeys::type, WidgetKeys::x, WidgetKeys::y, WidgetKeys::w, WidgetKeys::h, QStringLiteral("label"), QStringLiteral("icon"),
                     QStringLiteral("action"), QStringLiteral("size"), WidgetKeys::color, WidgetKeys::bg, WidgetKeys::border, WidgetKeys::borderWidth,
                     WidgetKeys::radius, visibleKey, hiddenKey},
                    sink);
    ButtonWidget button;
    if (const auto name = readString(object, QStringLiteral("icon"), path, sink)) {
        button.icon = DeviceIcon::fromRawValue(*name);
        if (!button.icon) {
            QStringList examples;
            for (qsizetype i = 0; i < 4; ++i)
                examples.append(DeviceIcon::allCases()[i].rawValue());
            sink.error(keyPath(path, QStringLiteral("icon")),
                       u'"' + *name + QStringLiteral("\" is not a device icon; the names are those in the key editor, "
                                                     "e.g. ")
                           + examples.join(QStringLiteral(", ")));
        }
    }
    const QString labelPath = keyPath(path, QStringLiteral("label"));
    const QString label = readString(object, QStringLiteral("label"), path, sink).value_or(QString());
    const QString labelLine = deviceLineText(label, 64);
    button.label = labelLine.isEmpty() ? QString() : label;

    qint64 defaultSize = button.icon ? 14 : 18;
    if (button.label.isEmpty() && !button.icon)
        sink.error(path, QStringLiteral("needs a \"label\" or an \"icon\""));
    button.fontSize = readFontSize(object, path, defaultSize, sink);
    checkText(button.label, labelPath, button.fontSize, sourceNames, sink);
    if (const auto action = readButtonAction(object, path, sourceNames, sink))
        button.action = *action;

    const auto rect = readRect(object, path, sink);
    if (!rect)
        return std::nullopt;
    button.rect = *rect;
    button.borderWidth = readRangeSetting(object, WidgetKeys::borderWidth, path, 0, 16, 1, sink);
    if (extractPlaceholderKeys(button.label).isEmpty() && !labelLine.isEmpty()
        && rect->w - 2 * button.borderWidth < MontserratMetrics::textWidth(labelLine, int(button.fontSize)))
        sink.warning(labelPath,
                     QStringLiteral("is wider than the button at %1 px and will be cut off").arg(button.fontSize));
    button.color = readColorSetting(object, WidgetKeys::color, path, textColour, sink);
    button.background = readColorSetting(object, WidgetKeys::bg, path, surfaceColour, sink);
    button.border = readColorSetting(object, WidgetKeys::border, path, borderColour, sink);
    button.radius = readRangeSetting(object, WidgetKeys::radius, path, 0, 160, 8, sink);
    return button;
}

std::optional<CustomScreen::SpriteWidget> CustomScreen::parseSpriteWidget(const QJsonObject& object,
                                                                          const QString& path,
                                                                          const QSet<QString>& sourceNames,
                                                                          ScreenIssueSink& sink)
{
    Q_UNUSED(sourceNames);
    warnUnknownKeys(object, path,
                    {WidgetKeys::type, WidgetKeys::x, WidgetKeys::y, QStringLiteral("sheet"), QStringLiteral("count"), WidgetKeys::forKey,
                     QStringLiteral("frames"), visibleKey, hiddenKey},
                    sink);
    const auto x = requireWholeNumber(object, WidgetKeys::x, path, sink);
    if (!x)
        return std::nullopt;
    const auto y = requireWholeNumber(object, WidgetKeys::y, path, sink);
    if (!y)
        return std::nullopt;
    checkRect(*x, *y, spriteFrameWidth, spriteFrameHeight, path, sink);

    const QString sheetPath = keyPath(path, QStringLiteral("sheet"));
    const auto sheet = readString(object, QStringLiteral("sheet"), path, sink);
    if (!sheet || sheet->isEmpty()) {
        sink.error(sheetPath,
                   QStringLiteral("is missing: the image file beside this screen, e.g. \"codex-typing.png\""));
        return std::nullopt;
    }
    if (sheet->contains(u'/') || sheet->startsWith(u'.')) {
        sink.error(sheetPath, QStringLiteral("must be a file name in the Screens folder, not a path"));
        return std::nullopt;
    }
    const auto count = requireWholeNumber(object, QStringLiteral("count"), path, sink);
    if (!count)
        return std::nullopt;
    if (*count < 1 || *count > maxSpriteSlots) {
        sink.error(keyPath(path, QStringLiteral("count")),
                   QStringLiteral("must be 1 to %1: the frames the sheet is cut into, one per device sprite slot")
                       .arg(maxSpriteSlots));
        return std::nullopt;
    }
    const double duration = readNumber(object, WidgetKeys::forKey, path, sink).value_or(0.2);
    if (duration < shortestFrame || duration > longestFrame) {
        sink.error(keyPath(path, WidgetKeys::forKey), QStringLiteral("must be between 0.1 and 3600 seconds: how long each frame "
                                                         "shows"));
        return std::nullopt;
    }

    SpriteWidget sprite{*x, *y, *sheet, *count, {}};
    if (const auto frames = object.constFind(QStringLiteral("frames")); frames != object.constEnd()) {
        sprite.frames = readSpriteFrames(*frames, keyPath(path, QStringLiteral("frames")), *count, duration, sink);
    } else {
        for (qint64 cell = 0; cell < *count; ++cell)
            sprite.frames.append({duration, cell});
    }
    if (sprite.frames.isEmpty())
        return std::nullopt;
    if (sprite.frames.size() == 1)
        sink.warning(path, QStringLiteral("has one frame, so it never animates"));
    return sprite;
}

QList<CustomScreen::SpriteFrame> CustomScreen::readSpriteFrames(const QJsonValue& value, const QString& path,
                                                                qint64 count, double defaultDuration,
                                                                ScreenIssueSink& sink)
{
    QList<SpriteFrame> frames;
    if (!value.isArray()) {
        sink.error(path, QStringLiteral("must be an array of frames such as {\"for\": 0.14, \"cell\": 2}"));
        return frames;
    }
    const QJsonArray list = value.toArray();
    if (list.isEmpty()) {
        sink.error(path, QStringLiteral("is empty: an animation needs at least one frame"));
        return frames;
    }
    readObjectEntries(list, path, {WidgetKeys::forKey, cellKey}, sink, [&](const QJsonObject& entry, const QString& entryPath) {
        bool fine = true;
        const double duration = readNumber(entry, WidgetKeys::forKey, entryPath, sink).value_or(defaultDuration);
        if (duration < shortestFrame || duration > longestFrame) {
            sink.error(keyPath(entryPath, WidgetKeys::forKey), QStringLiteral("must be between 0.1 and 3600 seconds"));
            fine = false;
        }
        const qint64 cell = readWholeNumber(entry, cellKey, entryPath, sink).value_or(0);
        if (cell < 0 || cell >= count) {
            sink.error(keyPath(entryPath, cellKey),
                       QStringLiteral("must be 0 to %1: which column of the sheet this frame shows").arg(count - 1));
            fine = false;
        }
        if (fine)
            frames.append({duration, cell});
    });
    return frames;
}

std::optional<CustomScreen::SparklineWidget> CustomScreen::parseSparklineWidget(const QJsonObject& object,
                                                                                const QString& path,
                                                                                const QSet<QString>& sourceNames,
                                                                                ScreenIssueSink& sink)
{
    warnUnknownKeys(object, path,
                    {WidgetKeys::type, WidgetKeys::x, WidgetKeys::y, WidgetKeys::w, WidgetKeys::h, WidgetKeys::value, QStringLiteral("points"), WidgetKeys::color, WidgetKeys::bg,
                     QStringLiteral("min"), QStringLiteral("max"), visibleKey, hiddenKey},
                    sink);
    const auto rect = readRect(object, path, sink);
    if (!rect)
        return std::nullopt;

    SparklineWidget sparkline;
    sparkline.rect = *rect;
    sparkline.points = readWholeNumber(object, QStringLiteral("points"), path, sink).value_or(defaultPoints);
    if (sparkline.points < fewestPoints || sparkline.points > mostPoints) {
        sink.error(keyPath(path, QStringLiteral("points")),
                   QStringLiteral("must be between %1 and %2").arg(fewestPoints).arg(mostPoints));
        sparkline.points = defaultPoints;
    }
    if (rect->w < pointWidth * sparkline.points)
        sink.error(keyPath(path, WidgetKeys::w), QStringLiteral("must be at least %1 for %2 points: each is %3 px wide or more")
                                            .arg(pointWidth * sparkline.points)
                                            .arg(sparkline.points)
                                            .arg(pointWidth));
    if (rect->h < 6)
        sink.error(keyPath(path, WidgetKeys::h), QStringLiteral("must be at least 6"));

    const QString valuePath = keyPath(path, WidgetKeys::value);
    const auto value = readString(object, WidgetKeys::value, path, sink);
    if (!value || extractPlaceholderKeys(*value).isEmpty()) {
        sink.error(valuePath,
                   QStringLiteral("must be a {{key}}: a list of numbers, or one number whose readings are kept"));
        return std::nullopt;
    }
    reportUnresolvedKeys(*value, valuePath, sourceNames, sink);
    sparkline.value = *value;

    sparkline.min = readNumber(object, QStringLiteral("min"), path, sink);
    sparkline.max = readNumber(object, QStringLiteral("max"), path, sink);
    if (sparkline.min && sparkline.max && *sparkline.max <= *sparkline.min)
        sink.error(keyPath(path, QStringLiteral("max")), QStringLiteral("must be more than min"));
    sparkline.color = readColorSetting(object, WidgetKeys::color, path, DesignColors::accent, sink);
    sparkline.background = readColorSetting(object, WidgetKeys::bg, path, surfaceColour, sink);
    return sparkline;
}
