#include "platform/FolderWatcher.h"

#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct FolderWatcherTest : ::testing::Test {
    QTemporaryDir dir;
    int calls = 0;
    std::unique_ptr<FolderWatcher> watcher =
        std::make_unique<FolderWatcher>(dir.path(), [this] { ++calls; });

    void touch(const QString& name, const QByteArray& bytes = "x")
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
};

TEST_F(FolderWatcherTest, FirstChangeComesAtOnceAndABurstIsCoalesced)
{
    touch(QStringLiteral("before.json"));
    watcher->start();
    watcher->start();
    ASSERT_TRUE(watcher->isWatching());
    // Changes from before the start are not told.
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);

    touch(QStringLiteral("a.json"));
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    // The rest of the burst comes as one more call at the end of the window, and no more.
    for (int i = 0; i < 10; ++i)
        touch(QStringLiteral("a.json"), QByteArray::number(i));
    ASSERT_TRUE(waitUntil([&] { return calls >= 2; }));
    QTest::qWait(2 * FolderWatcher::coalesceMs);
    EXPECT_EQ(calls, 2);
}

TEST_F(FolderWatcherTest, SeesDeletesRenamesAndAttributes)
{
    touch(QStringLiteral("a.json"));
    watcher->start();
    const auto expectCall = [&](const std::function<void()>& change) {
        QTest::qWait(FolderWatcher::coalesceMs + 20);
        const int before = calls;
        change();
        EXPECT_TRUE(waitUntil([&] { return calls > before; }));
    };
    expectCall([&] { QFile::rename(dir.filePath(QStringLiteral("a.json")), dir.filePath(QStringLiteral("b.json"))); });
    expectCall([&] { QFile::setPermissions(dir.filePath(QStringLiteral("b.json")), QFile::ReadOwner); });
    expectCall([&] { QFile::remove(dir.filePath(QStringLiteral("b.json"))); });
}

TEST_F(FolderWatcherTest, DroppedWatcherTellsNothingAndAMissingFolderIsInert)
{
    watcher->start();
    watcher.reset();
    touch(QStringLiteral("a.json"));
    QTest::qWait(50);
    EXPECT_EQ(calls, 0);

    FolderWatcher missing(dir.filePath(QStringLiteral("nope")), [this] { ++calls; });
    missing.start();
    EXPECT_FALSE(missing.isWatching());
}

}  // namespace
