#pragma once
// The device's serial port: opened raw at 115200 baud with a DTR pulse, served by one thread
// of its own that ends the pulse, waits on the line and hands every chunk it reads to the
// owner, and writes out whatever the line could not take at once. Nothing here makes the
// caller wait; the reader waits for the owner instead while the owner has too much of what
// it was handed still to take in.

#include "link/PortNode.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
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
        enum class Kind : std::uint8_t { openFailed, configureFailed, dtrFailed, writeFailed, closed, replaced };

        Kind kind = Kind::closed;
        QString systemMessage;

        static PortError fromErrno(Kind kind, int error);
        QString description() const;

        friend bool operator==(const PortError&, const PortError&) = default;
    };

    // Keeps a chunk counted as handed over but not yet taken in for as long as a copy of it
    // lives: an owner that carries the chunk to another thread carries this with it.
    using ChunkHold = std::shared_ptr<const void>;
    // All three run on the port's thread: the owner moves their work to the main thread.
    using DataCallback = std::function<void(const QByteArray& chunk, const ChunkHold& hold)>;
    using CloseCallback = std::function<void(const std::optional<QString>& reason)>;
    // The bytes that had to wait have all gone out.
    using DrainCallback = std::function<void()>;

    static constexpr qsizetype readBufferSize = 4096;
    // Bytes handed over whose holds still live. The reader reads only while fewer wait, so at
    // most this and one read buffer are held; a sender faster than the owner then waits on
    // the line's own buffer instead of filling the owner's memory.
    static constexpr qsizetype maxHandedOver = 256 * 1024;
    // Bytes that may wait for the line. A device that reads keeps this near zero; once it is
    // full the device has stopped reading and further writes are refused.
    static constexpr qsizetype maxBacklog = 64 * 1024;

    SerialPort(QString path, DataCallback onData, CloseCallback onClose, DrainCallback onDrained = {});
    // Releasing the port closes it.
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens and configures the port and starts its thread. Throws PortError (openFailed,
    // configureFailed, dtrFailed); a failed open leaves the port closed with no thread. With
    // an expected node, a path that names another one now is closed untouched (replaced).
    void open(const std::optional<PortNode>& expectedNode = std::nullopt);
    // Takes all of the bytes or none, and never waits: what the line cannot take now waits in
    // the backlog, which the port's thread writes out as the device reads. False, with
    // nothing written, when bytes already wait and these would pass maxBacklog. Throws
    // PortError (closed, or writeFailed for an error of the line).
    bool write(const QByteArray& bytes);
    // Stops the thread and closes the descriptor; never fails, harmless when repeated.
    // Bytes still waiting are dropped.
    void close();

    bool isOpen() const;
    // Bytes taken by write that have not reached the line yet.
    qsizetype backlog() const;
    // Forgets the writes still waiting, but for the rest of one already partly on the line,
    // so the device never sees a frame cut short. For a device that has started afresh.
    void discardBacklog();
    // Bytes that have reached the line since the port opened: whether the device still reads
    // shows in whether this moves.
    std::uint64_t bytesWritten() const;
    // The reader has stopped reading until the owner takes in some of what it was handed.
    bool isHoldingBack() const;
    const QString& path() const { return portPath; }
    // The node the last open reached.
    const std::optional<PortNode>& node() const { return openedNode; }

private:
    // What the port's thread shares with the port. The thread owns a reference, so it never
    // touches the port object itself and may outlive it. One per open.
    struct Shared {
        ~Shared();
        std::mutex lock;
        int fileDescriptor = -1;  // guarded by lock
        bool shouldRead = false;  // guarded by lock
        // Guarded by lock: the writes still waiting, one buffer each, the first of them
        // written up to headOffset; waitingBytes counts what remains of them all.
        std::deque<QByteArray> backlog;
        qsizetype headOffset = 0;
        qsizetype waitingBytes = 0;
        std::uint64_t written = 0;  // guarded by lock
        // Guarded by lock: bytes handed over whose holds live, and whether the reader waits
        // for them to be taken in.
        qsizetype handedOver = 0;
        bool holdingBack = false;
        // Guarded by lock once the thread runs: DTR was dropped as the port opened and the
        // thread has not raised it yet; writes wait in the backlog meanwhile.
        bool dtrLow = false;
        int wakeDescriptor = -1;  // an eventfd that interrupts the thread's wait
        DataCallback onData;
        CloseCallback onClose;
        DrainCallback onDrained;

        void clearBacklog();
        void wake() const;
    };

    // A hold on `size` bytes of `shared`; letting the last copy go takes them in.
    static ChunkHold holdChunk(const std::shared_ptr<Shared>& shared, qsizetype size);

    static void serve(const std::shared_ptr<Shared>& shared, int ownDescriptor);
    // Ends the DTR pulse that open() began; the failure's text, which ends the port.
    static std::optional<QString> finishDTRPulse(Shared& shared, int fd);
    // Writes what the line takes now; the errno of a failure of the line, else 0.
    static int writeBacklog(Shared& shared, int fd);

    QString portPath;
    std::optional<PortNode> openedNode;
    DataCallback dataCallback;
    CloseCallback closeCallback;
    DrainCallback drainCallback;
    std::shared_ptr<Shared> shared;
    std::thread ioThread;
};

}  // namespace TarvUSB
