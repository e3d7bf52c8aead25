#pragma once
// Waiting for a child of this process to end while its output is read, capped, as it comes.
// The wait ends when the child ends, not when its output closes: what it started in the
// background may hold its pipes open for as long as that lives. A pidfd says when the child
// ended; a WaitStop ends the wait early from another thread.

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <sys/types.h>

class WaitStop {
public:
    WaitStop();
    ~WaitStop();
    WaitStop(const WaitStop&) = delete;
    WaitStop& operator=(const WaitStop&) = delete;

    // Safe from any thread, any number of times.
    void stop();
    bool isStopped() const { return m_stopped.load(); }
    // Becomes readable once stopped, for a wait to wake on; -1 when none could be made, and
    // the waiter then looks at isStopped often.
    int descriptor() const { return m_fd; }

private:
    std::atomic<bool> m_stopped{false};
    int m_fd = -1;
};

// One output stream of a child: the read end of its pipe until the end of the stream, and what
// was kept of it.
struct ChildOutput {
    static constexpr qsizetype maxKeptBytes = 65536;

    int fd = -1;
    // The first maxKeptBytes; the rest is read and dropped.
    QByteArray kept;
    // Off once nobody wants what comes: all of it is read and dropped.
    bool keep = true;
    // The epoll that watches the descriptor, if one does: close() takes it out of it first,
    // since a copy of the descriptor in a process forked meanwhile would keep it watched.
    int watchedBy = -1;

    // Reads what the pipe holds now (the descriptor is non-blocking). At most `rounds` reads,
    // so a writer faster than us cannot keep this loop going.
    void drain(int rounds = 64);
    void close();
};

// A child's standard output and error, a pipe each: the write ends go to the child as it starts,
// the read ends stay here, non-blocking, to be read while it runs. Whatever is still open when
// this goes is closed.
struct ChildPipes {
    ChildOutput out;
    ChildOutput err;
    int outWrite = -1;
    int errWrite = -1;

    ChildPipes() = default;
    ~ChildPipes();
    ChildPipes(const ChildPipes&) = delete;
    ChildPipes& operator=(const ChildPipes&) = delete;

    // Both pipes, closed on exec; false, with errno saying why, when they could not be made.
    bool open();
    // Once the child has its copies, or failed to start: a stream ends when the child's end closes.
    void closeWriteEnds();
};

namespace ChildWait {

using Clock = std::chrono::steady_clock;

// `held`: the child ended, but a tracer holds it, and it cannot be waited for until the tracer
// lets go of it. `lost`: it was reaped without us, and its id may name another process by now.
enum class Seen { running, ended, held, lost };

// A descriptor that becomes readable when the process ends, where the kernel offers one; -1
// otherwise, and the wait looks again every 10 ms.
int openExitNotifier(pid_t pid);

// Whether the child ended, leaving it unreaped: its id stays reserved until the caller reaps it.
Seen look(pid_t pid);

// Waits until the child ended, `until`, or `stop`, reading both outputs meanwhile so no writer
// blocks. `running` when the time ran out or the stop came first.
Seen waitForEnd(pid_t pid, int exitFd, ChildOutput& out, ChildOutput& err, Clock::time_point until,
                const WaitStop* stop = nullptr);

} // namespace ChildWait
