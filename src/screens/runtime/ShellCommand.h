#pragma once
// A run of `/bin/sh -c` for a shell data source, on the waiter of Tarv's children. The shell
// leads a process group of its own, so a time-out ends the whole pipeline it started; its
// output is captured through pipes and capped, so a chatty command costs neither memory nor
// disk.

#include "platform/ChildWaiter.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The commands of one owner that run now, so that it can end them all when it goes away,
// instead of waiting for their time limits.
class ShellGroups : public std::enable_shared_from_this<ShellGroups> {
public:
    explicit ShellGroups(ChildWaiter& waiter = ChildWaiter::shared()) : m_waiter(waiter) {}

    ChildWaiter& waiter() { return m_waiter; }

    // Starts the program as ChildWaiter::start does, unless endAll() ran: then `done` hears
    // `stopped` at once and 0 is returned. Call on an object owned by a shared_ptr.
    ChildWaiter::Ticket start(ChildWaiter::Program program, ChildWaiter::Done done);
    // Asks every command to end (SIGTERM, and SIGCONT for one that is stopped, to its group),
    // gives them `grace` to do so, then kills what is left; one that starts later is killed
    // at once.
    void endAll(std::chrono::milliseconds grace = std::chrono::milliseconds(300));

private:
    void ended(quint64 id);

    ChildWaiter& m_waiter;
    std::mutex m_mutex;
    std::condition_variable m_removed;
    // Runs by an id of ours; the ticket is 0 until start() returned.
    QHash<quint64, ChildWaiter::Ticket> m_running;
    quint64 m_lastId = 0;
    bool m_ended = false;
};

struct ShellCommand {
    enum class End {
        exited,     // `status` is the exit status
        signalled,  // `status` is the signal that ended the shell
        timedOut,   // the group was ended after the time limit
        stopped,    // never started: its owner's commands had ended, or Tarv stops
        notStarted, // `startError` says why
        unknown,    // the shell was reaped elsewhere (SIGCHLD ignored), or a tracer holds it after
                    // it ended, so how it ended is unknown
    };

    struct Outcome {
        End end = End::notStarted;
        int status = 0;
        QByteArray out;
        QByteArray err;
        QString startError;
    };
    using Done = std::function<void(Outcome)>;

    static constexpr qsizetype maxCapturedBytes = ChildWaiter::maxKeptBytes;

    // Starts `command` with stdin from /dev/null and PATH replaced by `path`, and returns its
    // ticket (0 when it was refused at once). Past `timeLimit` seconds the group gets SIGTERM,
    // and SIGKILL `killGrace` seconds later; ChildWaiter::terminate() does the same at once.
    // When the shell ends, whatever it left running in its group is killed. Only the first
    // maxCapturedBytes of each stream are kept. `done` runs on the waiter's thread, or on the
    // caller's when refused at once.
    static ChildWaiter::Ticket start(ShellGroups& groups, const QString& command, const QByteArray& path,
                                     double timeLimit, double killGrace, Done done);
    // The same, waited for.
    static Outcome run(ShellGroups& groups, const QString& command, const QByteArray& path, double timeLimit,
                       double killGrace);
};
