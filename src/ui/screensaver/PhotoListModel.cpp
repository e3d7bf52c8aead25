#include "ui/screensaver/PhotoListModel.h"

#include "hub/DeviceManager.h"
#include "platform/OneLineText.h"

#include <QSet>

#include <algorithm>

PhotoListModel::PhotoListModel(DeviceManager& deviceManager, QObject* parent)
    : QAbstractListModel(parent), m_deviceManager(deviceManager), m_photos(deviceManager.screensaver().photos)
{
    connect(&m_deviceManager, &DeviceManager::screensaverChanged, this, &PhotoListModel::follow);
    connect(&m_deviceManager, &DeviceManager::photoLibraryChanged, this, &PhotoListModel::follow);
    // Made, or framed again: asked for again row by row, never for the whole list, whose
    // thumbnails the hub no longer keeps once they were scrolled past.
    connect(&m_deviceManager, &DeviceManager::screensaverThumbnailReady, this, [this](const QUuid& id) {
        // Found through the rows' index: a list scrolled through makes a thumbnail per row,
        // and a search of every row for each would cost the square of the library.
        if (m_rowOf.isEmpty()) {
            for (int row = 0; row < m_photos.size(); ++row)
                m_rowOf.insert(m_photos[row].id, row);
        }
        if (const auto found = m_rowOf.constFind(id); found != m_rowOf.cend())
            emit dataChanged(index(*found), index(*found), {Qt::DecorationRole});
    });
}

int PhotoListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_photos.size());
}

QVariant PhotoListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ScreensaverState::Photo& photo = m_photos[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return oneLineText(photo.name);
    case Qt::DecorationRole:
        if (const std::optional<QImage> thumbnail = m_deviceManager.screensaverThumbnail(photo.id))
            return *thumbnail;
        return {};
    case IdRole:
        return photo.id;
    default:
        return {};
    }
}

QHash<int, QByteArray> PhotoListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(IdRole, "photoId");
    return names;
}

void PhotoListModel::follow()
{
    const QList<ScreensaverState::Photo>& next = m_deviceManager.screensaver().photos;
    if (next == m_photos)
        return;
    // Rows move: the index is made again when next needed.
    m_rowOf.clear();
    QSet<QUuid> kept;
    for (const auto& photo : next)
        kept.insert(photo.id);
    for (int row = int(m_photos.size()) - 1; row >= 0; --row) {
        if (kept.contains(m_photos[row].id))
            continue;
        beginRemoveRows({}, row, row);
        m_photos.removeAt(row);
        endRemoveRows();
    }
    if (moveOne(next))
        return;
    // What is left must be in the new order, with new photos between; otherwise the list
    // was rearranged and is read again whole.
    QSet<QUuid> shown;
    for (const auto& photo : m_photos)
        shown.insert(photo.id);
    int row = 0;
    for (qsizetype k = 0; k < next.size();) {
        const ScreensaverState::Photo& photo = next[k];
        if (row < m_photos.size() && m_photos[row].id == photo.id) {
            if (m_photos[row].name != photo.name) {
                m_photos[row].name = photo.name;
                emit dataChanged(index(row), index(row), {Qt::DisplayRole});
            }
            ++row;
            ++k;
            continue;
        }
        if (shown.contains(photo.id)) {
            beginResetModel();
            m_photos = next;
            endResetModel();
            return;
        }
        // New photos side by side, as an import adds them, come in as one insert.
        qsizetype end = k + 1;
        while (end < next.size() && !shown.contains(next[end].id))
            ++end;
        const int added = int(end - k);
        beginInsertRows({}, row, row + added - 1);
        for (int j = 0; j < added; ++j)
            m_photos.insert(row + j, next[k + j]);
        endInsertRows();
        row += added;
        k = end;
    }
}

bool PhotoListModel::moveOne(const QList<ScreensaverState::Photo>& next)
{
    if (next.size() != m_photos.size())
        return false;
    qsizetype first = 0;
    while (first < next.size() && next[first].id == m_photos[first].id)
        ++first;
    if (first == next.size())
        return false;
    // Either the row at the first difference went further down, or a row from further down
    // came up to it.
    const auto sameAfterMove = [&](qsizetype from, qsizetype to) {
        if (from < 0 || to < 0)
            return false;
        QList<ScreensaverState::Photo> moved = m_photos;
        moved.move(from, to);
        for (qsizetype i = 0; i < next.size(); ++i)
            if (moved[i].id != next[i].id)
                return false;
        return true;
    };
    const auto placeIn = [](const QList<ScreensaverState::Photo>& list, const QUuid& id) -> qsizetype {
        for (qsizetype i = 0; i < list.size(); ++i)
            if (list[i].id == id)
                return i;
        return -1;
    };
    qsizetype from = first;
    qsizetype to = placeIn(next, m_photos[first].id);
    if (!sameAfterMove(from, to)) {
        from = placeIn(m_photos, next[first].id);
        to = first;
        if (!sameAfterMove(from, to))
            return false;
    }
    // Qt names the row the moved one goes before, counted before the move.
    beginMoveRows({}, int(from), int(from), {}, int(to > from ? to + 1 : to));
    m_photos.move(from, to);
    endMoveRows();
    for (qsizetype i = std::min(from, to); i <= std::max(from, to); ++i)
        if (m_photos[i].name != next[i].name) {
            m_photos[i].name = next[i].name;
            emit dataChanged(index(int(i)), index(int(i)), {Qt::DisplayRole});
        }
    return true;
}
