// Opening the device's port on attach, the loss of the connection, and the start of the
// command socket server.

#include "hub/DeviceManager.h"

#include "link/SerialPort.h"
#include "screens/runtime/ScreenDataSources.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>

using namespace TarvUSB;

void DeviceManager::connect(std::uint64_t registryID, const QString& path)
{
    // One device at a time; another one plugged in meanwhile is ignored.
    if (m_activeRegistryID)
        return;
    m_activeRegistryID = registryID;
    setState(ConnectionState::connecting(path));
    log(LogEntry::Direction::system, QStringLiteral("Found Tarv at ") + path);

    // The callbacks run on the port's reader thread: each only hands its work to this
    // thread, tagged with the port's generation, so that a late callback of an earlier port
    // never acts on the connection that replaced it.
    const std::uint64_t generation = ++m_portGeneration;
    const QPointer<DeviceManager> weak(this);
    auto onData = [weak, generation](const QByteArray& chunk) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, generation, chunk] {
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
    m_serialPort = std::make_unique<SerialPort>(path, std::move(onData), std::move(onClose));
    try {
        m_serialPort->open();
    } catch (const SerialPort::PortError& error) {
        log(LogEntry::Direction::system, QStringLiteral("Open failed: ") + error.description());
        m_serialPort.reset();
        m_activeRegistryID.reset();
        setState(ConnectionState::disconnected());
        return;
    }
    // The device speaks first, with HELLO.
    log(LogEntry::Direction::system, QStringLiteral("Serial port opened; DTR toggled"));
}

void DeviceManager::disconnect(std::uint64_t registryID)
{
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
    if (reason)
        log(LogEntry::Direction::system, QStringLiteral("Serial port closed: ") + *reason);
    connectionLost();
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
    m_deviceEmojiBySlot.clear();
    m_deviceSpriteBySlot.clear();
    m_backdropIdentity.reset();
    // The custom page's layout and animation belong to the page driver; they are dropped
    // with the device's page here once that driver keeps them.
}

void DeviceManager::connectionLost()
{
    if (auto port = std::move(m_serialPort))
        port->close();
    m_activeRegistryID.reset();
    m_parser = FrameParser();
    m_queuedFrames.clear();
    m_outstandingAcks.clear();
    emit queueChanged();
    forgetDeviceHoldings();
    m_heartbeatSequences.clear();
    setState(ConnectionState::disconnected());
    m_customLayout.reset();
    updateScreenDataSources();
    m_toast.reset();
    m_toastTouches = {};
    m_pageChildCount = 0;
    m_toastIsOnDevice = false;
    finishSnapshot(SnapshotFailure::of(SnapshotFailure::Kind::disconnected));
}

void DeviceManager::startNotifyServer()
{
    if (!m_notifyServerFactory)
        return;
    const QPointer<DeviceManager> weak(this);
    NotifyServer::Handler handler = [weak](const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply) {
        // Requests arrive on the server's thread; the hub answers on its own.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, request, reply = std::move(reply)] {
                if (weak)
                    reply(weak->handleCommand(request));
            },
            Qt::QueuedConnection);
    };
    std::unique_ptr<NotifyServer> server = m_notifyServerFactory(NotifyChannel::socketPath(), std::move(handler));
    if (!server)
        return;
    if (const auto error = server->start()) {
        if (error->kind == NotifyServer::StartError::Kind::alreadyServed)
            log(LogEntry::Direction::system,
                QStringLiteral("Notifications: another copy of Tarv is already listening for `tarv notify`"));
        else
            log(LogEntry::Direction::system,
                QStringLiteral("Notifications: could not listen for `tarv notify`: ") + error->message);
        return;
    }
    m_notifyServer = std::move(server);
    if (auto* app = QCoreApplication::instance()) {
        NotifyServer* running = m_notifyServer.get();
        QObject::connect(app, &QCoreApplication::aboutToQuit, this, [running] { running->stop(); });
    }
}

NotifyChannel::Reply DeviceManager::handleCommand(const NotifyChannel::Request&)
{
    // The commands arrive with the command channel.
    return NotifyChannel::Reply{{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("unknown command")}};
}
