#include "macros/ProcessRunner.h"

#include <QPromise>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

QString ProcessRunner::launchFailure(const QString& toolName, const QString& description)
{
    return QStringLiteral("Could not launch ") + toolName + QStringLiteral(": ") + description;
}

ProcessResult ProcessRunner::resultOf(const ChildWaiter::End& end, const QString& toolName)
{
    using Kind = ChildWaiter::End::Kind;
    switch (end.kind) {
    case Kind::notStarted:
        return {QString(), launchFailure(toolName, qt_error_string(end.code))};
    case Kind::tooMany:
        return {QString(), launchFailure(toolName, QStringLiteral("Tarv already runs %1 programs")
                                                       .arg(ChildWaiter::maxChildren))};
    case Kind::stopped:
        return {QString(), QStringLiteral("Tarv stopped waiting for ") + toolName};
    case Kind::exited:
    case Kind::signalled:
    case Kind::timedOut:
    case Kind::held:
    case Kind::lost:
        break;
    }
    ProcessResult result;
    result.output = QString::fromUtf8(end.out);
    if (end.kind == Kind::exited && end.code == 0)
        return result;
    // How it ended is unknown: whatever it wrote is no error message.
    if (end.kind == Kind::held) {
        result.failure = toolName + QStringLiteral(" ended under a tracer, which holds its exit status");
        return result;
    }
    if (end.kind == Kind::lost) {
        result.failure = toolName + QStringLiteral(" ended, but its exit status was lost");
        return result;
    }
    const QString errorText = QString::fromUtf8(end.err).trimmed();
    if (!errorText.isEmpty())
        result.failure = errorText;
    else if (end.kind == Kind::exited)
        result.failure = toolName + QStringLiteral(" exited with status ") + QString::number(end.code);
    else if (const char* name = sigabbrev_np(end.code))
        result.failure = toolName + QStringLiteral(" ended on SIG") + QString::fromLatin1(name);
    else
        result.failure = toolName + QStringLiteral(" ended on signal ") + QString::number(end.code);
    return result;
}

QFuture<ProcessResult> ProcessRunner::runAsync(const QString& path, const QStringList& arguments,
                                               const QString& toolName)
{
    std::vector<QByteArray> argv;
    argv.reserve(std::size_t(arguments.size()) + 1);
    argv.push_back(path.toLocal8Bit());
    for (const QString& argument : arguments)
        argv.push_back(argument.toLocal8Bit());

    auto promise = std::make_shared<QPromise<ProcessResult>>();
    promise->start();
    QFuture<ProcessResult> future = promise->future();
    m_waiter.start(std::move(argv), [promise, toolName](const ChildWaiter::End& end) {
        promise->addResult(resultOf(end, toolName));
        promise->finish();
    });
    return future;
}
