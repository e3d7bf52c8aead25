#include "hub/SnapshotFiles.h"

#include <QDir>
#include <QSaveFile>

std::variant<QString, SnapshotSaveError> saveSnapshotPNG(const TarvUSB::DeviceSnapshot& snapshot, const QString& folder)
{
    const std::optional<QByteArray> png = snapshot.pngData();
    if (!png)
        return SnapshotSaveError{QStringLiteral("the snapshot could not be encoded as PNG")};
    if (!QDir().mkpath(folder))
        return SnapshotSaveError{QStringLiteral("could not create ") + folder};
    const QString path = QDir(folder).filePath(TarvUSB::snapshotFileName(snapshot.date));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*png) != png->size() || !file.commit())
        return SnapshotSaveError{QStringLiteral("could not write ") + path + QStringLiteral(": ") + file.errorString()};
    return path;
}
