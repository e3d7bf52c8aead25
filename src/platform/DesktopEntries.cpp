#include "platform/DesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

namespace {

constexpr qint64 maxEntrySize = 1024 * 1024;

QString envPath(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

std::optional<DesktopEntry> readEntry(const QString& path, const QString& id)
{
    QFile file(path);
    if (file.size() > maxEntrySize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return DesktopEntry::parse(file.readAll(), id, path, DesktopEntries::messagesLocale());
}

// Resolves "a-b-c" as a-b-c.desktop, a/b-c.desktop, a-b/c.desktop, a/b/c.desktop …
QString locate(const QString& dir, const QString& rest)
{
    const QString direct = dir + u'/' + rest + QStringLiteral(".desktop");
    if (QFileInfo(direct).isFile())
        return direct;
    for (qsizetype i = rest.indexOf(u'-'); i > 0; i = rest.indexOf(u'-', i + 1)) {
        const QString sub = dir + u'/' + rest.left(i);
        if (QFileInfo(sub).isDir()) {
            const QString found = locate(sub, rest.mid(i + 1));
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

QStringList DesktopEntries::applicationDirs()
{
    QStringList out;
    QString dataHome = envPath("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    out << dataHome + QStringLiteral("/applications");

    QString dataDirs = envPath("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            out << QDir::cleanPath(dir) + QStringLiteral("/applications");
    }
    out.removeDuplicates();
    return out;
}

QString DesktopEntries::messagesLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return QString::fromLatin1(value);
    }
    return {};
}

bool DesktopEntries::isValidId(const QString& id)
{
    if (id.isEmpty() || id.contains(u'/') || id.contains(u'\\') || id.contains(QChar(0)))
        return false;
    // Every piece between dashes may become a folder name: none may be "." or "..".
    const QStringList pieces = id.split(u'-');
    for (const QString& piece : pieces) {
        if (piece == u"." || piece == u"..")
            return false;
    }
    return id != u"." && id != u"..";
}

bool DesktopEntries::tryExecSucceeds(const DesktopEntry& entry)
{
    if (entry.tryExec.isEmpty())
        return true;
    if (QDir::isAbsolutePath(entry.tryExec)) {
        const QFileInfo info(entry.tryExec);
        return info.isFile() && info.isExecutable();
    }
    return !QStandardPaths::findExecutable(entry.tryExec).isEmpty();
}

std::optional<DesktopEntry> DesktopEntries::find(const QString& id)
{
    return find(id, applicationDirs());
}

std::optional<DesktopEntry> DesktopEntries::find(const QString& id, const QStringList& dirs)
{
    if (!isValidId(id))
        return std::nullopt;
    for (const QString& dir : dirs) {
        const QString path = locate(dir, id);
        if (path.isEmpty())
            continue;
        // The first file with this id decides, even when it hides the application.
        auto entry = readEntry(path, id);
        if (entry && !tryExecSucceeds(*entry))
            return std::nullopt;
        return entry;
    }
    return std::nullopt;
}

QList<DesktopEntry> DesktopEntries::all(const QStringList& dirs)
{
    QList<DesktopEntry> out;
    QSet<QString> seen;
    for (const QString& dir : dirs) {
        QStringList files;
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext())
            files << it.next();
        files.sort();
        for (const QString& path : files) {
            QString relative = QDir(dir).relativeFilePath(path);
            relative.chop(int(sizeof(".desktop") - 1));
            const QString id = relative.replace(u'/', u'-');
            if (seen.contains(id))
                continue;
            seen.insert(id);
            auto entry = readEntry(path, id);
            if (entry && tryExecSucceeds(*entry))
                out << *entry;
        }
    }
    return out;
}

const QList<DesktopEntry>& DesktopEntryIndex::entries()
{
    const QStringList dirs = DesktopEntries::applicationDirs();
    QStringList signature;
    for (const QString& dir : dirs) {
        signature << dir;
        if (!QFileInfo(dir).isDir())
            continue;
        QDirIterator it(dir, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        signature << QString::number(QFileInfo(dir).lastModified().toMSecsSinceEpoch());
        while (it.hasNext()) {
            const QString sub = it.next();
            signature << sub << QString::number(QFileInfo(sub).lastModified().toMSecsSinceEpoch());
        }
    }
    if (!m_loaded || signature != m_signature) {
        m_entries = DesktopEntries::all(dirs);
        m_signature = signature;
        m_loaded = true;
    }
    return m_entries;
}

