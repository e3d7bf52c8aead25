#pragma once
// One blocking run of `/bin/sh -c` for a shell data source. The shell leads a process group of
// its own, so a time-out ends the whole pipeline it started; its output is captured through
// pipes and capped, so a chatty command costs neither memory nor disk.

#include "platform/ChildWait.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/types.h>


// The process groups of the commands that run now, so that their owner can end them all
// when it goes away, instead of waiting for their time limits.
class ShellGroups {
public:
    // Kills every process of the group at once. The group's leader must not be reaped yet,
    // so that its id cannot name an unrelated group.
    static void endGroup(pid_t group);

    // Once `endAll` ran, no command is to start.
    bool isEnded();
    // False once `endAll` ran: the caller ends its group at once.
    bool add(pid_t group);
    void remove(pid_t group);
    // Asks every registered group to end (SIGTERM, and SIGCONT for one that is stopped), gives
    // them `grace` to do so, then kills what is left; a group added later is killed at once.
    void endAll(std::chrono::milliseconds grace = std::chrono::milliseconds(300));

private:
    std::mutex m_mutex;
    std::condition_variable m_removed;
    QSet<pid_t> m_groups;
    bool m_ended = false;
};

struct ShellCommand {
    enum class End {
        exited,     // `status` is the exit status
        signalled,  // `status` is the signal that ended the shell
        timedOut,   // the group was ended after the time limit
        stopped,    // the group was ended, or never started, on a WaitStop or once the groups ended
        noCapture,  // the output pipes could not be made
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

    static constexpr qsizetype maxCapturedBytes = ChildOutput::maxKeptBytes;

    // Runs `command` with stdin from /dev/null and PATH replaced by `path`. Past `timeLimit`
    // seconds, or once `stop` is stopped, the group gets SIGTERM, and SIGKILL `killGrace`
    // seconds later. When the shell exits, whatever it left running in its group is killed;
    // once it can no longer be waited for, nothing is: its id may name another process by then.
    // A shell that a tracer holds after it ended is not waited for either: it is left to the
    // reaper of children, which takes it once the tracer lets go.
    // Only the first maxCapturedBytes of each stream are kept; the rest is read and dropped.
    static Outcome run(const QString& command, const QByteArray& path, double timeLimit, double killGrace,
                       ShellGroups* groups = nullptr, const WaitStop* stop = nullptr);
};
