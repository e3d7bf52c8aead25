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

#include <functional>
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

    // A failed operation: items that could not be read as pictures or found no memory to be
    // read in, or a file error.
    struct Failure {
        QStringList unreadable;   // set for the import error
        QString message;          // the file system's text otherwise
        QStringList outOfMemory;  // items the import had no memory for
        bool isImportError() const { return !unreadable.isEmpty() || !outOfMemory.isEmpty(); }
        QString errorDescription() const;
    };

    // One picture to import: its bytes, or else the file they are read from when its turn
    // comes, so that a batch holds one picture in memory at a time.
    struct ImportItem {
        ImportItem() = default;
        ImportItem(QString name, std::optional<QByteArray> data, QString path = {})
            : name(std::move(name)), data(std::move(data)), path(std::move(path))
        {
        }
        QString name;
        std::optional<QByteArray> data;
        QString path;
    };
    struct ImportOutcome {
        QList<SavedPhoto> photos;
        std::optional<Failure> failure;
    };
    struct LoadOutcome {
        QList<SavedPhoto> photos;
        std::optional<QString> indexProblem;  // why "photos.json" exists but could not be read whole
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
    // Where removed photos' files wait until the removal can no longer be undone.
    QString removedFolder() const;

    // The saved photos in index order, after moving an older single photo in; entries whose
    // frame is missing or of the wrong size are left out. Never fails.
    QList<SavedPhoto> loadPhotos() const;
    // The same, and what is wrong with an index that exists but cannot be read whole. Without
    // `withFrames` the photos come without their frames (a frame file of the right size is
    // checked, not read), for a caller that reads each with readFrame when it needs it.
    LoadOutcome loadLibrary(bool withFrames = true) const;
    // One photo's 307,200-byte frame; none when it is missing or of another size.
    std::optional<QByteArray> readFrame(const QUuid& id) const;
    // Each photo is listed in the index as soon as its files are written, so a stop (`stopped`
    // answering true, asked before each item) or a crash keeps every photo done so far. The
    // outcome lists the stored photos without their frames (readFrame reads one).
    ImportOutcome importPhotos(const QList<ImportItem>& items, const std::function<bool()>& stopped = {}) const;
    // Takes the photo out of the index and moves its files into the folder of removed photos,
    // where restorePhoto finds them while they are kept; a file that cannot be moved there is
    // deleted.
    std::optional<Failure> removePhoto(const QUuid& id) const;
    // Puts a removed photo's files back and lists `entry` again, before the entry of `before`
    // or, without it, last. Fails when its frame is no longer kept.
    std::optional<Failure> restorePhoto(const Entry& entry, const std::optional<QUuid>& before) const;
    // Deletes the files kept of one removed photo, or of all of them.
    void discardRemovedPhoto(const QUuid& id) const;
    void discardRemovedPhotos() const;
    // Lists the photos named in `order` in that order, in the places they held between them;
    // entries it does not name stay where they are, and ids the index lacks are passed over.
    std::optional<Failure> reorderPhotos(const QList<QUuid>& order) const;
    UpdateOutcome updateAdjustment(const SavedPhoto& photo, const PhotoAdjustment& adjustment) const;
    void migrateSinglePhoto() const;

    // The index in order; a missing or unreadable file reads as empty and an entry that does
    // not decode is skipped alone.
    QList<Entry> readIndex() const;

private:
    struct IndexRead {
        QList<Entry> entries;
        bool whole = true;               // false when the file held something that could not be read
        std::optional<QString> problem;  // what kept the file from being read or decoded
        bool notAFile = false;           // a folder or a device stands where the index belongs
    };
    IndexRead readIndexFile() const;
    // The one writer of "photos.json", given the index as the edit read it. An index that could
    // not be read whole (too large, unreadable, damaged, or one entry that does not decode) is
    // first kept aside as "photos.json.unreadable-<time>", and the edit is refused when that
    // fails or when something other than a file stands there: a stored index is never
    // overwritten unread. `old` then reads as whole, for the next write of the same edit.
    std::optional<Failure> writeIndex(const QList<Entry>& entries, IndexRead& old) const;

    QString m_directory;
};
