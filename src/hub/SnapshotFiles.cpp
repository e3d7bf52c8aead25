#include "hub/SnapshotFiles.h"

#include "platform/BoundedFile.h"
#include "platform/MakeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include <cerrno>

namespace {

// Why what is at the path must not be replaced by a file; none for nothing there yet, a
// regular file, or a link to one. Writing atomically renames a new file over the path: over a
// device node or a pipe that would take the node away, not write to it.
std::optional<QString> notAFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat own {};
    // What cannot be looked at is left to the write, which then says why it failed.
    if (::lstat(native.constData(), &own) != 0)
        return std::nullopt;
    struct stat target {};
    if (::stat(native.constData(), &target) != 0) {
        if (errno == ENOENT)
            return QStringLiteral("it is a link to nothing; only a new file or a regular file is written");
        return std::nullopt;
    }
    return notARegularFile(target.st_mode);
}

} // namespace

std::variant<QString, SnapshotSaveError> saveSnapshotPNG(const TarvUSB::DeviceSnapshot& snapshot,
                                                         const QString& requested)
{
    const std::optional<QByteArray> png = snapshot.pngData();
    if (!png)
        return SnapshotSaveError{QStringLiteral("could not encode the PNG")};
    const auto cannotWrite = [](const QString& path, const QString& why) {
        return SnapshotSaveError{QStringLiteral("could not write ") + path + QStringLiteral(": ") + why};
    };

    QString path;
    if (requested.isEmpty()) {
        const QString folder = TarvUSB::snapshotsFolderPath();
        path = QDir(folder).filePath(TarvUSB::snapshotFileName(snapshot.date));
        if (const std::optional<QString> why = makeFolder(folder))
            return cannotWrite(path, *why);
    } else if (QFileInfo(requested).isDir()) {
        path = QDir(requested).filePath(TarvUSB::snapshotFileName(snapshot.date));
    } else {
        path = requested;
    }
    if (const std::optional<QString> why = notAFile(path))
        return cannotWrite(path, *why);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*png) != png->size() || !file.commit())
        return cannotWrite(path, file.errorString());
    return path;
}
