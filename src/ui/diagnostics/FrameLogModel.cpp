#include "ui/diagnostics/FrameLogModel.h"

#include "hub/DeviceManager.h"
#include "ui/widgets/DisplayFormats.h"
#include "ui/widgets/PlainText.h"

FrameLogModel::FrameLogModel(DeviceManager& deviceManager, QObject* parent)
    : QAbstractListModel(parent), m_deviceManager(deviceManager)
{
    connect(&m_deviceManager, &DeviceManager::logChanged, this, &FrameLogModel::sync);
    sync();
}

int FrameLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

const LogEntry* FrameLogModel::entryAt(int row) const
{
    const QList<LogEntry>& log = m_deviceManager.log();
    const qsizetype index = m_newestIndex - row;
    if (row < 0 || row >= m_count || index < 0 || index >= log.size())
        return nullptr;
    return &log[index];
}

QVariant FrameLogModel::data(const QModelIndex& index, int role) const
{
    const LogEntry* entry = index.isValid() ? entryAt(index.row()) : nullptr;
    if (!entry)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return lineText(*entry);
    case Qt::ToolTipRole:
        return PlainText::toolTip(lineText(*entry));
    case timeTextRole: return timeOfDayWithSeconds(entry->date);
    case markRole: return directionMark(entry->direction);
    case textRole: return entry->text;
    case dateRole: return entry->date;
    case idRole: return entry->id;
    default: return {};
    }
}

QHash<int, QByteArray> FrameLogModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(timeTextRole, "timeText");
    names.insert(markRole, "mark");
    names.insert(textRole, "text");
    names.insert(dateRole, "date");
    names.insert(idRole, "id");
    return names;
}

QString FrameLogModel::directionMark(LogEntry::Direction direction)
{
    switch (direction) {
    case LogEntry::Direction::received: return QStringLiteral("RX");
    case LogEntry::Direction::sent: return QStringLiteral("TX");
    case LogEntry::Direction::system: break;
    }
    return QStringLiteral("\u2014");
}

QString FrameLogModel::lineText(const LogEntry& entry)
{
    return timeOfDayWithSeconds(entry.date) + u' ' + directionMark(entry.direction) + u' ' + entry.text;
}

// The hub appends at the end and drops from the front, and may hold one entry over its cap
// for a moment between the two. The rows show the newest maxLogEntries: the oldest rows go
// first, then the new ones come in at the top, so the list never grows past the cap.
void FrameLogModel::sync()
{
    const QList<LogEntry>& log = m_deviceManager.log();
    const qsizetype size = log.size();
    const int target = int(std::min<qsizetype>(size, DeviceManager::maxLogEntries));

    if (m_count > 0) {
        // Where the newest row's entry is now; new entries lie after it.
        qsizetype newest = -1;
        for (qsizetype i = size - 1; i >= 0; --i) {
            if (log[i].id == m_newestID) {
                newest = i;
                break;
            }
        }
        const qsizetype oldest = newest - m_count + 1;
        if (newest >= 0 && oldest >= 0 && log[oldest].id != m_oldestID) {
            // Not an append and a trim: the log was replaced as a whole.
            beginResetModel();
            m_count = target;
            m_newestIndex = size - 1;
            endResetModel();
        } else {
            m_newestIndex = newest;
            // Rows whose entries are gone or no longer among the newest `target`.
            const qsizetype keepFrom = size - target;
            const int leaving = newest < 0 ? m_count : int(std::clamp<qsizetype>(keepFrom - oldest, 0, m_count));
            if (leaving > 0) {
                beginRemoveRows({}, m_count - leaving, m_count - 1);
                m_count -= leaving;
                endRemoveRows();
            }
        }
    }
    if (m_count < target) {
        beginInsertRows({}, 0, target - m_count - 1);
        m_count = target;
        m_newestIndex = size - 1;
        endInsertRows();
    }
    m_newestIndex = size - 1;
    m_newestID = size > 0 ? log[size - 1].id : QUuid();
    m_oldestID = target > 0 ? log[size - target].id : QUuid();
}
