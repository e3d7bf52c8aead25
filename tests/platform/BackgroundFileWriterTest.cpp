#include "platform/BackgroundFileWriter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

}  // namespace

TEST(BackgroundFileWriter, TheNewestBytesOfEachFileLandAndNothingWaitsAtTheEnd)
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("new/folder/a.json"));
    const QString second = dir.filePath(QStringLiteral("b.json"));
    {
        BackgroundFileWriter writer;
        for (int i = 0; i < 200; ++i)
            writer.write(first, QByteArray::number(i));
        writer.write(second, "b");
        writer.waitUntilIdle();
        EXPECT_EQ(contents(first), "199");
        EXPECT_EQ(contents(second), "b");

        // Asked for and then left at once: the writer finishes before it goes.
        writer.write(first, "last");
    }
    EXPECT_EQ(contents(first), "last");
}

TEST(BackgroundFileWriter, AFailedWriteIsReportedWithItsPathAndTheNextOneStillLands)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    std::mutex lock;
    QStringList failed;
    BackgroundFileWriter writer([&](const QString& path, const QString& reason) {
        std::lock_guard guard(lock);
        failed.append(path);
        EXPECT_FALSE(reason.isEmpty());
    });
    const QString impossible = dir.filePath(QStringLiteral("file/inside.json"));
    writer.write(impossible, "x");
    writer.write(dir.filePath(QStringLiteral("fine.json")), "y");
    writer.waitUntilIdle();
    std::lock_guard guard(lock);
    EXPECT_EQ(failed, QStringList{impossible});
    EXPECT_EQ(contents(dir.filePath(QStringLiteral("fine.json"))), "y");
}
