#include "platform/SingleInstanceLock.h"

#include "platform/MakeFolder.h"
#include "platform/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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
