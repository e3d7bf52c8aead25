#include "platform/SingleInstanceLock.h"

#include "platform/BoundedFile.h"
#include "platform/MakeFolder.h"
#include "platform/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder at `path`, made with mode 0700 when missing. One already there is used only when
// it is a real folder (not a link to one) owned by this user; its mode is narrowed to 0700.
// In a temporary folder shared by every user, anyone could have made it first.
bool makePrivateFolder(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool usable = ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() &&
                        ((info.st_mode & 07777) == 0700 || ::fchmod(fd, 0700) == 0);
    ::close(fd);
    return usable;
}

}  // namespace

QString SingleInstanceLock::defaultPath()
{
    QString folder;
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath() + QStringLiteral("/tarv-") + QString::number(::geteuid());
        if (!makePrivateFolder(folder))
            return {};
    }
    return QDir(folder).filePath(QStringLiteral("tarv.lock"));
}

QString SingleInstanceLock::besideSettingsPath()
{
    return QFileInfo(Settings::userSettingsPath()).absoluteDir().filePath(QStringLiteral("tarv.lock"));
}

SingleInstanceLock::SingleInstanceLock(QString path) : m_path(std::move(path)) {}

bool SingleInstanceLock::tryAcquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    if (m_path.isEmpty())
        return false;
    makeFolder(QFileInfo(m_path).absolutePath());
    m_lock = std::make_unique<QLockFile>(m_path);
    // A lock left by a process that is gone is taken over at once.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

bool SingleInstanceLock::isHeldElsewhere() const
{
    return m_lock && m_lock->error() == QLockFile::LockFailedError;
}

std::optional<SingleInstanceLock::Holder> SingleInstanceLock::holder() const
{
    if (!isHeldElsewhere())
        return std::nullopt;
    // The lock file holds the process id, the program, the machine's name and its unique id,
    // one to a line; only the first three are there in every version of the file.
    const std::optional<QByteArray> contents = readRegularFile(m_path, 4096);
    if (!contents)
        return std::nullopt;
    const QList<QByteArray> lines = contents->split('\n');
    if (lines.size() < 3)
        return std::nullopt;
    Holder holder;
    holder.machine = QString::fromUtf8(lines[2]);
    holder.since = QFileInfo(m_path).lastModified();
    const QByteArray machineID = lines.size() > 3 ? lines[3] : QByteArray();
    const QByteArray ownID = QSysInfo::machineUniqueId();
    // As QLockFile itself decides: by the machine's unique id when both are known.
    if (!machineID.isEmpty() && !ownID.isEmpty())
        holder.onAnotherMachine = machineID != ownID;
    else
        holder.onAnotherMachine = !holder.machine.isEmpty() && holder.machine != QSysInfo::machineHostName();
    return holder;
}

bool SingleInstanceLock::takeOver()
{
    if (!m_lock || !m_lock->removeStaleLockFile())
        return false;
    return tryAcquire();
}
