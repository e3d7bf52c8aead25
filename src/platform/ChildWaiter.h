#pragma once
// Starts children and waits for all of them on one thread: their exit descriptors and output
// pipes sit in one epoll, so a program that runs for hours holds a few descriptors, not a
// thread, and the next one starts at once however many still run. Each start returns a
// ticket that names the child until it ended: killing by ticket never reaches a process that
// merely got its id again. What a child leaves running in the background may hold its pipes
// after it ended: they are read on, and what comes dropped, until they close, so that such a
// writer neither blocks nor dies of a closed pipe while the waiter lives.

#include "platform/CappedOutput.h"

#include <QByteArray>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

class ChildWaiter {
public:
    // Programs running at once: far more than anyone starts by hand, and within the
    // descriptors Tarv has (three each).
    static constexpr int maxChildren = 4096;
    // Ended programs whose pipes something they left running still holds; past this, the
    // pipes of the one that ended first are closed.
    static constexpr int maxLeftoverPipes = 4096;

    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    using Ticket = quint64; // 0 never names a child

    struct Program {
        std::vector<QByteArray> argv; // argv[0] is the program's path; no shell
        // A descriptor that becomes its standard input; -1: /dev/null. start() takes a copy:
        // the caller keeps its own and may close it as soon as start() returned.
        int input = -1;
        // False: standard output and error go to /dev/null.
        bool readOutput = true;
        // Its environment; none: Tarv's own.
        std::optional<std::vector<QByteArray>> environment;
        // A process group of its own, numbered as the child: kill() and the deadline end the
        // whole group, and once the child ended, what it left running in its group is killed.
        bool ownGroup = false;
        // All signals start at their default action, also those this process ignores; without
        // it only SIGPIPE does (and every signal this process handles).
        bool defaultSignals = false;
        // Past this (from its start), it (its group) gets SIGTERM and SIGCONT, and SIGKILL
        // killGrace later; it then ends as `timedOut`. None: no deadline.
        std::optional<Clock::duration> deadline;
        Clock::duration killGrace = std::chrono::seconds(2);
    };

    struct End {
        enum class Kind {
            exited,     // `code` is the exit status
            signalled,  // `code` is the signal that ended it (SIGKILL or SIGTERM, too, for
                        // one killed or terminated before it could start: nothing was started)
            timedOut,   // it was ended past its deadline
            held,       // it ended under a tracer, which holds its exit status
            lost,       // it ended and was reaped elsewhere: how is unknown
            notStarted, // `code` is the errno of the failed start
            tooMany,    // maxChildren ran already; nothing was started
            stopped,    // the waiter stopped first; before the start, nothing was started
        };
        Kind kind = Kind::notStarted;
        int code = 0;
        // The first maxKeptBytes of each stream, read until the child ended.
        QByteArray out;
        QByteArray err;
    };
    static constexpr qsizetype maxKeptBytes = CappedOutput::maxKeptBytes;

    // Runs exactly once: on the waiter's thread, or on the caller's for a start refused at once.
    using Done = std::function<void(End)>;

    // `now` is the clock of the deadlines; a test may run its own (see lookAtDeadlines()).
    // `maxRunning` programs may run at once.
    explicit ChildWaiter(Now now = Clock::now, int maxRunning = maxChildren);
    // Stops, and returns once the thread is gone.
    ~ChildWaiter();
    ChildWaiter(const ChildWaiter&) = delete;
    ChildWaiter& operator=(const ChildWaiter&) = delete;

    // The process's one waiter.
    static ChildWaiter& shared();

    // Starts the program with signals at their defaults (see Program) and returns at once;
    // standard output and error are on pipes read here. The thread starts with the first call.
    // 0 when refused at once (`done` ran already).
    Ticket start(Program program, Done done);
    // The same, with standard input from /dev/null and the output read.
    Ticket start(std::vector<QByteArray> argv, Done done);

    // SIGKILL at once, to its group when it has one. Safe from any thread; nothing once it
    // ended, and never a signal to another process that got its id since.
    void kill(Ticket ticket);
    // As its deadline would: SIGTERM and SIGCONT now, SIGKILL its killGrace later. It ends
    // by how it ended, not `timedOut`. Safe from any thread; nothing once it ended. Before
    // its launch, it is not started at all.
    void terminate(Ticket ticket);

    // Looks at the deadlines again now: for a clock that does not move by itself.
    void lookAtDeadlines();

    // Ends every wait under way (`stopped`); their children run on, left to the reaper of
    // children. Starts nothing afterwards. Safe from any thread, any number of times.
    void stop();

private:
    struct Request {
        Ticket ticket;
        Program program; // its input is the waiter's copy, closed once the child has its own
        Done done;
    };
    // What kill() needs of a child that has not been reaped.
    struct Live {
        pid_t pid;
        int pidfd;
        bool ownGroup;
    };
    // Makes the epoll and its wake and starts the thread; false, with errno, when it could not.
    bool startThread();
    void wake();
    void run();
    // Called with m_mutex held.
    static void signal(const Live& live, int signal);

    const Now m_now;
    const int m_maxRunning;
    std::mutex m_mutex;
    bool m_stopped = false;
    std::vector<Request> m_requests;
    std::vector<Ticket> m_terminations;
    Ticket m_lastTicket = 0;
    // Every ticket up to this one was started and entered in m_live, or refused.
    Ticket m_launchedUpTo = 0;
    std::unordered_map<Ticket, Live> m_live;
    // Killed (SIGKILL) or terminated (SIGTERM) between start() and its launch.
    std::unordered_map<Ticket, int> m_signalledEarly;
    int m_epoll = -1;
    int m_wake = -1;
    int m_null = -1;
    std::thread m_thread;
};
