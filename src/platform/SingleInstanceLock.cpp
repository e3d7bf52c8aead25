#include "platform/SingleInstanceLock.h"

#include <QDir>
#include <QStandardPaths>

QString SingleInstanceLock::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(QStringLiteral("tarv.lock"));
}

SingleInstanceLock::SingleInstanceLock(QString path) : m_path(std::move(path)) {}

bool SingleInstanceLock::tryAcquire()
{
    if (m_lock && m_lock->isLocked())
        return true;
    m_lock = std::make_unique<QLockFile>(m_path);
    // A lock left by a process that is gone is taken over at once.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}
