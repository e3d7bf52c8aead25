// The connection end to end against the fake device: handshake, heartbeat, receiving and
// the loss of the port.

#include "HubFixture.h"

#include "link/DeviceWatcher.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

using namespace TarvUSB;
using namespace std::chrono_literals;

namespace {

// What the hub writes to standard error through its logging category, while one lives.
class DeviceCategoryCapture {
public:
    DeviceCategoryCapture()
    {
        lines().clear();
        previous = qInstallMessageHandler(&DeviceCategoryCapture::handle);
    }
    ~DeviceCategoryCapture() { qInstallMessageHandler(previous); }
    DeviceCategoryCapture(const DeviceCategoryCapture&) = delete;
    DeviceCategoryCapture& operator=(const DeviceCategoryCapture&) = delete;

    static QStringList& lines()
    {
        static QStringList captured;
        return captured;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        if (context.category && qstrcmp(context.category, "tarv.device") == 0)
            lines().append(message);
    }
    QtMessageHandler previous = nullptr;
};

bool hasRawControl(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
    });
}

// Another program's terminal, open at both ends.
struct OtherTerminal {
    int master = -1;
    int slave = -1;
    QString path;

    OtherTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return;
        path = QString::fromLocal8Bit(::ptsname(master));
        slave = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~OtherTerminal()
    {
        for (const int fd : {slave, master}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    OtherTerminal(const OtherTerminal&) = delete;
    OtherTerminal& operator=(const OtherTerminal&) = delete;

    bool isOpen() const { return slave >= 0; }
};

}  // namespace

TEST_F(HubTest, HandshakeAnswersWithConsecutiveNumbersAndDrawsThePage)
{
    connectAndGreet();
    const QList<Frame>& got = device.received();
    ASSERT_GE(got.size(), 3);
    const auto* reply = got[0].get<HelloAckPayload>();
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(*reply, (HelloAckPayload{1, true, QStringLiteral("OK")}));
    const auto* orientation = got[1].get<OrientationPayload>();
    ASSERT_NE(orientation, nullptr);
    EXPECT_FALSE(orientation->flipped);
    EXPECT_EQ(got[1].q, got[0].q + 1);
    EXPECT_EQ(count<BacklightPayload>(), 0) << "no level is stored";
    EXPECT_NE(got[2].get<PatchPayload>(), nullptr);
    EXPECT_TRUE(hub->deviceHoldsScreen());
    EXPECT_EQ(hub->state().path, device.portPath());
    EXPECT_EQ(hub->state().hello->fw, QStringLiteral("fake-1.0"));
    EXPECT_EQ(logTexts().first(), QStringLiteral("Found Tarv at ") + device.portPath());
    EXPECT_TRUE(logTexts().contains(QStringLiteral("HELLO_ACK #%1 ok=true pv=1").arg(got[0].q)));
}

TEST_F(HubTest, BacklightFollowsOrientationOnlyWhenALevelIsStored)
{
    settings->setWholeNumber(QStringLiteral("display.backlight"), 250);
    settings->setBoolean(QStringLiteral("display.flipped"), true);
    connectAndGreet();
    const QList<Frame>& got = device.received();
    ASSERT_NE(got[2].get<BacklightPayload>(), nullptr);
    EXPECT_EQ(got[2].get<BacklightPayload>()->level, 100) << "clamped to 10 … 100";
    EXPECT_TRUE(got[1].get<OrientationPayload>()->flipped);
    EXPECT_EQ(got[2].q, got[1].q + 1);
}

TEST_F(HubTest, AnotherProtocolVersionIsRefusedAndNothingElseIsSent)
{
    device.setOptions({QStringLiteral("fake-2.0"), 2, 0});
    attach();
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected(); }));
    roundTrip();
    ASSERT_EQ(device.received().size(), 1);
    EXPECT_EQ(*device.received()[0].get<HelloAckPayload>(),
              (HelloAckPayload{1, false, QStringLiteral("Protocol version mismatch")}));
    EXPECT_FALSE(hub->deviceHoldsScreen());
    EXPECT_EQ(hub->state().hello->pv, 2);
}

TEST_F(HubTest, HeartbeatIsSilentAndItsAcknowledgementsAreConsumed)
{
    connectAndGreet();
    const qsizetype logSize = hub->log().size();
    hub->setHeartbeatInterval(10);
    ASSERT_TRUE(waitUntil([&] { return count<PingPayload>() >= 3; }));
    hub->setHeartbeatInterval(DeviceManager::heartbeatIntervalMs);
    // A PING written just before the interval changed may be answered after the marker.
    EXPECT_TRUE(waitUntil([&] { return hub->heartbeatSequences().isEmpty(); }));
    roundTrip();
    EXPECT_EQ(hub->log().size(), logSize + 1) << "only the marker: no PING and no ACK line";
    for (const Frame& ping : framesOf<PingPayload>())
        EXPECT_EQ(ping.get<PingPayload>()->nonce, ping.q);
}

TEST_F(HubTest, UnansweredPingsPileUpWithoutConsequence)
{
    device.ackPings = false;
    connectAndGreet();
    hub->sendHeartbeat();
    hub->sendHeartbeat();
    roundTrip();
    EXPECT_EQ(hub->heartbeatSequences().size(), 2);
    EXPECT_TRUE(hub->state().isConnected());
}

TEST_F(HubTest, HeartbeatSendsNothingBeforeTheHandshake)
{
    attach();
    hub->sendHeartbeat();
    EXPECT_TRUE(hub->heartbeatSequences().isEmpty());
    EXPECT_EQ(hub->nextSequence(), 1);
}

TEST_F(HubTest, AnAcknowledgementOfAnUnknownNumberIsLoggedOnce)
{
    connectAndGreet();
    const QSet<std::uint16_t> waiting = hub->outstandingAcks();
    device.sendFrame(Frame{900, AckPayload{4321}});
    roundTrip();
    EXPECT_EQ(logCount(QStringLiteral("ACK #900 seq=4321")), 1);
    EXPECT_EQ(hub->outstandingAcks(), waiting);
}

TEST_F(HubTest, DeviceLogLinesShowTheirLevel)
{
    attach();
    device.sendLog(LogLevel::debug, QStringLiteral("a"));
    device.sendLog(LogLevel::info, QStringLiteral("b"));
    device.sendLog(LogLevel::warn, QStringLiteral("c"));
    device.sendLog(LogLevel::error, QStringLiteral("d"));
    ASSERT_TRUE(waitUntil([&] { return logTexts().contains(QStringLiteral("DEVICE ERROR: d")); }));
    const QStringList texts = logTexts();
    EXPECT_TRUE(texts.contains(QStringLiteral("DEVICE warning: a")));
    EXPECT_TRUE(texts.contains(QStringLiteral("DEVICE warning: b")));
    EXPECT_TRUE(texts.contains(QStringLiteral("DEVICE warning: c")));
}

TEST_F(HubTest, GarbageAndOverlongInputAreDroppedAndTheLinkGoesOn)
{
    attach();
    device.sendBytes(QByteArray::fromHex("02ff03c1c2c300"));
    device.sendBytes(QByteArray(FrameParser::maxFrameBytes + 100, 'A') + QByteArray(1, '\0'));
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected(); }));
    EXPECT_EQ(logCount(QStringLiteral("Dropped frame: ")), 1) << "the rest of the second is only counted";
    EXPECT_TRUE(hub->isPortOpen());
    advance(DeviceManager::dropSummaryInterval);
    hub->flushDroppedFrames();
    EXPECT_EQ(logCount(QStringLiteral("Dropped frame: ")), 2);
}

TEST_F(HubTest, HangUpLosesTheConnectionAndForgetsTheDevice)
{
    connectAndGreet();
    device.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !hub->isPortOpen(); }));
    EXPECT_EQ(hub->state(), ConnectionState::disconnected());
    EXPECT_FALSE(hub->activeRegistryID());
    EXPECT_FALSE(hub->deviceHoldsScreen());
    EXPECT_TRUE(hub->queuedFrames().isEmpty());
    EXPECT_TRUE(hub->outstandingAcks().isEmpty());
    EXPECT_EQ(logCount(QStringLiteral("Serial port closed: ")), 1);
    const std::uint16_t next = hub->nextSequence();
    EXPECT_GT(next, 1) << "sequence numbers are never reset";
}

TEST_F(HubTest, DetachEndsTheConnectionAndTheLateCloseDoesNothing)
{
    connectAndGreet();
    hub->watcher().onDetach({7, device.portPath()});
    EXPECT_EQ(hub->state(), ConnectionState::disconnected());
    EXPECT_EQ(logCount(QStringLiteral("Tarv disconnected")), 1);
    const qsizetype logSize = hub->log().size();
    QTest::qWait(30);  // the old reader's close callback comes and goes
    EXPECT_EQ(hub->log().size(), logSize);
    EXPECT_EQ(logCount(QStringLiteral("Serial port closed")), 0);
}

TEST_F(HubTest, ADetachOfAnotherDeviceAndASecondAttachChangeNothing)
{
    attach(7);
    const qsizetype logSize = hub->log().size();
    hub->watcher().onAttach({8, QStringLiteral("/dev/null")});
    hub->watcher().onDetach({9, QStringLiteral("/dev/ttyACM9")});
    EXPECT_EQ(hub->log().size(), logSize);
    EXPECT_EQ(hub->activeRegistryID(), 7u);
    EXPECT_TRUE(hub->isPortOpen());
}

TEST_F(HubTest, APortThatCannotOpenLeavesTheHubDisconnected)
{
    makeHub();
    hub->connect(3, dir.filePath(QStringLiteral("no-such-port")));
    EXPECT_EQ(hub->state(), ConnectionState::disconnected());
    EXPECT_FALSE(hub->activeRegistryID());
    EXPECT_EQ(logCount(QStringLiteral("Open failed: Could not open serial port: ")), 1);
}

TEST_F(HubTest, LateCallbacksOfAnOldPortNeverTouchTheNewConnection)
{
    connectAndGreet();
    TarvFake::FakeDevice second;
    ASSERT_TRUE(second.start());
    // The old port is closed and a new one opened in the same turn: the old reader's close
    // callback (and any data it still read) arrives while the new port is current.
    hub->watcher().onDetach({7, device.portPath()});
    device.sendLog(LogLevel::error, QStringLiteral("late line of the old port"));
    hub->connect(8, second.portPath());
    second.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected(); }));
    QTest::qWait(30);
    EXPECT_TRUE(hub->isPortOpen());
    EXPECT_TRUE(hub->state().isConnected());
    EXPECT_EQ(hub->activeRegistryID(), 8u);
    EXPECT_FALSE(logTexts().contains(QStringLiteral("DEVICE ERROR: late line of the old port")));
}

TEST_F(HubTest, DeviceTextReachesTheLogAndStandardErrorEscapedAndCut)
{
    DeviceCategoryCapture standardError;
    const QString firmware = QStringLiteral("a\x1b[2Jb\nFAKE LINE");
    device.setOptions({firmware, 1, 0});
    connectAndGreet();
    device.sendLog(LogLevel::error, QStringLiteral("tab\there\r\u0085\x7F\\x1B"));
    // The cut falls just after a character outside the basic plane, which stays whole.
    device.sendLog(LogLevel::info, QString(499, u'x') + QStringLiteral("\U0001F600yyyy"));
    roundTrip();

    const QString hello = QStringLiteral("HELLO #1 fw=a\\x1B[2Jb\\nFAKE LINE pv=1 display=480\u00D7320");
    EXPECT_TRUE(logTexts().contains(hello));
    EXPECT_EQ(hub->state().hello->fw, firmware) << "only the log line is escaped";
    EXPECT_TRUE(logTexts().contains(QStringLiteral("DEVICE ERROR: tab\\there\\r\\x85\\x7F\\\\x1B")));
    EXPECT_TRUE(logTexts().contains(QStringLiteral("DEVICE warning: ") + QString(499, u'x')
                                    + QStringLiteral("\U0001F600\u2026")));
    for (const QString& text : logTexts())
        EXPECT_FALSE(hasRawControl(text)) << text.toStdString();
    for (const QString& line : DeviceCategoryCapture::lines())
        EXPECT_FALSE(hasRawControl(line)) << line.toStdString();
    EXPECT_TRUE(DeviceCategoryCapture::lines().contains(QStringLiteral("RX ") + hello));
}

TEST_F(HubTest, AFloodOfDamagedFramesLeavesOneLineAndThenOneSummaryASecond)
{
    DeviceCategoryCapture standardError;
    const QByteArray damaged = QByteArray::fromHex("02ff00");
    attach();
    device.sendBytes(damaged.repeated(1000));
    roundTrip();
    const auto dropLines = [] {
        const QStringList& lines = DeviceCategoryCapture::lines();
        return std::count_if(lines.cbegin(), lines.cend(),
                             [](const QString& l) { return l.startsWith(QStringLiteral("-- Dropped frame: ")); });
    };
    EXPECT_EQ(logCount(QStringLiteral("Dropped frame: ")), 1);

    advance(999ms);
    hub->flushDroppedFrames();
    EXPECT_EQ(logCount(QStringLiteral("Dropped frame: ")), 1);
    advance(1ms);
    hub->flushDroppedFrames();
    EXPECT_EQ(logTexts().last(), QStringLiteral("Dropped frame: \u2026 and 999 more"));

    // Drops that arrive once the next second is over bring its count out themselves.
    device.sendBytes(damaged.repeated(5));
    roundTrip();
    advance(1s);
    device.sendBytes(damaged.repeated(3));
    roundTrip();
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Dropped frame: \u2026 and 5 more")));
    advance(1s);
    hub->flushDroppedFrames();
    EXPECT_EQ(logTexts().last(), QStringLiteral("Dropped frame: \u2026 and 3 more"));

    // After a quiet second the next drop is shown in full again.
    advance(1s);
    hub->flushDroppedFrames();
    device.sendBytes(damaged);
    roundTrip();
    EXPECT_EQ(logCount(QStringLiteral("Dropped frame: ")), 5);
    const QString last = logTexts()[logTexts().size() - 2];  // the marker comes after it
    EXPECT_TRUE(last.startsWith(QStringLiteral("Dropped frame: ")) && !last.contains(QStringLiteral(" more")))
        << last.toStdString();
    EXPECT_EQ(dropLines(), 5) << "standard error carries the same lines";
}

// A path named by hand is handed to another terminal once its own goes away; Tarv used to
// open that terminal and read what was written for it.
TEST_F(HubTest, APortNamedByHandIsNeverReopenedUnderAnotherOwner)
{
    const QString link = dir.filePath(QStringLiteral("tarv-port"));
    ASSERT_TRUE(device.start());
    ASSERT_TRUE(QFile::link(device.portPath(), link));
    makeHub();
    qputenv("TARV_SERIAL_PORT", link.toLocal8Bit());
    hub->watcher().start();
    qunsetenv("TARV_SERIAL_PORT");
    ASSERT_TRUE(hub->isPortOpen());
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected(); }));
    const std::uint64_t registryID = *hub->activeRegistryID();

    // Another program's terminal takes the name as the device goes.
    const OtherTerminal other;
    ASSERT_TRUE(other.isOpen());
    device.hangUp();
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(other.path, link));
    ASSERT_TRUE(waitUntil([&] { return !hub->isPortOpen(); }));

    EXPECT_FALSE(hub->pendingReopenDelay());
    EXPECT_EQ(hub->state(), ConnectionState::disconnected());
    EXPECT_FALSE(hub->watcher().device(registryID)) << "no longer listed";
    advance(10s);
    hub->retryConnection();
    EXPECT_FALSE(hub->isPortOpen());
    EXPECT_EQ(logCount(QStringLiteral("Serial port went away: ") + link), 1);

    // What is written for that terminal reaches it.
    ASSERT_EQ(::write(other.master, "typed\n", 6), 6);
    char got[16] = {};
    ASSERT_TRUE(waitUntil([&] { return ::read(other.slave, got, sizeof got) > 0; }));
    EXPECT_STREQ(got, "typed\n");
}

TEST_F(HubTest, APseudoTerminalNamedBeforeItExistsIsNotWaitedFor)
{
    // Whatever terminal is given that number next belongs to another program, however the
    // path that leads to it is written.
    const QString link = dir.filePath(QStringLiteral("tarv-port"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/987654"), link));
    for (const QString& unused : {QStringLiteral("/dev/pts/987654"), QStringLiteral("/dev//pts/987654"),
                                  QStringLiteral("/dev/pts/../pts/987654"), link}) {
        hub.reset();
        makeHub();
        qputenv("TARV_SERIAL_PORT", unused.toLocal8Bit());
        hub->watcher().start();
        qunsetenv("TARV_SERIAL_PORT");
        EXPECT_FALSE(hub->pendingReopenDelay()) << unused.toStdString();
        EXPECT_EQ(logCount(QStringLiteral("Serial port went away: ") + unused), 1) << unused.toStdString();
    }
}

// A port named by hand whose first open failed had no node to be told from: the next try
// opened whatever terminal had taken its name meanwhile and switched it to raw mode.
TEST_F(HubTest, APortWhoseFirstOpenFailsIsTriedAgainOnlyAsTheNodeFirstSeen)
{
    // A terminal that is not unlocked yet: its open fails with EIO.
    const int lockedMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(lockedMaster, 0);
    ASSERT_EQ(::grantpt(lockedMaster), 0);
    const QString link = dir.filePath(QStringLiteral("tarv-port"));
    ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(::ptsname(lockedMaster)), link));
    makeHub();
    qputenv("TARV_SERIAL_PORT", link.toLocal8Bit());
    hub->watcher().start();
    qunsetenv("TARV_SERIAL_PORT");
    EXPECT_FALSE(hub->isPortOpen());
    EXPECT_EQ(logCount(QStringLiteral("Open failed: Could not open serial port: ") + qt_error_string(EIO)), 1);
    ASSERT_EQ(hub->pendingReopenDelay(), 1000ms);

    // Before the next try, another program's terminal, in its own mode, takes the name.
    const OtherTerminal other;
    ASSERT_TRUE(other.isOpen());
    termios before{};
    ASSERT_EQ(::tcgetattr(other.slave, &before), 0);
    ::close(lockedMaster);
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(other.path, link));

    advance(1000ms);
    hub->retryConnection();
    EXPECT_FALSE(hub->isPortOpen());
    EXPECT_FALSE(hub->pendingReopenDelay());
    EXPECT_EQ(logCount(QStringLiteral("Serial port went away: ") + link), 1);
    EXPECT_EQ(logCount(QStringLiteral("Serial port opened")), 0);
    termios after{};
    ASSERT_EQ(::tcgetattr(other.slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "the other terminal keeps its mode";
}

// A port that fails its very first open (busy at plug-in, or named by hand before it exists)
// used to be given up for good.
TEST_F(HubTest, APortThatFailsItsFirstOpenIsTriedAgainWhileListed)
{
    const QString link = dir.filePath(QStringLiteral("tarv-port"));
    makeHub();
    qputenv("TARV_SERIAL_PORT", link.toLocal8Bit());
    hub->watcher().start();
    qunsetenv("TARV_SERIAL_PORT");
    EXPECT_FALSE(hub->isPortOpen());
    EXPECT_EQ(hub->state(), ConnectionState::disconnected());
    EXPECT_EQ(hub->pendingReopenDelay(), 1000ms);

    advance(1000ms);
    hub->retryConnection();
    EXPECT_EQ(hub->pendingReopenDelay(), 2000ms);
    EXPECT_EQ(logCount(QStringLiteral("Open failed: ")), 1) << "the same failure is said once";

    ASSERT_TRUE(device.start());
    ASSERT_TRUE(QFile::link(device.portPath(), link));
    advance(2000ms);
    hub->retryConnection();
    ASSERT_TRUE(hub->isPortOpen());
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected(); }));
}

TEST_F(HubTest, OnlyAListedDeviceIsRetriedAndItsDetachEndsTheRetries)
{
    // The watcher does not list it (the device has gone): the loss is final.
    attach(7);
    device.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !hub->isPortOpen(); }));
    EXPECT_FALSE(hub->pendingReopenDelay());

    // A listed port that is not there yet is retried until its device goes.
    const QString missing = dir.filePath(QStringLiteral("not-yet"));
    qputenv("TARV_SERIAL_PORT", missing.toLocal8Bit());
    hub->watcher().start();
    qunsetenv("TARV_SERIAL_PORT");
    ASSERT_EQ(hub->pendingReopenDelay(), 1000ms);
    const DeviceWatcher::Device listed{DeviceWatcher::idForSysPath("manual:" + missing.toLocal8Bit()), missing, true};
    ASSERT_TRUE(hub->watcher().device(listed.registryID));
    hub->watcher().onDetach(listed);
    EXPECT_FALSE(hub->pendingReopenDelay());
    advance(5s);
    const qsizetype logSize = hub->log().size();
    hub->retryConnection();
    EXPECT_EQ(hub->log().size(), logSize);
    EXPECT_FALSE(hub->isPortOpen());
}
