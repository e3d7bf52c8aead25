// Opening the device's port on attach, the loss of the connection, reopening a port that
// failed while its device stays (and letting go of one named by hand whose node has gone),
// and the start of the command socket server.

#include "hub/DeviceManager.h"

#include "link/DeviceWatcher.h"
#include "link/SerialPort.h"
#include "screens/runtime/ScreenDataSources.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <iterator>

using namespace TarvUSB;

void DeviceManager::connect(std::uint64_t registryID, const QString& path)
{
    // One device at a time; another one plugged in meanwhile is ignored.
    if (m_activeRegistryID)
        return;
    // A device attached now starts afresh, whatever was being retried.
    cancelReopen();
    resetReopenSeries();
    m_activeRegistryID = registryID;
    setState(ConnectionState::connecting(path));
    log(LogEntry::Direction::system, QStringLiteral("Found Tarv at ") + path);
    lookAtPort(registryID, path);
    if (const auto failure = openPort(path, knownPortNode(registryID))) {
        const QString text = QStringLiteral("Open failed: ") + *failure;
        log(LogEntry::Direction::system, text);
        m_activeRegistryID.reset();
        setState(ConnectionState::disconnected());
        // A port that is busy at plug-in (a modem manager probing it) or a path named by hand
        // that is not there yet is tried again while its device stays listed, quietly while
        // it fails the same way.
        if (m_watcher->device(registryID)) {
            if (portHasGone(registryID, path)) {
                portWentAway(registryID, path);
                return;
            }
            m_lastReopenFailure = text;
            scheduleReopen(registryID);
        }
        return;
    }
    rememberPortNode(registryID);
    // The device speaks first, with HELLO.
    log(LogEntry::Direction::system, QStringLiteral("Serial port opened; DTR toggled"));
}

void DeviceManager::lookAtPort(std::uint64_t registryID, const QString& path)
{
    const std::optional<DeviceWatcher::Device> device = m_watcher->device(registryID);
    if (!device || !device->namedByHand || m_portNodes.contains(registryID))
        return;
    // A first open that fails (a terminal not unlocked yet, a busy port) must not leave the
    // path free to name whatever takes it over before the next try.
    if (const PortNode::Lookup now = PortNode::at(path); now.node)
        m_portNodes.insert(registryID, *now.node);
}

void DeviceManager::rememberPortNode(std::uint64_t registryID)
{
    // The node can appear between the look and the open.
    const std::optional<DeviceWatcher::Device> device = m_watcher->device(registryID);
    if (!device || !device->namedByHand || m_portNodes.contains(registryID) || !m_serialPort)
        return;
    if (const std::optional<PortNode>& node = m_serialPort->node())
        m_portNodes.insert(registryID, *node);
}

std::optional<PortNode> DeviceManager::knownPortNode(std::uint64_t registryID) const
{
    const auto found = m_portNodes.constFind(registryID);
    if (found == m_portNodes.cend())
        return std::nullopt;
    return found.value();
}

bool DeviceManager::portHasGone(std::uint64_t registryID, const QString& path) const
{
    // A port found by udev is the device while udev lists it.
    const std::optional<DeviceWatcher::Device> device = m_watcher->device(registryID);
    if (!device || !device->namedByHand)
        return false;
    const PortNode::Lookup now = PortNode::at(path);
    const std::optional<PortNode> known = knownPortNode(registryID);
    // A path never seen to name a node has nothing to be told from, and one named before it
    // exists is waited for; but a pseudo-terminal that is not there can only ever come back
    // as the next terminal opened, whatever link or spelling leads to it.
    if (!known)
        return now.isGone() && PortNode::leadsToPseudoTerminal(path);
    return now.isGone() || (now.node && *now.node != *known);
}

void DeviceManager::portWentAway(std::uint64_t registryID, const QString& path)
{
    if (m_reopenID == registryID)
        cancelReopen();
    m_portNodes.remove(registryID);
    m_watcher->forget(registryID);
    log(LogEntry::Direction::system,
        QStringLiteral("Serial port went away: ") + path + QStringLiteral(" (not opened again)"));
}

std::optional<QString> DeviceManager::openPort(const QString& path, const std::optional<PortNode>& expectedNode)
{
    // The callbacks run on the port's reader thread: each only hands its work to this
    // thread, tagged with the port's generation, so that a late callback of an earlier port
    // never acts on the connection that replaced it.
    const std::uint64_t generation = ++m_portGeneration;
    const QPointer<DeviceManager> weak(this);
    // A chunk stays held until its hand-over has run (or been dropped): the reader stops while
    // too many wait, so a device that sends faster than this thread takes it in is held back
    // by the line rather than growing the queue of hand-overs.
    auto onData = [weak, generation](const QByteArray& chunk, const SerialPort::ChunkHold& hold) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, generation, chunk, hold] {
                if (weak)
                    weak->handleReceived(generation, chunk);
            },
            Qt::QueuedConnection);
    };
    auto onClose = [weak, generation](const std::optional<QString>& reason) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, generation, reason] {
                if (weak)
                    weak->handlePortClosed(generation, reason);
            },
            Qt::QueuedConnection);
    };
    auto onDrained = [weak, generation] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, generation] {
                if (weak)
                    weak->handlePortDrained(generation);
            },
            Qt::QueuedConnection);
    };
    m_serialPort = std::make_unique<SerialPort>(path, std::move(onData), std::move(onClose), std::move(onDrained));
    try {
        m_serialPort->open(expectedNode);
    } catch (const SerialPort::PortError& error) {
        m_serialPort.reset();
        return error.description();
    }
    return std::nullopt;
}

void DeviceManager::disconnect(std::uint64_t registryID)
{
    if (m_reopenID == registryID)
        cancelReopen();
    if (!m_activeRegistryID || *m_activeRegistryID != registryID)
        return;
    log(LogEntry::Direction::system, QStringLiteral("Tarv disconnected"));
    connectionLost();
}

void DeviceManager::handlePortClosed(std::uint64_t generation, const std::optional<QString>& reason)
{
    // A port that is no longer the current one has been dealt with already.
    if (generation != m_portGeneration || !m_serialPort)
        return;
    // Without a reason the port was closed here, on purpose.
    if (!reason) {
        connectionLost();
        return;
    }
    const std::optional<std::uint64_t> registryID = m_activeRegistryID;
    const QString path = m_serialPort->path();
    logReopenFailure(QStringLiteral("Serial port closed: ") + *reason);
    connectionLost();
    // The device may have hung up for a moment only (a reset, a firmware fault): while it is
    // still listed, its port is tried again. A port named by hand is listed until its node
    // goes; a pseudo-terminal's goes as its other end closes.
    if (!registryID || !m_watcher->device(*registryID))
        return;
    if (portHasGone(*registryID, path))
        portWentAway(*registryID, path);
    else
        scheduleReopen(*registryID);
}

std::chrono::milliseconds DeviceManager::reopenDelay(int attempt)
{
    using std::chrono::milliseconds;
    constexpr milliseconds steps[] = {milliseconds(1000), milliseconds(2000), milliseconds(4000)};
    return attempt >= 0 && attempt < int(std::size(steps)) ? steps[attempt] : milliseconds(5000);
}

std::optional<std::chrono::milliseconds> DeviceManager::pendingReopenDelay() const
{
    if (!m_reopenID)
        return std::nullopt;
    return m_reopenDelay;
}

void DeviceManager::scheduleReopen(std::uint64_t registryID)
{
    m_reopenID = registryID;
    m_reopenDelay = reopenDelay(m_reopenAttempts);
    // Past the last step the delay stays; the count only has to say that a series runs.
    m_reopenAttempts = std::min(m_reopenAttempts + 1, 16);
    m_reopenDue = m_clock.monotonic() + m_reopenDelay;
    wakeAt(m_reopenTimer, m_reopenDue, &DeviceManager::retryConnection);
}

void DeviceManager::cancelReopen()
{
    m_reopenID.reset();
    if (m_reopenTimer)
        m_reopenTimer->stop();
}

void DeviceManager::resetReopenSeries()
{
    m_reopenAttempts = 0;
    m_lastReopenFailure.clear();
    m_reopenOpenLogged = false;
}

void DeviceManager::logReopenFailure(const QString& text)
{
    // A port that keeps failing in the same way would otherwise add a line every few seconds
    // for as long as the application runs.
    if (m_reopenAttempts == 0 || text != m_lastReopenFailure)
        log(LogEntry::Direction::system, text);
    m_lastReopenFailure = text;
}

void DeviceManager::retryConnection()
{
    if (!m_reopenID)
        return;
    if (m_clock.monotonic() < m_reopenDue) {
        wakeAt(m_reopenTimer, m_reopenDue, &DeviceManager::retryConnection);
        return;
    }
    const std::uint64_t registryID = *m_reopenID;
    cancelReopen();
    const std::optional<TarvUSB::DeviceWatcher::Device> device = m_watcher->device(registryID);
    if (m_activeRegistryID || !device)
        return;
    lookAtPort(registryID, device->path);
    if (portHasGone(registryID, device->path)) {
        portWentAway(registryID, device->path);
        return;
    }
    if (const auto failure = openPort(device->path, knownPortNode(registryID))) {
        // The path may have changed hands between the look and the open.
        if (portHasGone(registryID, device->path)) {
            portWentAway(registryID, device->path);
            return;
        }
        logReopenFailure(QStringLiteral("Open failed: ") + *failure);
        scheduleReopen(registryID);
        return;
    }
    m_activeRegistryID = registryID;
    rememberPortNode(registryID);
    setState(ConnectionState::connecting(device->path));
    // A port that opens and fails again at once is reopened quietly after the first time.
    if (!m_reopenOpenLogged) {
        log(LogEntry::Direction::system, QStringLiteral("Found Tarv at ") + device->path);
        log(LogEntry::Direction::system, QStringLiteral("Serial port opened; DTR toggled"));
        m_reopenOpenLogged = true;
    }
}

void DeviceManager::wakeAt(QTimer*& timer, HubClock::MonotonicTime due, void (DeviceManager::*slot)())
{
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, this, slot);
    }
    // The timer may wake early or late; the slot compares with the clock and sleeps again
    // when it is early.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - m_clock.monotonic());
    timer->start(std::max(left, std::chrono::milliseconds(1)));
}

void DeviceManager::forgetDeviceHoldings()
{
    setDeviceHoldsScreen(false);
    m_shownHomeKeys.reset();
    m_deviceEmojiBySlot.clear();
    m_deviceSpriteBySlot.clear();
    m_backdropIdentity.reset();
    // Animation steps edit nodes of the page the device held; a new render arms them again.
    if (m_customAnimationTimer)
        m_customAnimationTimer->stop();
}

void DeviceManager::connectionLost()
{
    if (auto port = std::move(m_serialPort))
        port->close();
    m_activeRegistryID.reset();
    m_parser = FrameParser();
    clearSendWindow();
    m_deviceStalled = false;
    m_ackLossReported = false;
    forgetDeviceHoldings();
    m_heartbeatSequences.clear();
    setState(ConnectionState::disconnected());
    m_customLayout.reset();
    updateScreenDataSources();
    cancelToastTimer();
    m_toast.reset();
    m_toastTouches = {};
    m_pageChildCount = 0;
    m_toastIsOnDevice = false;
    finishSnapshot(SnapshotFailure::of(SnapshotFailure::Kind::disconnected));
}
