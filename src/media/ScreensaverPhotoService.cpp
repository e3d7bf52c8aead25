#include "media/ScreensaverPhotoService.h"

#include "media/PhotoImages.h"
#include "platform/BoundedFile.h"
#include "platform/MakeFolder.h"
#include "platform/SetAside.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>

#include <algorithm>
#include <new>
#include <variant>

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
    return {{}, QStringLiteral("Could not %1 %2: %3").arg(what, QDir::toNativeSeparators(path), reason), {}};
}

ScreensaverPhotoService::Failure unreadable(const QStringList& names)
{
    return {names, {}, {}};
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

// Why an index could not be read; none when there is no index at all, which is the one case
// that reads as an empty library.
std::optional<QString> indexReadProblem(const QString& path, const BoundedReadFailure& failure, bool& notAFile)
{
    switch (failure.kind) {
    case BoundedReadFailure::Kind::absent:
        return std::nullopt;
    case BoundedReadFailure::Kind::notRegular:
        // A link to nothing is no folder or device standing in the way: it may be set aside.
        if (!QFileInfo::exists(path))
            return failure.reason;
        notAFile = true;
        return QStringLiteral("it is not a file");
    case BoundedReadFailure::Kind::tooLarge:
        return QStringLiteral("it is larger than %1 MB").arg(ScreensaverPhotoService::maxPhotoFileBytes / (1024 * 1024));
    case BoundedReadFailure::Kind::unreadable:
        break;
    }
    return failure.reason;
}

struct MadePhoto {
    QByteArray frame;
    QByteArray source;
};

// The item's picture as its kept source JPEG and its frame, read from its file when the item
// names one; none when it is no picture.
std::optional<MadePhoto> makePhoto(const ScreensaverPhotoService::ImportItem& item)
{
    std::optional<QByteArray> data = item.data;
    if (!data && !item.path.isEmpty())
        data = ScreensaverPhotoService::readPhotoFile(item.path);
    if (!data)
        return std::nullopt;
    // The frame is made from the stored JPEG, exactly as a later re-crop will see it.
    std::optional<QByteArray> source;
    if (const std::optional<QImage> picture = PhotoImages::downsampledImage(*data, ScreensaverPhotoService::sourceMaxPixels))
        source = PhotoImages::encodeJPEG(*picture, 0.9);
    data.reset();
    if (!source)
        return std::nullopt;
    const std::optional<QImage> stored = PhotoImages::downsampledImage(*source, ScreensaverPhotoService::sourceMaxPixels);
    if (!stored)
        return std::nullopt;
    std::optional<QByteArray> frame = PhotoImages::renderPhotoFrame(*stored, PhotoAdjustment{});
    if (!frame)
        return std::nullopt;
    return MadePhoto{std::move(*frame), std::move(*source)};
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
    if (!isImportError())
        return message;
    QStringList parts;
    if (!unreadable.isEmpty())
        parts.append(QStringLiteral("Could not read ") + unreadable.join(QStringLiteral(", ")));
    if (!outOfMemory.isEmpty())
        parts.append(QStringLiteral("Not enough memory to import ") + outOfMemory.join(QStringLiteral(", ")));
    return parts.join(QStringLiteral(". "));
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

QString ScreensaverPhotoService::removedFolder() const
{
    return QDir(photosFolder()).filePath(QStringLiteral("removed"));
}

QList<ScreensaverPhotoService::Entry> ScreensaverPhotoService::readIndex() const
{
    return readIndexFile().entries;
}

ScreensaverPhotoService::IndexRead ScreensaverPhotoService::readIndexFile() const
{
    const QString path = QDir(m_directory).filePath(indexName);
    const std::variant<QByteArray, BoundedReadFailure> file = readBoundedFile(path, maxPhotoFileBytes);
    const QByteArray* bytes = std::get_if<QByteArray>(&file);
    if (!bytes) {
        IndexRead read;
        read.problem = indexReadProblem(path, std::get<BoundedReadFailure>(file), read.notAFile);
        read.whole = !read.problem;
        if (read.problem)
            qCWarning(tarvPhotos) << "The photo index could not be read:" << *read.problem;
        return read;
    }
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isArray())
        return {{}, false, QStringLiteral("it does not decode"), false};
    IndexRead read;
    const QJsonArray array = document.array();
    for (qsizetype k = 0; k < array.size(); ++k) {
        if (std::optional<Entry> entry = entryFromJson(array[k])) {
            read.entries.append(std::move(*entry));
            continue;
        }
        read.whole = false;
        read.problem = QStringLiteral("entry %1 does not decode").arg(k + 1);
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
                                                                                   IndexRead& old) const
{
    if (const std::optional<QString> reason = makeFolder(m_directory))
        return fileFailure(QStringLiteral("create"), m_directory, *reason);
    const QString path = QDir(m_directory).filePath(indexName);
    if (old.notAFile)
        return fileFailure(QStringLiteral("write"), path, QStringLiteral("it is not a file"));
    // Kept as it was before the first write that would drop what could not be read in it.
    if (!old.whole) {
        QString why;
        const std::optional<QString> aside = moveAside(path, QDateTime::currentDateTime(), &why);
        if (!aside) {
            qCWarning(tarvPhotos) << "The photo index could not be read whole nor kept aside:" << why;
            return fileFailure(QStringLiteral("keep aside"), path, why);
        }
        qCWarning(tarvPhotos) << "The photo index could not be read whole and was kept as" << *aside;
        old = IndexRead{};
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
    return loadLibrary().photos;
}

std::optional<QByteArray> ScreensaverPhotoService::readFrame(const QUuid& id) const
{
    std::optional<QByteArray> frame = readFile(framePath(id));
    if (!frame || frame->size() != PhotoImages::frameBytes)
        return std::nullopt;
    return frame;
}

ScreensaverPhotoService::LoadOutcome ScreensaverPhotoService::loadLibrary(bool withFrames) const
{
    migrateSinglePhoto();
    LoadOutcome outcome;
    const IndexRead index = readIndexFile();
    if (index.problem)
        outcome.indexProblem = QStringLiteral("Could not read the photo list %1 (%2). It is kept as it is, and set "
                                              "aside when photos are next added, removed or cropped.")
                                   .arg(QDir::toNativeSeparators(QDir(m_directory).filePath(indexName)), *index.problem);
    for (const Entry& entry : index.entries) {
        QByteArray frame;
        if (withFrames) {
            const std::optional<QByteArray> read = readFrame(entry.id);
            if (!read)
                continue;
            frame = *read;
        } else {
            const QFileInfo file(framePath(entry.id));
            if (!file.isFile() || file.size() != PhotoImages::frameBytes)
                continue;
        }
        outcome.photos.append({entry.id, frame, entry.name, entry.adjustment.value_or(PhotoAdjustment{})});
    }
    return outcome;
}

ScreensaverPhotoService::ImportOutcome ScreensaverPhotoService::importPhotos(const QList<ImportItem>& items,
                                                                           const std::function<bool()>& stopped) const
{
    if (const std::optional<QString> reason = makeFolder(photosFolder()))
        return {{}, fileFailure(QStringLiteral("create"), photosFolder(), *reason)};
    IndexRead index = readIndexFile();
    QList<Entry> entries = index.entries;
    Failure failed;
    QList<SavedPhoto> added;
    bool listed = false;
    const auto removeFiles = [this](const QUuid& id) {
        QFile::remove(framePath(id));
        QFile::remove(sourcePath(id));
    };
    // One picture at a time, from its file to its listing, so memory follows one photo.
    for (const ImportItem& item : items) {
        if (stopped && stopped())
            break;
        std::optional<MadePhoto> made;
        try {
            made = makePhoto(item);
        } catch (const std::bad_alloc&) {
            qCWarning(tarvPhotos) << "No memory to import a photo";
            failed.outOfMemory.append(item.name);
            continue;
        }
        if (!made) {
            failed.unreadable.append(item.name);
            continue;
        }
        const QUuid id = QUuid::createUuid();
        std::optional<Failure> failure = writeAtomically(framePath(id), made->frame);
        if (!failure)
            failure = writeAtomically(sourcePath(id), made->source);
        if (!failure) {
            entries.append({id, item.name, std::nullopt});
            failure = writeIndex(entries, index);
        }
        // Files the index does not list would stay on disk for ever.
        if (failure) {
            removeFiles(id);
            return {added, failure};
        }
        listed = true;
        // Listed without its frame: a batch of thousands would otherwise hold every frame
        // until its end.
        added.append({id, QByteArray(), item.name, PhotoAdjustment{}});
    }
    if (!listed)
        if (auto failure = writeIndex(entries, index))
            return {added, failure};
    if (failed.isImportError())
        return {added, failed};
    return {added, std::nullopt};
}

std::optional<ScreensaverPhotoService::Failure> ScreensaverPhotoService::removePhoto(const QUuid& id) const
{
    IndexRead index = readIndexFile();
    QList<Entry> entries = index.entries;
    entries.removeIf([&](const Entry& entry) { return entry.id == id; });
    if (auto failure = writeIndex(entries, index))
        return failure;
    const bool canKeep = !makeFolder(removedFolder());
    for (const QString& path : {framePath(id), sourcePath(id)}) {
        QFile file(path);
        if (!file.exists())
            continue;
        const QString kept = QDir(removedFolder()).filePath(QFileInfo(path).fileName());
        QFile::remove(kept);
        if (canKeep && file.rename(kept))
            continue;
        if (!file.remove())
            return fileFailure(QStringLiteral("delete"), path, file.errorString());
    }
    return std::nullopt;
}

std::optional<ScreensaverPhotoService::Failure> ScreensaverPhotoService::restorePhoto(
    const Entry& entry, const std::optional<QUuid>& before) const
{
    const QString frame = framePath(entry.id);
    const QString source = sourcePath(entry.id);
    const QDir removed(removedFolder());
    const QString keptFrame = removed.filePath(QFileInfo(frame).fileName());
    const QString keptSource = removed.filePath(QFileInfo(source).fileName());
    if (!QFileInfo(keptFrame).isFile())
        return Failure{{}, QStringLiteral("Could not bring back %1: its files are no longer kept").arg(entry.name), {}};
    if (const std::optional<QString> reason = makeFolder(photosFolder()))
        return fileFailure(QStringLiteral("create"), photosFolder(), *reason);
    QFile keptFrameFile(keptFrame);
    if (!keptFrameFile.rename(frame))
        return fileFailure(QStringLiteral("move"), keptFrame, keptFrameFile.errorString());
    // A photo without its source JPEG is still whole: it is cropped from its frame.
    if (QFile::exists(keptSource))
        QFile::rename(keptSource, source);
    IndexRead index = readIndexFile();
    QList<Entry> entries = index.entries;
    if (std::none_of(entries.cbegin(), entries.cend(), [&](const Entry& listed) { return listed.id == entry.id; })) {
        qsizetype place = entries.size();
        if (before)
            for (qsizetype i = 0; i < entries.size(); ++i)
                if (entries[i].id == *before) {
                    place = i;
                    break;
                }
        entries.insert(place, entry);
    }
    if (auto failure = writeIndex(entries, index)) {
        // Unlisted files would stay in the photos folder for ever: they wait with the removed.
        QFile::rename(frame, keptFrame);
        QFile::rename(source, keptSource);
        return failure;
    }
    return std::nullopt;
}

void ScreensaverPhotoService::discardRemovedPhoto(const QUuid& id) const
{
    const QDir removed(removedFolder());
    QFile::remove(removed.filePath(QFileInfo(framePath(id)).fileName()));
    QFile::remove(removed.filePath(QFileInfo(sourcePath(id)).fileName()));
}

void ScreensaverPhotoService::discardRemovedPhotos() const
{
    QDir removed(removedFolder());
    // Only the kinds of file kept there; a link there leads nowhere else.
    const QStringList names =
        removed.entryList({QStringLiteral("*.rgb565"), QStringLiteral("*.jpg")}, QDir::Files | QDir::System);
    for (const QString& name : names)
        removed.remove(name);
}

std::optional<ScreensaverPhotoService::Failure> ScreensaverPhotoService::reorderPhotos(const QList<QUuid>& order) const
{
    IndexRead index = readIndexFile();
    QList<Entry> entries = index.entries;
    QHash<QUuid, qsizetype> rank;
    for (qsizetype i = 0; i < order.size(); ++i)
        rank.insert(order[i], i);
    QList<qsizetype> places;
    QList<Entry> named;
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (rank.contains(entries[i].id)) {
            places.append(i);
            named.append(entries[i]);
        }
    std::stable_sort(named.begin(), named.end(),
                     [&](const Entry& a, const Entry& b) { return rank.value(a.id) < rank.value(b.id); });
    for (qsizetype k = 0; k < places.size(); ++k)
        entries[places[k]] = named[k];
    if (entries == index.entries)
        return std::nullopt;
    return writeIndex(entries, index);
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
    IndexRead index = readIndexFile();
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
    IndexRead index = readIndexFile();
    QList<Entry> entries{{id, name, std::nullopt}};
    entries.append(index.entries);
    if (writeIndex(entries, index))
        return;
    QFile::remove(dir.filePath(oldFrameName));
    QFile::remove(dir.filePath(oldNameFile));
}
