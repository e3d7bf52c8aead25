#pragma once
// Runs a child process to its end (without a shell) and turns its outcome into the output
// and the one failure message a macro action reports.

#include <QFuture>
#include <QString>
#include <QStringList>

#include <optional>

struct ProcessResult {
    QString output;                 // whole standard output, UTF-8, not trimmed
    std::optional<QString> failure; // none exactly when launched and exited with status 0

    bool operator==(const ProcessResult&) const = default;
};

class ProcessRunner {
public:
    // Blocks until the child has ended; both pipes are drained together, so a child that
    // fills one of them never stalls. `toolName` names the tool in the messages.
    static ProcessResult run(const QString& path, const QStringList& arguments,
                             const QString& toolName);

    // The same on a worker thread of the shared pool.
    static QFuture<ProcessResult> runAsync(const QString& path, const QStringList& arguments,
                                           const QString& toolName);

    static QString launchFailure(const QString& toolName, const QString& description);
};

