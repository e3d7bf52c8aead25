#include "macros/DesktopActionRunner.h"
#include "macros/MacroAction.h"
#include "macros/ProcessRunner.h"
#include "macros/ShortcutsCatalog.h"
#include "platform/OrphanReaper.h"
#include "platform/ChildWaiter.h"
#include "platform/VisibleText.h"

#include "support/DesktopTestEnv.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

void PrintTo(const ProcessResult& result, std::ostream* out)
{
    *out << '{' << ::testing::PrintToString(result.output.toStdString()) << ", "
         << (result.failure ? ::testing::PrintToString(result.failure->toStdString()) : std::string("none")) << '}';
}

namespace {

ProcessResult resultOf(const QFuture<ProcessResult>& future)
{
    EXPECT_TRUE(waitFor(future));
    return future.isFinished() && future.resultCount() > 0 ? future.result() : ProcessResult{};
}

// The process id a program wrote to `path`, once it did.
pid_t writtenPid(const QString& path)
{
    if (!waitUntil([&] { return QFile(path).size() > 0; }))
        return -1;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? pid_t(file.readAll().trimmed().toInt()) : -1;
}

class ActionRunnerTest : public ::testing::Test {
protected:
    ActionRunnerTest() { testGuiApp(); }

    QString script(const QString& name, const QByteArray& body)
    {
        const QString path = runner.shortcutsFolder + u'/' + name;
        TempXdg::write(path, "#!/bin/sh\n" + body, true);
        return path;
    }

    TempXdg xdg;
    DesktopActionRunner runner;
};

} // namespace

TEST_F(ActionRunnerTest, ShortcutsFolderFollowsXdgDataHome)
{
    EXPECT_EQ(runner.shortcutsFolder, xdg.path("data") + "/Tarv/Shortcuts");
}

TEST_F(ActionRunnerTest, ExitStatusMessagesKeepTheToolName)
{
    script("fails", "echo partial\necho '  it broke  ' >&2\nexit 3\n");
    script("quiet", "echo out\nexit 3\n");
    script("noisy-ok", "echo fine\necho warning >&2\n");
    EXPECT_EQ(resultOf(runner.runShortcutsTool({"run", "fails"})),
              (ProcessResult{"partial\n", QString("it broke")}));
    EXPECT_EQ(resultOf(runner.runShortcutsTool({"run", "quiet"})),
              (ProcessResult{"out\n", QString("shortcuts exited with status 3")}));
    EXPECT_EQ(resultOf(runner.runShortcutsTool({"run", "noisy-ok"})), (ProcessResult{"fine\n", std::nullopt}));
}

// A program's error output reaches the log as one line of visible text: its first line and how
// many more there were, whatever bytes it wrote (escape codes, carriage returns, broken UTF-8).
TEST(ProcessRunnerErrorText, IsTheFirstLineMadeVisibleAndACountOfTheRest)
{
    EXPECT_EQ(ProcessRunner::errorText("\x1b[31mfailed\x1b[0m\r\nat line 2\r\n\rat line 3\n  \n"),
              QStringLiteral("\\x1B[31mfailed\\x1B[0m (and 2 more lines)"));
    EXPECT_EQ(ProcessRunner::errorText("only\n"), QStringLiteral("only"));
    EXPECT_EQ(ProcessRunner::errorText("one\ntwo"), QStringLiteral("one (and 1 more line)"));

    const char alphabet[] = "ab \n\r\t\x1b\x7f\x85\xe2\x80\xae\xff";
    auto* random = QRandomGenerator::global();
    for (int round = 0; round < 2000; ++round) {
        QByteArray err;
        for (int n = int(random->bounded(40)); n > 0; --n)
            err += alphabet[random->bounded(int(sizeof alphabet) - 1)];
        const QString text = ProcessRunner::errorText(err);
        for (const char32_t c : text.toUcs4())
            ASSERT_FALSE(isControlCharacter(c) || c == U'\u2028' || c == U'\u2029' || c == U'\u202E')
                << err.toHex().constData();
        const QString trimmed = QString::fromUtf8(err).trimmed();
        const qsizetype more = trimmed.count(u'\n');
        if (more > 0) {
            ASSERT_TRUE(text.endsWith(QStringLiteral(" more line%1)").arg(more > 1 ? QStringLiteral("s") : QString())))
                << err.toHex().constData();
        }
        ASSERT_EQ(text.isEmpty(), trimmed.isEmpty()) << err.toHex().constData();
    }
}

TEST_F(ActionRunnerTest, MissingOrUnsafeShortcutCannotBeLaunched)
{
    EXPECT_EQ(resultOf(runner.runShortcutsTool({"run", "absent"})).failure,
              "Could not launch shortcuts: " + qt_error_string(ENOENT));
    TempXdg::write(xdg.root() + "/evil", "#!/bin/sh\necho ran\n", true);
    const auto escaped = resultOf(runner.runShortcutsTool({"run", "../../../evil"}));
    EXPECT_EQ(escaped.output, "");
    EXPECT_EQ(escaped.failure, "Could not launch shortcuts: no shortcut can be named ../../../evil");
    EXPECT_TRUE(resultOf(runner.runShortcutsTool({"run", ".."})).failure);
}

TEST_F(ActionRunnerTest, ProcessRunnerDrainsBothPipesAndNamesTheTool)
{
    // 1 MiB on each stream: far more than a pipe holds, and more than is kept.
    const QString noisy = script("noisy",
        "head -c 1048576 /dev/zero | tr '\\0' e >&2 &\nhead -c 1048576 /dev/zero | tr '\\0' o\nwait\nexit 5\n");
    const auto result = resultOf(runner.runProcess(noisy, {}));
    EXPECT_EQ(result.output, QString(ChildWaiter::maxKeptBytes, u'o'));
    EXPECT_EQ(result.failure, QString(ChildWaiter::maxKeptBytes, u'e'));

    const auto missing = resultOf(runner.runProcess("/nonexistent/tool", {}));
    EXPECT_EQ(missing, (ProcessResult{"", "Could not launch tool: " + qt_error_string(ENOENT)}));

    const QString bytes = script("bytes", "printf 'a\\377b'\necho \"$1|$2\"\n");
    EXPECT_EQ(resultOf(runner.runProcess(bytes, {"one two", "$HOME"})).output,
              QString::fromUtf8("a\uFFFDbone two|$HOME\n"));
}

// A shortcut that starts an application in the background: the application holds the output
// pipes for as long as it lives, and writes to them whenever it likes.
TEST_F(ActionRunnerTest, AProgramIsDoneWhenItEndsWhatItLeftRunningWritesOnUnharmedAndQuitWaitsForNeither)
{
    OrphanReaper children;
    const QString left = xdg.root() + "/left.pid";
    const QString wrote = xdg.root() + "/wrote";
    script("starts-app", "echo started\n"
                         "(sleep 0.3; head -c 1048576 /dev/zero && echo done > '" + wrote.toUtf8() + "'; exec sleep 600) &\n"
                         "echo $! > '" + left.toUtf8() + "'\n");
    const auto started = runner.runShortcutsTool({"run", "starts-app"});
    EXPECT_EQ(resultOf(started), (ProcessResult{"started\n", std::nullopt}));
    EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0);
    // Its megabyte went somewhere: neither a full pipe nor a closed one stopped it.
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(wrote); }));
    QFile pidFile(left);
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    ::kill(pid_t(pidFile.readAll().trimmed().toInt()), SIGKILL);

    // One still running when Tarv quits is left running, and its wait ends at once.
    const QString running = xdg.root() + "/running.pid";
    script("runs-on", "echo $$ > '" + running.toUtf8() + "'\nexec sleep 600\n");
    QFuture<ProcessResult> waiting;
    {
        DesktopActionRunner quitting;
        quitting.shortcutsFolder = runner.shortcutsFolder;
        waiting = quitting.runShortcutsTool({"run", "runs-on"});
        ASSERT_TRUE(waitUntil([&] { return QFile(running).size() > 0; }));
    }
    EXPECT_TRUE(waiting.isFinished());
    QFile runningFile(running);
    ASSERT_TRUE(runningFile.open(QIODevice::ReadOnly));
    const pid_t stillRunning = pid_t(runningFile.readAll().trimmed().toInt());
    EXPECT_EQ(::kill(stillRunning, 0), 0);
    ::kill(stillRunning, SIGKILL);
}

// Programs that stay open (an editor, a browser) hold no thread each: however many run, the
// next one starts at once, and each one's end reaches its own caller.
TEST_F(ActionRunnerTest, ManyProgramsRunAtOnceAndEachReportsItsOwnEnd)
{
    constexpr int count = 100;
    const QString marks = xdg.root() + "/marks";
    ASSERT_TRUE(QDir().mkpath(marks));
    const QString waits = "trap 'kill $!; exit $1' USR1\necho \"out $1\"\nsleep 600 &\necho $$ > \"$2/$1\"\nwait\n";
    QList<QFuture<ProcessResult>> running;
    for (int i = 1; i <= count; ++i)
        running.append(runner.runProcess("/bin/sh", {"-c", waits, "sh", QString::number(i), marks}));
    const bool allStarted = waitUntil([&] { return QDir(marks).entryList(QDir::Files).size() == count; });
    QList<pid_t> started;
    for (const QString& name : QDir(marks).entryList(QDir::Files))
        started.append(writtenPid(marks + u'/' + name));
    for (const QFuture<ProcessResult>& program : std::as_const(running))
        EXPECT_FALSE(program.isFinished());
    for (const pid_t pid : std::as_const(started))
        ::kill(pid, SIGUSR1);
    ASSERT_TRUE(allStarted) << started.size() << " of " << count << " started";
    for (int i = 1; i <= count; ++i)
        EXPECT_EQ(resultOf(running[i - 1]),
                  (ProcessResult{QString("out %1\n").arg(i), QString("sh exited with status %1").arg(i)}));
}

// How a program ended is told as it is known: a signal by its name; an end whose status a
// tracer holds, or that someone else reaped, as such, never as some exit status.
TEST_F(ActionRunnerTest, AnEndWithoutAnExitStatusIsToldAsWhatItIs)
{
    const QString pidFile = xdg.root() + "/pid";
    const QString runs = "echo $$ > '" + pidFile + "'\nexec sleep 600\n";
    const auto start = [&] {
        QFile::remove(pidFile);
        QFuture<ProcessResult> future = runner.runProcess("/bin/sh", {"-c", runs});
        return std::pair(future, writtenPid(pidFile));
    };

    auto [killed, killedPid] = start();
    ASSERT_GT(killedPid, 0);
    ::kill(killedPid, SIGKILL);
    EXPECT_EQ(resultOf(killed), (ProcessResult{"", QString("sh ended on SIGKILL")}));

    // Traced by another process that does not let go of it when it ends.
    auto [traced, tracedPid] = start();
    ASSERT_GT(tracedPid, 0);
    int seized[2];
    ASSERT_EQ(::pipe(seized), 0);
    const pid_t tracer = ::fork();
    if (tracer == 0) {
        const char ok = ::ptrace(PTRACE_SEIZE, tracedPid, nullptr, nullptr) == 0 ? 1 : 0;
        [[maybe_unused]] const ssize_t told = ::write(seized[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(seized[0], &ok, 1), 1);
    ::close(seized[0]);
    ::close(seized[1]);
    EXPECT_EQ(ok, 1);
    ::kill(tracedPid, SIGKILL);
    EXPECT_EQ(resultOf(traced), (ProcessResult{"", QString("sh ended under a tracer, which holds its exit status")}));
    ::kill(tracer, SIGKILL);
    ::waitpid(tracer, nullptr, 0);
    // Let go of, it is this process's to reap, as the reaper of children would.
    EXPECT_EQ(::waitpid(tracedPid, nullptr, 0), tracedPid);

    // Reaped behind the runner's back: an ignored SIGCHLD reaps children as they end.
    auto [lost, lostPid] = start();
    ASSERT_GT(lostPid, 0);
    struct sigaction ignore {}, before {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGCHLD, &ignore, &before);
    ::kill(lostPid, SIGKILL);
    const ProcessResult lostResult = resultOf(lost);
    ::sigaction(SIGCHLD, &before, nullptr);
    EXPECT_EQ(lostResult, (ProcessResult{"", QString("sh ended, but its exit status was lost")}));
}

// Quit stops the runner: a key pressed after that starts nothing.
TEST_F(ActionRunnerTest, AStoppedRunnerStartsNothing)
{
    ProcessRunner quitting;
    quitting.stop();
    const QString mark = QStringLiteral("tarv-unstarted-%1").arg(::getpid());
    const ProcessResult result = resultOf(quitting.runAsync(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 600; :"), mark}, QStringLiteral("sh")));
    EXPECT_EQ(result, (ProcessResult{QString(), QStringLiteral("Tarv stopped waiting for sh")}));
    QList<pid_t> started;
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(QStringLiteral("/proc/self/task/%1/children").arg(task));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& id : children.readAll().split(' ')) {
            QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(QString::fromLatin1(id.trimmed())));
            if (commandLine.open(QIODevice::ReadOnly) && commandLine.readAll().contains(mark.toLatin1()))
                started.append(pid_t(id.trimmed().toInt()));
        }
    }
    for (const pid_t pid : std::as_const(started)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(ActionRunnerTest, ListGivesExecutableFilesOnly)
{
    script("Work", "");
    script("home", "");
    script(".hidden", "");
    TempXdg::write(runner.shortcutsFolder + "/notes.txt", "x");
    EXPECT_EQ(resultOf(runner.runShortcutsTool({"list"})), (ProcessResult{"Work\nhome\n", std::nullopt}));
    EXPECT_EQ(resultOf(runner.runShortcutsTool({"frobnicate"})).failure,
              "Could not launch shortcuts: unknown command frobnicate");
}

TEST_F(ActionRunnerTest, OpenAppAndOpenUrlMessages)
{
    EXPECT_EQ(runner.openApp({"org.example.Missing", ""}), "org.example.Missing is not installed");
    EXPECT_EQ(runner.openApp({"org.example.Missing", "Missing"}), "Missing is not installed");
    EXPECT_EQ(runner.openApp({"", ""}), " is not installed");

    QList<QUrl> opened;
    runner.urlOpener = [&](const QUrl& url) { opened << url; return url.scheme() != "nope"; };
    EXPECT_EQ(runner.openURL("example"), "Not a valid URL: example");
    EXPECT_EQ(runner.openURL("nope://x"), "Nothing could open nope://x");
    EXPECT_EQ(runner.openURL("https://exa mple.org/"), "Not a valid URL: https://exa mple.org/");
    EXPECT_EQ(runner.openURL("https://example.org/"), std::nullopt);
    // What a key counts as set up (a filled search address with a blank in it) also opens.
    const QString filled = "https://example.org/?q=a b";
    ASSERT_TRUE(MacroAction::openURL(filled).isConfigured());
    EXPECT_EQ(runner.openURL(filled), std::nullopt);
    EXPECT_EQ(opened, (QList<QUrl>{QUrl("nope://x"), QUrl("https://example.org/"), QUrl("https://example.org/?q=a%20b")}));
}

TEST_F(ActionRunnerTest, CatalogSortsStablyAndIgnoresASecondLoad)
{
    ShortcutsCatalog catalog;
    catalog.runner.shortcutsFolder = runner.shortcutsFolder;
    EXPECT_EQ(ShortcutsCatalog::sorted({"Work", "home", "Alpha"}), (QStringList{"Alpha", "home", "Work"}));
    EXPECT_EQ(ShortcutsCatalog::sorted({"b", "a2", "B", "a1"}), (QStringList{"a1", "a2", "b", "B"}));

    script("Work", "");
    script("home", "");
    script("Alpha", "");
    int namesNotified = 0;
    QObject::connect(&catalog, &ShortcutsCatalog::namesChanged, [&] { ++namesNotified; });
    // The listing runs on a pool thread and may be back before load() returns; while it is
    // still loading, a second load neither restarts nor queues another.
    catalog.load();
    catalog.load();
    ASSERT_TRUE(waitUntil([&] { return !catalog.isLoading(); }));
    EXPECT_EQ(catalog.names(), (QStringList{"Alpha", "home", "Work"}));
    EXPECT_EQ(namesNotified, 1);

    catalog.load();
    ASSERT_TRUE(waitUntil([&] { return !catalog.isLoading(); }));
    EXPECT_EQ(namesNotified, 1) << "the same list does not notify again";

    catalog.runner.shortcutsFolder = xdg.root() + "/missing";
    catalog.load();
    ASSERT_TRUE(waitUntil([&] { return !catalog.isLoading(); }));
    EXPECT_TRUE(catalog.names().isEmpty());
    EXPECT_EQ(namesNotified, 2);
}
