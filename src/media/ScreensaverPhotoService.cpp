#include "media/ScreensaverPhotoService.h"

#include "media/PhotoImages.h"
#include "platform/BoundedFile.h"
#include "platform/MakeFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>

Q_LOGGING_CATEGORY(tarvPhotos, "tarv.photos")

namespace {

const QString indexName = QStringLiteral("photos.json");
const QString oldFrameName = QStringLiteral("screensaver.rgb565");
const QString oldNameFile = QStringLiteral("screensaver-name.txt");

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

ScreensaverPhotoService::Failure fileFailure(const QString& what, const QString& path, const QString& reason)
{
    return {{}, QStringLiteral("Could not %1 %2: %3").arg(what, QDir::toNativeSeparators(path), reason)};
}

ScreensaverPhotoService::Failure unreadable(const QStringList& names)
{
    return {names, {}};
}

std::optional<ScreensaverPhotoService::Failure> writeAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return fileFailure(QStringLiteral("write"), path, file.errorString());
    return std::nullopt;
}

std::optional<QByteArray> readFile(const QString& path)
{
    return ScreensaverPhotoService::readPhotoFile(path);
}

std::optional<ScreensaverPhotoService::Entry> entryFromJson(const QJsonValue& value)
{
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    if (!value.isObject() || !id.isString() || !name.isString())
        return std::nullopt;
    const QUuid uuid = QUuid::fromString(id.toString());
    if (uuid.isNull())
        return std::nullopt;
    ScreensaverPhotoService::Entry entry{uuid, name.toString(), std::nullopt};
    if (object.contains(QStringLiteral("adjustment"))) {
        entry.adjustment = PhotoAdjustment::fromJson(object.value(QStringLiteral("adjustment")).toObject());
        if (!entry.adjustment || !object.value(QStringLiteral("adjustment")).isObject())
            return std::nullopt;
    }
    return entry;
}

}  // namespace

std::optional<QByteArray> ScreensaverPhotoService::readPhotoFile(const QString& path)
{
    return readRegularFile(path, maxPhotoFileBytes);
}

QString ScreensaverPhotoService::Failure::errorDescription() const
{
    if (isImportError())
        return QStringLiteral("Could not read ") + unreadable.join(QStringLiteral(", "));
    return message;
}

QString ScreensaverPhotoService::photosFolder() const
{
    return QDir(m_directory).filePath(QStringLiteral("photos"));
}

QString ScreensaverPhotoService::framePath(const QUuid& id) const
{
    return QDir(photosFolder()).filePath(idText(id) + QStringLiteral(".rgb565"));
}

QString ScreensaverPhotoService::sourcePath(const QUuid& id) const
{
    return QDir(photosFolder()).filePath(idText(id) + QStringLiteral(".jpg"));
}

QList<ScreensaverPhotoService::Entry> ScreensaverPhotoService::readIndex() const
{
    return readIndexFile().entries;
}

ScreensaverPhotoService::IndexRead ScreensaverPhotoService::readIndexFile() const
{
    const std::optional<QByteArray> bytes = readFile(QDir(m_directory).filePath(indexName));
    if (!bytes)
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isArray())
        return {{}, false};
    IndexRead read;
    const QJsonArray array = document.array();
    for (qsizetype k = 0; k < array.size(); ++k) {
        if (std::optional<Entry> entry = entryFromJson(array[k])) {
            read.entries.append(std::move(*entry));
            continue;
        }
        read.whole = false;
        // Its place, and its id when it has one (quoted: the file may hold anything).
        const QJsonValue id = array[k].toObject().value(QStringLiteral("id"));
        if (id.isString())
            qCWarning(tarvPhotos) << "Skipped entry" << k + 1 << "of the photo index, id" << id.toString().left(64)
                                  << "which does not decode";
        else
            qCWarning(tarvPhotos) << "Skipped entry" << k + 1 << "of the photo index, which does not decode";
    }
    return read;
}

std::optional<ScreensaverPhotoService::Failure> ScreensaverPhotoService::writeIndex(const QList<Entry>& entries,
                                                                                   const IndexRead& old) const
{
    if (const std::optional<QString> reason = makeFolder(m_directory))
        return fileFailure(QStringLiteral("create"), m_directory, *reason);
    const QString path = QDir(m_directory).filePath(indexName);
    // Kept as it was read before the first write that would drop what does not decode in it.
    if (!old.whole) {
        const QString aside =
            path + QStringLiteral(".unreadable-") + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"));
        if (QFile::rename(path, aside))
            qCWarning(tarvPhotos) << "The photo index did not decode whole and was kept as" << aside;
        else
            qCWarning(tarvPhotos) << "The photo index did not decode whole and could not be kept aside; it is replaced";
    }
    QJsonArray array;
    for (const Entry& entry : entries) {
        QJsonObject object;
        object.insert(QStringLiteral("id"), idText(entry.id));
        object.insert(QStringLiteral("name"), entry.name);
        if (entry.adjustment)
            object.insert(QStringLiteral("adjustment"), entry.adjustment->toJson());
        array.append(object);
    }
    return writeAtomically(path, QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<ScreensaverPhotoService::SavedPhoto> ScreensaverPhotoService::loadPhotos() const
{
    migrateSinglePhoto();
    QList<SavedPhoto> photos;
    for (const Entry& entry : readIndex()) {
        const std::optional<QByteArray> frame = readFile(framePath(entry.id));
        if (!frame || frame->size() != PhotoImages::frameBytes)
            continue;
        photos.append({entry.id, *frame, entry.name, entry.adjustment.value_or(PhotoAdjustment{})});
    }
    return photos;
}

ScreensaverPhotoService::ImportOutcome ScreensaverPhotoService::importPhotos(const QList<ImportItem>& items) const
{
    if (const std::optional<QString> reason = makeFolder(photosFolder()))
        return {{}, fileFailure(QStringLiteral("create"), photosFolder(), *reason)};
    const IndexRead index = readIndexFile();
    QList<Entry> entries = index.entries;
    QStringList failed;
    QList<SavedPhoto> added;
    for (const ImportItem& item : items) {
        std::optional<QByteArray> frame;
        std::optional<QByteArray> source;
        if (item.data) {
            // The frame is made from the stored JPEG, exactly as a later re-crop will see it.
            if (const std::optional<QImage> picture = PhotoImages::downsampledImage(*item.data, sourceMaxPixels))
                source = PhotoImages::encodeJPEG(*picture, 0.9);
            if (source)
                if (const std::optional<QImage> stored = PhotoImages::downsampledImage(*source, sourceMaxPixels))
                    frame = PhotoImages::renderPhotoFrame(*stored, PhotoAdjustment{});
        }
        if (!frame || !source) {
            failed.append(item.name);
            continue;
        }
        const QUuid id = QUuid::createUuid();
        if (auto failure = writeAtomically(framePath(id), *frame))
            return {{}, failure};
        if (auto failure = writeAtomically(sourcePath(id), *source))
            return {{}, failure};
        entries.append({id, item.name, std::nullopt});
        added.append({id, *frame, item.name, PhotoAdjustment{}});
    }
    if (auto failure = writeIndex(entries, index))
        return {{}, failure};
    if (!failed.isEmpty())
        return {added, unreadable(failed)};
    return {added, std::nullopt};
}

std::optional<ScreensaverPhotoService::Failure> ScreensaverPhotoService::removePhoto(const QUuid& id) const
{
    const IndexRead index = readIndexFile();
    QList<Entry> entries = index.entries;
    entries.removeIf([&](const Entry& entry) { return entry.id == id; });
    if (auto failure = writeIndex(entries, index))
        return failure;
    for (const QString& path : {framePath(id), sourcePath(id)}) {
        QFile file(path);
        if (file.exists() && !file.remove())
            return fileFailure(QStringLiteral("delete"), path, file.errorString());
    }
    return std::nullopt;
}

ScreensaverPhotoService::UpdateOutcome ScreensaverPhotoService::updateAdjustment(const SavedPhoto& photo,
                                                                                 const PhotoAdjustment& adjustment) const
{
    std::optional<QImage> source;
    if (const std::optional<QByteArray> jpeg = readFile(sourcePath(photo.id)))
        source = PhotoImages::downsampledImage(*jpeg, sourceMaxPixels);
    if (!source) {
        // A migrated photo has only its frame: that becomes its source from now on.
        source = PhotoImages::rgb565PreviewImage(photo.data, PhotoImages::frameWidth, PhotoImages::frameHeight);
        if (!source)
            return {std::nullopt, unreadable({photo.displayName})};
        const std::optional<QByteArray> jpeg = PhotoImages::encodeJPEG(*source, 1.0);
        if (!jpeg)
            return {std::nullopt, unreadable({photo.displayName})};
        if (auto failure = writeAtomically(sourcePath(photo.id), *jpeg))
            return {std::nullopt, failure};
    }
    const std::optional<QByteArray> frame = PhotoImages::renderPhotoFrame(*source, adjustment);
    if (!frame)
        return {std::nullopt, unreadable({photo.displayName})};
    if (auto failure = writeAtomically(framePath(photo.id), *frame))
        return {std::nullopt, failure};
    const IndexRead index = readIndexFile();
    QList<Entry> entries = index.entries;
    for (Entry& entry : entries)
        if (entry.id == photo.id)
            entry.adjustment = adjustment;
    if (auto failure = writeIndex(entries, index))
        return {std::nullopt, failure};
    return {SavedPhoto{photo.id, *frame, photo.displayName, adjustment}, std::nullopt};
}

void ScreensaverPhotoService::migrateSinglePhoto() const
{
    const QDir dir(m_directory);
    const std::optional<QByteArray> frame = readFile(dir.filePath(oldFrameName));
    if (!frame || frame->size() != PhotoImages::frameBytes)
        return;
    const std::optional<QByteArray> nameBytes = readFile(dir.filePath(oldNameFile));
    const QString name = nameBytes ? QString::fromUtf8(*nameBytes) : QStringLiteral("Photo");
    const QUuid id = QUuid::createUuid();
    if (makeFolder(photosFolder()) || writeAtomically(framePath(id), *frame))
        return;
    const IndexRead index = readIndexFile();
    QList<Entry> entries{{id, name, std::nullopt}};
    entries.append(index.entries);
    if (writeIndex(entries, index))
        return;
    QFile::remove(dir.filePath(oldFrameName));
    QFile::remove(dir.filePath(oldNameFile));
}
