#include "link/SerialPort.h"
#include "support/Bytes.h"
#include "support/WaitUntil.h"
#include "PortProbe.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <vector>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace TarvUSB;
using Kind = SerialPort::PortError::Kind;

namespace {

// A pseudo-terminal pair: the test plays the device on the master side. One extra handle of
// the port's side keeps the line up and raw before the port is opened.
struct Pty {
    int master = -1;
    int keeper = -1;
    QString path;

    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return;
        char name[128] = {};
        ::ptsname_r(master, name, sizeof name);
        path = QString::fromLocal8Bit(name);
        keeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        ::tcgetattr(keeper, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(keeper, TCSANOW, &t);
    }
    ~Pty() { hangUp(); }

    void hangUp()
    {
        if (keeper >= 0)
            ::close(keeper);
        if (master >= 0)
            ::close(master);
        keeper = master = -1;
    }

    void send(const QByteArray& bytes) const
    {
        ASSERT_EQ(::write(master, bytes.constData(), size_t(bytes.size())), bytes.size());
    }

    // Reads what the port writes on a thread of its own, so that writes larger than the
    // line's buffer can complete; stops at `count` bytes or after a generous bound.
    std::future<QByteArray> receive(qsizetype count) const
    {
        return receiveWhile([count](const QByteArray& got) { return got.size() < count; });
    }
    // The same, up to the first time the bytes end with `end`.
    std::future<QByteArray> receiveUntil(const QByteArray& end) const
    {
        return receiveWhile([end](const QByteArray& got) { return !got.endsWith(end); });
    }
    template <class More>
    std::future<QByteArray> receiveWhile(More more) const
    {
        return std::async(std::launch::async, [fd = master, more] {
            QByteArray got;
            QDeadlineTimer bound(5000);
            while (more(got) && !bound.hasExpired()) {
                pollfd waiter{fd, POLLIN, 0};
                if (::poll(&waiter, 1, 50) <= 0)
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0)
                    got.append(buffer, qsizetype(n));
            }
            return got;
        });
    }
};

int openDescriptorCount() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }

template <class F> std::optional<SerialPort::PortError> errorOf(F&& f)
{
    try {
        f();
    } catch (const SerialPort::PortError& e) {
        return e;
    }
    return std::nullopt;
}

QByteArray pattern(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char((i * 7 + i / 251) & 0xFF);
    return out;
}

}  // namespace

TEST(SerialPort, DataArrivesWholeAndInOrder)
{
    Pty pty;
    ASSERT_FALSE(pty.path.isEmpty());
    PortProbe probe;
    auto port = probe.makePort(pty.path);
    port->open();
    EXPECT_TRUE(port->isOpen());

    // More than one read buffer, sent in pieces of odd sizes.
    const QByteArray sent = pattern(3 * SerialPort::readBufferSize + 123);
    for (qsizetype at = 0; at < sent.size(); at += 1000)
        pty.send(sent.mid(at, 1000));
    ASSERT_TRUE(waitUntil([&] { return probe.data.size() >= sent.size(); }));
    EXPECT_EQ(probe.data, sent);
}

TEST(SerialPort, WritesArriveWhole)
{
    Pty pty;
    PortProbe probe;
    auto port = probe.makePort(pty.path);
    port->open();

    // Far more than the line buffers: the write waits for room and still delivers all.
    const QByteArray frame = bytes({0x09, 0x83, 0xA1, 0x74, 0xCC, 0x04, 0x00});
    const QByteArray big = pattern(200000);
    auto received = pty.receive(frame.size() + big.size());
    port->write(frame);
    port->write(QByteArray());  // nothing, and no error
    port->write(big);
    EXPECT_EQ(received.get(), frame + big);
}

TEST(SerialPort, CloseEndsTheReaderOnceWithoutReason)
{
    Pty pty;
    PortProbe probe;
    auto port = probe.makePort(pty.path);
    port->open();
    port->close();
    EXPECT_FALSE(port->isOpen());
    // The reader has ended when close returns.
    EXPECT_EQ(probe.closesOnReader.load(), 1);

    // A descriptor opened after the close may get the same number; a second close must not
    // take it away.
    const int other = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    port->close();
    EXPECT_NE(::fcntl(other, F_GETFD), -1);
    ::close(other);

    ASSERT_TRUE(waitUntil([&] { return probe.closes > 0; }));
    EXPECT_EQ(probe.closes, 1);
    EXPECT_EQ(probe.reason, std::nullopt);
}

TEST(SerialPort, ReleasingTheOpenPortClosesIt)
{
    Pty pty;
    PortProbe probe;
    const int before = openDescriptorCount();
    {
        auto port = probe.makePort(pty.path);
        port->open();
    }
    EXPECT_EQ(probe.closesOnReader.load(), 1);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(SerialPort, HangUpOfTheOtherSideEndsTheReaderWithAReason)
{
    Pty pty;
    PortProbe probe;
    auto port = probe.makePort(pty.path);
    port->open();
    pty.hangUp();

    ASSERT_TRUE(waitUntil([&] { return probe.closes > 0; }));
    EXPECT_EQ(probe.reason, qt_error_string(EIO));
    EXPECT_FALSE(port->isOpen());
    port->close();  // nothing left to do, and no second report
    EXPECT_EQ(probe.closesOnReader.load(), 1);
    EXPECT_EQ(errorOf([&] { port->write("x"); })->kind, Kind::closed);
}

TEST(SerialPort, WritingToAClosedPortFails)
{
    PortProbe probe;
    auto port = probe.makePort(QStringLiteral("/dev/null"));
    for (const QByteArray& payload : {QByteArray("abc"), QByteArray()}) {
        const auto error = errorOf([&] { port->write(payload); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, Kind::closed);
        EXPECT_EQ(error->description(), QStringLiteral("Serial port is closed"));
    }
    port->close();  // never opened: nothing happens
    EXPECT_EQ(probe.closesOnReader.load(), 0);
}

TEST(SerialPort, FailedOpensLeaveNothingOpen)
{
    PortProbe probe;
    const int before = openDescriptorCount();

    auto missing = probe.makePort(QStringLiteral("/dev/no-such-tarv-port"));
    const auto notFound = errorOf([&] { missing->open(); });
    ASSERT_TRUE(notFound);
    EXPECT_EQ(notFound->kind, Kind::openFailed);
    EXPECT_EQ(notFound->description(), QStringLiteral("Could not open serial port: No such file or directory"));
    EXPECT_FALSE(missing->isOpen());

    // Not a terminal: opened, then refused by the configuration, and closed again.
    auto notATty = probe.makePort(QStringLiteral("/dev/null"));
    const auto refused = errorOf([&] { notATty->open(); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind, Kind::configureFailed);
    EXPECT_EQ(refused->description(), QStringLiteral("Could not configure serial port: ") + qt_error_string(ENOTTY));
    EXPECT_FALSE(notATty->isOpen());

    EXPECT_EQ(openDescriptorCount(), before);
    EXPECT_EQ(probe.closesOnReader.load(), 0);
}

// A device that stops reading must never hold the caller: what the line cannot take waits
// in a bounded backlog, further writes are refused, and everything goes out, in order, once
// the device reads again.
TEST(SerialPort, APeerThatStopsReadingNeverHoldsTheWriter)
{
    Pty pty;  // the master side is not read until the end
    PortProbe probe;
    auto port = probe.makePort(pty.path);
    port->open();

    const QByteArray first = pattern(1 << 20);
    ASSERT_TRUE(port->write(first)) << "a write to an idle line is always taken whole";
    EXPECT_GT(port->backlog(), 0);
    const QByteArray second = pattern(100);
    EXPECT_FALSE(port->write(second)) << "the backlog is past its bound: refused, nothing written";
    EXPECT_TRUE(port->isOpen());
    EXPECT_EQ(probe.drains.load(), 0);

    auto received = pty.receive(first.size());
    EXPECT_EQ(received.get(), first);
    ASSERT_TRUE(waitUntil([&] { return probe.drains.load() == 1; }));
    EXPECT_EQ(port->backlog(), 0);

    // Small writes behind a short backlog are taken and keep their order.
    auto more = pty.receive(2 * second.size());
    ASSERT_TRUE(port->write(second));
    ASSERT_TRUE(port->write(second));
    EXPECT_EQ(more.get(), second + second);
}

// A device that starts afresh needs none of what waited for its predecessor, but a write
// already partly on the line is finished, so that no frame arrives cut short.
TEST(SerialPort, DiscardingTheBacklogFinishesTheWriteOnTheLine)
{
    Pty pty;
    PortProbe probe;
    auto port = probe.makePort(pty.path);
    port->open();

    // Fill the line until a write is left partly on it.
    QByteArray first;
    for (int k = 0; k < 4096 && port->backlog() == 0; ++k) {
        const QByteArray piece = pattern(1024);
        ASSERT_TRUE(port->write(piece));
        first += piece;
    }
    ASSERT_GT(port->backlog(), 0);
    ASSERT_TRUE(port->write(pattern(10)));  // waits behind it
    port->discardBacklog();
    EXPECT_LT(port->backlog(), 1024);
    const QByteArray after = QByteArrayLiteral("after");
    ASSERT_TRUE(port->write(after));

    // Every piece arrives whole: the last one too, unless none of it had gone out.
    auto received = pty.receiveUntil(after);
    const QByteArray got = received.get();
    ASSERT_TRUE(got.endsWith(after));
    const qsizetype pieces = got.size() - after.size();
    EXPECT_EQ(pieces % 1024, 0);
    EXPECT_GE(pieces, first.size() - 1024);
    EXPECT_EQ(got.left(pieces), first.left(pieces));
}

// A process on the other end that sends as fast as the line takes it used to have every
// chunk read and handed over at once, however far behind the owner was: the hand-overs
// piled up into gigabytes.
TEST(SerialPort, AnOwnerThatFallsBehindHoldsTheReaderBackAtABoundedAmount)
{
    Pty pty;
    std::mutex lock;
    QByteArray got;
    std::vector<SerialPort::ChunkHold> holds;
    bool keepHolds = true;
    qsizetype held = 0;
    qsizetype mostHeld = 0;
    SerialPort port(
        pty.path,
        [&](const QByteArray& chunk, const SerialPort::ChunkHold& hold) {
            std::lock_guard guard(lock);
            got += chunk;
            if (!keepHolds)
                return;
            holds.push_back(hold);
            held += chunk.size();
            mostHeld = std::max(mostHeld, held);
        },
        nullptr);
    port.open();

    // The sender writes whatever the line takes until all is out or a generous bound passes.
    const QByteArray flood = pattern(8 * SerialPort::maxHandedOver);
    std::atomic<qsizetype> sent{0};
    auto sender = std::async(std::launch::async, [&, fd = pty.master] {
        QDeadlineTimer bound(5000);
        while (sent < flood.size() && !bound.hasExpired()) {
            const ssize_t n = ::write(fd, flood.constData() + sent, size_t(flood.size() - sent));
            if (n > 0) {
                sent += n;
                continue;
            }
            pollfd waiter{fd, POLLOUT, 0};
            ::poll(&waiter, 1, 50);
        }
    });

    // Nothing is taken in: the reader stops, and the rest waits in the line and the sender.
    ASSERT_TRUE(waitUntil([&] { return port.isHoldingBack() || sent == flood.size(); }));
    {
        std::lock_guard guard(lock);
        EXPECT_LE(held, SerialPort::maxHandedOver + SerialPort::readBufferSize);
        EXPECT_GE(held, SerialPort::maxHandedOver);
        EXPECT_LT(got.size(), flood.size());
    }
    EXPECT_TRUE(port.isOpen());

    // Taken in, it goes on from where it stopped, and everything arrives in order.
    {
        std::lock_guard guard(lock);
        keepHolds = false;
        holds.clear();
    }
    sender.get();
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard guard(lock);
        return got.size() >= flood.size();
    }));
    std::lock_guard guard(lock);
    EXPECT_EQ(got, flood);
    EXPECT_LE(mostHeld, SerialPort::maxHandedOver + SerialPort::readBufferSize);
    EXPECT_FALSE(port.isHoldingBack());
}

TEST(SerialPort, ReaderThreadHasItsName)
{
    Pty pty;
    PortProbe probe;
    auto port = probe.makePort(pty.path);
    port->open();

    const auto named = [] {
        for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(QStringLiteral("/proc/self/task/") + task + QStringLiteral("/comm"));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "Tarv serial")
                return true;
        }
        return false;
    };
    EXPECT_TRUE(waitUntil(named));
}
