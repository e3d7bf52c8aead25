#include "hub/SnapshotFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

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
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
        if (error)
            return cannotWrite(path, QString::fromStdString(error.message()));
    } else if (QFileInfo(requested).isDir()) {
        path = QDir(requested).filePath(TarvUSB::snapshotFileName(snapshot.date));
    } else {
        path = requested;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*png) != png->size() || !file.commit())
        return cannotWrite(path, file.errorString());
    return path;
}
