#include "link/SerialPort.h"

#include <QtGlobal>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
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
// A pseudo-terminal has no modem lines at all; it is opened without the pulse.
void pulseDTR(int fd)
{
    int lines = 0;
    if (::ioctl(fd, TIOCMGET, &lines) != 0) {
        const int error = errno;
        if (error == ENOTTY || error == EINVAL)
            return;
        throw PortError::fromErrno(PortError::Kind::dtrFailed, error);
    }
    lines &= ~TIOCM_DTR;
    if (::ioctl(fd, TIOCMSET, &lines) != 0)
        throw PortError::fromErrno(PortError::Kind::dtrFailed, errno);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    lines |= TIOCM_DTR;
    if (::ioctl(fd, TIOCMSET, &lines) != 0)
        throw PortError::fromErrno(PortError::Kind::dtrFailed, errno);
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
    case Kind::closed:
        break;
    }
    return QStringLiteral("Serial port is closed");
}

SerialPort::SerialPort(QString path, DataCallback onData, CloseCallback onClose)
    : portPath(std::move(path)), shared(std::make_shared<Shared>())
{
    shared->onData = std::move(onData);
    shared->onClose = std::move(onClose);
}

SerialPort::~SerialPort() { close(); }

void SerialPort::open()
{
    close();  // a port object is not reused in practice; never leave an old reader behind

    const int fd = ::open(portPath.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw PortError::fromErrno(PortError::Kind::openFailed, errno);
    try {
        configure(fd);
        pulseDTR(fd);
    } catch (const PortError&) {
        ::close(fd);
        throw;
    }
    {
        std::lock_guard guard(shared->lock);
        shared->fileDescriptor = fd;
        shared->shouldRead = true;
    }
    readerThread = std::thread([state = shared, fd] { readLoop(state, fd); });
}

void SerialPort::readLoop(const std::shared_ptr<Shared>& shared, int ownDescriptor)
{
    ::pthread_setname_np(::pthread_self(), "Tarv serial");

    QByteArray buffer(readBufferSize, Qt::Uninitialized);
    std::optional<QString> reason;
    for (;;) {
        {
            std::lock_guard guard(shared->lock);
            if (!shared->shouldRead || shared->fileDescriptor != ownDescriptor)
                break;
        }
        const ssize_t n = ::read(ownDescriptor, buffer.data(), size_t(buffer.size()));
        if (n > 0) {
            if (shared->onData)
                shared->onData(QByteArray(buffer.constData(), qsizetype(n)));
            continue;
        }
        if (n == 0) {
            // A raw non-blocking tty reads 0 only once the other end has hung up.
            reason = errnoText(EIO);
            break;
        }
        const int error = errno;
        if (error == EAGAIN || error == EINTR) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        reason = errnoText(error);
        break;
    }

    bool closeOwn = false;
    {
        std::lock_guard guard(shared->lock);
        if (shared->fileDescriptor == ownDescriptor) {
            shared->fileDescriptor = -1;
            shared->shouldRead = false;
            closeOwn = true;
        }
    }
    if (closeOwn)
        ::close(ownDescriptor);
    if (shared->onClose)
        shared->onClose(reason);
}

void SerialPort::write(const QByteArray& bytes)
{
    int fd = -1;
    {
        std::lock_guard guard(shared->lock);
        fd = shared->fileDescriptor;
    }
    if (fd < 0)
        throw PortError{PortError::Kind::closed, {}};
    if (bytes.isEmpty())
        return;

    const auto deadline = std::chrono::steady_clock::now() + writeDeadline;
    const char* next = bytes.constData();
    size_t remaining = size_t(bytes.size());
    while (remaining > 0) {
        const ssize_t n = ::write(fd, next, remaining);
        if (n > 0) {
            next += n;
            remaining -= size_t(n);
            continue;
        }
        if (n == 0)
            throw PortError::fromErrno(PortError::Kind::writeFailed, errno);
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EAGAIN)
            throw PortError::fromErrno(PortError::Kind::writeFailed, error);

        // The output buffer is full: wait for room, but never past the deadline, so a
        // device that stopped reading cannot hold the main thread.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw PortError::fromErrno(PortError::Kind::writeFailed, EAGAIN);
        pollfd waiter{fd, POLLOUT, 0};
        if (::poll(&waiter, 1, int(left.count())) < 0 && errno != EINTR)
            throw PortError::fromErrno(PortError::Kind::writeFailed, errno);
    }
}

void SerialPort::close()
{
    {
        std::lock_guard guard(shared->lock);
        shared->shouldRead = false;
    }
    // Wait for the reader before the descriptor is closed, so that it can never read from a
    // descriptor number that another open has meanwhile reused. It notices within one 2 ms
    // pause. Called from one of the callbacks, the reader is not inside a read and is let go.
    if (readerThread.joinable()) {
        if (readerThread.get_id() == std::this_thread::get_id())
            readerThread.detach();
        else
            readerThread.join();
    }
    int fd = -1;
    {
        std::lock_guard guard(shared->lock);
        fd = shared->fileDescriptor;
        shared->fileDescriptor = -1;
    }
    if (fd >= 0)
        ::close(fd);
}

bool SerialPort::isOpen() const
{
    std::lock_guard guard(shared->lock);
    return shared->fileDescriptor >= 0;
}

}  // namespace TarvUSB
