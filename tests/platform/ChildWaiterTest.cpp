// The one waiter for Tarv's children: tickets, the limit on programs running, deadlines.

#include "platform/ChildWaiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <future>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using End = ChildWaiter::End;

// A pipe whose read end becomes a child's standard input: it runs until the write end closes.
struct Gate {
    int read = -1;
    int write = -1;
    Gate()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~Gate()
    {
        open();
        if (read >= 0)
            ::close(read);
    }
    void open()
    {
        if (write >= 0)
            ::close(write);
        write = -1;
    }
};

struct Started {
    ChildWaiter::Ticket ticket = 0;
    std::future<End> end;
};

Started start(ChildWaiter& waiter, ChildWaiter::Program program)
{
    auto promise = std::make_shared<std::promise<End>>();
    Started started;
    started.end = promise->get_future();
    started.ticket = waiter.start(std::move(program), [promise](End end) { promise->set_value(std::move(end)); });
    return started;
}

ChildWaiter::Program catFrom(const Gate& gate)
{
    ChildWaiter::Program program;
    program.argv = {"/bin/cat"};
    program.input = gate.read;
    return program;
}

ChildWaiter::Program shell(const QByteArray& command)
{
    ChildWaiter::Program program;
    program.argv = {"/bin/sh", "-c", command};
    return program;
}

} // namespace

// A ticket names its child only until the child ended and was reaped: a kill by an old ticket,
// by 0 or by one never given reaches no other child, and a kill before the launch still ends it.
TEST(ChildWaiterTest, KillByTicketReachesItsOwnChildOnly)
{
    ChildWaiter waiter;
    Started ended = start(waiter, shell("exit 3"));
    const End first = ended.end.get();
    EXPECT_EQ(first.kind, End::Kind::exited);
    EXPECT_EQ(first.code, 3);

    Gate gate;
    Started bystander = start(waiter, catFrom(gate));
    Gate other;
    Started killed = start(waiter, catFrom(other));
    ASSERT_NE(bystander.ticket, 0U);
    ASSERT_NE(killed.ticket, bystander.ticket);
    // Right after start(), before or after the launch: it must end either way.
    waiter.kill(killed.ticket);
    waiter.kill(ended.ticket);
    waiter.kill(0);
    waiter.kill(killed.ticket + 1000);
    const End killedEnd = killed.end.get();
    EXPECT_EQ(killedEnd.kind, End::Kind::signalled);
    EXPECT_EQ(killedEnd.code, SIGKILL);
    waiter.kill(killed.ticket);

    gate.open();
    const End bystanderEnd = bystander.end.get();
    EXPECT_EQ(bystanderEnd.kind, End::Kind::exited);
    EXPECT_EQ(bystanderEnd.code, 0);
}

// Many children ending while their tickets are killed from other threads: every kill lands on
// its own child or on nothing, never on a child started since.
TEST(ChildWaiterTest, KillsRacingTheirChildsEndNeverReachAnother)
{
    ChildWaiter waiter;
    Gate gate;
    Started bystander = start(waiter, catFrom(gate));
    std::vector<std::future<End>> ends;
    std::vector<std::thread> killers;
    for (int i = 0; i < 40; ++i) {
        Started racer = start(waiter, shell("exit 0"));
        ends.push_back(std::move(racer.end));
        killers.emplace_back([&waiter, ticket = racer.ticket] {
            for (int n = 0; n < 50; ++n)
                waiter.kill(ticket);
        });
    }
    for (std::thread& killer : killers)
        killer.join();
    for (auto& end : ends) {
        const End got = end.get();
        EXPECT_TRUE(got.kind == End::Kind::exited || (got.kind == End::Kind::signalled && got.code == SIGKILL));
    }
    gate.open();
    EXPECT_EQ(bystander.end.get().kind, End::Kind::exited);
}

// The limit counts programs that run. Programs that ended but left a background child holding
// their output pipes count no more.
TEST(ChildWaiterTest, LimitCountsRunningProgramsNotWhatEndedOnesLeftBehind)
{
    ChildWaiter waiter(ChildWaiter::Clock::now, 2);
    Gate gate;
    // Each leaves a `cat` that holds its output pipes until the gate opens.
    for (int i = 0; i < 4; ++i) {
        ChildWaiter::Program program = shell("/bin/cat <&0 &");
        program.input = gate.read;
        const End end = start(waiter, std::move(program)).end.get();
        EXPECT_EQ(end.kind, End::Kind::exited) << "program " << i;
    }
    Gate first;
    Gate second;
    Started running1 = start(waiter, catFrom(first));
    Started running2 = start(waiter, catFrom(second));
    EXPECT_EQ(start(waiter, shell("exit 0")).end.get().kind, End::Kind::tooMany);
    first.open();
    EXPECT_EQ(running1.end.get().kind, End::Kind::exited);
    EXPECT_EQ(start(waiter, shell("exit 0")).end.get().kind, End::Kind::exited);
    second.open();
    EXPECT_EQ(running2.end.get().kind, End::Kind::exited);
}

// Past its deadline a program in a group of its own is ended with all it started, and what a
// program left in its group when it ended by itself goes too.
TEST(ChildWaiterTest, DeadlineEndsTheWholeGroup)
{
    std::atomic<ChildWaiter::Clock::rep> ticks{0};
    ChildWaiter waiter([&ticks] { return ChildWaiter::Clock::time_point(ChildWaiter::Clock::duration(ticks.load())); });

    for (const bool byItself : {false, true}) {
        SCOPED_TRACE(byItself ? "ended by itself" : "deadline");
        // The background child tells its id through a pipe of the test's; the shell then waits.
        int told[2];
        ASSERT_EQ(::pipe2(told, O_CLOEXEC), 0);
        // Its standard input is the write end of the test's pipe.
        ChildWaiter::Program program =
            shell(QByteArray("trap '' TERM; sleep 1000 & echo $! >&0; exec 0</dev/null; ") + (byItself ? "exit 0" : "wait"));
        program.input = told[1];
        program.ownGroup = true;
        program.defaultSignals = true;
        program.deadline = std::chrono::seconds(10);
        program.killGrace = std::chrono::seconds(1);
        Started started = start(waiter, std::move(program));
        ::close(told[1]);
        char text[32] = {};
        const ssize_t n = ::read(told[0], text, sizeof text - 1);
        ::close(told[0]);
        ASSERT_GT(n, 0);
        const pid_t background = pid_t(atoi(text));
        ASSERT_GT(background, 1);
        const int pidfd = int(::syscall(SYS_pidfd_open, background, 0));
        ASSERT_GE(pidfd, 0);

        if (!byItself) {
            // The shell ignores SIGTERM: only the SIGKILL after the grace ends it.
            ticks += std::chrono::duration_cast<ChildWaiter::Clock::duration>(std::chrono::seconds(10)).count();
            waiter.lookAtDeadlines();
            ticks += std::chrono::duration_cast<ChildWaiter::Clock::duration>(std::chrono::seconds(1)).count();
            waiter.lookAtDeadlines();
        }
        const End end = started.end.get();
        EXPECT_EQ(end.kind, byItself ? End::Kind::exited : End::Kind::timedOut);
        // The background child was signalled before the shell was reaped: it ends (a safety
        // bound keeps a failure from hanging the suite).
        pollfd gone{pidfd, POLLIN, 0};
        EXPECT_EQ(::poll(&gone, 1, 60000), 1);
        ::close(pidfd);
    }
}
