#include "platform/OneThreadWorker.h"

#include "support/DesktopTestEnv.h"

#include <QSemaphore>
#include <QStringList>

#include <gtest/gtest.h>

TEST(OneThreadWorkerTest, ANewerLatestPieceTakesThePlaceOfTheOneStillWaiting)
{
    testGuiApp();
    QObject owner;
    QSemaphore started;
    QSemaphore release;
    QStringList ran;
    QStringList answered;
    const auto answer = [&](const QString& name) { answered.append(name); };
    {
        OneThreadWorker worker;
        EXPECT_FALSE(worker.runLatest(
            &owner,
            [&] {
                started.release();
                release.acquire();
                return QStringLiteral("under way");
            },
            answer));
        started.acquire();
        // Both arrive while the first is under way: only the newer is worth doing, and the
        // caller learns which one it dropped.
        QList<bool> dropped;
        for (const QString& name : {QStringLiteral("superseded"), QStringLiteral("newest")})
            dropped.append(worker.runLatest(
                &owner,
                [&ran, name] {
                    ran.append(name);
                    return name;
                },
                answer));
        EXPECT_EQ(dropped, (QList<bool>{false, true}));
        release.release();
        ASSERT_TRUE(waitUntil([&] { return answered.size() == 2; }));
    }
    EXPECT_EQ(ran, QStringList{QStringLiteral("newest")});
    EXPECT_EQ(answered, (QStringList{QStringLiteral("under way"), QStringLiteral("newest")}));
}
