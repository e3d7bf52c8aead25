#pragma once
// The connection log as a list, newest entry first: a reversed row mapping over the hub's own
// log (no copy of it), kept up to date by row insertions and removals as entries come and go.

#include "hub/LogEntry.h"

#include <QAbstractListModel>
#include <QUuid>

class DeviceManager;

class FrameLogModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        timeTextRole = Qt::UserRole + 1,  // the time of day with seconds
        markRole,                         // "RX", "TX" or "—"
        textRole,                         // the entry's text
        dateRole,                         // the entry's QDateTime
        idRole,                           // the entry's QUuid
    };

    explicit FrameLogModel(DeviceManager& deviceManager, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    static QString directionMark(LogEntry::Direction direction);
    // One entry as a line of text, for the clipboard: time, mark and text.
    static QString lineText(const LogEntry& entry);

private:
    void sync();
    const LogEntry* entryAt(int row) const;

    DeviceManager& m_deviceManager;
    int m_count = 0;
    // Where row 0 sits in the hub's log; rows run backwards from there.
    qsizetype m_newestIndex = -1;
    QUuid m_newestID;
    QUuid m_oldestID;
};
