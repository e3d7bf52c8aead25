#include "macros/MacroAction.h"

#include "device/Placeholders.h"
#include "macros/HIDKeyTables.h"
#include "platform/Graphemes.h"

#include <QHashFunctions>
#include <QUrl>

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

MacroAction MacroAction::resolvedWebURL(const QHash<QString, QString>& values, QString* refusal) const
{
    const OpenURL* open = as<OpenURL>();
    if (!open || extractPlaceholderKeys(open->url).isEmpty())
        return *this;
    const std::optional<QString> filled = fillActionPlaceholders(open->url, values);
    if (!filled)
        return openURL({});
    const auto url = parsedURL(*filled);
    if (!url)
        return openURL({});
    const QString scheme = url->scheme().toLower();
    if ((scheme != u"http" && scheme != u"https") || url->host().isEmpty())
        return openURL({});
    // The user approved the text as written: a value may fill its path, query or fragment, but
    // the address must go where the text without values goes.
    QHash<QString, QString> blanks;
    for (const QString& key : extractPlaceholderKeys(open->url))
        blanks.insert(key, QString());
    const auto approved = parsedURL(fillActionPlaceholders(open->url, blanks).value_or(QString()));
    const bool sameOrigin = approved && approved->scheme().compare(url->scheme(), Qt::CaseInsensitive) == 0
        && approved->userInfo(QUrl::FullyEncoded) == url->userInfo(QUrl::FullyEncoded)
        && approved->host().compare(url->host(), Qt::CaseInsensitive) == 0 && approved->port() == url->port();
    if (!sameOrigin) {
        if (refusal) {
            *refusal = QStringLiteral("its values would make it open ") + *filled
                + QStringLiteral("; a value may change only the path, query or fragment of the address");
        }
        return openURL({});
    }
    return openURL(*filled);
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
