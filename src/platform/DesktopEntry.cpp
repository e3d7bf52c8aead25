#include "platform/DesktopEntry.h"

#include <QHash>
#include <QStringList>

namespace {

// The locale keys a localised value is looked up under, best first:
// lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang.
QStringList localeCandidates(const QString& localeName)
{
    QString name = localeName;
    const qsizetype dot = name.indexOf(u'.');
    QString modifier;
    const qsizetype at = name.indexOf(u'@');
    if (at >= 0) {
        modifier = name.mid(at + 1);
        name = name.left(at);
    }
    if (dot >= 0 && dot < name.size())
        name = name.left(dot);
    const qsizetype underscore = name.indexOf(u'_');
    const QString lang = underscore >= 0 ? name.left(underscore) : name;
    const QString country = underscore >= 0 ? name.mid(underscore + 1) : QString();

    QStringList out;
    if (lang.isEmpty() || lang == u"C" || lang == u"POSIX")
        return out;
    if (!country.isEmpty() && !modifier.isEmpty())
        out << lang + u'_' + country + u'@' + modifier;
    if (!country.isEmpty())
        out << lang + u'_' + country;
    if (!modifier.isEmpty())
        out << lang + u'@' + modifier;
    out << lang;
    return out;
}

bool isTrue(const QString& value) { return value == u"true"; }

} // namespace

QString DesktopEntry::unescapeValue(const QString& raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        const QChar next = raw.at(i + 1);
        switch (next.unicode()) {
        case 's': out += u' '; break;
        case 'n': out += u'\n'; break;
        case 't': out += u'\t'; break;
        case 'r': out += u'\r'; break;
        case '\\': out += u'\\'; break;
        default:
            out += c;
            out += next;
            break;
        }
        ++i;
    }
    return out;
}

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray& contents, const QString& id,
                                                const QString& filePath, const QString& localeName)
{
    QHash<QString, QString> values;
    bool inMainGroup = false;
    bool sawMainGroup = false;
    const QList<QByteArray> lines = contents.split('\n');
    for (const QByteArray& rawLine : lines) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!values.contains(key))
            values.insert(key, line.mid(eq + 1).trimmed());
    }
    if (!sawMainGroup)
        return std::nullopt;
    if (values.value(QStringLiteral("Type")) != u"Application")
        return std::nullopt;
    if (isTrue(values.value(QStringLiteral("Hidden"))))
        return std::nullopt;

    auto localised = [&](const QString& key) {
        for (const QString& loc : localeCandidates(localeName)) {
            const auto it = values.constFind(key + u'[' + loc + u']');
            if (it != values.constEnd() && !it->isEmpty())
                return unescapeValue(*it);
        }
        return unescapeValue(values.value(key));
    };

    DesktopEntry entry;
    entry.id = id;
    entry.filePath = filePath;
    entry.name = localised(QStringLiteral("Name"));
    if (entry.name.isEmpty())
        return std::nullopt;
    entry.icon = localised(QStringLiteral("Icon"));
    entry.exec = unescapeValue(values.value(QStringLiteral("Exec")));
    entry.tryExec = unescapeValue(values.value(QStringLiteral("TryExec")));
    entry.workingDirectory = unescapeValue(values.value(QStringLiteral("Path")));
    entry.startupWMClass = unescapeValue(values.value(QStringLiteral("StartupWMClass")));
    entry.terminal = isTrue(values.value(QStringLiteral("Terminal")));
    entry.noDisplay = isTrue(values.value(QStringLiteral("NoDisplay")));
    return entry;
}

