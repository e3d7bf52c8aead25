// tarv-app as a process: a second start hands over to the running copy (whose window shows)
// and leaves; the signals that ask a program to end end it as Quit does.

#include "ShellFixture.h"

#include "app/InstanceHandOver.h"
#include "control/NotifyClient.h"
#include "platform/SingleInstanceLock.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <csignal>

TEST_F(ShellTest, ASecondStartShowsTheRunningCopysWindowAndLeaves)
{
    // This test plays the running copy: it holds the lock and listens beside it.
    SingleInstanceLock lock;
    ASSERT_TRUE(lock.tryAcquire());
    InstanceHandOver handOver(InstanceHandOver::socketPathForLock(lock.path()));
    ASSERT_TRUE(handOver.listen()) << handOver.errorString().toStdString();
    MainWindow& w = makeWindow();
    QObject::connect(&handOver, &InstanceHandOver::showRequested, &w, &MainWindow::showAndActivate);
    ASSERT_FALSE(w.isVisible());

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TARV_TEST_RUN"), QStringLiteral("1"));
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(TARV_APP_PATH), {});
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return w.isVisible(); }));
}

TEST_F(ShellTest, HandOverAnswersOnlyItsOwnRequestAndASecondCopyFindsNoListenerInTime)
{
    const QString path = xdg.path("runtime") + QStringLiteral("/tarv.show");
    EXPECT_FALSE(InstanceHandOver::askRunningCopyToShow(path, 100));

    InstanceHandOver handOver(path);
    ASSERT_TRUE(handOver.listen());
    QSignalSpy shown(&handOver, &InstanceHandOver::showRequested);
    QLocalSocket stranger;
    stranger.connectToServer(path);
    ASSERT_TRUE(stranger.waitForConnected(1000));
    stranger.write("quit\n");
    stranger.flush();
    ASSERT_TRUE(waitUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(shown.count(), 0);

    EXPECT_TRUE(InstanceHandOver::askRunningCopyToShow(path, 1000));
    ASSERT_TRUE(waitUntil([&] { return shown.count() == 1; }));

    // A copy that ended left its socket file behind; the next one listens all the same.
    InstanceHandOver next(path);
    EXPECT_TRUE(next.listen());
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
