#include "ui/settings/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
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

}  // namespace

LoginItem::LoginItem(QString entryPath, QString program, QObject* parent)
    : QObject(parent), m_entryPath(std::move(entryPath)),
      m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(program))
{
    refresh();
}

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

void LoginItem::refresh()
{
    bool enabled = false;
    QFile file(m_entryPath);
    if (file.open(QIODevice::ReadOnly))
        enabled = !entryIsSwitchedOff(file.read(64 * 1024));
    if (enabled == m_isEnabled)
        return;
    m_isEnabled = enabled;
    emit isEnabledChanged(enabled);
}

void LoginItem::setEnabled(bool enabled)
{
    setFailure(enabled ? writeEntry() : removeEntry());
    refresh();
}

std::optional<QString> LoginItem::writeEntry() const
{
    const QString folder = QFileInfo(m_entryPath).path();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Could not make the folder %1.").arg(folder);
    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Could not write %1: %2").arg(m_entryPath, file.errorString());
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Tarv\n"
                                         "Comment=The desktop companion of the Tarv touch screen\n"
                                         "Exec=%1\n"
                                         "Icon=tarv\n"
                                         "Terminal=false\n")
                              .arg(execValue(m_program));
    file.write(entry.toUtf8());
    if (!file.commit())
        return QStringLiteral("Could not write %1: %2").arg(m_entryPath, file.errorString());
    return std::nullopt;
}

std::optional<QString> LoginItem::removeEntry() const
{
    QFile file(m_entryPath);
    if (!QFileInfo(m_entryPath).isSymLink() && !file.exists())
        return std::nullopt;
    if (!file.remove())
        return QStringLiteral("Could not remove %1: %2").arg(m_entryPath, file.errorString());
    return std::nullopt;
}

void LoginItem::setFailure(const std::optional<QString>& failure)
{
    if (failure == m_failure)
        return;
    m_failure = failure;
    emit failureChanged();
}
