#include "ui/settings/LoginItem.h"

#include "platform/BoundedFile.h"
#include "platform/DesktopEntry.h"
#include "platform/DesktopLaunch.h"
#include "platform/MakeFolder.h"
#include "platform/OneThreadWorker.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The keys of the [Desktop Entry] group that switch an existing entry off.
bool entryIsSwitchedOff(const QByteArray& contents)
{
    bool inMainGroup = false;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return true;
    }
    return false;
}

// The first word of an Exec line names the program by its path, or by a name looked up on the
// search path; either way it is this program when it is the same file.
bool namesProgram(const QString& word, const QString& program)
{
    if (word == program)
        return true;
    const QString found = word.contains(u'/') ? word : QStandardPaths::findExecutable(word);
    if (found.isEmpty())
        return false;
    const QString canonical = QFileInfo(found).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(program).canonicalFilePath();
}

constexpr qint64 maxEntryBytes = 64 * 1024;

}  // namespace

LoginItem::LoginItem(QString entryPath, QString program, QObject* parent)
    : QObject(parent), m_entryPath(std::move(entryPath)),
      m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(program)),
      m_worker(std::make_unique<OneThreadWorker>())
{
    refresh();
}

// The worker ends first: a reading under way finishes, and its answer goes with the object.
LoginItem::~LoginItem() = default;

QString LoginItem::defaultEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tarv.desktop");
}

QString LoginItem::execValue(const QString& program)
{
    // Inside double quotes these four need a backslash; a percent sign is a field code unless
    // doubled; and the value itself escapes backslashes and control characters once more.
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted = u'"' + quoted.replace(u'%', QStringLiteral("%%")) + u'"';
    QString value;
    for (const QChar c : quoted) {
        switch (c.unicode()) {
        case u'\\': value += QStringLiteral("\\\\"); break;
        case u'\n': value += QStringLiteral("\\n"); break;
        case u'\t': value += QStringLiteral("\\t"); break;
        case u'\r': value += QStringLiteral("\\r"); break;
        default: value += c;
        }
    }
    return value;
}

bool LoginItem::startsProgram(const QByteArray& contents, const QString& program)
{
    if (entryIsSwitchedOff(contents))
        return false;
    // A hidden entry, one that is not an application or one without a name starts nothing.
    const std::optional<DesktopEntry> entry =
        DesktopEntry::parse(contents, QStringLiteral("tarv"), QString(), QStringLiteral("C"));
    if (!entry)
        return false;
    const std::variant<QStringList, ExecError> argv = DesktopLaunch::expandExec(*entry);
    const auto* words = std::get_if<QStringList>(&argv);
    return words && !words->isEmpty() && namesProgram(words->first(), program);
}

void LoginItem::refresh()
{
    ++m_pending;
    emit busyChanged();
    m_worker->run(
        this, [path = m_entryPath, program = m_program] { return readEntry(path, program); },
        [this](bool enabled) {
            apply(enabled);
            finishWork(false);
        });
}

void LoginItem::setEnabled(bool enabled)
{
    ++m_pending;
    ++m_changes;
    emit busyChanged();
    m_worker->run(
        this,
        [path = m_entryPath, program = m_program, enabled] {
            const std::optional<QString> failure = enabled ? writeEntry(path, program) : removeEntry(path);
            return std::pair(failure, readEntry(path, program));
        },
        [this](const std::pair<std::optional<QString>, bool>& outcome) {
            setFailure(outcome.first);
            apply(outcome.second);
            finishWork(true);
        });
}

void LoginItem::apply(bool enabled)
{
    if (enabled == m_isEnabled)
        return;
    m_isEnabled = enabled;
    emit isEnabledChanged(enabled);
}

void LoginItem::finishWork(bool change)
{
    --m_pending;
    if (change)
        --m_changes;
    emit busyChanged();
}

bool LoginItem::readEntry(const QString& entryPath, const QString& program)
{
    const std::optional<QByteArray> contents = readRegularFile(entryPath, maxEntryBytes);
    return contents && startsProgram(*contents, program);
}

std::optional<QString> LoginItem::writeEntry(const QString& entryPath, const QString& program)
{
    const QString folder = QFileInfo(entryPath).path();
    if (const std::optional<QString> reason = makeFolder(folder))
        return QStringLiteral("Could not make the folder %1: %2").arg(folder, *reason);
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Could not write %1: %2").arg(entryPath, file.errorString());
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Tarv\n"
                                         "Comment=The desktop companion of the Tarv touch screen\n"
                                         "Exec=%1\n"
                                         "Icon=tarv\n"
                                         "Terminal=false\n")
                              .arg(execValue(program));
    file.write(entry.toUtf8());
    if (!file.commit())
        return QStringLiteral("Could not write %1: %2").arg(entryPath, file.errorString());
    return std::nullopt;
}

std::optional<QString> LoginItem::removeEntry(const QString& entryPath)
{
    QFile file(entryPath);
    if (!QFileInfo(entryPath).isSymLink() && !file.exists())
        return std::nullopt;
    if (!file.remove())
        return QStringLiteral("Could not remove %1: %2").arg(entryPath, file.errorString());
    return std::nullopt;
}

void LoginItem::setFailure(const std::optional<QString>& failure)
{
    if (failure == m_failure)
        return;
    m_failure = failure;
    emit failureChanged();
}
