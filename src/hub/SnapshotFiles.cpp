#include "hub/SnapshotFiles.h"

#include "platform/MakeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

namespace {

// Why what is at the path must not be replaced by a file; none for nothing there yet, a
// regular file, or a link to one. Writing atomically renames a new file over the path: over a
// device node or a pipe that would take the node away, not write to it.
std::optional<QString> notAFile(const QString& path)
{
    namespace fs = std::filesystem;
    const fs::path native(QFile::encodeName(path).toStdString());
    std::error_code error;
    const fs::file_status own = fs::symlink_status(native, error);
    // What cannot be looked at is left to the write, which then says why it failed.
    if (own.type() == fs::file_type::not_found || own.type() == fs::file_type::none)
        return std::nullopt;
    const fs::file_status target = fs::status(native, error);
    switch (target.type()) {
    case fs::file_type::regular:
    case fs::file_type::none:
        return std::nullopt;
    case fs::file_type::not_found:
        return QStringLiteral("it is a link to nothing; only a new file or a regular file is written");
    case fs::file_type::block:
    case fs::file_type::character:
        return QStringLiteral("it is a device, not a regular file");
    case fs::file_type::fifo:
        return QStringLiteral("it is a named pipe, not a regular file");
    case fs::file_type::socket:
        return QStringLiteral("it is a socket, not a regular file");
    default:
        return QStringLiteral("it is not a regular file");
    }
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
