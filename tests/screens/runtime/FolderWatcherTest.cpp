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
    QDir root{dir.path()};
    int calls = 0;
    std::unique_ptr<FolderWatcher> watcher =
        std::make_unique<FolderWatcher>(dir.path(), [this] { ++calls; });

    void touch(const QString& name, const QByteArray& bytes = "x")
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    void makeFolders(const QString& path) { ASSERT_TRUE(root.mkpath(path)); }
    void removeAll(const QString& path)
    {
        if (QFileInfo(root.filePath(path)).isDir())
            ASSERT_TRUE(QDir(root.filePath(path)).removeRecursively());
        else
            ASSERT_TRUE(root.remove(path));
    }
    void move(const QString& from, const QString& to) { ASSERT_TRUE(root.rename(from, to)); }

    // Lets the coalescing window close first, so the call counted is this change's own.
    bool changeIsTold(const std::function<void()>& change)
    {
        QTest::qWait(FolderWatcher::coalesceMs + 20);
        const int before = calls;
        change();
        return waitUntil([&] { return calls > before; });
    }

    bool changeIsNotTold(const std::function<void()>& change)
    {
        QTest::qWait(FolderWatcher::coalesceMs + 20);
        const int before = calls;
        change();
        QTest::qWait(50);
        return calls == before;
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
    EXPECT_TRUE(changeIsTold(
        [&] { QFile::rename(dir.filePath(QStringLiteral("a.json")), dir.filePath(QStringLiteral("b.json"))); }));
    EXPECT_TRUE(changeIsTold([&] { QFile::setPermissions(dir.filePath(QStringLiteral("b.json")), QFile::ReadOwner); }));
    EXPECT_TRUE(changeIsTold([&] { QFile::remove(dir.filePath(QStringLiteral("b.json"))); }));
}

TEST_F(FolderWatcherTest, DroppedWatcherTellsNothing)
{
    watcher->start();
    watcher.reset();
    touch(QStringLiteral("a.json"));
    QTest::qWait(50);
    EXPECT_EQ(calls, 0);
}

// A restore from backup or a sync tool replaces the whole folder: the watch follows the
// folder now at the path, not the one that went away.
TEST_F(FolderWatcherTest, FolderDeletedOrReplacedIsWatchedAgainAtItsPath)
{
    makeFolders(QStringLiteral("Screens"));
    touch(QStringLiteral("Screens/a.json"));
    watcher = std::make_unique<FolderWatcher>(dir.filePath(QStringLiteral("Screens")), [this] { ++calls; });
    watcher->start();
    ASSERT_TRUE(watcher->isWatching());

    // Deleted and made again, with a file written straight away.
    EXPECT_TRUE(changeIsTold([&] {
        removeAll(QStringLiteral("Screens"));
        makeFolders(QStringLiteral("Screens"));
        touch(QStringLiteral("Screens/a.json"));
    }));
    EXPECT_TRUE(waitUntil([&] { return watcher->isWatching(); }));
    EXPECT_TRUE(changeIsTold([&] { touch(QStringLiteral("Screens/b.json")); }));

    // Deleted; a while later made again.
    EXPECT_TRUE(changeIsTold([&] { removeAll(QStringLiteral("Screens")); }));
    EXPECT_TRUE(waitUntil([&] { return !watcher->isWatching(); }));
    EXPECT_TRUE(changeIsTold([&] { makeFolders(QStringLiteral("Screens")); }));
    EXPECT_TRUE(changeIsTold([&] { touch(QStringLiteral("Screens/c.json")); }));

    // Moved away, then another folder moved in under its name: the one moved away is no
    // longer this watcher's folder.
    makeFolders(QStringLiteral("Restored"));
    EXPECT_TRUE(changeIsTold([&] { move(QStringLiteral("Screens"), QStringLiteral("Old")); }));
    EXPECT_TRUE(changeIsNotTold([&] { touch(QStringLiteral("Old/d.json")); }));
    EXPECT_TRUE(changeIsTold([&] { move(QStringLiteral("Restored"), QStringLiteral("Screens")); }));
    EXPECT_TRUE(changeIsTold([&] { touch(QStringLiteral("Screens/e.json")); }));

    // Both moves at once, before the watcher reads a thing.
    makeFolders(QStringLiteral("Other"));
    EXPECT_TRUE(changeIsTold([&] {
        move(QStringLiteral("Screens"), QStringLiteral("Older"));
        move(QStringLiteral("Other"), QStringLiteral("Screens"));
    }));
    EXPECT_TRUE(changeIsNotTold([&] { touch(QStringLiteral("Older/f.json")); }));
    EXPECT_TRUE(changeIsTold([&] { touch(QStringLiteral("Screens/f.json")); }));
}

TEST_F(FolderWatcherTest, MissingFolderIsWaitedForHoweverDeepItIsMissing)
{
    watcher = std::make_unique<FolderWatcher>(dir.filePath(QStringLiteral("Tarv/deep/Screens")), [this] { ++calls; });
    watcher->start();
    EXPECT_FALSE(watcher->isWatching());

    // Neighbours, and a file where the folder should be, are not the folder.
    EXPECT_TRUE(changeIsNotTold([&] {
        makeFolders(QStringLiteral("Tarv/deep"));
        touch(QStringLiteral("Tarv/settings.conf"));
        touch(QStringLiteral("Tarv/deep/Screens"));
    }));
    EXPECT_FALSE(watcher->isWatching());

    EXPECT_TRUE(changeIsTold([&] {
        removeAll(QStringLiteral("Tarv/deep/Screens"));
        makeFolders(QStringLiteral("Tarv/deep/Screens"));
    }));
    EXPECT_TRUE(watcher->isWatching());
    EXPECT_TRUE(changeIsTold([&] { touch(QStringLiteral("Tarv/deep/Screens/a.json")); }));

    // A folder above it moved away takes the folder with it, and one moved back brings it.
    EXPECT_TRUE(changeIsTold([&] { move(QStringLiteral("Tarv"), QStringLiteral("Moved")); }));
    EXPECT_FALSE(watcher->isWatching());
    EXPECT_TRUE(changeIsNotTold([&] { touch(QStringLiteral("Moved/deep/Screens/b.json")); }));
    EXPECT_TRUE(changeIsTold([&] { move(QStringLiteral("Moved"), QStringLiteral("Tarv")); }));
    EXPECT_TRUE(changeIsTold([&] { touch(QStringLiteral("Tarv/deep/Screens/c.json")); }));

    // The folders above it go too, and come back all at once.
    EXPECT_TRUE(changeIsTold([&] { removeAll(QStringLiteral("Tarv")); }));
    EXPECT_TRUE(changeIsTold([&] { makeFolders(QStringLiteral("Tarv/deep/Screens")); }));
    EXPECT_TRUE(changeIsTold([&] { touch(QStringLiteral("Tarv/deep/Screens/d.json")); }));
}

}  // namespace
