// The one waiter for Tarv's children: tickets and the limit on programs running.

#include "platform/ChildWaiter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
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
