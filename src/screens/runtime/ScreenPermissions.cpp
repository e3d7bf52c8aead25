// What a screen file does on the desktop, and the fingerprint its approval is stored under.
// The identity texts and their order feed stored approvals: changing either makes every
// user approve their screens again.

#include "screens/format/CustomScreen.h"
#include "screens/runtime/CanonicalJson.h"
#include "screens/runtime/ScreenDataFetcher.h"

#include "macros/MacroJson.h"

#include <QCryptographicHash>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace {

const QChar nul(u'\0');
const QString openQuote = QStringLiteral("\u201C");
const QString closeQuote = QStringLiteral("\u201D");

QString everyText(double interval)
{
    return QStringLiteral("every ") + ScreenDataFetcher::formatSourceNumber(interval) + QStringLiteral(" s");
}

QString buttonName(const CustomScreen::ButtonWidget& button)
{
    if (!button.label.isEmpty())
        return button.label;
    if (!button.icon)
        return QStringLiteral("button");
    return button.icon->rawValue();
}

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// The address as written, its host in ASCII (punycode) where it holds other characters, as a
// browser shows a host of mixed scripts: a host that looks like another reads as the host that
// is looked up. A label holding a placeholder or with no ASCII form stays as written.
QString withAsciiHost(const QString& address)
{
    const qsizetype colon = address.indexOf(u':');
    if (colon <= 0 || !QStringView(address).sliced(colon + 1).startsWith(u"//"))
        return address;
    const qsizetype authorityStart = colon + 3;
    qsizetype authorityEnd = authorityStart;
    while (authorityEnd < address.size() && !QStringView(u"/?#").contains(address[authorityEnd]))
        ++authorityEnd;
    const QStringView authority = QStringView(address).sliced(authorityStart, authorityEnd - authorityStart);
    const qsizetype hostStart = authority.lastIndexOf(u'@') + 1;
    qsizetype hostEnd = authority.lastIndexOf(u':');
    if (hostEnd < hostStart)
        hostEnd = authority.size();
    const QStringView host = authority.sliced(hostStart, hostEnd - hostStart);
    if (isAscii(host))
        return address;
    QStringList labels;
    for (const QStringView label : host.split(u'.')) {
        const QByteArray ace = isAscii(label) ? QByteArray() : QUrl::toAce(label.toString());
        labels.append(ace.isEmpty() ? label.toString() : QString::fromLatin1(ace));
    }
    return address.first(authorityStart + hostStart) + labels.join(u'.') + address.sliced(authorityStart + hostEnd);
}

}  // namespace

QString CustomScreen::Permission::kindRawValue(Kind kind)
{
    switch (kind) {
    case Kind::shell: return QStringLiteral("shell");
    case Kind::url: return QStringLiteral("url");
    case Kind::action: return QStringLiteral("action");
    }
    return {};
}

QString CustomScreen::Permission::id() const
{
    return kindRawValue(kind) + u' ' + title + u' ' + identity;
}

std::optional<CustomScreen::Permission> CustomScreen::sourcePermission(const DataSource& source) const
{
    if (const auto* shell = std::get_if<DataSource::Shell>(&source.kind)) {
        return Permission{Permission::Kind::shell, QStringLiteral("Runs ") + everyText(source.interval),
                          shell->command, QStringLiteral("shell") + nul + shell->command, {}};
    }
    if (const auto* url = std::get_if<DataSource::Url>(&source.kind)) {
        const QString address = url->url.toString(QUrl::FullyEncoded);
        // QMap keeps its keys in ascending order.
        QStringList pairs;
        QList<std::pair<QString, QString>> headers;
        for (auto it = url->headers.cbegin(); it != url->headers.cend(); ++it) {
            pairs.append(it.key() + u'=' + it.value());
            headers.append({it.key(), it.value()});
        }
        const QString identity = QStringLiteral("url") + nul + address + nul + pairs.join(nul);
        return Permission{Permission::Kind::url, QStringLiteral("Fetches ") + everyText(source.interval), address,
                          identity, headers};
    }
    return std::nullopt;
}

QString CustomScreen::actionDetail(const MacroAction& action)
{
    switch (action.kind()) {
    case MacroAction::Kind::keystroke:
        return QStringLiteral("Presses ") + actionSummary(action);
    case MacroAction::Kind::media:
        return QStringLiteral("Media key: ") + actionSummary(action);
    case MacroAction::Kind::openApp: {
        const AppTarget& app = *action.as<AppTarget>();
        if (app.name.isEmpty())
            return QStringLiteral("Opens ") + app.bundleID;
        return QStringLiteral("Opens ") + app.name + QStringLiteral(" (") + app.bundleID + u')';
    }
    case MacroAction::Kind::openURL:
        return QStringLiteral("Opens ") + withAsciiHost(action.as<MacroAction::OpenURL>()->url);
    case MacroAction::Kind::runShortcut:
        return QStringLiteral("Runs the shortcut ") + openQuote + action.as<MacroAction::RunShortcut>()->name +
               closeQuote;
    case MacroAction::Kind::typeText:
        return QStringLiteral("Types ") + openQuote + action.as<MacroAction::TypeText>()->text + closeQuote;
    case MacroAction::Kind::screenshot:
    case MacroAction::Kind::showScreen:
    case MacroAction::Kind::unassigned:
        return actionSummary(action);
    }
    return actionSummary(action);
}

QList<CustomScreen::Permission> CustomScreen::permissions() const
{
    QList<Permission> result;
    const QHash<QString, SourceUse> uses = sourceUses();
    for (const DataSource& source : sources) {
        if (!uses.contains(source.key))
            continue;
        if (std::optional<Permission> permission = sourcePermission(source))
            result.append(*std::move(permission));
    }
    for (const Widget& widget : widgets) {
        const auto* button = std::get_if<ButtonWidget>(&widget);
        if (!button || button->action.kind() == MacroAction::Kind::showScreen)
            continue;
        const QByteArray json = CanonicalJson::write(encodeMacroAction(button->action));
        result.append(Permission{Permission::Kind::action,
                                 QStringLiteral("Button ") + openQuote + buttonName(*button) + closeQuote,
                                 actionDetail(button->action),
                                 QStringLiteral("action") + nul + QString::fromUtf8(json), {}});
    }
    return result;
}

std::optional<QString> CustomScreen::fingerprint() const
{
    if (keptFingerprint.value)
        return *keptFingerprint.value;
    // Identities count once only when their text is exactly the same: a command in another
    // Unicode composition is other bytes for the shell, so it is another permission. They sort
    // by the scalars of their composed form, then of their own text, which keeps the order
    // (and so the approvals stored) of every set of identities that never differed only in
    // composition.
    std::vector<std::pair<QList<uint>, QString>> identities;
    for (const Permission& permission : permissions()) {
        const bool seen = std::any_of(identities.cbegin(), identities.cend(),
                                      [&](const auto& entry) { return entry.second == permission.identity; });
        if (!seen)
            identities.emplace_back(permission.identity.normalized(QString::NormalizationForm_C).toUcs4(),
                                    permission.identity);
    }
    if (identities.empty())
        return std::nullopt;
    std::sort(identities.begin(), identities.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first < b.first;
        return a.second.toUcs4() < b.second.toUcs4();
    });
    QStringList texts;
    for (const auto& entry : identities)
        texts.append(entry.second);
    const QByteArray digest =
        QCryptographicHash::hash(texts.join(QChar(u'\u0001')).toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex());
}

void CustomScreen::keepFingerprint()
{
    keptFingerprint.value.reset();
    keptFingerprint.value = fingerprint();
}
