#pragma once
// The screensaver's photo store in the application folder: "photos.json" gives the order,
// names and crop adjustments; "photos" holds each photo's device frame and its kept source
// JPEG. The service holds only the folder; every operation reads and writes the files, so
// it is safe to run on a worker thread as long as one operation runs at a time.

#include "media/PhotoAdjustment.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

class ScreensaverPhotoService {
public:
    struct Entry {
        QUuid id;
        QString name;
        std::optional<PhotoAdjustment> adjustment;  // none until the photo is first adjusted
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // One stored photo: its 307,200-byte device frame, its name and its framing.
    struct SavedPhoto {
        QUuid id;
        QByteArray data;
        QString displayName;
        PhotoAdjustment adjustment;
        friend bool operator==(const SavedPhoto&, const SavedPhoto&) = default;
    };

    // A failed operation: items that could not be read as pictures, or a file error.
    struct Failure {
        QStringList unreadable;  // set for the import error
        QString message;         // the file system's text otherwise
        bool isImportError() const { return !unreadable.isEmpty(); }
        QString errorDescription() const;
    };

    struct ImportItem {
        QString name;
        std::optional<QByteArray> data;
    };
    struct ImportOutcome {
        QList<SavedPhoto> photos;
        std::optional<Failure> failure;
    };
    struct UpdateOutcome {
        std::optional<SavedPhoto> photo;
        std::optional<Failure> failure;
    };

    static constexpr int sourceMaxPixels = 2048;
    // More than a camera or a phone ever writes for one photo.
    static constexpr qint64 maxPhotoFileBytes = qint64(200) * 1024 * 1024;

    // A picture file the user chose or dropped, or one of the store's own: a regular file of
    // at most maxPhotoFileBytes; none for anything else (a pipe, a device, a huge file) at
    // once, without waiting on it.
    static std::optional<QByteArray> readPhotoFile(const QString& path);

    explicit ScreensaverPhotoService(QString directory) : m_directory(std::move(directory)) {}

    const QString& directory() const { return m_directory; }
    QString photosFolder() const;
    QString framePath(const QUuid& id) const;
    QString sourcePath(const QUuid& id) const;

    // The saved photos in index order, after moving an older single photo in; entries whose
    // frame is missing or of the wrong size are left out. Never fails.
    QList<SavedPhoto> loadPhotos() const;
    ImportOutcome importPhotos(const QList<ImportItem>& items) const;
    std::optional<Failure> removePhoto(const QUuid& id) const;
    UpdateOutcome updateAdjustment(const SavedPhoto& photo, const PhotoAdjustment& adjustment) const;
    void migrateSinglePhoto() const;

    // The index in order; a missing or unreadable file reads as empty and an entry that does
    // not decode is skipped alone.
    QList<Entry> readIndex() const;

private:
    struct IndexRead {
        QList<Entry> entries;
        bool whole = true;  // false when the file held something that does not decode
    };
    IndexRead readIndexFile() const;
    // The one writer of "photos.json", given the index as the edit read it. An index that did
    // not decode, whole or in one entry, is first kept aside as "photos.json.unreadable-<time>",
    // so a damaged file or entry is never silently lost.
    std::optional<Failure> writeIndex(const QList<Entry>& entries, const IndexRead& old) const;

    QString m_directory;
};
