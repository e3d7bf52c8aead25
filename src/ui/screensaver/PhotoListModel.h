#pragma once
// The screensaver's photos as a list: name, thumbnail and id in screensaver order. It
// follows the hub with row inserts, removals and moves, so a row the user is looking at stays
// put while others come and go, and refreshes thumbnails when a photo is framed again.

#include "media/ScreensaverState.h"

#include <QAbstractListModel>
#include <QHash>
#include <QUuid>

class DeviceManager;

class PhotoListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1 };

    explicit PhotoListModel(DeviceManager& deviceManager, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // Display: the name; decoration: the thumbnail as a QImage, none while the hub makes it
    // (dataChanged follows) or when it has none.
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QUuid photoId(int row) const { return m_photos.value(row).id; }

private:
    void follow();
    // One row moved to another place, the others kept in order: moved as such; false when the
    // change is anything else.
    bool moveOne(const QList<ScreensaverState::Photo>& next);

    DeviceManager& m_deviceManager;
    QList<ScreensaverState::Photo> m_photos;
    // Each photo's row, made when a thumbnail is ready and dropped when the rows change.
    QHash<QUuid, int> m_rowOf;
};
