#pragma once
// Runs a child process to its end (without a shell) and turns its outcome into the output
// and the one failure message a macro action reports.

#include "platform/ChildWait.h"

#include <QFuture>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <optional>

struct ProcessResult {
    QString output;                 // standard output, UTF-8, not trimmed, at most ChildOutput::maxKeptBytes
    std::optional<QString> failure; // none exactly when launched and exited with status 0

    bool operator==(const ProcessResult&) const = default;
};

class ProcessRunner {
public:
    // Programs waited for at once; a later one waits for a thread to come free.
    static constexpr int maxWaits = 16;

    ProcessRunner();
    // Stops the waits under way, whose programs run on, and returns once their threads are free.
    ~ProcessRunner();
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;

    // Blocks until the child has ended, or until `stop`; starts none once stopped. Both pipes
    // are read meanwhile, so a child that fills one of them never stalls. The wait ends with
    // the child, not with its output: what it started in the background may hold the pipes for
    // as long as it lives, and reads on elsewhere (ChildProcesses::keepReading). `toolName`
    // names the tool in the messages.
    static ProcessResult run(const QString& path, const QStringList& arguments, const QString& toolName,
                             const WaitStop* stop = nullptr);

    // The same on a thread of this runner's own: never on the shared pool, whose work Tarv
    // waits for when it quits.
    QFuture<ProcessResult> runAsync(const QString& path, const QStringList& arguments, const QString& toolName);

    static QString launchFailure(const QString& toolName, const QString& description);

private:
    WaitStop m_stop;
    // Declared last: destroying it waits for the waits, which read the stop above.
    QThreadPool m_threads;
};
