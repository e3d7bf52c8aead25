// The top level of a screen file: its keys, title, background, widget list, visibility
// conditions, the page limits and the unused-source warning, in the order they are reported.

#include "device/Placeholders.h"
#include "platform/Graphemes.h"
#include "platform/OneLineText.h"
#include "screens/format/CustomScreen.h"
#include "screens/format/DesignColors.h"
#include "screens/format/JsonText.h"

#include <QJsonArray>

#include <algorithm>

namespace {

const QString widgetsKey = QStringLiteral("widgets");

// The placeholder keys of every text in the value, however deep.
void addMentionedKeys(const QJsonValue& value, QSet<QString>& keys)
{
    if (value.isString()) {
        for (const QString& key : extractPlaceholderKeys(value.toString()))
            keys.insert(key);
    } else if (value.isArray()) {
        for (const QJsonValue element : value.toArray())
            addMentionedKeys(element, keys);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            addMentionedKeys(it.value(), keys);
    }
}

} // namespace

std::optional<CustomScreen> CustomScreen::parse(const QByteArray& data, const QString& id, const QString& file,
                                                QList<ScreenIssue>& issues)
{
    ScreenIssueSink sink{file, issues};

    QString failure;
    const auto top = JsonText::parse(data, &failure);
    if (!top) {
        sink.error(QString(), QStringLiteral("not valid JSON: ") + failure);
        return std::nullopt;
    }
    if (!top->isObject()) {
        sink.error(QString(), QStringLiteral("the file must hold a JSON object with \"widgets\""));
        return std::nullopt;
    }
    const QJsonObject object = top->toObject();

    warnUnknownKeys(object, QString(),
                    {QStringLiteral("title"), QStringLiteral("background"), QStringLiteral("sources"), widgetsKey},
                    sink);

    CustomScreen screen;
    screen.id = id;
    // Menus, pickers and lists show the title on one line; files that hold a line break in it
    // keep loading.
    const QString title = readString(object, QStringLiteral("title"), QString(), sink).value_or(id);
    screen.title = firstGraphemes(oneLineText(title), maxTitleCharacters);

    if (object.contains(QStringLiteral("background"))) {
        const auto text = readString(object, QStringLiteral("background"), QString(), sink);
        const auto colour = text ? parseColor(*text) : std::nullopt;
        if (colour)
            screen.background = *colour;
        else
            sink.error(QStringLiteral("background"),
                       QStringLiteral("must be \"#RRGGBB\" or a design colour: ") + DesignColors::namesText());
    }

    const auto sourcesIt = object.constFind(QStringLiteral("sources"));
    screen.sources = parseSources(sourcesIt == object.constEnd() ? std::nullopt : std::optional(*sourcesIt), sink);
    QSet<QString> sourceNames;
    for (const DataSource& source : std::as_const(screen.sources))
        sourceNames.insert(source.key);

    // The placeholder keys of widgets that had an error: the sources they name are not
    // unused, only waiting for the error to be fixed.
    QSet<QString> keysOfFailedWidgets;
    const auto widgetsIt = object.constFind(widgetsKey);
    if (widgetsIt == object.constEnd()) {
        sink.error(widgetsKey, QStringLiteral("is missing"));
    } else if (!widgetsIt->isArray()) {
        sink.error(widgetsKey, QStringLiteral("must be an array"));
        addMentionedKeys(*widgetsIt, keysOfFailedWidgets);
    } else {
        const QJsonArray entries = widgetsIt->toArray();
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QString path = widgetsKey + u'[' + QString::number(i) + u']';
            const qsizetype issuesBefore = sink.issues.size();
            if (entries[i].isObject()) {
                const QJsonObject entry = entries[i].toObject();
                const QList<Widget> added = parseWidgetEntry(entry, path, sourceNames, sink);
                if (!added.isEmpty()) {
                    if (const auto condition = parseCondition(entry, path, sourceNames, sink)) {
                        for (qsizetype k = 0; k < added.size(); ++k)
                            screen.conditions[screen.widgets.size() + k] = *condition;
                    }
                    screen.widgets.append(added);
                }
            } else {
                sink.error(path, QStringLiteral("must be an object"));
            }
            if (hasErrors(sink.issues.mid(issuesBefore)))
                addMentionedKeys(entries[i], keysOfFailedWidgets);
        }
    }

    qint64 spriteSlots = 0;
    for (const SpriteWidget& sprite : screen.spriteWidgets())
        spriteSlots += sprite.count;
    if (spriteSlots > maxSpriteSlots)
        sink.error(widgetsKey, QStringLiteral("too many sprite frames for the device: %1, the limit is %2 across "
                                              "the page (one asset slot each)")
                                   .arg(spriteSlots)
                                   .arg(maxSpriteSlots));

    const qint64 nodes = screen.nodeCount();
    if (nodes > maxNodes)
        sink.error(widgetsKey, QStringLiteral("too many for the device: %1 nodes, the limit is %2 (text and box "
                                              "count 1, a button up to 3)")
                                   .arg(nodes)
                                   .arg(maxNodes));

    const auto uses = screen.sourceUses();
    QSet<QString> namedByFailedWidgets;
    for (const QString& key : std::as_const(keysOfFailedWidgets)) {
        if (const auto resolved = resolveKey(key, sourceNames))
            namedByFailedWidgets.insert(resolved->source);
    }
    for (const DataSource& source : std::as_const(screen.sources)) {
        if (!uses.contains(source.key) && !namedByFailedWidgets.contains(source.key))
            sink.warning(QStringLiteral("sources.") + source.key,
                         QStringLiteral("is not used by any widget, so it is never fetched"));
    }
    return screen;
}

QList<CustomScreen::Widget> CustomScreen::parseWidgetEntry(const QJsonObject& object, const QString& path,
                                                           const QSet<QString>& sourceNames, ScreenIssueSink& sink)
{
    if (object.value(QStringLiteral("type")) == QJsonValue(QStringLiteral("card"))) {
        // A card is its box, caption and value together: one error drops all of them.
        const qsizetype before = sink.issues.size();
        QList<Widget> card = parseCard(object, path, sourceNames, sink);
        if (hasErrors(sink.issues.mid(before)))
            return {};
        return card;
    }
    if (auto widget = parseWidget(object, path, sourceNames, sink))
        return {std::move(*widget)};
    return {};
}

std::optional<CustomScreen::Condition> CustomScreen::parseCondition(const QJsonObject& object, const QString& path,
                                                                    const QSet<QString>& sourceNames,
                                                                    ScreenIssueSink& sink)
{
    const QString visibleKey = QStringLiteral("visible");
    const QString hiddenKey = QStringLiteral("hidden");
    const bool hasVisible = object.contains(visibleKey);
    const bool hasHidden = object.contains(hiddenKey);
    if (!hasVisible && !hasHidden)
        return std::nullopt;
    if (hasVisible && hasHidden) {
        sink.error(path, QStringLiteral("has both \"visible\" and \"hidden\"; use one"));
        return std::nullopt;
    }
    const QString& key = hasVisible ? visibleKey : hiddenKey;
    const auto text = readString(object, key, path, sink);
    if (!text)
        return std::nullopt;

    if (extractPlaceholderKeys(*text).isEmpty()) {
        sink.error(keyPath(path, key),
                   QStringLiteral("must hold a {{key}}: the value that says yes or no (no is empty, 0, false, no, "
                                  "off, none, null, or not arrived yet)"));
        return std::nullopt;
    }
    reportUnresolvedKeys(*text, keyPath(path, key), sourceNames, sink);
    return Condition{*text, hasHidden};
}
