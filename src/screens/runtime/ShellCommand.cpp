#include "screens/runtime/ShellCommand.h"

#include "platform/OrphanReaper.h"

#include <QtCore/qsystemdetection.h>

#include <algorithm>
#include <future>
#include <utility>
#include <vector>

extern char** environ;

ChildWaiter::Ticket ShellGroups::start(ChildWaiter::Program program, ChildWaiter::Done done)
{
    quint64 id = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_ended) {
            id = ++m_lastId;
            m_running.insert(id, 0);
        }
    }
    if (id == 0) {
        ChildWaiter::End stopped;
        stopped.kind = ChildWaiter::End::Kind::stopped;
        done(std::move(stopped));
        return 0;
    }
    // Its group was killed before its end reaches here.
    const ChildWaiter::Ticket ticket = m_waiter.start(
        std::move(program), [self = shared_from_this(), id, done = std::move(done)](ChildWaiter::End end) {
            self->ended(id);
            done(std::move(end));
        });
    const std::lock_guard lock(m_mutex);
    if (const auto it = m_running.find(id); it != m_running.end()) {
        *it = ticket;
        if (m_ended)
            m_waiter.kill(ticket);
    }
    return ticket;
}

void ShellGroups::ended(quint64 id)
{
    {
        const std::lock_guard lock(m_mutex);
        m_running.remove(id);
    }
    m_removed.notify_all();
}

void ShellGroups::endAll(std::chrono::milliseconds grace)
{
    std::unique_lock lock(m_mutex);
    m_ended = true;
    for (const ChildWaiter::Ticket ticket : std::as_const(m_running))
        m_waiter.terminate(ticket);
    m_removed.wait_for(lock, grace, [this] { return m_running.isEmpty(); });
    for (const ChildWaiter::Ticket ticket : std::as_const(m_running))
        m_waiter.kill(ticket);
}

namespace {

// Far beyond any real limit, yet small enough that adding it to now cannot overflow.
constexpr double maxWaitSeconds = 1.0e7;

ChildWaiter::Clock::duration secondsDuration(double seconds)
{
    if (!(seconds > 0))
        return ChildWaiter::Clock::duration::zero();
    return std::chrono::duration_cast<ChildWaiter::Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, maxWaitSeconds)));
}

std::vector<QByteArray> environmentWithPath(const QByteArray& path)
{
    std::vector<QByteArray> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (!QByteArray(*entry).startsWith("PATH=") && QByteArray(*entry) != OrphanReaper::sourceMarker)
            entries.emplace_back(*entry);
    }
    entries.push_back("PATH=" + path);
    entries.emplace_back(OrphanReaper::sourceMarker);
    return entries;
}

ShellCommand::Outcome outcomeOf(ChildWaiter::End end)
{
    using Kind = ChildWaiter::End::Kind;
    using End = ShellCommand::End;
    ShellCommand::Outcome outcome;
    outcome.out = std::move(end.out);
    outcome.err = std::move(end.err);
    outcome.status = end.code;
    switch (end.kind) {
    case Kind::exited:
        outcome.end = End::exited;
        break;
    case Kind::signalled:
        outcome.end = End::signalled;
        break;
    case Kind::timedOut:
        outcome.end = End::timedOut;
        break;
    case Kind::held:
    case Kind::lost:
        outcome.end = End::unknown;
        break;
    case Kind::notStarted:
        outcome.end = End::notStarted;
        outcome.startError = qt_error_string(end.code);
        break;
    case Kind::tooMany:
        outcome.end = End::notStarted;
        outcome.startError = QStringLiteral("Tarv already runs %1 programs").arg(ChildWaiter::maxChildren);
        break;
    case Kind::stopped:
        outcome.end = End::stopped;
        break;
    }
    return outcome;
}

} // namespace

ChildWaiter::Ticket ShellCommand::start(ShellGroups& groups, const QString& command, const QByteArray& path,
                                        double timeLimit, double killGrace, Done done)
{
    ChildWaiter::Program program;
    program.argv = {"/bin/sh", "-c", command.toUtf8()};
    program.environment = environmentWithPath(path);
    // A group of its own; signals as a fresh shell expects them, whatever this application
    // ignores.
    program.ownGroup = true;
    program.defaultSignals = true;
    program.deadline = secondsDuration(timeLimit);
    program.killGrace = secondsDuration(killGrace);
    return groups.start(std::move(program),
                        [done = std::move(done)](ChildWaiter::End end) { done(outcomeOf(std::move(end))); });
}

ShellCommand::Outcome ShellCommand::run(ShellGroups& groups, const QString& command, const QByteArray& path,
                                        double timeLimit, double killGrace)
{
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> outcome = promise->get_future();
    start(groups, command, path, timeLimit, killGrace,
          [promise](Outcome ended) { promise->set_value(std::move(ended)); });
    return outcome.get();
}
