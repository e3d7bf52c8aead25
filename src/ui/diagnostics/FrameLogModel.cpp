#include "ui/diagnostics/FrameLogModel.h"

#include "hub/DeviceManager.h"
#include "ui/widgets/DisplayFormats.h"
#include "ui/widgets/PlainText.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>
#include <utility>

FrameLogModel::FrameLogModel(DeviceManager& deviceManager, QObject* parent)
    : QAbstractListModel(parent), m_deviceManager(deviceManager), m_syncTimer(deviceManager.clock().makeSourceTimer())
{
    setFollowing(true);
}

FrameLogModel::~FrameLogModel() = default;

void FrameLogModel::setFollowing(bool following)
{
    if (following == isFollowing())
        return;
    if (following) {
        m_following = connect(&m_deviceManager, &DeviceManager::logChanged, this, &FrameLogModel::syncSoon);
        sync();
    } else {
        disconnect(m_following);
        m_following = {};
        m_syncDue = false;
    }
}

void FrameLogModel::syncSoon()
{
    if (std::exchange(m_syncDue, true))
        return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal rate = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    const std::chrono::milliseconds refresh(std::max(1, int(1000.0 / rate)));
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_deviceManager.clock().monotonic() - m_lastSync);
    // A wait that a sync meanwhile made needless ends with nothing to do.
    m_syncTimer->start(std::max(refresh, readablePace - since), [this] {
        if (m_syncDue)
            sync();
    });
}

int FrameLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

const LogEntry* FrameLogModel::entryAt(int row) const
{
    const qsizetype index = m_rows.size() - 1 - row;
    if (row < 0 || index < 0)
        return nullptr;
    return &m_rows[index];
}

QString FrameLogModel::timeTextAt(int row) const
{
    return entryAt(row) ? m_times[m_rows.size() - 1 - row] : QString();
}

QVariant FrameLogModel::data(const QModelIndex& index, int role) const
{
    const LogEntry* entry = index.isValid() ? entryAt(index.row()) : nullptr;
    if (!entry)
        return {};
    const QString& time = m_times[m_rows.size() - 1 - index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return lineText(time, *entry);
    case Qt::ToolTipRole:
        return PlainText::toolTip(lineText(time, *entry));
    case timeTextRole: return time;
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

QString FrameLogModel::lineText(const QString& timeText, const LogEntry& entry)
{
    return timeText + u' ' + directionMark(entry.direction) + u' ' + entry.text;
}

QString FrameLogModel::timeTextOf(const QDateTime& date)
{
    // The text shows the wall clock, which a local date holds as it is; its moment since the
    // epoch would take a conversion through the time zone for every entry.
    const qint64 second = date.isValid()
                              ? date.date().toJulianDay() * 86400 + date.time().msecsSinceStartOfDay() / 1000
                              : std::numeric_limits<qint64>::min();
    if (second != m_lastSecond || m_lastTimeText.isEmpty()) {
        m_lastSecond = second;
        m_lastTimeText = timeOfDayWithSeconds(date);
    }
    return m_lastTimeText;
}

// The hub appends at the end and drops from the front, and may hold one entry over its cap
// for a moment between the two. The rows show the newest maxLogEntries: the oldest rows go
// first, then the new ones come in at the top, so the list never grows past the cap.
void FrameLogModel::sync()
{
    m_syncDue = false;
    m_lastSync = m_deviceManager.clock().monotonic();
    const QList<LogEntry>& log = m_deviceManager.log();
    const qsizetype size = log.size();
    const qsizetype target = std::min<qsizetype>(size, DeviceManager::maxLogEntries);
    const qsizetype keepFrom = size - target;

    // Where the newest row's entry is now; new entries lie after it.
    qsizetype newest = -1;
    if (!m_rows.isEmpty()) {
        for (qsizetype i = size - 1; i >= 0; --i) {
            if (log[i].id == m_rows.last().id) {
                newest = i;
                break;
            }
        }
        const qsizetype oldest = newest - m_rows.size() + 1;
        if (newest >= 0 && oldest >= 0 && log[oldest].id != m_rows.first().id) {
            // Not an append and a trim: the log was replaced as a whole.
            beginResetModel();
            m_rows = log.mid(keepFrom);
            m_times.clear();
            for (const LogEntry& entry : std::as_const(m_rows))
                m_times.append(timeTextOf(entry.date));
            endResetModel();
            return;
        }
        // Rows whose entries are gone or no longer among the newest `target`.
        const qsizetype leaving =
            newest < 0 ? m_rows.size() : std::clamp<qsizetype>(keepFrom - oldest, 0, m_rows.size());
        if (leaving > 0) {
            beginRemoveRows({}, int(m_rows.size() - leaving), int(m_rows.size() - 1));
            m_rows.remove(0, leaving);
            m_times.remove(0, leaving);
            endRemoveRows();
        }
    }
    const qsizetype from = std::max(newest + 1, keepFrom);
    if (from < size) {
        beginInsertRows({}, 0, int(size - from - 1));
        for (qsizetype i = from; i < size; ++i) {
            m_rows.append(log[i]);
            m_times.append(timeTextOf(log[i].date));
        }
        endInsertRows();
    }
}
