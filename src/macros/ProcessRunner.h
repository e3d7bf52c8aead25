#pragma once
// Runs child processes (without a shell), any number at once, and turns each one's outcome
// into the output and the one failure message a macro action reports.

#include "platform/ChildWaiter.h"

#include <QFuture>
#include <QString>
#include <QStringList>

#include <optional>

struct ProcessResult {
    QString output;                 // standard output, UTF-8, not trimmed, at most ChildOutput::maxKeptBytes
    std::optional<QString> failure; // none exactly when launched and exited with status 0

    bool operator==(const ProcessResult&) const = default;
};

class ProcessRunner {
public:
    ProcessRunner() = default;
    // Stops the waits under way, whose programs run on.
    ~ProcessRunner() = default;
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;

    // Starts the program at once and finishes when it ended, or when the runner stops. Both
    // pipes are read meanwhile, so a child that fills one of them never stalls. The wait ends
    // with the child, not with its output: what it started in the background may hold the
    // pipes for as long as it lives, and they are read on, while the runner lives, until they
    // close. `toolName` names the tool in the messages.
    QFuture<ProcessResult> runAsync(const QString& path, const QStringList& arguments, const QString& toolName);

    // What Quit does: the waits under way end, and nothing starts any more.
    void stop() { m_waiter.stop(); }

    static QString launchFailure(const QString& toolName, const QString& description);

private:
    static ProcessResult resultOf(const ChildWaiter::End& end, const QString& toolName);

    ChildWaiter m_waiter;
};
