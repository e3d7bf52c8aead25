// Screen captures: one request on the wire however many callers wait, the parts fed to the
// assembler, the watchdog, and the end that answers every waiter with the same result.

#include "hub/DeviceManager.h"

#include <QTimer>

using namespace TarvUSB;

void DeviceManager::captureSnapshot(SnapshotWaiter waiter)
{
    if (!m_state.isConnected() || !m_serialPort) {
        const SnapshotFailure failure = SnapshotFailure::of(SnapshotFailure::Kind::notConnected);
        setSnapshotError(failure.message());
        if (waiter)
            waiter(failure);
        return;
    }
    m_snapshotWaiters.append(std::move(waiter));
    if (m_snapshotAssembler)
        return;
    requestSnapshot();
}

void DeviceManager::requestSnapshot()
{
    const std::uint16_t id = m_nextSnapshotID;
    m_nextSnapshotID = m_nextSnapshotID == 65535 ? 1 : std::uint16_t(m_nextSnapshotID + 1);
    m_snapshotAssembler.emplace(id);
    setSnapshotProgress(0.0);
    setSnapshotError(std::nullopt);
    m_snapshotActivity = m_clock.monotonic();
    if (!send(Frame{takeNextSequence(), SnapshotRequestPayload{id}})) {
        finishSnapshot(SnapshotFailure::of(SnapshotFailure::Kind::disconnected));
        return;
    }
    m_snapshotWatchdog->start();
}

bool DeviceManager::receiveSnapshotPart(const Frame& frame)
{
    const auto* begin = frame.get<SnapshotBeginPayload>();
    const auto* chunk = frame.get<SnapshotChunkPayload>();
    const auto* end = frame.get<SnapshotEndPayload>();
    if (!begin && !chunk && !end)
        return false;
    if (!m_snapshotAssembler)
        return true;

    std::optional<SnapshotResult> result;
    if (begin) {
        if (auto failure = m_snapshotAssembler->begin(*begin))
            result = *failure;
    } else if (chunk) {
        if (auto failure = m_snapshotAssembler->addChunk(*chunk))
            result = *failure;
    } else {
        auto outcome = m_snapshotAssembler->finish(*end, m_clock.now());
        if (auto* snapshot = std::get_if<DeviceSnapshot>(&outcome))
            result = std::move(*snapshot);
        else if (auto* failure = std::get_if<SnapshotFailure>(&outcome))
            result = *failure;
    }
    if (result) {
        finishSnapshot(*result);
        return true;
    }
    // Parts of another capture count as activity too.
    m_snapshotActivity = m_clock.monotonic();
    setSnapshotProgress(m_snapshotAssembler->progress());
    return true;
}

void DeviceManager::finishSnapshot(const SnapshotResult& result)
{
    if (!m_snapshotAssembler)
        return;
    m_snapshotAssembler.reset();
    m_snapshotWatchdog->stop();
    setSnapshotProgress(std::nullopt);
    if (const auto* failure = std::get_if<SnapshotFailure>(&result)) {
        setSnapshotError(failure->message());
        log(LogEntry::Direction::system, QStringLiteral("Snapshot failed: ") + failure->message());
    } else {
        const auto& snapshot = std::get<DeviceSnapshot>(result);
        if (m_snapshot != snapshot) {
            m_snapshot = snapshot;
            emit snapshotChanged();
        }
        setSnapshotError(std::nullopt);
        log(LogEntry::Direction::received, QStringLiteral("SNAPSHOT %1\u00D7%2, %3 bytes on the wire")
                                               .arg(snapshot.width)
                                               .arg(snapshot.height)
                                               .arg(snapshot.packedBytes));
    }
    // A waiter may start the next capture; it joins a fresh list.
    const QList<SnapshotWaiter> waiters = std::exchange(m_snapshotWaiters, {});
    for (const SnapshotWaiter& waiter : waiters)
        if (waiter)
            waiter(result);
}

void DeviceManager::checkSnapshotWatchdog()
{
    if (!m_snapshotAssembler) {
        m_snapshotWatchdog->stop();
        return;
    }
    const auto idle = m_clock.monotonic() - m_snapshotActivity;
    if (m_snapshotAssembler->isFlowing()) {
        if (idle > snapshotStallTimeout)
            finishSnapshot(SnapshotFailure::of(SnapshotFailure::Kind::stalled));
    } else if (idle > snapshotAnswerTimeout) {
        finishSnapshot(SnapshotFailure::of(SnapshotFailure::Kind::noAnswer));
    }
}
