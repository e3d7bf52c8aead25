#pragma once
// The device's serial port: opened raw at 115200 baud with a DTR pulse, read by one thread
// of its own that hands every chunk to the owner, written whole from the main thread.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace TarvUSB {

class SerialPort {
public:
    // The error of every port operation; systemMessage is the system's text for the errno of
    // the failing call.
    struct PortError {
        enum class Kind : std::uint8_t { openFailed, configureFailed, dtrFailed, writeFailed, closed };

        Kind kind = Kind::closed;
        QString systemMessage;

        static PortError fromErrno(Kind kind, int error);
        QString description() const;

        friend bool operator==(const PortError&, const PortError&) = default;
    };

    // Both run on the reader thread: the owner moves their work to the main thread.
    using DataCallback = std::function<void(const QByteArray& chunk)>;
    using CloseCallback = std::function<void(const std::optional<QString>& reason)>;

    static constexpr qsizetype readBufferSize = 4096;
    static constexpr std::chrono::milliseconds defaultWriteDeadline{2000};

    SerialPort(QString path, DataCallback onData, CloseCallback onClose);
    // Releasing the port closes it.
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens and configures the port and starts the reader. Throws PortError (openFailed,
    // configureFailed, dtrFailed); a failed open leaves the port closed with no thread.
    void open();
    // Writes every byte or throws PortError (closed, writeFailed). A device that stops
    // reading makes the write fail after the deadline instead of holding the caller.
    void write(const QByteArray& bytes);
    // Stops the reader and closes the descriptor; never fails, harmless when repeated.
    void close();

    bool isOpen() const;
    const QString& path() const { return portPath; }
    // How long one write may wait for room in the output buffer.
    void setWriteDeadline(std::chrono::milliseconds deadline) { writeDeadline = deadline; }

private:
    // What the reader thread shares with the port. The thread owns a reference, so it never
    // touches the port object itself and may outlive it.
    struct Shared {
        std::mutex lock;
        int fileDescriptor = -1;  // guarded by lock
        bool shouldRead = false;  // guarded by lock
        DataCallback onData;
        CloseCallback onClose;
    };

    static void readLoop(const std::shared_ptr<Shared>& shared, int ownDescriptor);

    QString portPath;
    std::shared_ptr<Shared> shared;
    std::thread readerThread;
    std::chrono::milliseconds writeDeadline = defaultWriteDeadline;
};

}  // namespace TarvUSB
