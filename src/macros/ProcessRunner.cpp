#include "macros/ProcessRunner.h"

#include "platform/VisibleText.h"

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
    if (const QString error = errorText(end.err); !error.isEmpty())
        result.failure = error;
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
    quint64 id = 0;
    {
        const std::lock_guard lock(m_waits->mutex);
        if (!m_waits->stopped) {
            id = ++m_waits->lastId;
            m_waits->waits.emplace(id, Wait{promise, toolName});
        }
    }
    if (id == 0) {
        ChildWaiter::End stopped;
        stopped.kind = ChildWaiter::End::Kind::stopped;
        promise->addResult(resultOf(stopped, toolName));
        promise->finish();
        return future;
    }
    m_waiter.start(std::move(argv), [waits = m_waits, id](const ChildWaiter::End& end) {
        std::optional<Wait> wait;
        {
            const std::lock_guard lock(waits->mutex);
            if (const auto it = waits->waits.find(id); it != waits->waits.end()) {
                wait = std::move(it->second);
                waits->waits.erase(it);
            }
        }
        if (!wait)
            return;
        wait->promise->addResult(resultOf(end, wait->toolName));
        wait->promise->finish();
    });
    return future;
}

void ProcessRunner::stop()
{
    std::unordered_map<quint64, Wait> waits;
    {
        const std::lock_guard lock(m_waits->mutex);
        m_waits->stopped = true;
        waits.swap(m_waits->waits);
    }
    // Their programs run on, and their ends reach nobody.
    for (auto& [id, wait] : waits) {
        ChildWaiter::End stopped;
        stopped.kind = ChildWaiter::End::Kind::stopped;
        wait.promise->addResult(resultOf(stopped, wait.toolName));
        wait.promise->finish();
    }
}

QString ProcessRunner::errorText(const QByteArray& err)
{
    const QString text = QString::fromUtf8(err).trimmed();
    if (text.isEmpty())
        return text;
    QStringView first = text;
    qsizetype more = 0;
    if (const qsizetype end = text.indexOf(u'\n'); end >= 0) {
        first = QStringView(text).left(end);
        more = text.count(u'\n');
    }
    if (first.endsWith(u'\r'))
        first.chop(1);
    QString line = visibleText(first.toString());
    if (more == 1)
        line += QStringLiteral(" (and 1 more line)");
    else if (more > 1)
        line += QStringLiteral(" (and %1 more lines)").arg(more);
    return line;
}
