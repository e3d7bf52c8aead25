// The serial port against the fake device, in this process and as the tarv-fake-device
// program: the handshake, acknowledgements, patches, uploads, snapshots and injected input.

#include "link/AssetUpload.h"
#include "support/FakeDevice.h"
#include "support/WaitUntil.h"
#include "PortProbe.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

using namespace TarvUSB;
using TarvFake::FakeDevice;

namespace {

QList<std::uint16_t> unpack(const QByteArray& packed)
{
    QList<std::uint16_t> out;
    const auto byte = [&](qsizetype i) { return std::uint16_t(std::uint8_t(packed[i])); };
    for (qsizetype i = 0; i < packed.size();) {
        const int h = byte(i);
        if (h < 0x80) {
            for (int k = 0; k <= h; ++k)
                out.append(std::uint16_t(byte(i + 1 + 2 * k) | byte(i + 2 + 2 * k) << 8));
            i += 1 + 2 * (h + 1);
        } else {
            out.append(QList<std::uint16_t>(h - 126, std::uint16_t(byte(i + 1) | byte(i + 2) << 8)));
            i += 3;
        }
    }
    return out;
}

struct Linked {
    FakeDevice device;
    PortProbe probe;
    std::unique_ptr<SerialPort> port;

    Linked()
    {
        if (!device.start())
            return;
        port = probe.makePort(device.portPath());
        port->open();
    }
    void send(const Frame& frame) { port->write(onTheLine(frame)); }
    bool deviceGot(qsizetype count) { return waitUntil([&] { return device.received().size() >= count; }); }
};

Frame patch(std::uint16_t q, QList<PatchOp> ops) { return Frame{q, PatchPayload{std::move(ops)}}; }

}  // namespace

TEST(FakeDeviceLink, HelloExchange)
{
    Linked link;
    ASSERT_TRUE(link.port) << link.device.lastError().toStdString();
    link.device.setOptions({QStringLiteral("fw-test 2.3"), 7, 1024});
    link.device.sendHello();

    ASSERT_TRUE(waitUntil([&] { return !link.probe.payloads<HelloPayload>().isEmpty(); }));
    EXPECT_EQ(link.probe.payloads<HelloPayload>().first(), (HelloPayload{QStringLiteral("fw-test 2.3"), 7, 480, 320, 1024}));

    link.send(Frame{1, HelloAckPayload{1, false, QStringLiteral("Protocol version mismatch")}});
    ASSERT_TRUE(link.deviceGot(1));
    EXPECT_EQ(link.device.received().first(), (Frame{1, HelloAckPayload{1, false, QStringLiteral("Protocol version mismatch")}}));
    EXPECT_TRUE(link.probe.dropped.isEmpty());
}

TEST(FakeDeviceLink, AcknowledgesPatchesAssetsAndPingsAndCanHoldThem)
{
    Linked link;
    ASSERT_TRUE(link.port);
    link.send(Frame{10, PingPayload{10}});
    link.send(patch(11, {PatchOp::create(100, QStringLiteral("cont"), 0, 0)}));
    link.send(Frame{12, OrientationPayload{true}});  // never acknowledged
    ASSERT_TRUE(waitUntil([&] { return link.probe.payloads<AckPayload>().size() >= 2; }));
    ASSERT_TRUE(link.deviceGot(3));
    EXPECT_EQ(link.probe.payloads<AckPayload>(), (QList<AckPayload>{{10}, {11}}));

    link.device.ackPatches = false;
    link.send(patch(13, {PatchOp::setText(100, QStringLiteral("x"))}));
    link.send(Frame{14, PingPayload{14}});
    ASSERT_TRUE(waitUntil([&] { return link.probe.payloads<AckPayload>().size() >= 3; }));
    EXPECT_EQ(link.probe.payloads<AckPayload>().last().seq, 14);
    EXPECT_EQ(link.device.heldAcks(), QList<std::uint16_t>{13});

    link.device.releaseHeldAcks();
    ASSERT_TRUE(waitUntil([&] { return link.probe.payloads<AckPayload>().size() >= 4; }));
    EXPECT_EQ(link.probe.payloads<AckPayload>().last().seq, 13);
    EXPECT_TRUE(link.device.heldAcks().isEmpty());
}

TEST(FakeDeviceLink, AssemblesUploadsAndChecksTheirCRC)
{
    Linked link;
    ASSERT_TRUE(link.port);
    const QByteArray pixels(28 * 28 * 3, '\x5a');
    QList<std::uint16_t> seqs{20, 21, 22, 23, 24};
    const QList<Frame> upload = makeAssetUpload(pixels, {17, 28, 28, 1024, true}, seqs);
    for (const Frame& f : upload)
        link.send(f);
    ASSERT_TRUE(waitUntil([&] { return link.probe.payloads<AckPayload>().size() >= upload.size(); }));
    ASSERT_TRUE(link.device.assets().contains(17));
    EXPECT_TRUE(link.device.assets()[17].complete);
    EXPECT_EQ(link.device.assets()[17].data, pixels);
    EXPECT_EQ(link.device.assets()[17].name, QStringLiteral("rgb565a8le:28x28"));

    // The same upload with a wrong checksum is refused.
    QList<Frame> broken = makeAssetUpload(pixels, {18, 28, 28, 1024, true}, seqs);
    std::get<AssetEndPayload>(broken.last().p).crc32 ^= 1;
    for (const Frame& f : broken)
        link.send(f);
    ASSERT_TRUE(link.deviceGot(2 * upload.size()));
    EXPECT_FALSE(link.device.assets()[18].complete);
    EXPECT_EQ(link.device.problems(), QStringList{QStringLiteral("asset 18: checksum mismatch")});
}

TEST(FakeDeviceLink, AnswersASnapshotRequestWithItsBoxes)
{
    Linked link;
    ASSERT_TRUE(link.port);
    link.send(patch(1, {PatchOp::setProps(0, {{QStringLiteral("bg"), PropValue::color(0x0000FF)}}),
                        PatchOp::create(100, QStringLiteral("cont"), 0, 0),
                        PatchOp::setProps(100, {{QStringLiteral("x"), PropValue::int32(10)},
                                                {QStringLiteral("y"), PropValue::int32(20)},
                                                {QStringLiteral("w"), PropValue::int32(30)},
                                                {QStringLiteral("h"), PropValue::int32(40)},
                                                {QStringLiteral("bg"), PropValue::color(0xFF0000)}})}));
    link.send(Frame{2, SnapshotRequestPayload{5}});
    ASSERT_TRUE(waitUntil([&] { return !link.probe.payloads<SnapshotEndPayload>().isEmpty(); }));

    const auto begin = link.probe.payloads<SnapshotBeginPayload>();
    ASSERT_EQ(begin.size(), 1);
    EXPECT_EQ(begin[0].id, 5);
    EXPECT_EQ(begin[0].w, 480);
    EXPECT_EQ(begin[0].h, 320);
    QByteArray packed;
    for (const SnapshotChunkPayload& chunk : link.probe.payloads<SnapshotChunkPayload>()) {
        EXPECT_EQ(chunk.offset, std::uint32_t(packed.size()));
        packed += chunk.data;
    }
    EXPECT_EQ(std::uint32_t(packed.size()), begin[0].size);
    const SnapshotEndPayload end = link.probe.payloads<SnapshotEndPayload>().first();
    EXPECT_TRUE(end.ok);
    EXPECT_EQ(end.crc32, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(packed.constData()), uInt(packed.size()))));

    const QList<std::uint16_t> pixels = unpack(packed);
    ASSERT_EQ(pixels.size(), 480 * 320);
    EXPECT_EQ(pixels[0], 0x001F);                // the screen's blue
    EXPECT_EQ(pixels[20 * 480 + 10], 0xF800);    // the box's red corner
    EXPECT_EQ(pixels[59 * 480 + 39], 0xF800);
    EXPECT_EQ(pixels[60 * 480 + 40], 0x001F);
}

TEST(FakeDeviceLink, InjectsTouchesButtonsAndLogs)
{
    Linked link;
    ASSERT_TRUE(link.port);
    link.device.tap(5, 6);
    link.device.swipe(400, 100, 80, 100);
    link.device.sendButton(2, ButtonPhase::up);
    link.device.sendLog(LogLevel::error, QStringLiteral("heap low"));
    ASSERT_TRUE(waitUntil([&] { return !link.probe.payloads<LogPayload>().isEmpty(); }));

    const auto touches = link.probe.payloads<TouchPayload>();
    ASSERT_GE(touches.size(), 5);
    EXPECT_EQ(touches[0], (TouchPayload{5, 6, TouchPhase::down}));
    EXPECT_EQ(touches[1], (TouchPayload{5, 6, TouchPhase::up}));
    EXPECT_EQ(touches[2], (TouchPayload{400, 100, TouchPhase::down}));
    EXPECT_EQ(touches[3].phase, TouchPhase::move);
    EXPECT_EQ(touches.last(), (TouchPayload{80, 100, TouchPhase::up}));
    for (qsizetype k = 3; k + 1 < touches.size(); ++k)
        EXPECT_LE(touches[k + 1].x, touches[k].x);  // the swipe moves one way
    EXPECT_EQ(link.probe.payloads<ButtonPayload>(), (QList<ButtonPayload>{{2, ButtonPhase::up}}));
    EXPECT_EQ(link.probe.payloads<LogPayload>(), (QList<LogPayload>{{LogLevel::error, QStringLiteral("heap low")}}));
    // Every frame the device sent has its own sequence number.
    for (qsizetype k = 1; k < link.probe.frames.size(); ++k)
        EXPECT_EQ(link.probe.frames[k].q, link.probe.frames[k - 1].q + 1);
}

TEST(FakeDeviceProgram, PrintsItsPortAndCompletesTheHandshake)
{
    QProcess program;
    program.start(QStringLiteral(TARV_FAKE_DEVICE), {QStringLiteral("--fw"), QStringLiteral("prog-9")});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return program.canReadLine(); }));
    const QString path = QString::fromUtf8(program.readLine()).trimmed();
    EXPECT_TRUE(path.startsWith(QStringLiteral("/dev/pts/"))) << path.toStdString();

    PortProbe probe;
    auto port = probe.makePort(path);
    port->open();
    ASSERT_TRUE(waitUntil([&] { return !probe.payloads<HelloPayload>().isEmpty(); }));
    EXPECT_EQ(probe.payloads<HelloPayload>().first().fw, QStringLiteral("prog-9"));
    EXPECT_EQ(probe.payloads<HelloPayload>().first().pv, 1);

    port->write(onTheLine(Frame{1, HelloAckPayload{1, true, QStringLiteral("OK")}}));
    ASSERT_TRUE(waitUntil([&] { return program.canReadLine(); }));
    EXPECT_EQ(QString::fromUtf8(program.readLine()).trimmed(), QStringLiteral("HELLO_ACK #1 ok=true pv=1 msg=OK"));

    program.write("tap 3 4\nlog warn low battery\n");
    ASSERT_TRUE(waitUntil([&] { return !probe.payloads<LogPayload>().isEmpty(); }));
    EXPECT_EQ(probe.payloads<TouchPayload>(), (QList<TouchPayload>{{3, 4, TouchPhase::down}, {3, 4, TouchPhase::up}}));
    EXPECT_EQ(probe.payloads<LogPayload>().first(), (LogPayload{LogLevel::warn, QStringLiteral("low battery")}));

    program.write("quit\n");
    ASSERT_TRUE(waitUntil([&] { return program.state() == QProcess::NotRunning; }));
    EXPECT_EQ(program.exitCode(), 0);
    ASSERT_TRUE(waitUntil([&] { return probe.closes > 0; }));
    EXPECT_EQ(probe.reason, qt_error_string(EIO));
}

// Qt's warnings (about a missing XDG_RUNTIME_DIR, say) can come before the path in the
// program's output; the port file holds the path alone.
TEST(FakeDeviceProgram, WritesItsPortToThePortFileWhateverItsOutputSays)
{
    QTemporaryDir dir;
    const QString portFile = dir.filePath(QStringLiteral("port"));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(TARV_FAKE_DEVICE), {QStringLiteral("--port-file"), portFile});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(portFile); }));
    QFile file(portFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray line = file.readAll();
    ASSERT_TRUE(line.endsWith('\n')) << line.toStdString();
    const QString path = QString::fromUtf8(line.chopped(1));
    EXPECT_TRUE(path.startsWith(QStringLiteral("/dev/pts/"))) << path.toStdString();

    PortProbe probe;
    auto port = probe.makePort(path);
    port->open();
    EXPECT_TRUE(waitUntil([&] { return !probe.payloads<HelloPayload>().isEmpty(); }));
    program.write("quit\n");
    ASSERT_TRUE(waitUntil([&] { return program.state() == QProcess::NotRunning; }));
}
