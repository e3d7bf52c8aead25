// A second start of tarv-app hands over to the running copy: the running copy's window shows
// and the second one leaves.

#include "ShellFixture.h"

#include "app/InstanceHandOver.h"
#include "platform/SingleInstanceLock.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

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
