// What a screen file does on the desktop, as its approval shows it, and the fingerprint its
// approval is stored under. The identity texts and their order feed stored approvals: changing
// either makes every user approve their screens again.

#include "screens/format/CustomScreen.h"
#include "screens/runtime/CanonicalJson.h"
#include "screens/runtime/ScreenDataFetcher.h"

#include "device/Placeholders.h"
#include "macros/MacroJson.h"
#include "platform/VisibleText.h"
#include "platform/WebAddress.h"

#include <QCryptographicHash>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace {

const QChar nul(u'\0');

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

// The address as written, its host in ASCII (punycode) where it holds other characters: how an
// address with placeholders shows, since its host is looked up in ASCII once filled, and how
// earlier versions showed every address. A label holding a placeholder or with no ASCII form
// stays as written.
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

bool isTemplate(const MacroAction::OpenURL& open)
{
    return !extractPlaceholderKeys(open.url).isEmpty();
}

// An address with placeholders shows as written, its host in ASCII: it is read once its values
// fill it. Any other shows as it was read, and opens.
QString shownOpening(const MacroAction::OpenURL& open)
{
    if (isTemplate(open))
        return approvalText(withAsciiHost(open.url));
    if (open.address.isValid())
        return shownAddress(open.address);
    const auto read = readWebAddress(open.url, AddressUse::opened);
    if (const auto* address = std::get_if<QUrl>(&read))
        return shownAddress(*address);
    // Refused when its file was read, so never listed for approval.
    return approvalText(open.url);
}

// Whether what earlier versions showed of the action hid some of what it does: a right-hand
// modifier; an address shown as written that opens as another text; a character that passed
// for another. Other actions show what they showed, in other words at most.
bool shownOtherwiseBefore(const MacroAction& action)
{
    if (const auto* chord = action.as<KeyChord>())
        return (chord->modifiers.rawValue & 0xF0) != 0;
    if (const auto* app = action.as<AppTarget>())
        return showsLookAlikes(app->bundleID) || showsLookAlikes(app->name);
    if (const auto* shortcut = action.as<MacroAction::RunShortcut>())
        return showsLookAlikes(shortcut->name);
    if (const auto* type = action.as<MacroAction::TypeText>())
        return showsLookAlikes(type->text);
    if (const auto* open = action.as<MacroAction::OpenURL>()) {
        const QString before = withAsciiHost(open->url);
        if (isTemplate(*open))
            return showsLookAlikes(before);
        const auto read = open->address.isValid() ? std::variant<QUrl, QString>(open->address)
                                                  : readWebAddress(open->url, AddressUse::opened);
        const auto* address = std::get_if<QUrl>(&read);
        return !address || address->toString(QUrl::FullyEncoded) != before;
    }
    return false;
}

// The identity approvals given before look-alikes were written out were stored under, and for
// a permission whose text now shows what it hid, that identity with the shown text: those
// approvals are asked for again, every other one holds.
QString withShown(const QString& identity, bool revealed, const QString& shown)
{
    return revealed ? identity + nul + QStringLiteral("shown") + nul + shown : identity;
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
        const QString shown = approvalText(shell->command);
        return Permission{Permission::Kind::shell, QStringLiteral("Runs ") + everyText(source.interval), shown,
                          withShown(QStringLiteral("shell") + nul + shell->command, showsLookAlikes(shell->command),
                                    shown),
                          {}};
    }
    if (const auto* url = std::get_if<DataSource::Url>(&source.kind)) {
        const QString address = url->url.toString(QUrl::FullyEncoded);
        // QMap keeps its keys in ascending order.
        QStringList pairs;
        QStringList shownValues;
        bool revealed = false;
        QList<std::pair<QString, QString>> headers;
        for (auto it = url->headers.cbegin(); it != url->headers.cend(); ++it) {
            pairs.append(it.key() + u'=' + it.value());
            headers.append({approvalText(it.key()), approvalText(it.value())});
            shownValues.append(headers.last().second);
            revealed = revealed || showsLookAlikes(it.value());
        }
        const QString identity = QStringLiteral("url") + nul + address + nul + pairs.join(nul);
        return Permission{Permission::Kind::url, QStringLiteral("Fetches ") + everyText(source.interval),
                          shownAddress(url->url), withShown(identity, revealed, shownValues.join(nul)), headers};
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
        // The entry that starts first: a name may read as any application's.
        const AppTarget& app = *action.as<AppTarget>();
        QString detail = QStringLiteral("Opens the app ") + approvalText(app.bundleID);
        if (!app.name.isEmpty())
            detail += QStringLiteral(" (") + approvalQuote(app.name) + u')';
        return detail;
    }
    case MacroAction::Kind::openURL:
        return QStringLiteral("Opens ") + shownOpening(*action.as<MacroAction::OpenURL>());
    case MacroAction::Kind::runShortcut:
        return QStringLiteral("Runs the shortcut ") + approvalQuote(action.as<MacroAction::RunShortcut>()->name);
    case MacroAction::Kind::typeText:
        return QStringLiteral("Types ") + approvalQuote(action.as<MacroAction::TypeText>()->text);
    case MacroAction::Kind::showScreen: {
        const QString& screen = action.as<MacroAction::ShowScreen>()->screen;
        return screen.isEmpty() ? actionSummary(action) : QStringLiteral("Show ") + approvalText(screen);
    }
    case MacroAction::Kind::screenshot:
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
        const QString detail = actionDetail(button->action);
        result.append(Permission{Permission::Kind::action, QStringLiteral("Button ") + quotedTitle(buttonName(*button)),
                                 detail,
                                 withShown(QStringLiteral("action") + nul + QString::fromUtf8(json),
                                           shownOtherwiseBefore(button->action), detail),
                                 {}});
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
