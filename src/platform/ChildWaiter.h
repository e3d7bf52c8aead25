#pragma once
// Starts children and waits for all of them on one thread: their exit descriptors and output
// pipes sit in one epoll, so a program that runs for hours holds a few descriptors, not a
// thread, and the next one starts at once however many still run. What a child leaves
// running in the background may hold its pipes after it ended: they are read on, and what
// comes dropped, until they close, so that such a writer neither blocks nor dies of a closed
// pipe while the waiter lives.

#include <QByteArray>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ChildWaiter {
public:
    // Children (with the pipes that what they left running holds) watched at once: far more
    // than anyone starts by hand, and within the descriptors Tarv has (three each).
    static constexpr int maxChildren = 4096;

    struct End {
        enum class Kind {
            exited,     // `code` is the exit status
            signalled,  // `code` is the signal that ended it
            held,       // it ended under a tracer, which holds its exit status
            lost,       // it ended and was reaped elsewhere: how is unknown
            notStarted, // `code` is the errno of the failed start
            tooMany,    // maxChildren were watched already; nothing was started
            stopped,    // the waiter stopped first; before the start, nothing was started
        };
        Kind kind = Kind::notStarted;
        int code = 0;
        // The first ChildOutput::maxKeptBytes of each stream, read until the child ended.
        QByteArray out;
        QByteArray err;
    };
    // Runs exactly once: on the waiter's thread, or on the caller's for a start refused at once.
    using Done = std::function<void(End)>;

    ChildWaiter() = default;
    // Stops, and returns once the thread is gone.
    ~ChildWaiter();
    ChildWaiter(const ChildWaiter&) = delete;
    ChildWaiter& operator=(const ChildWaiter&) = delete;

    // Starts `argv` (argv[0] is the program's path; no shell) with standard input inherited,
    // standard output and error on pipes read here, and signals at their defaults, and returns
    // at once. The thread starts with the first call.
    void start(std::vector<QByteArray> argv, Done done);

    // Ends every wait under way (`stopped`); their children run on, left to the reaper of
    // children. Starts nothing afterwards. Safe from any thread, any number of times.
    void stop();

private:
    struct Request {
        std::vector<QByteArray> argv;
        Done done;
    };
    // Makes the epoll and its wake and starts the thread; false, with errno, when it could not.
    bool startThread();
    void run();

    std::mutex m_mutex;
    bool m_stopped = false;
    std::vector<Request> m_requests;
    int m_epoll = -1;
    int m_wake = -1;
    std::thread m_thread;
};
