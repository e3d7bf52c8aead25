#pragma once
// What the hub relies on of the screensaver photo store in the application folder. Until
// the photo store exists, EmptyScreensaverPhotoService stands in and holds no photo.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

class ScreensaverPhotoService {
public:
    // One stored photo: its 307,200-byte device frame and its name.
    struct SavedPhoto {
        QUuid id;
        QByteArray data;
        QString displayName;
        friend bool operator==(const SavedPhoto&, const SavedPhoto&) = default;
    };

    explicit ScreensaverPhotoService(QString directory) : m_directory(std::move(directory)) {}
    virtual ~ScreensaverPhotoService() = default;

    const QString& directory() const { return m_directory; }
    // The saved photos in index order; missing or malformed files are skipped.
    virtual QList<SavedPhoto> loadPhotos() const = 0;

private:
    QString m_directory;
};

class EmptyScreensaverPhotoService final : public ScreensaverPhotoService {
public:
    using ScreensaverPhotoService::ScreensaverPhotoService;
    QList<SavedPhoto> loadPhotos() const override { return {}; }
};
