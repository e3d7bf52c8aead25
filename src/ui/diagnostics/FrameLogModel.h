#pragma once
// The connection log as a list, newest entry first, kept up to date by row insertions and
// removals as entries come and go. An entry after a quiet moment comes in at the next refresh of
// the screen. Entries may come a thousand a second, which nobody reads: while they keep coming,
// the rows take them in at a readable pace, and the list is laid out and drawn once for the lot.

#include "hub/LogEntry.h"

#include <QAbstractListModel>
#include <QList>

#include <chrono>
#include <memory>

class DeviceManager;
class SourceTimer;

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

    // At most how often the rows take entries in while they keep coming.
    static constexpr std::chrono::milliseconds readablePace{50};

    explicit FrameLogModel(DeviceManager& deviceManager, QObject* parent = nullptr);
    ~FrameLogModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // A row's entry and its time of day as shown, as data() gives them but without boxing: the
    // list reads every row in sight at each refresh. No entry for a row out of range.
    const LogEntry* entryAt(int row) const;
    QString timeTextAt(int row) const;

    static QString directionMark(LogEntry::Direction direction);
    // One entry as a line of text, for the clipboard: time, mark and text.
    static QString lineText(const QString& timeText, const LogEntry& entry);

    // Takes in what the log gained and lost since the last look, now rather than at the next
    // refresh.
    void sync();

    // Whether the rows follow the log as it changes. While nobody looks at them they leave the
    // log alone, so entries nobody sees cost nothing here; they catch up when followed again.
    void setFollowing(bool following);
    bool isFollowing() const { return bool(m_following); }

private:
    void syncSoon();
    QString timeTextOf(const QDateTime& date);

    DeviceManager& m_deviceManager;
    // The entries the rows show, oldest first: row 0 is the last. Entries share their texts
    // with the hub's log.
    QList<LogEntry> m_rows;
    // Each row's time of day as shown, made once per entry; entries of one second share it.
    QList<QString> m_times;
    qint64 m_lastSecond = -1;
    QString m_lastTimeText;
    // On the hub's clock, which tests drive.
    std::unique_ptr<SourceTimer> m_syncTimer;
    bool m_syncDue = false;
    std::chrono::steady_clock::time_point m_lastSync;
    QMetaObject::Connection m_following;
};
