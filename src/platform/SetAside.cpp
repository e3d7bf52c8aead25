#include "platform/SetAside.h"

#include <QFile>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>

namespace {

constexpr int maxNames = 1000;

QString asideName(const QString& path, const QDateTime& at, int n)
{
    const QString base = path + QStringLiteral(".unreadable-") + at.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return n == 1 ? base : base + u'-' + QString::number(n);
}

} // namespace

std::optional<QString> copyAside(const QString& path, const QByteArray& bytes, const QDateTime& at)
{
    for (int n = 1; n < maxNames; ++n) {
        const QString name = asideName(path, at, n);
        QFile copy(name);
        if (copy.exists())
            continue;
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            if (copy.exists())
                continue;
            return std::nullopt;
        }
        if (copy.write(bytes) != bytes.size() || !copy.flush()) {
            copy.close();
            copy.remove();
            return std::nullopt;
        }
        return name;
    }
    return std::nullopt;
}

std::optional<QString> moveAside(const QString& path, const QDateTime& at, QString* failure)
{
    const QByteArray from = QFile::encodeName(path);
    int error = EEXIST;
    for (int n = 1; n < maxNames && error == EEXIST; ++n) {
        const QString name = asideName(path, at, n);
        // Never over another file: a name taken since the last look is skipped as well.
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, QFile::encodeName(name).constData(),
                        RENAME_NOREPLACE) == 0)
            return name;
        error = errno;
    }
    if (failure)
        *failure = qt_error_string(error);
    return std::nullopt;
}
