#include "support/FakeDevice.h"

#include "link/AssetUpload.h"
#include "link/Cobs.h"
#include "support/PackBits.h"

#include <QImage>
#include <QSocketNotifier>
#include <QtGlobal>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace TarvFake {

using namespace TarvUSB;

namespace {

QString num(qint64 value) { return QString::number(value); }
QString flag(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

}  // namespace

FakeDevice::FakeDevice() = default;

FakeDevice::FakeDevice(Options options) : opts(std::move(options)) {}

FakeDevice::~FakeDevice() { hangUp(); }

bool FakeDevice::start()
{
    if (master >= 0)
        return true;
    const auto fail = [this](const char* what) {
        error = QString::fromLatin1(what) + QStringLiteral(": ") + qt_error_string(errno);
        hangUp();
        return false;
    };

    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0)
        return fail("posix_openpt");
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return fail("unlockpt");
    char name[128] = {};
    if (::ptsname_r(master, name, sizeof name) != 0)
        return fail("ptsname");
    slavePath = QString::fromLocal8Bit(name);

    // Holding one end of the line open ourselves keeps what we send queued for the desktop
    // until it opens the port, and the line raw before it configures it.
    slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveKeeper < 0)
        return fail("open");
    termios settings{};
    if (::tcgetattr(slaveKeeper, &settings) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&settings);
    if (::tcsetattr(slaveKeeper, TCSANOW, &settings) != 0)
        return fail("tcsetattr");

    notifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { readAvailable(); });
    return true;
}

void FakeDevice::hangUp()
{
    notifier.reset();
    writable.reset();
    outgoing.clear();
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    if (master >= 0)
        ::close(master);
    slaveKeeper = master = -1;
}

std::uint16_t FakeDevice::nextSequence() { return sequence++; }

void FakeDevice::sendBytes(const QByteArray& bytes)
{
    if (master < 0) {
        deviceProblems.append(QStringLiteral("send: the line is closed"));
        return;
    }
    if (outgoing.size() + bytes.size() > maxPendingBytes) {
        deviceProblems.append(QStringLiteral("send: the desktop is not reading; dropped ") + num(bytes.size()) +
                              QStringLiteral(" bytes whole"));
        return;
    }
    outgoing.append(bytes);
    writePending();
}

void FakeDevice::writePending()
{
    while (!outgoing.isEmpty()) {
        const ssize_t n = ::write(master, outgoing.constData(), size_t(outgoing.size()));
        if (n > 0) {
            outgoing.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        deviceProblems.append(QStringLiteral("send: ") + qt_error_string(n < 0 ? errno : EIO) +
                              QStringLiteral("; dropped ") + num(outgoing.size()) + QStringLiteral(" bytes"));
        outgoing.clear();
    }
    // The rest goes out as the line drains.
    if (!outgoing.isEmpty() && !writable) {
        writable = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Write);
        QObject::connect(writable.get(), &QSocketNotifier::activated, writable.get(), [this] { writePending(); });
    }
    if (writable)
        writable->setEnabled(!outgoing.isEmpty());
}

void FakeDevice::sendFrame(const Frame& frame)
{
    QByteArray wire = cobsEncode(Frame::encode(frame));
    wire.append('\0');
    sendBytes(wire);
}

void FakeDevice::sendHello()
{
    sendFrame(Frame{nextSequence(),
                    HelloPayload{opts.firmware, opts.protocolVersion, std::uint16_t(screenWidth),
                                 std::uint16_t(screenHeight), opts.psram}});
}

void FakeDevice::sendTouch(std::uint16_t x, std::uint16_t y, TouchPhase phase)
{
    sendFrame(Frame{nextSequence(), TouchPayload{x, y, phase}});
}

void FakeDevice::sendButton(std::uint16_t id, ButtonPhase phase)
{
    sendFrame(Frame{nextSequence(), ButtonPayload{id, phase}});
}

void FakeDevice::sendLog(LogLevel level, const QString& text)
{
    sendFrame(Frame{nextSequence(), LogPayload{level, text}});
}

void FakeDevice::tap(std::uint16_t x, std::uint16_t y)
{
    sendTouch(x, y, TouchPhase::down);
    sendTouch(x, y, TouchPhase::up);
}

void FakeDevice::swipe(std::uint16_t x0, std::uint16_t y0, std::uint16_t x1, std::uint16_t y1)
{
    constexpr int steps = 8;
    sendTouch(x0, y0, TouchPhase::down);
    for (int k = 1; k <= steps; ++k) {
        const auto at = [k](int from, int to) { return std::uint16_t(from + (to - from) * k / steps); };
        sendTouch(at(x0, x1), at(y0, y1), TouchPhase::move);
    }
    sendTouch(x1, y1, TouchPhase::up);
}

void FakeDevice::acknowledge(std::uint16_t q, bool now)
{
    if (now)
        sendFrame(Frame{nextSequence(), AckPayload{q}});
    else
        held.append(q);
}

void FakeDevice::releaseHeldAcks()
{
    const QList<std::uint16_t> pending = std::exchange(held, {});
    for (std::uint16_t q : pending)
        acknowledge(q, true);
}

void FakeDevice::setReading(bool reading)
{
    if (!notifier)
        return;
    notifier->setEnabled(reading);
    if (reading)
        readAvailable();
}

void FakeDevice::readAvailable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            for (const FrameParser::Event& event : parser.feed(buffer, qsizetype(n))) {
                if (const auto* frame = std::get_if<Frame>(&event))
                    handle(*frame);
                else
                    droppedReasons.append(std::get<FrameParser::Dropped>(event).reason);
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        deviceProblems.append(QStringLiteral("read: ") + qt_error_string(n < 0 ? errno : EIO));
        notifier.reset();
        return;
    }
}

void FakeDevice::handle(const Frame& frame)
{
    frames.append(frame);
    switch (frame.messageType()) {
    case MessageType::patch:
        for (const PatchOp& op : frame.get<PatchPayload>()->ops)
            tree.apply(op);
        acknowledge(frame.q, ackPatches);
        break;
    case MessageType::assetBegin:
    case MessageType::assetChunk:
    case MessageType::assetEnd:
        handleAsset(frame);
        acknowledge(frame.q, ackAssets);
        break;
    case MessageType::ping:
        acknowledge(frame.q, ackPings);
        break;
    case MessageType::snapshotRequest:
        answerSnapshot(frame.get<SnapshotRequestPayload>()->id);
        break;
    default:
        break;
    }
    if (onFrame)
        onFrame(frame);
}

void FakeDevice::handleAsset(const Frame& frame)
{
    const auto problem = [this](std::uint32_t id, const QString& what) {
        deviceProblems.append(QStringLiteral("asset ") + num(id) + QStringLiteral(": ") + what);
    };
    if (const auto* begin = frame.get<AssetBeginPayload>()) {
        FakeAsset asset;
        asset.name = begin->name;
        asset.size = begin->size;
        asset.data.reserve(qsizetype(std::min<std::uint32_t>(begin->size, 1u << 22)));
        assetStore.insert(begin->id, asset);
        return;
    }
    if (const auto* chunk = frame.get<AssetChunkPayload>()) {
        const auto found = assetStore.find(chunk->id);
        if (found == assetStore.end())
            return problem(chunk->id, QStringLiteral("a chunk before the begin"));
        if (chunk->offset != std::uint64_t(found->data.size()))
            return problem(chunk->id, QStringLiteral("a gap at byte ") + num(found->data.size()));
        if (std::uint64_t(found->data.size()) + std::uint64_t(chunk->data.size()) > found->size)
            return problem(chunk->id, QStringLiteral("more bytes than announced"));
        found->data.append(chunk->data);
        return;
    }
    const auto* end = frame.get<AssetEndPayload>();
    const auto found = assetStore.find(end->id);
    if (found == assetStore.end())
        return problem(end->id, QStringLiteral("an end before the begin"));
    if (std::uint64_t(found->data.size()) != found->size)
        return problem(end->id, num(found->data.size()) + QStringLiteral(" of ") + num(found->size) + QStringLiteral(" bytes"));
    if (assetCRC32(found->data) != end->crc32)
        return problem(end->id, QStringLiteral("checksum mismatch"));
    found->complete = true;
}

// The picture of an uploaded asset named "rgb565le:WxH" or "rgb565a8le:WxH"; null when the
// name or the size does not fit.
static QImage assetImage(const FakeAsset& asset)
{
    const QStringList parts = asset.name.split(u':');
    const QStringList size = parts.value(1).split(u'x');
    const int w = size.value(0).toInt();
    const int h = size.value(1).toInt();
    const qsizetype pixels = qsizetype(w) * h;
    if (parts.size() != 2 || size.size() != 2 || w <= 0 || h <= 0)
        return {};
    const auto* data = reinterpret_cast<const std::uint8_t*>(asset.data.constData());
    const bool alpha = parts[0] == u"rgb565a8le";
    if ((!alpha && parts[0] != u"rgb565le") || asset.data.size() != pixels * (alpha ? 3 : 2))
        return {};
    QImage image(w, h, QImage::Format_ARGB32);
    for (qsizetype i = 0; i < pixels; ++i) {
        const std::uint16_t p = std::uint16_t(data[2 * i] | (data[2 * i + 1] << 8));
        const int r = (p >> 11) * 255 / 31, g = ((p >> 5) & 0x3F) * 255 / 63, b = (p & 0x1F) * 255 / 31;
        const int a = alpha ? data[2 * pixels + i] : 255;
        image.setPixel(int(i % w), int(i / w), qRgba(r, g, b, a));
    }
    return image;
}

void FakeDevice::answerSnapshot(std::uint16_t id)
{
    const QByteArray packed = packBitsRGB565(tree.render(screenWidth, screenHeight, [this](std::int32_t assetId) {
        const auto found = assetStore.constFind(std::uint32_t(assetId));
        return found == assetStore.constEnd() || !found->complete ? QImage() : assetImage(*found);
    }));
    sendFrame(Frame{nextSequence(), SnapshotBeginPayload{id, std::uint16_t(screenWidth), std::uint16_t(screenHeight),
                                                         SnapshotFormat::rgb565Packbits, std::uint32_t(packed.size())}});
    for (qsizetype offset = 0; offset < packed.size(); offset += snapshotChunkBytes)
        sendFrame(Frame{nextSequence(), SnapshotChunkPayload{id, std::uint32_t(offset), packed.mid(offset, snapshotChunkBytes)}});
    sendFrame(Frame{nextSequence(), SnapshotEndPayload{id, true, assetCRC32(packed)}});
}

QString describeReceived(const Frame& frame)
{
    QString line = QString::fromLatin1(messageTypeName(frame.messageType())) + QStringLiteral(" #") + num(frame.q);
    std::visit(
        [&line](const auto& p) {
            using P = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<P, HelloAckPayload>)
                line += QStringLiteral(" ok=") + flag(p.ok) + QStringLiteral(" pv=") + num(p.pv) + QStringLiteral(" msg=") + p.msg;
            else if constexpr (std::is_same_v<P, PatchPayload>)
                line += QStringLiteral(" ops=") + num(p.ops.size());
            else if constexpr (std::is_same_v<P, AssetBeginPayload>)
                line += QStringLiteral(" id=") + num(p.id) + QStringLiteral(" size=") + num(p.size) + QStringLiteral(" name=") + p.name;
            else if constexpr (std::is_same_v<P, AssetChunkPayload>)
                line += QStringLiteral(" id=") + num(p.id) + QStringLiteral(" offset=") + num(p.offset)
                        + QStringLiteral(" bytes=") + num(p.data.size());
            else if constexpr (std::is_same_v<P, AssetEndPayload>)
                line += QStringLiteral(" id=") + num(p.id) + QStringLiteral(" crc32=") + num(p.crc32);
            else if constexpr (std::is_same_v<P, HidEmitPayload>) {
                QStringList keys;
                for (std::uint16_t k : p.keys)
                    keys.append(num(k));
                line += QStringLiteral(" report=") + (p.report == HidReport::keyboard ? QStringLiteral("keyboard") : QStringLiteral("consumer"))
                        + QStringLiteral(" mods=") + num(p.mods) + QStringLiteral(" keys=[") + keys.join(QStringLiteral(", ")) + u']';
            } else if constexpr (std::is_same_v<P, BacklightPayload>)
                line += QStringLiteral(" level=") + num(p.level);
            else if constexpr (std::is_same_v<P, PingPayload>)
                line += QStringLiteral(" nonce=") + num(p.nonce);
            else if constexpr (std::is_same_v<P, SnapshotRequestPayload>)
                line += QStringLiteral(" id=") + num(p.id);
            else if constexpr (std::is_same_v<P, OrientationPayload>)
                line += QStringLiteral(" flipped=") + flag(p.flipped);
        },
        frame.p);
    return line;
}

}  // namespace TarvFake
