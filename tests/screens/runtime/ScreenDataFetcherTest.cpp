// The value rules of data sources, and shell sources against real shells.

#include "platform/OrphanReaper.h"
#include "screens/runtime/ScreenDataFetcher.h"
#include "screens/runtime/ScreenDataSources.h"
#include "screens/runtime/ShellCommand.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <future>
#include <csignal>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Failure = ScreenDataFetcher::Failure;
using Entry = ScreenDataFetcher::Entry;

Entry text(const char* value)
{
    return QString::fromUtf8(value);
}

Entry failure(const QString& message)
{
    return Failure{message};
}

Entry extract(const char* path, const QByteArray& json)
{
    return ScreenDataFetcher::extractJSONValue(QString::fromUtf8(path), json);
}

CustomScreen::DataSource shellSource(const QString& command, std::optional<qint64> decimals = std::nullopt)
{
    CustomScreen::DataSource source;
    source.key = QStringLiteral("s");
    source.kind = CustomScreen::DataSource::Shell{command};
    source.decimals = decimals;
    return source;
}

std::variant<QString, Failure> runShell(const char* command, double limit = 5.0)
{
    return ScreenDataFetcher::runShellSource(QString::fromUtf8(command), limit, 0.1);
}

Failure shellFailure(const char* command, double limit = 5.0)
{
    const auto outcome = runShell(command, limit);
    EXPECT_TRUE(std::holds_alternative<Failure>(outcome)) << command;
    return std::holds_alternative<Failure>(outcome) ? std::get<Failure>(outcome) : Failure{};
}

// Processes whose command line holds the token: what a killed command may have left behind.
int processesWith(const QByteArray& token)
{
    int count = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile file(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(token))
            ++count;
    }
    return count;
}

// The command line of `sleep <seconds>` as /proc shows it.
QByteArray sleepLine(const QByteArray& seconds)
{
    return QByteArray("sleep\0", 6) + seconds;
}

// A number of seconds no other test uses, so that its sleeps can be found in /proc.
QByteArray uniqueSleep()
{
    return QByteArray::number(900 + QRandomGenerator::global()->bounded(99)) + '.'
           + QByteArray::number(QRandomGenerator::global()->bounded(100000, 999999));
}

// A process that traces `tracee` and never waits for it, as a stuck debugger would, until it
// is let go (after 30 s at most).
struct Tracer {
    pid_t pid = -1;
    int hold = -1;
    bool seized = false;

    explicit Tracer(pid_t tracee)
    {
        int ready[2];
        int held[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(held, O_CLOEXEC) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(held[1]);
            const char done = ::ptrace(PTRACE_SEIZE, tracee, nullptr, nullptr) == 0 ? 1 : 0;
            [[maybe_unused]] const ssize_t written = ::write(ready[1], &done, 1);
            pollfd wait{held[0], POLLIN, 0};
            ::poll(&wait, 1, 30000);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(held[0]);
        hold = held[1];
        char done = 0;
        seized = pid > 0 && ::read(ready[0], &done, 1) == 1 && done == 1;
        ::close(ready[0]);
    }
    ~Tracer() { letGo(); }
    Tracer(const Tracer&) = delete;
    Tracer& operator=(const Tracer&) = delete;

    bool isTracing() const { return ::waitpid(pid, nullptr, WNOHANG) == 0; }
    void letGo()
    {
        if (hold < 0)
            return;
        ::close(hold);
        hold = -1;
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
    }
};

} // namespace

TEST(SourceValueRules, FirstNonEmptyLine)
{
    EXPECT_EQ(ScreenDataFetcher::firstNonEmptyLine(QStringLiteral("\n \t\r\n  42 \t\nx")), QStringLiteral("42"));
    EXPECT_EQ(ScreenDataFetcher::firstNonEmptyLine(QStringLiteral(" \u2028\u00A0b\u2029c")), QStringLiteral("b"));
    EXPECT_EQ(ScreenDataFetcher::firstNonEmptyLine(QStringLiteral("\v\f\u0085a b")), QStringLiteral("a b"));
    EXPECT_EQ(ScreenDataFetcher::firstNonEmptyLine(QStringLiteral(" \n\r\t")), std::nullopt);
    EXPECT_EQ(ScreenDataFetcher::firstNonEmptyLine(QString()), std::nullopt);
}

TEST(SourceValueRules, NumberTextIgnoresTheUsersLocale)
{
    // A Qt application adopts the user's locale, decimal comma included.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German));
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    const auto format = ScreenDataFetcher::formatSourceNumber;
    EXPECT_EQ(format(3.0), QStringLiteral("3"));
    EXPECT_EQ(format(-0.0), QStringLiteral("0"));
    EXPECT_EQ(format(2.5), QStringLiteral("2.5"));
    EXPECT_EQ(format(3.14159), QStringLiteral("3.1416"));
    EXPECT_EQ(format(0.12345), QStringLiteral("0.1235"));
    EXPECT_EQ(format(1.00001), QStringLiteral("1"));
    EXPECT_EQ(format(-2.25), QStringLiteral("-2.25"));
    EXPECT_EQ(format(999999999999999.0), QStringLiteral("999999999999999"));
    EXPECT_EQ(format(1e15), QStringLiteral("1e+15"));
    EXPECT_EQ(format(std::numeric_limits<double>::infinity()), QStringLiteral("inf"));
    const auto values = ScreenDataFetcher::buildSourceValues(shellSource({}, 2), "1,5\n2.5", std::nullopt, {}, true);
    EXPECT_EQ(values.value(QStringLiteral("s")), text("1,5"));
    EXPECT_EQ(ScreenDataFetcher::buildSourceValues(shellSource({}, 2), "2.5", std::nullopt, {}, true)
                  .value(QStringLiteral("s")),
              text("2.50"));
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(before);
}

TEST(SourceValueRules, Decimals)
{
    const auto whole = [](const char* output) {
        return ScreenDataFetcher::buildSourceValues(shellSource({}, 2), output, std::nullopt, {}, true)
            .value(QStringLiteral("s"));
    };
    EXPECT_EQ(whole("\n\n  42  \n"), text("42.00"));
    EXPECT_EQ(whole("-1e2"), text("-100.00"));
    EXPECT_EQ(whole("0x1p3"), text("8.00"));
    EXPECT_EQ(whole("2.345"), text("2.35"));
    EXPECT_EQ(whole("inf"), text("inf"));
    EXPECT_EQ(whole("42 %"), text("42 %"));
    EXPECT_EQ(whole("+"), text("+"));
    EXPECT_EQ(whole(""), failure(QStringLiteral("the response was empty")));
    EXPECT_EQ(ScreenDataFetcher::buildSourceValues(shellSource({}), "  42 ", std::nullopt, {}, true)
                  .value(QStringLiteral("s")),
              text("42"));
}

TEST(SourceValueRules, PathsIntoJson)
{
    const QByteArray json = R"({"list": [{"n": "a"}, {"n": "b\nc"}], "t": true, "nums": [1, 2.5, 3, false],
                               "strs": ["x"], "none": null, "blank": " \n ", "o": {}, "empty": []})";
    EXPECT_EQ(extract("list[1].n", json), text("b"));
    EXPECT_EQ(extract(".list..0.n", json), text("a"));
    EXPECT_EQ(extract("list.+1.n", json), text("b"));
    EXPECT_EQ(extract("list[2]", json), failure(QStringLiteral("no \"2\" under \"list\"")));
    EXPECT_EQ(extract("list[-1]", json), failure(QStringLiteral("no \"-1\" under \"list\"")));
    EXPECT_EQ(extract("list[0].x.y", json), failure(QStringLiteral("no \"x\" under \"list.0\"")));
    EXPECT_EQ(extract("main.tmp", json), failure(QStringLiteral("no \"main\" at the top of the JSON")));
    EXPECT_EQ(extract("t", json), text("true"));
    EXPECT_EQ(extract("nums", json), text("1 2.5 3 0"));
    EXPECT_EQ(extract("empty", json), text(""));
    EXPECT_EQ(extract("none", json), text(""));
    EXPECT_EQ(extract("blank", json), text(""));
    EXPECT_EQ(extract("strs", json), failure(QStringLiteral("\"strs\" is an object or a list, not a value")));
    EXPECT_EQ(extract("list[0]", json), failure(QStringLiteral("\"list[0]\" is an object or a list, not a value")));
    EXPECT_EQ(extract("a", "{oops"), failure(QStringLiteral("the output is not JSON")));
}

TEST(SourceValueRules, BareValueAtTheTop)
{
    EXPECT_EQ(extract("x", "12.5"), failure(QStringLiteral("no \"x\" at the top of the JSON")));
    EXPECT_EQ(extract(".", " 12.5\n"), text("12.5"));
    EXPECT_EQ(extract("[]", "\"up\""), text("up"));
    EXPECT_EQ(extract(".", "1 2"), failure(QStringLiteral("the output is not JSON")));
}

TEST(SourceValueRules, LoneSurrogatesBecomeReplacementCharacters)
{
    // Escaped in JSON and raw in bytes: neither may reach a text as a lone UTF-16 unit.
    const Entry escaped = extract("a", R"({"a": "x\ud800{{y}}"})");
    EXPECT_EQ(escaped, Entry(QStringLiteral("x\uFFFD{{y}}")));
    const auto raw = ScreenDataFetcher::extractJSONValue(std::nullopt, "x\xED\xA0\x80y");
    ASSERT_TRUE(std::holds_alternative<QString>(raw));
    for (const QChar c : std::get<QString>(raw))
        EXPECT_FALSE(c.isSurrogate());
}

TEST(SourceValueRules, FieldAndPathsMakeValueKeys)
{
    CustomScreen::DataSource source;
    source.key = QStringLiteral("w");
    source.decimals = 1;
    const QByteArray body = R"({"data": {"current": {"temp": 21.46, "sky": "clear"}}})";
    const auto values = ScreenDataFetcher::buildSourceValues(
        source, body, QStringLiteral("data.current"), {QStringLiteral("temp"), QStringLiteral("wind")}, true);
    EXPECT_EQ(values.value(QStringLiteral("w.temp")), text("21.5"));
    EXPECT_EQ(values.value(QStringLiteral("w.wind")), failure(QStringLiteral("no \"wind\" under \"data.current\"")));
    EXPECT_EQ(values.value(QStringLiteral("w")),
              failure(QStringLiteral("\"data.current\" is an object or a list, not a value")));
    EXPECT_EQ(values.size(), 3);
}

TEST(ShellSources, OutputAndExitStatus)
{
    EXPECT_EQ(runShell("printf '\\n\\n  42  \\n'"), (std::variant<QString, Failure>(QStringLiteral("\n\n  42  \n"))));
    EXPECT_EQ(shellFailure("printf '  \\n\\t\\n'").message, QStringLiteral("printed nothing"));
    EXPECT_EQ(shellFailure("echo x; echo boom >&2; exit 3").message, QStringLiteral("exit 3: boom"));
    EXPECT_EQ(shellFailure("echo x; exit 3").message, QStringLiteral("exit status 3"));
    // Standard input is the null device: a command reading it ends at once.
    EXPECT_EQ(shellFailure("cat").message, QStringLiteral("printed nothing"));
}

TEST(ShellSources, EnvironmentKeepsAllButPath)
{
    qputenv("TARV_SOURCE_TEST", "kept");
    EXPECT_EQ(runShell("printf '%s %s' \"$PATH\" \"$TARV_SOURCE_TEST\""),
              (std::variant<QString, Failure>(
                  QStringLiteral("/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin kept"))));
    qunsetenv("TARV_SOURCE_TEST");
}

TEST(ShellSources, OutputIsCappedAndTheRestDrained)
{
    // Megabytes through a pipe: the command must finish, not stall on a full pipe.
    const auto out = runShell("yes | head -c 2000000");
    ASSERT_TRUE(std::holds_alternative<QString>(out));
    EXPECT_EQ(std::get<QString>(out).size(), ShellCommand::maxCapturedBytes);
    const auto err = shellFailure("yes e | head -c 1000000 | tr -d '\\n' >&2; exit 4").message;
    EXPECT_EQ(err.size(), QStringLiteral("exit 4: ").size() + ShellCommand::maxCapturedBytes);
}

TEST(ShellSources, TimeOutEndsTheWholeGroup)
{
    const QByteArray seconds = uniqueSleep();
    // One member of the pipeline ignores SIGTERM; the shell would leave both behind.
    const QByteArray command = "sleep " + seconds + " | (trap '' TERM; sleep " + seconds + ")";
    EXPECT_EQ(shellFailure(command.constData(), 0.2).message, QStringLiteral("timed out after 0.2 s"));
    EXPECT_TRUE(waitUntil([&] { return processesWith(sleepLine(seconds)) == 0; }, 2000));
}

TEST(ShellSources, WhatACommandLeftRunningEndsWithItAndWhenSourcesStop)
{
    // A child in the background that ignores the polite signals outlives its shell.
    const QByteArray left = uniqueSleep();
    const QByteArray background = "(trap '' TERM HUP INT; sleep " + left + ") & echo started";
    EXPECT_EQ(runShell(background.constData()), (std::variant<QString, Failure>(QStringLiteral("started\n"))));
    EXPECT_TRUE(waitUntil([&] { return processesWith(sleepLine(left)) == 0; }, 2000));

    // A page that stops showing ends the commands its sources still run.
    const QByteArray running = uniqueSleep();
    PushedValues pushed;
    ScreenDataSources sources(pushed, std::make_unique<ScreenDataFetcher>(30.0));
    QList<ScreenIssue> issues;
    const QByteArray json = R"({"sources": {"s": {"shell": "sleep )" + running
                            + R"("}}, "widgets": [{"type": "text", "x": 8, "y": 40, "text": "{{s}}"}]})";
    const auto screen = CustomScreen::parse(json, QStringLiteral("p"), QStringLiteral("p.json"), issues);
    ASSERT_TRUE(screen);
    sources.startSources(*screen);
    ASSERT_TRUE(waitUntil([&] { return processesWith(sleepLine(running)) == 1; }));
    sources.stopSources();
    EXPECT_TRUE(waitUntil([&] { return processesWith(sleepLine(running)) == 0; }, 2000));
}

TEST(ShellSources, WhatACommandMovedToASessionOfItsOwnEndsWhenTarvEnds)
{
    const QByteArray seconds = uniqueSleep();
    // The pause lets setsid take the sleep out of the group before the shell's group is killed.
    const QByteArray command = "(setsid sleep " + seconds + " &); sleep 0.5; echo ok";
    {
        OrphanReaper children;
        EXPECT_EQ(runShell(command.constData()), (std::variant<QString, Failure>(QStringLiteral("ok\n"))));
        // Out of its group's reach, it outlives the command, but not Tarv.
        EXPECT_TRUE(waitUntil([&] { return processesWith(sleepLine(seconds)) == 1; }));
    }
    EXPECT_EQ(processesWith(sleepLine(seconds)), 0);
}

TEST(ShellSources, AtQuitLeftoversAreAskedToEndAndOneThatCannotBeReapedIsNotWaitedFor)
{
    const QByteArray traced = uniqueSleep();
    const QByteArray orphan = uniqueSleep();
    QTemporaryDir dir;
    const QByteArray said = dir.filePath(QStringLiteral("said")).toUtf8();
    // One leftover says when it is asked to end; the other gets a tracer that never waits.
    const QByteArray command = "setsid sleep " + traced + " & echo $!; setsid sh -c 'trap \"echo bye > " + said
                               + "; exit\" TERM; sleep " + orphan + " & wait' & sleep 0.5";
    pid_t tracee = -1;
    std::unique_ptr<Tracer> tracer;
    {
        OrphanReaper children;
        const auto outcome = runShell(command.constData());
        ASSERT_TRUE(std::holds_alternative<QString>(outcome));
        tracee = pid_t(std::get<QString>(outcome).trimmed().toInt());
        ASSERT_GT(tracee, 1);
        ASSERT_TRUE(waitUntil([&] { return processesWith(sleepLine(orphan)) == 1; }));
        tracer = std::make_unique<Tracer>(tracee);
        if (!tracer->seized)
            GTEST_SKIP() << "this system lets no process trace another";
    }
    // Quit came back while the tracer still held the leftover it ended.
    EXPECT_TRUE(tracer->isTracing());
    QFile file(QString::fromUtf8(said));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("bye\n"));
    EXPECT_EQ(processesWith(sleepLine(orphan)), 0);
    EXPECT_EQ(processesWith(sleepLine(traced)), 0);

    tracer->letGo();
    // Let go of by its tracer, the ended leftover is reaped.
    ::waitpid(tracee, nullptr, 0);
}

TEST(ShellSources, AtQuitARunningShellThatATracerHoldsIsNotWaitedFor)
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    const QByteArray seconds = uniqueSleep();
    auto fetcher = std::make_unique<ScreenDataFetcher>(30.0);
    fetcher->fetch(shellSource(QStringLiteral("echo $$ > '%1'; sleep %2").arg(pidFile, QString::fromLatin1(seconds))),
                   {}, true, nullptr, [](const ScreenDataFetcher::Result&) {});
    ASSERT_TRUE(waitUntil([&] { return processesWith(sleepLine(seconds)) == 1; }));
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t shell = pid_t(file.readAll().trimmed().toInt());
    ASSERT_GT(shell, 1);
    Tracer tracer(shell);
    if (!tracer.seized)
        GTEST_SKIP() << "this system lets no process trace another";

    // The shell stops on the signal that asks it to end, and ends only on SIGKILL, which leaves it
    // to its tracer; the end of the sources neither waits for the tracer nor spins meanwhile.
    fetcher.reset();
    EXPECT_TRUE(tracer.isTracing()) << "the sources' end waited for the tracer to let go";
    EXPECT_EQ(processesWith(sleepLine(seconds)), 0);
    tracer.letGo();
    ::waitpid(shell, nullptr, 0);
}

TEST(ShellSources, WithSigchldIgnoredAnExitIsNoSuccess)
{
    // Whoever started Tarv ignored SIGCHLD: the shell is reaped unseen, its status is lost.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before {};
    ::sigaction(SIGCHLD, &ignore, &before);
    const Failure failed = shellFailure("echo ok; exit 3");
    ::sigaction(SIGCHLD, &before, nullptr);
    EXPECT_EQ(failed.message, QStringLiteral("ended without an exit status Tarv could read"));
}

// Past its time limit a command is ended with all it started in its group, and what a command
// left in its group when it ended by itself goes too. The waiter's clock is the test's.
TEST(ShellSources, ACommandsEndTakesItsWholeGroup)
{
    using Clock = ChildWaiter::Clock;
    std::atomic<Clock::rep> ticks{0};
    ChildWaiter waiter([&ticks] { return Clock::time_point(Clock::duration(ticks.load())); });
    const auto groups = std::make_shared<ShellGroups>(waiter);
    const auto advance = [&](std::chrono::seconds by) {
        ticks += std::chrono::duration_cast<Clock::duration>(by).count();
        waiter.lookAtDeadlines();
    };
    QTemporaryDir dir;
    for (const bool timesOut : {true, false}) {
        SCOPED_TRACE(timesOut ? "timed out" : "ended by itself");
        // The shell ignores SIGTERM, as does the sleep it leaves: only SIGKILL ends them.
        const QByteArray told = dir.filePath(timesOut ? QStringLiteral("a") : QStringLiteral("b")).toLocal8Bit();
        ASSERT_EQ(::mkfifo(told.constData(), 0600), 0);
        auto ended = std::make_shared<std::promise<ShellCommand::Outcome>>();
        std::future<ShellCommand::Outcome> outcome = ended->get_future();
        const QString command = QStringLiteral("trap '' TERM; sleep 1000 & echo $! > '%1'; %2")
                                    .arg(QString::fromLocal8Bit(told),
                                         timesOut ? QStringLiteral("wait") : QStringLiteral("exit 0"));
        ShellCommand::start(*groups, command, "/usr/bin:/bin", 10.0, 1.0,
                            [ended](ShellCommand::Outcome outcome) { ended->set_value(std::move(outcome)); });
        QFile fifo(QString::fromLocal8Bit(told));
        ASSERT_TRUE(fifo.open(QIODevice::ReadOnly));
        const pid_t background = pid_t(fifo.readAll().trimmed().toInt());
        ASSERT_GT(background, 1);
        const int pidfd = int(::syscall(SYS_pidfd_open, background, 0));
        ASSERT_GE(pidfd, 0);
        if (timesOut) {
            advance(std::chrono::seconds(10));
            advance(std::chrono::seconds(1));
        }
        EXPECT_EQ(outcome.get().end, timesOut ? ShellCommand::End::timedOut : ShellCommand::End::exited);
        // It was killed before the shell was reaped: it ends (the bound keeps a failure from
        // hanging the suite).
        pollfd gone{pidfd, POLLIN, 0};
        EXPECT_EQ(::poll(&gone, 1, 60000), 1);
        ::close(pidfd);
    }
}

TEST(ShellSources, TimeLimitText)
{
    EXPECT_EQ(shellFailure("sleep 5", 0.05).message, QStringLiteral("timed out after 0.1 s"));
}

TEST(ShellSources, FetchRunsOffTheGuiThread)
{
    ScreenDataFetcher fetcher(5.0);
    std::optional<ScreenDataFetcher::Result> result;
    bool loopRanMeanwhile = false;
    QObject context;
    fetcher.fetch(shellSource(QStringLiteral("sleep 0.3; echo 7")), {}, true, &context,
                  [&](ScreenDataFetcher::Result r) { result = std::move(r); });
    EXPECT_FALSE(result);
    QTimer::singleShot(0, [&] { loopRanMeanwhile = !result; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(loopRanMeanwhile);
    const auto values = std::get<ScreenDataFetcher::Values>(*result);
    EXPECT_EQ(values.value(QStringLiteral("s")), text("7"));
}

TEST(ShellSources, GoneContextGetsNothingAndGoneFetcherEndsCommands)
{
    const QByteArray seconds = uniqueSleep();
    int calls = 0;
    {
        ScreenDataFetcher fetcher(30.0);
        auto context = std::make_unique<QObject>();
        fetcher.fetch(shellSource(QStringLiteral("echo 1")), {}, true, context.get(), [&](auto) { ++calls; });
        QObject other;
        fetcher.fetch(shellSource(QString::fromLatin1("sleep " + seconds)), {}, true, &other, [&](auto) { ++calls; });
        context.reset();
        ASSERT_TRUE(waitUntil([&] { return processesWith(sleepLine(seconds)) == 1; }));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(waitUntil([&] { return processesWith(sleepLine(seconds)) == 0; }, 2000));
}

// At quit the sources end while commands still wait for a thread: those start nothing at all.
TEST(ShellSources, OnceTheSourcesEndedACommandStillToComeStartsNothing)
{
    const auto groups = std::make_shared<ShellGroups>();
    groups->endAll(std::chrono::milliseconds(0));
    QTemporaryDir dir;
    const QString ran = dir.filePath(QStringLiteral("ran"));
    const auto outcome = ScreenDataFetcher::runShellSource(QStringLiteral(": > '%1'").arg(ran), 5.0, 0.1, groups.get());
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    EXPECT_EQ(std::get<Failure>(outcome).message, QStringLiteral("stopped with its screen's sources"));
    EXPECT_FALSE(QFile::exists(ran));
}

TEST(ShellSources, PushSourceIsNotFetched)
{
    ScreenDataFetcher fetcher;
    CustomScreen::DataSource source;
    source.kind = CustomScreen::DataSource::Push{QStringLiteral("cpu"), std::nullopt};
    std::optional<ScreenDataFetcher::Result> result;
    fetcher.fetch(source, {}, true, nullptr, [&](ScreenDataFetcher::Result r) { result = std::move(r); });
    EXPECT_FALSE(result);
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(std::get<Failure>(*result).message, QStringLiteral("a push source is not fetched"));
}
