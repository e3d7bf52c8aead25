// The "sources" of a screen file, and how the page's placeholder keys are matched to them.

#include "device/Placeholders.h"
#include "platform/TextTrim.h"
#include "platform/WebAddress.h"
#include "screens/format/CustomScreen.h"
#include "control/PushName.h"

#include <QJsonObject>

#include <algorithm>

namespace {

const QString shellKey = QStringLiteral("shell");
const QString urlKey = QStringLiteral("url");
const QString pushKey = QStringLiteral("push");
const QString expiresKey = QStringLiteral("expires");
const QString fieldKey = QStringLiteral("field");
const QString headersKey = QStringLiteral("headers");
const QString everyKey = QStringLiteral("every");
const QString decimalsKey = QStringLiteral("decimals");

bool isBlankCommand(const QString& text)
{
    return trimSpacesAndTabs(text).isEmpty();
}

// The fingerprint joins what a source does with U+0000 (and a header's name to its value with
// "=") and joins whole permissions with U+0001. Text holding them could make two different
// screens one fingerprint, so an approval of one would let the other run.
bool holdsJoiner(const QString& text)
{
    return text.contains(QChar(u'\u0000')) || text.contains(QChar(u'\u0001'));
}

const QString joinerMessage = QStringLiteral("must not hold the control characters U+0000 or U+0001");

// A header name is an HTTP token. Anything else ("Host:x", "Host " or a line break) would write
// another field into the request, or one that a server reads under another name.
bool isHeaderToken(const QString& name)
{
    return !name.isEmpty() && std::all_of(name.cbegin(), name.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               QStringView(u"!#$%&'*+-.^_`|~").contains(c);
    });
}

// Fields that decide where a request goes or where its bytes end: Tarv writes them from the
// address the user approved, and a file must not move or reframe the request behind it.
bool routesOrFrames(const QString& name)
{
    static const QStringList names{QStringLiteral("host"),    QStringLiteral("content-length"),
                                   QStringLiteral("transfer-encoding"), QStringLiteral("connection"),
                                   QStringLiteral("upgrade"), QStringLiteral("te"), QStringLiteral("trailer")};
    const QString lower = name.toLower();
    return names.contains(lower) || lower.startsWith(QStringLiteral("proxy-"));
}

// Why a source must not send this header, when it must not; `earlier` holds the names seen
// before it, by their lower-case form.
std::optional<QString> headerProblem(const QString& name, const QString& value, QHash<QString, QString>& earlier)
{
    if (!isHeaderToken(name))
        return QStringLiteral("a header name may use only letters, digits and ! # $ % & ' * + - . ^ _ ` | ~");
    if (routesOrFrames(name))
        return u'"' + name + QStringLiteral("\" is not sent from a screen file: it decides where the request goes "
                                            "or how it is framed");
    if (const QString same = earlier.value(name.toLower()); !same.isEmpty())
        return u'"' + name + QStringLiteral("\" is the same header as \"") + same +
               QStringLiteral("\" (letter case does not count); give it once");
    earlier.insert(name.toLower(), name);
    if (holdsJoiner(value))
        return joinerMessage;
    if (value.contains(u'\n') || value.contains(u'\r'))
        return QStringLiteral("must be one line");
    return std::nullopt;
}

void addKeys(QSet<QString>& keys, const QString& text)
{
    for (const QString& key : extractPlaceholderKeys(text))
        keys.insert(key);
}

} // namespace

QList<CustomScreen::DataSource> CustomScreen::parseSources(const std::optional<QJsonValue>& value,
                                                           ScreenIssueSink& sink)
{
    QList<DataSource> sources;
    if (!value)
        return sources;
    if (!value->isObject()) {
        sink.error(QStringLiteral("sources"), QStringLiteral("must be an object of named sources"));
        return sources;
    }
    const QJsonObject all = value->toObject();
    QStringList names = all.keys();
    names.sort();
    for (const QString& name : std::as_const(names)) {
        const QString path = QStringLiteral("sources.") + name;
        if (!isValidSourceName(name)) {
            sink.error(path, QStringLiteral("a source name may use letters, digits, _ . and -, starting with a "
                                            "letter or _"));
            continue;
        }
        const QJsonValue entry = all.value(name);
        if (!entry.isObject()) {
            sink.error(path, QStringLiteral("must be an object"));
            continue;
        }
        const QJsonObject object = entry.toObject();
        warnUnknownKeys(object, path,
                        {shellKey, urlKey, pushKey, expiresKey, fieldKey, headersKey, everyKey, decimalsKey}, sink);

        DataSource source;
        source.key = name;
        if (const auto every = readNumber(object, everyKey, path, sink)) {
            if (*every < 1)
                sink.error(keyPath(path, everyKey), QStringLiteral("must be at least 1 second"));
            else
                source.interval = *every;
        }
        if (const auto decimals = readWholeNumber(object, decimalsKey, path, sink)) {
            if (*decimals < 0 || *decimals > 6)
                sink.error(keyPath(path, decimalsKey), QStringLiteral("must be between 0 and 6"));
            else
                source.decimals = decimals;
        }

        QStringList kinds;
        for (const QString& kind : {shellKey, urlKey, pushKey}) {
            if (object.contains(kind))
                kinds.append(u'"' + kind + u'"');
        }
        if (kinds.size() > 1) {
            sink.error(path, QStringLiteral("has ") + kinds.join(QStringLiteral(" and "))
                                 + QStringLiteral("; a source is one of them"));
            continue;
        }

        if (object.contains(pushKey)) {
            const auto pushName = readString(object, pushKey, path, sink);
            if (!pushName || !isValidPushName(*pushName)) {
                sink.error(keyPath(path, pushKey),
                           QStringLiteral("must be the name values are pushed under with `tarv set <name> "
                                          "<value>`: up to 64 letters, digits, _ . and -"));
                continue;
            }
            for (const QString& key : {fieldKey, headersKey, everyKey}) {
                if (object.contains(key))
                    sink.warning(keyPath(path, key),
                                 QStringLiteral("does not apply to a \"push\" source: nothing is fetched"));
            }
            DataSource::Push push{*pushName, std::nullopt};
            if (const auto expires = readNumber(object, expiresKey, path, sink)) {
                if (*expires < 1)
                    sink.error(keyPath(path, expiresKey), QStringLiteral("must be at least 1 second"));
                else
                    push.expires = expires;
            }
            source.kind = push;
            sources.append(source);
            continue;
        }
        if (object.contains(expiresKey))
            sink.warning(keyPath(path, expiresKey), QStringLiteral("only applies to a \"push\" source"));

        if (!object.contains(shellKey) && !object.contains(urlKey)) {
            sink.error(path, QStringLiteral("needs \"shell\" (a command), \"url\", or \"push\" (a name for `tarv "
                                            "set`)"));
            continue;
        }

        if (object.contains(urlKey)) {
            const auto text = readString(object, urlKey, path, sink);
            if (text && holdsJoiner(*text)) {
                sink.error(keyPath(path, urlKey), joinerMessage);
                continue;
            }
            auto address = text ? readWebAddress(*text, AddressUse::fetched) : std::variant<QUrl, QString>();
            if (!text || std::holds_alternative<QString>(address)) {
                sink.error(keyPath(path, urlKey), QStringLiteral("must be an http or https URL"));
                continue;
            }
            DataSource::Url fetch{std::get<QUrl>(std::move(address)), std::nullopt, {}};
            if (object.contains(headersKey)) {
                const QJsonValue headers = object.value(headersKey);
                const QJsonObject fields = headers.toObject();
                const bool allText = headers.isObject()
                                     && std::all_of(fields.begin(), fields.end(),
                                                    [](const QJsonValueConstRef v) { return v.isString(); });
                if (allText) {
                    QHash<QString, QString> earlier;
                    for (auto it = fields.begin(); it != fields.end(); ++it) {
                        const QString value = it.value().toString();
                        if (const std::optional<QString> problem = headerProblem(it.key(), value, earlier))
                            sink.error(keyPath(keyPath(path, headersKey), it.key()), *problem);
                        fetch.headers.insert(it.key(), value);
                    }
                } else {
                    sink.error(keyPath(path, headersKey), QStringLiteral("must be an object of strings"));
                }
            }
            fetch.field = readString(object, fieldKey, path, sink);
            source.kind = fetch;
            sources.append(source);
            continue;
        }

        const auto command = readString(object, shellKey, path, sink);
        if (!command || isBlankCommand(*command)) {
            sink.error(keyPath(path, shellKey), QStringLiteral("must be a command line"));
            continue;
        }
        // Tab, newline and carriage return stay allowed: scripts are written with them.
        if (holdsJoiner(*command)) {
            sink.error(keyPath(path, shellKey), joinerMessage);
            continue;
        }
        for (const QString& key : {fieldKey, headersKey}) {
            if (object.contains(key))
                sink.warning(keyPath(path, key), QStringLiteral("only applies to a \"url\" source"));
        }
        source.kind = DataSource::Shell{*command};
        sources.append(source);
    }
    return sources;
}

std::optional<CustomScreen::ResolvedKey> CustomScreen::resolveKey(const QString& key,
                                                                  const QSet<QString>& sourceNames)
{
    if (sourceNames.contains(key))
        return ResolvedKey{key, std::nullopt};
    // The longest source name followed by "." wins, so try the dots from the right.
    for (qsizetype dot = key.lastIndexOf(u'.'); dot > 0; dot = key.lastIndexOf(u'.', dot - 1)) {
        const QString name = key.left(dot);
        if (sourceNames.contains(name))
            return ResolvedKey{name, key.mid(dot + 1)};
    }
    return std::nullopt;
}

QSet<QString> CustomScreen::usedKeys() const
{
    QSet<QString> keys;
    for (const auto& [index, condition] : conditions)
        addKeys(keys, condition.templateText);
    for (const Widget& widget : widgets) {
        if (const auto* text = std::get_if<TextWidget>(&widget)) {
            addKeys(keys, text->text);
            if (text->rule && text->rule->by)
                addKeys(keys, *text->rule->by);
        } else if (const auto* bar = std::get_if<BarWidget>(&widget)) {
            addKeys(keys, bar->value);
        } else if (const auto* sparkline = std::get_if<SparklineWidget>(&widget)) {
            addKeys(keys, sparkline->value);
        } else if (const auto* button = std::get_if<ButtonWidget>(&widget)) {
            addKeys(keys, button->label);
            if (const auto* open = button->action.as<MacroAction::OpenURL>())
                addKeys(keys, open->url);
        }
    }
    return keys;
}

QSet<QString> CustomScreen::sparklineKeys() const
{
    QSet<QString> keys;
    for (const Widget& widget : widgets) {
        if (const auto* sparkline = std::get_if<SparklineWidget>(&widget))
            addKeys(keys, sparkline->value);
    }
    return keys;
}

QHash<QString, CustomScreen::SourceUse> CustomScreen::sourceUses() const
{
    QSet<QString> names;
    for (const DataSource& source : sources)
        names.insert(source.key);
    QHash<QString, SourceUse> uses;
    for (const QString& key : usedKeys()) {
        const auto resolved = resolveKey(key, names);
        if (!resolved)
            continue;
        SourceUse& use = uses[resolved->source];
        if (resolved->path)
            use.paths.insert(*resolved->path);
        else
            use.whole = true;
    }
    return uses;
}
