#include "link/SerialPort.h"

#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace TarvUSB {

namespace {

using PortError = SerialPort::PortError;

QString errnoText(int error) { return qt_error_string(error); }

// Raw 8N1 at 115200, no modem control, receiver on.
void configure(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        throw PortError::fromErrno(PortError::Kind::configureFailed, errno);
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    if (::cfsetspeed(&settings, B115200) != 0)
        throw PortError::fromErrno(PortError::Kind::configureFailed, errno);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        throw PortError::fromErrno(PortError::Kind::configureFailed, errno);
}

// Dropping DTR for a moment resets the device's USB serial side so that it greets us anew.
// The line is dropped here, as the port opens, and raised again dtrPulseLength later by the
// port's thread, so the opening thread never sleeps through the pulse. False when there is
// nothing to raise: a pseudo-terminal has no modem lines at all and opens without the pulse.
constexpr std::chrono::milliseconds dtrPulseLength{20};

bool dropDTR(int fd)
{
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) != 0) {
        const int error = errno;
        if (error == ENOTTY || error == EINVAL)
            return false;
        throw PortError::fromErrno(PortError::Kind::dtrFailed, error);
    }
    lines &= ~TIOCM_DTR;
    if (::ioctl(fd, TIOCMSET, &lines) != 0)
        throw PortError::fromErrno(PortError::Kind::dtrFailed, errno);
    return true;
}

// The errno of a failure, else 0.
int raiseDTR(int fd)
{
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) != 0)
        return errno;
    lines |= TIOCM_DTR;
    return ::ioctl(fd, TIOCMSET, &lines) != 0 ? errno : 0;
}

}  // namespace

PortError PortError::fromErrno(Kind kind, int error) { return {kind, errnoText(error)}; }

QString PortError::description() const
{
    switch (kind) {
    case Kind::openFailed:
        return QStringLiteral("Could not open serial port: ") + systemMessage;
    case Kind::configureFailed:
        return QStringLiteral("Could not configure serial port: ") + systemMessage;
    case Kind::dtrFailed:
        return QStringLiteral("Could not toggle DTR: ") + systemMessage;
    case Kind::writeFailed:
        return QStringLiteral("Could not write to serial port: ") + systemMessage;
    case Kind::replaced:
        return QStringLiteral("Serial port path now names another device");
    case Kind::closed:
        break;
    }
    return QStringLiteral("Serial port is closed");
}

SerialPort::SerialPort(QString path, DataCallback onData, CloseCallback onClose, DrainCallback onDrained)
    : portPath(std::move(path)),
      dataCallback(std::move(onData)),
      closeCallback(std::move(onClose)),
      drainCallback(std::move(onDrained)),
      shared(std::make_shared<Shared>())
{
}

SerialPort::~SerialPort() { close(); }

SerialPort::Shared::~Shared()
{
    if (wakeDescriptor >= 0)
        ::close(wakeDescriptor);
}

void SerialPort::Shared::wake() const
{
    const std::uint64_t one = 1;
    // Only fails when the counter is already pending, which wakes the thread all the same.
    [[maybe_unused]] const ssize_t written = ::write(wakeDescriptor, &one, sizeof one);
}

void SerialPort::open(const std::optional<PortNode>& expectedNode)
{
    close();  // a port object is not reused in practice; never leave an old thread behind
    openedNode.reset();

    const int fd = ::open(portPath.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw PortError::fromErrno(PortError::Kind::openFailed, errno);
    // Checked before anything is set on the line: another program's terminal is left as it was.
    openedNode = PortNode::of(fd);
    if (expectedNode && openedNode != expectedNode) {
        ::close(fd);
        throw PortError{PortError::Kind::replaced, {}};
    }
    auto fresh = std::make_shared<Shared>();
    try {
        configure(fd);
        fresh->dtrLow = dropDTR(fd);
        fresh->wakeDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (fresh->wakeDescriptor < 0)
            throw PortError::fromErrno(PortError::Kind::openFailed, errno);
    } catch (const PortError&) {
        ::close(fd);
        throw;
    }
    fresh->onData = dataCallback;
    fresh->onClose = closeCallback;
    fresh->onDrained = drainCallback;
    fresh->fileDescriptor = fd;
    fresh->shouldRead = true;
    shared = fresh;
    ioThread = std::thread([fresh, fd] { serve(fresh, fd); });
}

// The port's thread: sleeps in poll until the device sends, the line has room for waiting
// bytes, or close() wakes it. It binds itself to the descriptor it was started with and
// never touches another one.
void SerialPort::serve(const std::shared_ptr<Shared>& shared, int ownDescriptor)
{
    ::pthread_setname_np(::pthread_self(), "Tarv serial");

    QByteArray buffer(readBufferSize, Qt::Uninitialized);
    std::optional<QString> reason;
    if (shared->dtrLow)
        reason = finishDTRPulse(*shared, ownDescriptor);
    while (!reason) {
        bool wantWrite = false;
        bool wantRead = true;
        {
            std::lock_guard guard(shared->lock);
            if (!shared->shouldRead || shared->fileDescriptor != ownDescriptor)
                break;
            wantWrite = shared->waitingBytes > 0;
            wantRead = shared->handedOver < maxHandedOver;
            shared->holdingBack = !wantRead;
        }
        // Held back with nothing to write, the line is left out of the wait altogether (a
        // hang-up would wake it at once, again and again); taking a chunk in wakes the thread.
        // Held back with bytes to write, a hang-up reads what is left, within the line's buffer.
        const short lineEvents = short((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
        pollfd waiters[2] = {{lineEvents != 0 ? ownDescriptor : -1, lineEvents, 0},
                             {shared->wakeDescriptor, POLLIN, 0}};
        if (::poll(waiters, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            reason = errnoText(errno);
            break;
        }
        if (waiters[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(shared->wakeDescriptor, &count, sizeof count);
        }
        const short events = waiters[0].revents;
        if (events & POLLNVAL)
            break;
        if (events & POLLOUT) {
            bool drained = false;
            int error = 0;
            {
                std::lock_guard guard(shared->lock);
                if (!shared->shouldRead || shared->fileDescriptor != ownDescriptor)
                    break;
                const bool hadWaiting = shared->waitingBytes > 0;
                error = writeBacklog(*shared, ownDescriptor);
                drained = hadWaiting && shared->waitingBytes == 0;
            }
            if (error != 0) {
                reason = errnoText(error);
                break;
            }
            if (drained && shared->onDrained) {
                shared->onDrained();
                continue;  // the callback may have closed the port
            }
        }
        if (events & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(ownDescriptor, buffer.data(), size_t(buffer.size()));
            if (n > 0) {
                if (shared->onData)
                    shared->onData(QByteArray(buffer.constData(), qsizetype(n)), holdChunk(shared, qsizetype(n)));
                continue;
            }
            if (n == 0) {
                // A raw non-blocking tty reads 0 only once the other end has hung up.
                reason = errnoText(EIO);
                break;
            }
            const int error = errno;
            if (error == EAGAIN || error == EINTR) {
                // A hang-up that reads as "nothing yet" would wake poll for ever.
                if ((events & (POLLHUP | POLLERR)) && !(events & POLLIN)) {
                    reason = errnoText(EIO);
                    break;
                }
                continue;
            }
            reason = errnoText(error);
            break;
        }
    }

    bool closeOwn = false;
    {
        std::lock_guard guard(shared->lock);
        if (shared->fileDescriptor == ownDescriptor) {
            shared->fileDescriptor = -1;
            shared->shouldRead = false;
            shared->clearBacklog();
            closeOwn = true;
        }
    }
    if (closeOwn)
        ::close(ownDescriptor);
    if (shared->onClose)
        shared->onClose(reason);
}

SerialPort::ChunkHold SerialPort::holdChunk(const std::shared_ptr<Shared>& shared, qsizetype size)
{
    {
        std::lock_guard guard(shared->lock);
        shared->handedOver += size;
    }
    // The last copy may go on any thread, after the port has closed or been released.
    const std::weak_ptr<Shared> weak = shared;
    return ChunkHold(nullptr, [weak, size](const void*) {
        const std::shared_ptr<Shared> port = weak.lock();
        if (!port)
            return;
        bool resume = false;
        {
            std::lock_guard guard(port->lock);
            port->handedOver -= size;
            resume = port->holdingBack && port->handedOver < maxHandedOver;
        }
        if (resume)
            port->wake();
    });
}

std::optional<QString> SerialPort::finishDTRPulse(Shared& shared, int fd)
{
    // Sleeps through the whole pulse, unless close() ends the port meanwhile.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + dtrPulseLength;
    for (;;) {
        {
            std::lock_guard guard(shared.lock);
            if (!shared.shouldRead || shared.fileDescriptor != fd)
                return std::nullopt;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd waiter{shared.wakeDescriptor, POLLIN, 0};
        if (::poll(&waiter, 1, int(left.count())) > 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(shared.wakeDescriptor, &count, sizeof count);
        }
    }
    std::lock_guard guard(shared.lock);
    if (!shared.shouldRead || shared.fileDescriptor != fd)
        return std::nullopt;
    if (const int error = raiseDTR(fd))
        return PortError::fromErrno(PortError::Kind::dtrFailed, error).description();
    // What was written meanwhile waits in the backlog: the thread's loop sends it now.
    shared.dtrLow = false;
    return std::nullopt;
}

int SerialPort::writeBacklog(Shared& shared, int fd)
{
    while (!shared.backlog.empty()) {
        const QByteArray& head = shared.backlog.front();
        const ssize_t n = ::write(fd, head.constData() + shared.headOffset, size_t(head.size() - shared.headOffset));
        if (n > 0) {
            shared.headOffset += n;
            shared.waitingBytes -= n;
            shared.written += std::uint64_t(n);
            if (shared.headOffset == head.size()) {
                shared.backlog.pop_front();
                shared.headOffset = 0;
            }
            continue;
        }
        if (n == 0)
            return errno != 0 ? errno : EIO;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            break;
        return errno;
    }
    return 0;
}

void SerialPort::Shared::clearBacklog()
{
    backlog.clear();
    headOffset = 0;
    waitingBytes = 0;
}

bool SerialPort::write(const QByteArray& bytes)
{
    std::lock_guard guard(shared->lock);
    const int fd = shared->fileDescriptor;
    if (fd < 0)
        throw PortError{PortError::Kind::closed, {}};
    if (bytes.isEmpty())
        return true;

    // Bytes already waiting go first, and nothing goes out during the DTR pulse; these queue
    // up behind them, within the bound.
    if (shared->waitingBytes > 0 || shared->dtrLow) {
        if (shared->waitingBytes + bytes.size() > maxBacklog)
            return false;
        shared->backlog.push_back(bytes);
        shared->waitingBytes += bytes.size();
        return true;
    }

    // The line is free: hand it what it takes now. This never waits, the descriptor being
    // non-blocking; the rest goes to the port's thread.
    const char* next = bytes.constData();
    size_t remaining = size_t(bytes.size());
    while (remaining > 0) {
        const ssize_t n = ::write(fd, next, remaining);
        if (n > 0) {
            next += n;
            remaining -= size_t(n);
            shared->written += std::uint64_t(n);
            continue;
        }
        if (n == 0)
            throw PortError::fromErrno(PortError::Kind::writeFailed, errno);
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error == EAGAIN)
            break;
        throw PortError::fromErrno(PortError::Kind::writeFailed, error);
    }
    if (remaining > 0) {
        // Kept whole with what is already out marked, so that a discard finishes it.
        shared->backlog.push_back(bytes);
        shared->headOffset = bytes.size() - qsizetype(remaining);
        shared->waitingBytes = qsizetype(remaining);
        shared->wake();
    }
    return true;
}

void SerialPort::close()
{
    const std::shared_ptr<Shared> current = shared;
    {
        std::lock_guard guard(current->lock);
        current->shouldRead = false;
    }
    if (current->wakeDescriptor >= 0)
        current->wake();
    // Wait for the thread before the descriptor is closed, so that it can never use a
    // descriptor number that another open has meanwhile reused; woken, it stops at once.
    // Called from one of the callbacks, the thread is inside no system call and is let go.
    if (ioThread.joinable()) {
        if (ioThread.get_id() == std::this_thread::get_id())
            ioThread.detach();
        else
            ioThread.join();
    }
    int fd = -1;
    {
        std::lock_guard guard(current->lock);
        fd = current->fileDescriptor;
        current->fileDescriptor = -1;
        current->clearBacklog();
    }
    if (fd >= 0)
        ::close(fd);
}

bool SerialPort::isHoldingBack() const
{
    std::lock_guard guard(shared->lock);
    return shared->holdingBack;
}

bool SerialPort::isOpen() const
{
    std::lock_guard guard(shared->lock);
    return shared->fileDescriptor >= 0;
}

std::uint64_t SerialPort::bytesWritten() const
{
    std::lock_guard guard(shared->lock);
    return shared->written;
}

void SerialPort::discardBacklog()
{
    std::lock_guard guard(shared->lock);
    if (shared->backlog.empty())
        return;
    if (shared->headOffset == 0) {
        shared->clearBacklog();
        return;
    }
    QByteArray head = std::move(shared->backlog.front());
    shared->backlog.clear();
    shared->waitingBytes = head.size() - shared->headOffset;
    shared->backlog.push_back(std::move(head));
}

qsizetype SerialPort::backlog() const
{
    std::lock_guard guard(shared->lock);
    return shared->waitingBytes;
}

}  // namespace TarvUSB
