#include "macros/MacroAction.h"

#include "device/Placeholders.h"
#include "macros/HIDKeyTables.h"
#include "platform/Graphemes.h"
#include "platform/WebAddress.h"

#include <QHashFunctions>
#include <QUrl>

#include <algorithm>

namespace {

constexpr qsizetype summaryTextLength = 24;

template <class... Ts> struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts> Overloaded(Ts...) -> Overloaded<Ts...>;

// The scheme exactly as written: QUrl lower-cases it, but "file" must match case-sensitively.
QStringView writtenScheme(QStringView text)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon <= 0)
        return {};
    const QStringView scheme = text.first(colon);
    if (!scheme.front().isLetter() || scheme.front().unicode() > 127)
        return {};
    for (QChar c : scheme) {
        const bool allowed = (c.unicode() < 128 && c.isLetterOrNumber()) || c == u'+' || c == u'-' || c == u'.';
        if (!allowed)
            return {};
    }
    return scheme;
}

std::optional<QUrl> parsedURL(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

bool isOpenableURL(const QString& text)
{
    const auto url = parsedURL(text);
    if (!url)
        return false;
    if (!url->scheme().isEmpty() && !url->host().isEmpty())
        return true;
    return writtenScheme(text) == u"file";
}

// Where one value landed in a filled address: [start, end).
struct FilledValue {
    qsizetype start;
    qsizetype end;
};

bool isInside(qsizetype index, const QList<FilledValue>& filledValues)
{
    return std::any_of(filledValues.cbegin(), filledValues.cend(),
                       [index](const FilledValue& v) { return index >= v.start && index < v.end; });
}

// The first character of `filled` from `from` on that the approved text wrote itself and that
// is one of `stops`; -1 when there is none.
qsizetype literalIndexOf(const QString& filled, const QList<FilledValue>& filledValues, QStringView stops,
                         qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        if (stops.contains(filled[i]) && !isInside(i, filledValues))
            return i;
    }
    return -1;
}

qsizetype lastLiteralIndexOf(const QString& filled, const QList<FilledValue>& filledValues, QChar stop,
                             qsizetype from, qsizetype to)
{
    for (qsizetype i = to - 1; i >= from; --i) {
        if (filled[i] == stop && !isInside(i, filledValues))
            return i;
    }
    return -1;
}

// A value in a host or user name: nothing that ends that part or starts another, written
// plainly or percent-escaped (an escaped "%" could be decoded twice).
bool staysInHost(QStringView value, bool colonAllowed)
{
    static const QString breaking = QStringLiteral("@/\\?#[]");
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c.isSpace() || c.category() == QChar::Other_Control || breaking.contains(c)
            || (c == u':' && !colonAllowed))
            return false;
        if (c == u'%') {
            // An escape the text after the value completes would go unchecked.
            if (i + 2 >= value.size())
                return false;
            bool ok = false;
            const char16_t decoded = char16_t(value.mid(i + 1, 2).toUShort(&ok, 16));
            if (!ok || decoded == u'%' || decoded == u':' || breaking.contains(QChar(decoded)))
                return false;
        }
    }
    return true;
}

bool allDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Whether each value of an address whose scheme the approved text spells out stayed in the
// part where its placeholder stands: the scheme and user info the text writes, and its host
// unless a placeholder stands inside the host. A placeholder right after a written host is
// the port when the text goes on with the path, and the start of the path, query or fragment
// when the text ends there. The parser's own reading of the address must agree.
bool valuesStayInTheirParts(const QString& filled, const QList<FilledValue>& filledValues, const QUrl& url)
{
    const qsizetype colon = filled.indexOf(u':');
    const qsizetype authorityStart = colon + 3;
    // Without a "//" of its own the text leaves the host to its values.
    if (QStringView(filled).mid(colon + 1, 2) != u"//" || isInside(colon + 1, filledValues)
        || isInside(colon + 2, filledValues))
        return true;
    qsizetype authorityEnd = literalIndexOf(filled, filledValues, u"/?#", authorityStart, filled.size());
    if (authorityEnd < 0)
        authorityEnd = filled.size();
    const qsizetype at = lastLiteralIndexOf(filled, filledValues, u'@', authorityStart, authorityEnd);
    const qsizetype hostStart = at < 0 ? authorityStart : at + 1;
    qsizetype hostEnd = authorityEnd;
    if (hostStart < filled.size() && filled[hostStart] == u'[' && !isInside(hostStart, filledValues)) {
        const qsizetype close = literalIndexOf(filled, filledValues, u"]", hostStart, authorityEnd);
        if (close < 0)
            return false;
        hostEnd = close + 1;
    }
    const qsizetype portColon = lastLiteralIndexOf(filled, filledValues, u':',
                                                   hostEnd == authorityEnd ? hostStart : hostEnd, authorityEnd);
    if (portColon >= 0)
        hostEnd = std::min(hostEnd, portColon);

    for (const FilledValue& v : filledValues) {
        const QStringView value = QStringView(filled).mid(v.start, v.end - v.start);
        if (v.start >= authorityEnd || value.isEmpty())
            continue;
        if (v.start < hostStart) {
            if (!staysInHost(value, true))
                return false;
            continue;
        }
        if (portColon >= 0 && v.start > portColon) {
            if (!allDigits(value))
                return false;
            continue;
        }
        const QChar before = v.start > hostStart ? filled[v.start - 1] : QChar();
        const bool afterWrittenHost = v.end == authorityEnd && portColon < 0 && v.start > hostStart
            && !isInside(v.start - 1, filledValues)
            && (before == u']' || (before.unicode() < 128 && before.isLetterOrNumber()));
        if (!afterWrittenHost) {
            if (!staysInHost(value, false))
                return false;
            continue;
        }
        if (v.end < filled.size()) {
            if (!value.startsWith(u':') || value.size() < 2 || !allDigits(value.sliced(1)))
                return false;
        } else {
            if (!value.startsWith(u'/') && !value.startsWith(u'?') && !value.startsWith(u'#'))
                return false;
            authorityEnd = v.start;
        }
    }

    // The parser must read the same user info, host and port as the parts above.
    const QUrl expected(filled.first(colon) + QStringLiteral("://")
                            + filled.mid(authorityStart, authorityEnd - authorityStart) + u'/',
                        QUrl::TolerantMode);
    return expected.isValid() && expected.userInfo(QUrl::FullyEncoded) == url.userInfo(QUrl::FullyEncoded)
        && expected.host(QUrl::FullyEncoded) == url.host(QUrl::FullyEncoded) && expected.port() == url.port();
}

// A mail program fills in its new message from these fields of an address; others, such as
// "attach", which some take as a file of the user's to send along, are left out of an address
// that a value chose. Each kept field is written again, escaped whole, so no separator another
// program reads (";") comes through inside it. `leftOut` gets each name dropped, and the
// fragment, which no mail program reads.
QString withMailFieldsOnly(const QString& address, QStringList& leftOut)
{
    static const QStringList fields{QStringLiteral("to"), QStringLiteral("cc"), QStringLiteral("bcc"),
                                    QStringLiteral("subject"), QStringLiteral("body")};
    const qsizetype hash = address.indexOf(u'#');
    const qsizetype end = hash < 0 ? address.size() : hash;
    const qsizetype question = QStringView(address).first(end).indexOf(u'?');
    QStringList kept;
    if (question >= 0) {
        for (const QStringView item : QStringView(address).sliced(question + 1, end - question - 1).split(u'&')) {
            if (item.isEmpty())
                continue;
            const qsizetype equals = item.indexOf(u'=');
            const QString name = QUrl::fromPercentEncoding(item.first(equals < 0 ? item.size() : equals).toUtf8());
            const QString field = name.toLower();
            if (!fields.contains(field)) {
                leftOut.append(QChar(0x201C) + name + QChar(0x201D));
                continue;
            }
            const QString value = equals < 0 ? QString() : QUrl::fromPercentEncoding(item.sliced(equals + 1).toUtf8());
            kept.append(field + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(value, "@")));
        }
    }
    if (hash >= 0)
        leftOut.append(QChar(0x201C) + address.sliced(hash) + QChar(0x201D));
    const QString recipients = address.first(question < 0 ? end : question);
    return kept.isEmpty() ? recipients : recipients + u'?' + kept.join(u'&');
}

} // namespace

QString MacroAction::kindRawValue(Kind kind)
{
    switch (kind) {
    case Kind::unassigned: return QStringLiteral("unassigned");
    case Kind::keystroke: return QStringLiteral("keystroke");
    case Kind::media: return QStringLiteral("media");
    case Kind::openApp: return QStringLiteral("openApp");
    case Kind::openURL: return QStringLiteral("openURL");
    case Kind::runShortcut: return QStringLiteral("runShortcut");
    case Kind::typeText: return QStringLiteral("typeText");
    case Kind::screenshot: return QStringLiteral("screenshot");
    case Kind::showScreen: return QStringLiteral("showScreen");
    }
    return {};
}

std::optional<MacroAction::Kind> MacroAction::kindFromRawValue(QStringView text)
{
    for (Kind kind : allKinds) {
        if (kindRawValue(kind) == text)
            return kind;
    }
    return std::nullopt;
}

bool MacroAction::isConfigured() const
{
    return std::visit(Overloaded{
                          [](const AppTarget& app) { return !app.bundleID.isEmpty(); },
                          [](const OpenURL& open) { return isOpenableURL(open.url); },
                          [](const RunShortcut& shortcut) { return !shortcut.name.isEmpty(); },
                          [](const TypeText& type) { return !type.text.isEmpty(); },
                          [](const ShowScreen& show) { return !show.screen.isEmpty(); },
                          [](const auto&) { return true; },
                      },
                      value);
}

QString MacroAction::setupProblem() const
{
    return std::visit(
        Overloaded{
            [](const AppTarget& app) {
                return app.bundleID.isEmpty() ? QStringLiteral("No app is chosen for this key to open.") : QString();
            },
            [](const OpenURL& open) {
                if (isOpenableURL(open.url))
                    return QString();
                if (open.url.trimmed().isEmpty())
                    return QStringLiteral("No address is entered for this key to open.");
                const std::optional<QUrl> url = parsedURL(open.url);
                if (!url)
                    return QStringLiteral("The address is not a valid address.");
                if (writtenScheme(open.url).isEmpty())
                    return QStringLiteral("The address has no scheme: start it with https:// or another scheme.");
                return QStringLiteral("The address has no host after its scheme, as in https://example.com.");
            },
            [](const RunShortcut& shortcut) {
                return shortcut.name.isEmpty() ? QStringLiteral("No shortcut is chosen for this key to run.") : QString();
            },
            [](const TypeText& type) {
                return type.text.isEmpty() ? QStringLiteral("No text is entered for this key to type.") : QString();
            },
            [](const ShowScreen& show) {
                return show.screen.isEmpty() ? QStringLiteral("No screen is chosen for this key to show.") : QString();
            },
            [](const auto&) { return QString(); },
        },
        value);
}

MacroAction MacroAction::resolvedWebURL(const QHash<QString, QString>& values, QString* refusal, QString* note) const
{
    const OpenURL* open = as<OpenURL>();
    if (!open)
        return *this;
    // The filled address, and where each value landed in it.
    QString filled;
    QList<FilledValue> filledValues;
    qsizetype copiedUpTo = 0;
    bool wholeValue = false;
    auto matches = placeholderPattern().globalMatch(open->url);
    if (!matches.hasNext())
        return *this;
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        // White space around the one placeholder is nothing: values are trimmed as well.
        wholeValue = QStringView(open->url).first(match.capturedStart(0)).trimmed().isEmpty()
            && QStringView(open->url).sliced(match.capturedEnd(0)).trimmed().isEmpty();
        const auto value = values.constFind(match.captured(1));
        if (value == values.cend())
            return openURL({});
        filled += QStringView(open->url).mid(copiedUpTo, match.capturedStart(0) - copiedUpTo);
        const QString text = value->trimmed();
        filledValues.append({filled.size(), filled.size() + text.size()});
        filled += text;
        copiedUpTo = match.capturedEnd(0);
    }
    filled += QStringView(open->url).mid(copiedUpTo);

    const auto refuse = [&](const QString& why) {
        if (refusal)
            *refusal = QStringLiteral("its values would make it open ") + filled + QStringLiteral("; ") + why;
        return openURL({});
    };
    const auto url = parsedURL(filled);
    const QString scheme = url ? url->scheme().toLower() : QString();
    const bool web = url && (scheme == u"http" || scheme == u"https") && !url->host().isEmpty();

    // What opens is the filled text as a button's address is read, by the reader that judges
    // addresses written in a file.
    const auto opened = [&](const QString& text) {
        auto address = readWebAddress(text, AddressUse::opened);
        if (const auto* problem = std::get_if<QString>(&address))
            return refuse(*problem);
        return openURL(text, std::get<QUrl>(std::move(address)));
    };

    // An address that is one value and nothing else: the user approved that the value picks
    // the address, but only one a browser or mail program opens.
    if (wholeValue) {
        if (web)
            return opened(filled);
        if (url && scheme == u"mailto" && !url->path().isEmpty()) {
            QStringList leftOut;
            QString kept = withMailFieldsOnly(filled, leftOut);
            if (!leftOut.isEmpty() && note)
                *note = QStringLiteral("its values would make it open ") + filled +
                        QStringLiteral("; a mail address chosen by a value keeps only to, cc, bcc, subject and body, "
                                       "and leaves out ") +
                        leftOut.join(QStringLiteral(", "));
            return opened(kept);
        }
        return refuse(QStringLiteral("an address made wholly of a value opens only http, https and mailto"));
    }
    // Any other text names its scheme before its first value; text around a value in or
    // before the scheme would only dress up an address the value chooses.
    if (writtenScheme(QStringView(filled).first(filledValues.first().start)).isEmpty())
        return refuse(QStringLiteral("only an address made wholly of a value takes its scheme from a value"));
    if (!web)
        return openURL({});
    if (!valuesStayInTheirParts(filled, filledValues, *url))
        return refuse(QStringLiteral("a value may fill only the part of the address where its placeholder stands"));
    return opened(filled);
}

QString actionSummary(const MacroAction& action)
{
    return std::visit(
        Overloaded{
            [](const MacroAction::Unassigned&) { return QStringLiteral("Unassigned"); },
            [](const KeyChord& chord) { return modifierGlyphs(chord.modifiers) + hidKeyLabel(chord.usage); },
            [](MediaKey key) { return mediaKeyTitle(key); },
            [](const AppTarget& app) { return app.name.isEmpty() ? QStringLiteral("No app chosen") : app.name; },
            [](const MacroAction::OpenURL& open) { return open.url; },
            [](const MacroAction::RunShortcut& shortcut) {
                return shortcut.name.isEmpty() ? QStringLiteral("No shortcut chosen") : shortcut.name;
            },
            [](const MacroAction::TypeText& type) {
                if (type.text.isEmpty())
                    return QStringLiteral("No text");
                QString summary = QChar(0x201C) + firstGraphemes(type.text, summaryTextLength);
                if (graphemeCount(type.text) > summaryTextLength)
                    summary += QChar(0x2026);
                return summary + QChar(0x201D);
            },
            [](const ScreenshotOptions& options) { return QStringLiteral("Screenshot \u00B7 ") + options.summary(); },
            [](const MacroAction::ShowScreen& show) {
                return show.screen.isEmpty() ? QStringLiteral("No screen chosen") : QStringLiteral("Show ") + show.screen;
            },
        },
        action.value);
}

std::size_t qHash(const MacroAction& action, std::size_t seed)
{
    const std::size_t kindSeed = ::qHash(static_cast<int>(action.kind()), seed);
    return std::visit(Overloaded{
                          [&](const MacroAction::Unassigned&) { return kindSeed; },
                          [&](const KeyChord& chord) {
                              return qHashMulti(kindSeed, chord.usage, chord.modifiers.rawValue);
                          },
                          [&](MediaKey key) { return qHashMulti(kindSeed, mediaKeyUsage(key)); },
                          [&](const AppTarget& app) { return qHashMulti(kindSeed, app.bundleID, app.name); },
                          [&](const MacroAction::OpenURL& open) { return qHashMulti(kindSeed, open.url); },
                          [&](const MacroAction::RunShortcut& shortcut) { return qHashMulti(kindSeed, shortcut.name); },
                          [&](const MacroAction::TypeText& type) { return qHashMulti(kindSeed, type.text); },
                          [&](const ScreenshotOptions& options) {
                              return qHashMulti(kindSeed, static_cast<int>(options.mode),
                                                static_cast<int>(options.destination));
                          },
                          [&](const MacroAction::ShowScreen& show) { return qHashMulti(kindSeed, show.screen); },
                      },
                      action.value);
}
