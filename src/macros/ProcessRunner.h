#pragma once
// Runs child processes (without a shell), any number at once, and turns each one's outcome
// into the output and the one failure message a macro action reports.

#include "platform/ChildWaiter.h"

#include <QFuture>
#include <QPromise>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

struct ProcessResult {
    QString output;                 // standard output, UTF-8, not trimmed, at most ChildWaiter::maxKeptBytes
    // None exactly when launched and exited with status 0. One line: the first of what the
    // program wrote on its standard error, made visible, with how many more there were.
    std::optional<QString> failure;

    bool operator==(const ProcessResult&) const = default;
};

class ProcessRunner {
public:
    explicit ProcessRunner(ChildWaiter& waiter = ChildWaiter::shared()) : m_waiter(waiter) {}
    // Stops the waits under way, whose programs run on.
    ~ProcessRunner() { stop(); }
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;

    // Starts the program at once and finishes when it ended, or when the runner stops. Both
    // pipes are read meanwhile, so a child that fills one of them never stalls. The wait ends
    // with the child, not with its output: what it started in the background may hold the
    // pipes for as long as it lives, and they are read on, while the runner lives, until they
    // close. `toolName` names the tool in the messages.
    QFuture<ProcessResult> runAsync(const QString& path, const QStringList& arguments, const QString& toolName);

    // What Quit does: the waits under way end, and nothing starts any more.
    void stop();

    static QString launchFailure(const QString& toolName, const QString& description);
    static ProcessResult resultOf(const ChildWaiter::End& end, const QString& toolName);
    // What the log says of a program's standard error.
    static QString errorText(const QByteArray& err);

private:
    struct Wait {
        std::shared_ptr<QPromise<ProcessResult>> promise;
        QString toolName;
    };
    // Shared with the ends of the programs, which may come after the runner is gone.
    struct Waits {
        std::mutex mutex;
        bool stopped = false;
        quint64 lastId = 0;
        std::unordered_map<quint64, Wait> waits;
    };

    ChildWaiter& m_waiter;
    const std::shared_ptr<Waits> m_waits = std::make_shared<Waits>();
};
