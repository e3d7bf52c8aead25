// tarv-app as a process: a second start hands over to the running copy (whose window shows),
// with its launcher's tokens, says what happened and leaves; options are read without a display; the signals that ask a program to
// end end it as Quit does, with its usual teardown.

#include "ShellFixture.h"

#include "app/InstanceHandOver.h"
#include "app/LockedElsewhereDialog.h"
#include "app/WindowActivation.h"
#include "control/NotifyChannel.h"
#include "control/NotifyClient.h"
#include "macros/MacroAction.h"
#include "platform/SingleInstanceLock.h"

#include <QLocalSocket>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>

#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A second copy asks from a process of its own: here, a thread of its own, while this one
// serves the request as the running copy's event loop does.
std::optional<InstanceHandOver::Answer> askFromAnotherThread(const QString& path, int timeoutMs,
                                                             QString* failure = nullptr,
                                                             const ActivationTokens& tokens = {})
{
    auto asked = std::async(std::launch::async, [&] {
        return InstanceHandOver::askRunningCopyToShow(path, tokens, timeoutMs, failure);
    });
    while (asked.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return asked.get();
}

} // namespace

TEST_F(ShellTest, ASecondStartShowsTheRunningCopysWindowAndLeaves)
{
    // This test plays the running copy: it holds the lock and listens beside it.
    SingleInstanceLock lock;
    ASSERT_TRUE(lock.tryAcquire());
    InstanceHandOver handOver(InstanceHandOver::socketPathForLock(lock.path()));
    ASSERT_TRUE(handOver.listen()) << handOver.errorString().toStdString();
    MainWindow& w = makeWindow();
    QList<ActivationTokens> handed;
    QObject::connect(&handOver, &InstanceHandOver::showRequested, &w,
                     [&](const ActivationTokens& tokens, quint64 request) {
                         handed.append(tokens);
                         WindowActivation::bringForward(&w, tokens.xdgActivationToken, [&, request](bool active) {
                             handOver.answer(request, active ? InstanceHandOver::Answer::broughtForward
                                                             : InstanceHandOver::Answer::askedDesktop);
                         });
                     });
    ASSERT_FALSE(w.isVisible());

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TARV_TEST_RUN"), QStringLiteral("1"));
    // As a launcher leaves them: the second start passes them on for the window that comes.
    environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("9f9afe77f1f35d0e"));
    environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("launcher-42_TIME1234"));
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(TARV_APP_PATH), {});
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    // Said once the running copy's window came forward.
    EXPECT_EQ(second.readAllStandardOutput(), QByteArray("Tarv is already running; its window is brought forward.\n"));
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isActiveWindow());
    EXPECT_EQ(handed, (QList<ActivationTokens>{{QStringLiteral("9f9afe77f1f35d0e"), QStringLiteral("launcher-42_TIME1234")}}));
}

// From a terminal of a machine without a desktop, or a script: no GUI is made to read options,
// and a start that would need one says so in one line.
TEST_F(ShellTest, TheCommandLinesWithoutADisplay)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    struct Run {
        int status = -1;
        QByteArray out;
        QByteArray err;
    };
    const auto run = [&](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(30000));
        return Run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   process.readAllStandardOutput(), process.readAllStandardError()};
    };
    const auto app = [&](const QStringList& arguments) { return run(QStringLiteral(TARV_APP_PATH), arguments); };
    const QByteArray version = QByteArrayLiteral(TARV_PROJECT_VERSION);

    // No copy runs here (the test's runtime folder is its own): the start ends in one line.
    const QByteArray noSession = "Tarv needs a graphical session: the display it would use is not set "
                                  "(DISPLAY for X11, WAYLAND_DISPLAY for Wayland).\n";
    for (const QStringList& arguments : {QStringList(), QStringList{QStringLiteral("-sync")}}) {
        const Run start = app(arguments);
        EXPECT_EQ(start.status, 1) << arguments.join(u' ').toStdString();
        EXPECT_EQ(start.err, noSession) << arguments.join(u' ').toStdString();
        EXPECT_EQ(start.out, QByteArray());
    }

    // Qt's options, written as Qt writes them, are no mistake, whether Qt's platform takes them
    // (-nograb, -platform) or not (-sync).
    for (const QStringList& arguments : {QStringList{QStringLiteral("--help")},
                                         QStringList{QStringLiteral("-nograb"), QStringLiteral("--help")},
                                         QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                                     QStringLiteral("-sync"), QStringLiteral("-h")}}) {
        const Run help = app(arguments);
        EXPECT_EQ(help.status, 0) << arguments.join(u' ').toStdString() << help.err.toStdString();
        EXPECT_TRUE(help.out.startsWith("Usage: ")) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(help.out.contains("--show-running")) << help.out.toStdString();
    }
    for (const QStringList& arguments : {QStringList{QStringLiteral("--version")},
                                         QStringList{QStringLiteral("-dograb"), QStringLiteral("-v")}}) {
        const Run shown = app(arguments);
        EXPECT_EQ(shown.status, 0) << arguments.join(u' ').toStdString();
        EXPECT_EQ(shown.out, "Tarv " + version + '\n');
    }

    // A usage error, with the same status as the tarv tool's.
    const Run mistyped = app({QStringLiteral("--no-such-option")});
    EXPECT_EQ(mistyped.status, 2);
    EXPECT_TRUE(mistyped.err.contains("Unknown option 'no-such-option'")) << mistyped.err.toStdString();
    EXPECT_EQ(mistyped.out, QByteArray());

    // The command-line tool answers these itself, Tarv running or not.
    const auto tool = [&](const QStringList& arguments) { return run(QStringLiteral(TARV_TOOL_PATH), arguments); };
    const Run toolVersion = tool({QStringLiteral("--version")});
    EXPECT_EQ(toolVersion.status, 0);
    EXPECT_EQ(toolVersion.out, "tarv " + version + '\n');
    // Asked of a page command too, help names no file or page to look for.
    for (const char* asked : {"screen --help", "screen check --help", "screen show -h"}) {
        const QStringList arguments = QString::fromLatin1(asked).split(u' ');
        const Run screenHelp = tool(arguments);
        EXPECT_EQ(screenHelp.status, 0) << arguments.join(u' ').toStdString() << screenHelp.err.toStdString();
        EXPECT_TRUE(screenHelp.out.startsWith("Usage: tarv screen list | show NAME | check FILE\n"));
        EXPECT_TRUE(screenHelp.out.contains("screen-files.md"));
        EXPECT_EQ(screenHelp.err, QByteArray());
    }
}

TEST_F(ShellTest, HandOverAnswersOnlyItsOwnRequestAndASecondCopyFindsNoListenerInTime)
{
    const QString path = xdg.path("runtime") + QStringLiteral("/tarv.show");
    EXPECT_FALSE(askFromAnotherThread(path, 100));

    // A short deadline, for the request that is never answered below.
    InstanceHandOver handOver(path, InstanceHandOver::Limits{0.3, 32});
    ASSERT_TRUE(handOver.listen());
    QSignalSpy shown(&handOver, &InstanceHandOver::showRequested);
    for (const QByteArray& strange : {QByteArray("quit\n"), QByteArray("shows\n"),
                                      QByteArray("show ") + QByteArray(InstanceHandOver::maxRequestBytes, 'x')}) {
        QLocalSocket stranger;
        stranger.connectToServer(path);
        ASSERT_TRUE(stranger.waitForConnected(1000));
        stranger.write(strange);
        stranger.flush();
        ASSERT_TRUE(waitUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }));
        EXPECT_EQ(stranger.readAll(), QByteArray());
    }
    EXPECT_EQ(shown.count(), 0);

    // The running copy's answer is what the second start reports; the tokens come with the
    // request, and each request is answered once, by its own number.
    std::optional<InstanceHandOver::Answer> answerNext = InstanceHandOver::Answer::broughtForward;
    QList<quint64> numbers;
    QObject::connect(&handOver, &InstanceHandOver::showRequested, &handOver, [&](const ActivationTokens&, quint64 n) {
        numbers.append(n);
        if (answerNext) {
            handOver.answer(n, *answerNext);
            handOver.answer(n, InstanceHandOver::Answer::askedDesktop);
        }
    });
    const ActivationTokens tokens{QStringLiteral("abc=def"), QString()};
    EXPECT_EQ(askFromAnotherThread(path, 5000, nullptr, tokens), InstanceHandOver::Answer::broughtForward);
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(shown.at(0).at(0).value<ActivationTokens>(), tokens);
    answerNext = InstanceHandOver::Answer::askedDesktop;
    EXPECT_EQ(askFromAnotherThread(path, 5000), InstanceHandOver::Answer::askedDesktop);
    // One that the running copy takes but leaves unanswered closes at its deadline: the
    // desktop was asked, as far as the second start can tell; a late answer goes nowhere.
    answerNext.reset();
    EXPECT_EQ(askFromAnotherThread(path, 5000), InstanceHandOver::Answer::askedDesktop);
    ASSERT_EQ(numbers.size(), 3);
    EXPECT_NE(numbers[0], numbers[1]);
    handOver.answer(numbers[2], InstanceHandOver::Answer::broughtForward);

    // A copy that listens but never reads the request has not taken it.
    const QString stuckPath = xdg.path("runtime") + QStringLiteral("/stuck.show");
    QString error;
    const int stuck = NotifyChannel::listenPrivately(stuckPath, 4, error);
    ASSERT_GE(stuck, 0) << error.toStdString();
    QString failure;
    EXPECT_FALSE(askFromAnotherThread(stuckPath, 200, &failure).has_value());
    EXPECT_TRUE(failure.contains(QStringLiteral("did not answer"))) << failure.toStdString();
    ::close(stuck);

    // A copy that ended left its socket file behind; the next one listens all the same.
    InstanceHandOver next(path);
    EXPECT_TRUE(next.listen());
}

TEST_F(ShellTest, TheShowSocketOutlivesRunningOutOfDescriptorsAndCutsIdleClientsAtItsDeadline)
{
    const QString path = xdg.path("runtime") + QStringLiteral("/tarv.show");
    InstanceHandOver handOver(path, InstanceHandOver::Limits{0.3, 32});
    ASSERT_TRUE(handOver.listen());
    QSignalSpy shown(&handOver, &InstanceHandOver::showRequested);
    const sockaddr_un address = NotifyChannel::socketAddress(path).value();
    const auto connected = [&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd >= 0)
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        return fd;
    };

    // 1,100 idle clients under a limit of 1,024 descriptors: the clients and the copy's
    // accepted connections run out of them together.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(1024, saved.rlim_cur);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> idle;
    for (int i = 0; i < 1100; ++i) {
        const int fd = connected();
        QCoreApplication::processEvents();
        if (fd < 0)
            break;
        idle.push_back(fd);
    }
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    for (const int fd : idle)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_GT(idle.size(), 32u);

    // One that never sends its request is cut off at the deadline.
    const int silent = connected();
    ASSERT_GE(silent, 0);
    ASSERT_TRUE(waitUntil([&] {
        pollfd hangUp{silent, POLLIN, 0};
        char byte = 0;
        return ::poll(&hangUp, 1, 0) > 0 && ::read(silent, &byte, 1) == 0;
    }));
    ::close(silent);

    // And the copy still listens: a later start is heard.
    EXPECT_TRUE(askFromAnotherThread(path, 1000).has_value());
    EXPECT_TRUE(waitUntil([&] { return shown.count() == 1; }));
}

TEST_F(ShellTest, TerminationSignalsEndTarvAsQuitDoesWithEveryWriteLandedAndItsSocketGone)
{
    const QString folder = xdg.path("data") + QStringLiteral("/Tarv");
    const QString socketPath = folder + QStringLiteral("/tarv.sock");
    const QString settingsPath = xdg.path("config") + QStringLiteral("/Tarv/Tarv.conf");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char* name : {"TARV_TEST_RUN", "TARV_SERIAL_PORT", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));

    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const QString name = QStringLiteral("ended-by-%1.").arg(signal);
        {
            // Only the quotes' address, kept local; the copy writes its profiles at start.
            QFile::remove(settingsPath);
            Settings child(settingsPath);
            child.setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
        }
        QProcess app;
        app.setProcessEnvironment(environment);
        app.start(QStringLiteral(TARV_APP_PATH), {});
        // A value pushed right before the signal, while its write may still be on its way.
        ASSERT_TRUE(waitUntil([&] {
            const auto outcome = NotifyClient::sendRequest(
                NotifyChannel::request(QStringLiteral("set"), QStringLiteral("pushed"), 0, name), socketPath, 2);
            return std::holds_alternative<NotifyChannel::Reply>(outcome) &&
                   std::get<NotifyChannel::Reply>(outcome).value(QStringLiteral("ok")).toBool();
        })) << app.readAllStandardError().toStdString();
        ::kill(pid_t(app.processId()), signal);

        ASSERT_TRUE(waitUntil([&] { return app.state() == QProcess::NotRunning; })) << name.toStdString();
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << name.toStdString();
        EXPECT_EQ(app.exitCode(), 0) << app.readAllStandardError().toStdString();
        EXPECT_FALSE(QFileInfo::exists(socketPath)) << name.toStdString();
        EXPECT_TRUE(Settings(settingsPath).contains(ProfileStore::storageKey)) << name.toStdString();
        QFile pushed(folder + QStringLiteral("/pushed-values.json"));
        ASSERT_TRUE(pushed.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_TRUE(pushed.readAll().contains(name.toUtf8())) << name.toStdString();
    }
}

// A home folder restored from another machine holds the lock its copy of Tarv left there.
TEST_F(ShellTest, ALockLeftByAnotherMachineIsShownAndCanBeTakenOver)
{
    const QString path = xdg.path("config") + QStringLiteral("/Tarv/tarv.lock");
    TempXdg::write(path, "4242\ntarv-app\nfaraway\n0123456789abcdef0123456789abcdef\n");
    const QDateTime since(QDate(2026, 3, 1), QTime(8, 30));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(since, QFileDevice::FileModificationTime));
    }
    SingleInstanceLock lock(path);
    ASSERT_FALSE(lock.tryAcquire());
    ASSERT_TRUE(lock.isHeldElsewhere());
    const std::optional<SingleInstanceLock::Holder> holder = lock.holder();
    ASSERT_TRUE(holder);
    EXPECT_TRUE(holder->onAnotherMachine);
    EXPECT_EQ(holder->machine, QStringLiteral("faraway"));
    EXPECT_EQ(holder->since, since);

    LockedElsewhereDialog dialog(*holder, path);
    const QString shown = dialog.text() + u' ' + dialog.informativeText();
    EXPECT_TRUE(shown.contains(QStringLiteral("\u201Cfaraway\u201D"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QLocale().toString(since, QLocale::ShortFormat))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(path)) << shown.toStdString();
    QSignalSpy startAnyway(&dialog, &LockedElsewhereDialog::startAnywayChosen);
    dialog.startAnywayButton()->click();
    ASSERT_EQ(startAnyway.count(), 1);
    ASSERT_TRUE(lock.takeOver());
    QFile taken(path);
    ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
    EXPECT_EQ(taken.readLine().trimmed(), QByteArray::number(QCoreApplication::applicationPid()));
}

// A key's program that starts an application in the background and ends: the application
// holds the program's output for as long as it lives, yet Quit still ends Tarv with its usual
// teardown (the one that hands the clipboard to the desktop's clipboard manager).
TEST_F(ShellTest, QuitAfterAKeyLeftAnApplicationRunningStillTearsTarvDownAsUsual)
{
    const QString leftPid = xdg.root() + QStringLiteral("/left.pid");
    TempXdg::write(xdg.path("data") + QStringLiteral("/Tarv/Shortcuts/starts-app"),
                   "#!/bin/sh\nsleep 600 &\necho $! > '" + leftPid.toUtf8() + "'\n", true);
    {
        Settings child(xdg.path("config") + QStringLiteral("/Tarv/Tarv.conf"));
        child.setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
        ProfileStore store(child);
        MacroProfile profile = store.activeProfile();
        profile.buttons[0].label = QStringLiteral("App");
        profile.buttons[0].action = MacroAction::runShortcut(QStringLiteral("starts-app"));
        store.updateKey(profile, QStringLiteral("Action"));
    }
    ASSERT_TRUE(device.start()) << device.lastError().toStdString();
    device.sendHello();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TARV_SERIAL_PORT"), device.portPath());
    for (const char* name : {"TARV_TEST_RUN", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
    QProcess app;
    app.setProcessEnvironment(environment);
    app.start(QStringLiteral(TARV_APP_PATH), {});

    // The home page is drawn, then key 0 is tapped and its program has run.
    ASSERT_TRUE(waitUntil([&] { return patchCount() >= 3; })) << app.readAllStandardError().toStdString();
    device.tap(20, 50);
    ASSERT_TRUE(waitUntil([&] { return QFile(leftPid).size() > 0; })) << app.readAllStandardError().toStdString();
    QFile pidFile(leftPid);
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t left = pid_t(pidFile.readAll().trimmed().toInt());

    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return app.state() == QProcess::NotRunning; }));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    const QByteArray said = app.readAllStandardError();
    EXPECT_FALSE(said.contains("without its usual teardown")) << said.toStdString();
    // The application lives on after Tarv.
    EXPECT_EQ(::kill(left, 0), 0);
    ::kill(left, SIGKILL);
}
