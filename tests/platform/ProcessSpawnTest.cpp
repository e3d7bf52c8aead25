// The limit on open files of the programs Tarv starts, whichever way it starts them.

#include "platform/OrphanReaper.h"
#include "platform/ChildWaiter.h"
#include "platform/DesktopEntry.h"
#include "platform/DesktopLaunch.h"
#include "platform/ProcessSpawn.h"

#include "support/WaitUntil.h"

#include <QFile>
#include <QFuture>
#include <QProcess>
#include <QPromise>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

rlim_t softFileLimit()
{
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    return files.rlim_cur;
}

}  // namespace

// Tarv raises its own soft limit for the descriptors of the children it waits for; a program
// it starts gets the session's back before it runs, or one that uses select() would break.
TEST(ProcessSpawnTest, EveryWayTarvStartsAProgramGivesItTheSessionsLimitOnOpenFiles)
{
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    if (before.rlim_max != RLIM_INFINITY && before.rlim_max < 2048)
        GTEST_SKIP() << "the hard limit on open files leaves nothing to raise";
    rlimit session = before;
    session.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &session), 0);
    QTemporaryDir dir;
    const QString report = QStringLiteral("ulimit -Sn");
    const auto reportTo = [&](const QString& name) { return report + QStringLiteral(" > ") + dir.filePath(name); };
    const auto written = [&](const QString& name) {
        QFile file(dir.filePath(name));
        return waitUntil([&] { return file.size() > 0; }) && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    {
        OrphanReaper children;
        EXPECT_GT(softFileLimit(), 1024U);

        // A key's program, a shell source's shell.
        ChildWaiter waiter;
        QPromise<QByteArray> promise;
        promise.start();
        waiter.start({"/bin/sh", "-c", report.toUtf8()}, [&promise](const ChildWaiter::End& end) {
            promise.addResult(end.out);
            promise.finish();
        });
        QFuture<QByteArray> waited = promise.future();
        waited.waitForFinished();
        EXPECT_EQ(waited.result(), "1024\n");

        // An application from its desktop entry, and any program Qt starts detached (a URL's).
        DesktopEntry entry;
        entry.name = QStringLiteral("Reporter");
        entry.exec = QStringLiteral("/bin/sh -c \"") + reportTo(QStringLiteral("launched")) + u'"';
        EXPECT_EQ(DesktopLaunch::launch(entry), std::nullopt);
        EXPECT_EQ(written(QStringLiteral("launched")), "1024\n");
        EXPECT_TRUE(QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), reportTo(QStringLiteral("detached"))}));
        EXPECT_EQ(written(QStringLiteral("detached")), "1024\n");

        // A program Tarv waits for through QProcess (xdg-open, pkexec).
        QProcess process;
        process.setProgram(QStringLiteral("/bin/sh"));
        process.setArguments({QStringLiteral("-c"), report});
        process.setChildProcessModifier(ProcessSpawn::restoreInChild);
        process.start();
        ASSERT_TRUE(process.waitForFinished());
        EXPECT_EQ(process.readAllStandardOutput(), "1024\n");
    }
    EXPECT_EQ(softFileLimit(), 1024U);
    ::setrlimit(RLIMIT_NOFILE, &before);
}
