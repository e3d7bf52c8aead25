#include "platform/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <limits>
#include <mutex>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("Tarv.conf")); }

    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void writeFile(const QByteArray& contents)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(SettingsTest, ValuesWrittenInOneRunReadBackTypedInTheNext)
{
    {
        Settings settings(path());
        EXPECT_FALSE(settings.setWholeNumber(QStringLiteral("n"), -42));
        EXPECT_FALSE(settings.setWholeNumber(QStringLiteral("big"), std::numeric_limits<std::int64_t>::max()));
        EXPECT_FALSE(settings.setBoolean(QStringLiteral("display.flipped"), true));
        EXPECT_FALSE(settings.setDouble(QStringLiteral("screensaver.timeout"), 2.5));
        EXPECT_FALSE(settings.setBytes(QStringLiteral("macroProfiles.v1"), QByteArray("{\"a\":1}\n\x01\xff", 10)));
        EXPECT_FALSE(settings.setText(QStringLiteral("initialScreen"), QStringLiteral("@home, a=b")));
    }
    Settings settings(path());
    EXPECT_EQ(settings.wholeNumber(QStringLiteral("n")), -42);
    EXPECT_EQ(settings.wholeNumber(QStringLiteral("big")), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(settings.boolean(QStringLiteral("display.flipped")), true);
    EXPECT_EQ(settings.finiteDouble(QStringLiteral("screensaver.timeout")), 2.5);
    EXPECT_EQ(settings.bytes(QStringLiteral("macroProfiles.v1")), QByteArray("{\"a\":1}\n\x01\xff", 10));
    EXPECT_EQ(settings.text(QStringLiteral("initialScreen")), QStringLiteral("@home, a=b"));
    EXPECT_TRUE(settings.contains(QStringLiteral("n")));
    EXPECT_FALSE(settings.contains(QStringLiteral("missing")));
    EXPECT_FALSE(settings.wholeNumber(QStringLiteral("missing")));
}

TEST_F(SettingsTest, HandWrittenTextIsParsedStrictly)
{
    writeFile("[General]\n"
              "whole=17\n"
              "plus=+3\n"
              "fraction=1.5\n"
              "word=abc\n"
              "yes=TRUE\n"
              "zero=0\n"
              "nan=nan\n"
              "inf=inf\n"
              "comma=\"1,5\"\n"
              "huge=99999999999999999999\n");
    Settings settings(path());
    EXPECT_EQ(settings.wholeNumber(QStringLiteral("whole")), 17);
    EXPECT_EQ(settings.wholeNumber(QStringLiteral("plus")), 3);
    EXPECT_FALSE(settings.wholeNumber(QStringLiteral("fraction")));
    EXPECT_FALSE(settings.wholeNumber(QStringLiteral("word")));
    EXPECT_FALSE(settings.wholeNumber(QStringLiteral("huge")));
    EXPECT_EQ(settings.finiteDouble(QStringLiteral("fraction")), 1.5);
    EXPECT_EQ(settings.finiteDouble(QStringLiteral("whole")), 17.0);
    EXPECT_FALSE(settings.finiteDouble(QStringLiteral("nan")));
    EXPECT_FALSE(settings.finiteDouble(QStringLiteral("inf")));
    EXPECT_FALSE(settings.finiteDouble(QStringLiteral("comma")));
    EXPECT_EQ(settings.boolean(QStringLiteral("yes")), true);
    EXPECT_EQ(settings.boolean(QStringLiteral("zero")), false);
    EXPECT_FALSE(settings.boolean(QStringLiteral("word")));
    EXPECT_EQ(settings.bytes(QStringLiteral("word")), QByteArray("abc"));
}

TEST_F(SettingsTest, NonFiniteDoubleIsRefusedAndRemoveReachesTheFile)
{
    Settings settings(path());
    EXPECT_EQ(settings.setDouble(QStringLiteral("x"), std::numeric_limits<double>::infinity()),
              SettingsError::formatError);
    EXPECT_FALSE(settings.contains(QStringLiteral("x")));
    ASSERT_FALSE(settings.setWholeNumber(QStringLiteral("y"), 1));
    ASSERT_FALSE(settings.remove(QStringLiteral("y")));
    settings.waitForWrites();
    EXPECT_FALSE(Settings(path()).contains(QStringLiteral("y")));
}

TEST_F(SettingsTest, AFailedFileWriteIsReportedAndItsValuesLandWithTheNextWrite)
{
    const QString blocked = dir.filePath(QStringLiteral("folder"));
    std::mutex mutex;
    QList<std::optional<SettingsError>> results;
    Settings settings(blocked + QStringLiteral("/Tarv.conf"));
    // The settings file's folder is now a plain file, so nothing can be written.
    {
        QFile file(blocked);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    settings.setFileWriteHandler([&](std::optional<SettingsError> result) {
        const std::lock_guard lock(mutex);
        results.append(result);
    });
    EXPECT_FALSE(settings.setWholeNumber(QStringLiteral("n"), 1)) << "the write returns before the disk answers";
    settings.waitForWrites();
    EXPECT_EQ(settings.lastWriteError(), SettingsError::accessError);
    EXPECT_EQ(settings.wholeNumber(QStringLiteral("n")), 1);

    // The folder can be made now.
    ASSERT_TRUE(QFile::remove(blocked));
    EXPECT_FALSE(settings.setWholeNumber(QStringLiteral("m"), 2));
    settings.waitForWrites();
    EXPECT_FALSE(settings.lastWriteError());
    EXPECT_EQ(results, (QList<std::optional<SettingsError>>{SettingsError::accessError, std::nullopt}));
    Settings reopened(blocked + QStringLiteral("/Tarv.conf"));
    EXPECT_EQ(reopened.wholeNumber(QStringLiteral("n")), 1);
    EXPECT_EQ(reopened.wholeNumber(QStringLiteral("m")), 2);
}

TEST_F(SettingsTest, WritesReturnBeforeTheFileChangesAndABurstIsOneFileWrite)
{
    std::atomic<int> fileWrites{0};
    QSemaphore firstWritten;
    QSemaphore resume;
    Settings settings(path());
    // The writer is held after its first write, so what follows cannot reach the file yet.
    settings.setFileWriteHandler([&](std::optional<SettingsError> result) {
        EXPECT_FALSE(result);
        if (++fileWrites == 1) {
            firstWritten.release();
            resume.acquire();
        }
    });
    ASSERT_FALSE(settings.setText(QStringLiteral("label"), QStringLiteral("first")));
    ASSERT_FALSE(settings.setWholeNumber(QStringLiteral("gone"), 7));
    firstWritten.acquire();
    const QByteArray written = fileBytes();

    for (int i = 0; i < 100; ++i) {
        ASSERT_FALSE(settings.setText(QStringLiteral("label"), QStringLiteral("edit %1").arg(i)));
        ASSERT_FALSE(settings.setWholeNumber(QStringLiteral("group/count"), i));
    }
    ASSERT_FALSE(settings.remove(QStringLiteral("gone")));
    EXPECT_EQ(settings.text(QStringLiteral("label")), QStringLiteral("edit 99"));
    EXPECT_EQ(settings.wholeNumber(QStringLiteral("group/count")), 99);
    EXPECT_FALSE(settings.contains(QStringLiteral("gone")));
    EXPECT_EQ(fileBytes(), written);

    resume.release();
    settings.waitForWrites();
    EXPECT_EQ(fileWrites, 2);
    Settings reopened(path());
    EXPECT_EQ(reopened.text(QStringLiteral("label")), QStringLiteral("edit 99"));
    EXPECT_EQ(reopened.wholeNumber(QStringLiteral("group/count")), 99);
    EXPECT_FALSE(reopened.contains(QStringLiteral("gone")));
}

TEST_F(SettingsTest, AFileThatIsNotSettingsIsCopiedAsideBeforeItIsWritten)
{
    QByteArray binary;
    for (int i = 0; i < 512; ++i)
        binary.append(char((i * 73 + 11) & 0xFF));
    const QDateTime at(QDate(2025, 3, 14), QTime(9, 41, 7));
    const QString copyPath = path() + QStringLiteral(".unreadable-20250314-094107");
    for (const QByteArray& contents : {binary, QByteArray("Not settings at all,\njust a note.\n"),
                                       QByteArray("[General\nwhole=1\n")}) {
        SCOPED_TRACE(contents.left(20).toStdString());
        QFile::remove(copyPath);
        writeFile(contents);
        {
            Settings settings(path(), at);
            QFile copy(copyPath);
            ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
            EXPECT_EQ(copy.readAll(), contents);
            EXPECT_FALSE(settings.setWholeNumber(QStringLiteral("n"), 5)) << "the write itself succeeds";
            EXPECT_FALSE(settings.setWholeNumber(QStringLiteral("m"), 6));
        }
        Settings reopened(path(), at.addSecs(1));
        EXPECT_EQ(reopened.wholeNumber(QStringLiteral("n")), 5);
        EXPECT_EQ(reopened.wholeNumber(QStringLiteral("m")), 6);
        EXPECT_FALSE(QFile::exists(path() + QStringLiteral(".unreadable-20250314-094108")))
            << "a file Tarv wrote is read as settings";
    }
}

TEST_F(SettingsTest, APipeOrALinkToDevZeroIsSetAsideUnreadAndTarvStarts)
{
    const QDateTime at(QDate(2025, 3, 14), QTime(9, 41, 7));
    const QString asidePath = path() + QStringLiteral(".unreadable-20250314-094107");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    {
        Settings settings(path(), at);
        EXPECT_TRUE(settings.existedWhenOpened()) << "no new installation: nothing is approved";
        EXPECT_EQ(settings.keptAsidePath(), asidePath);
        EXPECT_EQ(settings.keptAsideReason(), QStringLiteral("it is a named pipe, not a regular file"));
        struct stat aside {};
        ASSERT_EQ(::lstat(QFile::encodeName(asidePath).constData(), &aside), 0);
        EXPECT_TRUE(S_ISFIFO(aside.st_mode));
        EXPECT_FALSE(settings.setWholeNumber(QStringLiteral("n"), 5));
    }
    EXPECT_EQ(Settings(path()).wholeNumber(QStringLiteral("n")), 5);

    ASSERT_TRUE(QFile::remove(path()));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path()));
    Settings settings(path(), at);
    EXPECT_EQ(settings.keptAsidePath(), asidePath + QStringLiteral("-2"));
    EXPECT_EQ(settings.keptAsideReason(), QStringLiteral("it is a device, not a regular file"));
    EXPECT_EQ(QFileInfo(asidePath + QStringLiteral("-2")).symLinkTarget(), QStringLiteral("/dev/zero"));
    EXPECT_FALSE(settings.contains(QStringLiteral("n")));
}

TEST_F(SettingsTest, CopiesMadeInTheSameSecondAreAllKept)
{
    const QDateTime at(QDate(2025, 3, 14), QTime(9, 41, 7));
    const QString copyPath = path() + QStringLiteral(".unreadable-20250314-094107");
    writeFile("first, not settings\n");
    Settings(path(), at).setText(QStringLiteral("a"), QStringLiteral("b"));
    writeFile("second, not settings\n");
    Settings(path(), at).setText(QStringLiteral("a"), QStringLiteral("b"));
    QFile first(copyPath);
    QFile second(copyPath + QStringLiteral("-2"));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), QByteArray("first, not settings\n"));
    EXPECT_EQ(second.readAll(), QByteArray("second, not settings\n"));
}

// A value typed by hand can read as a list or another kind whose decoding drops characters;
// the next write of the file keeps only the decoded form.
TEST_F(SettingsTest, StoredFormIsTheTextTheFileHeldWhenItIsNotBytes)
{
    const QByteArray library = R"({"profiles": [{"id": "X", "name": "Work"}], "activeID": "X"})";
    writeFile("[General]\n"
              "list=" + library + "\n"
              "number=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n"
              "quoted=\"a, b\" ; a note\n"
              "continued=one\\\ntwo\n"
              "bytes=@ByteArray(\\x1\\0z)\n"
              "later=old\n"
              "[Other]\n"
              "list=elsewhere\n");
    Settings settings(path());
    EXPECT_EQ(settings.storedForm(QStringLiteral("list")), library);
    EXPECT_EQ(settings.storedForm(QStringLiteral("number")), QByteArray("@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)"));
    EXPECT_EQ(settings.storedForm(QStringLiteral("quoted")), QByteArray("\"a, b\" ; a note"));
    EXPECT_EQ(settings.storedForm(QStringLiteral("continued")), QByteArray("one\\\ntwo"));
    EXPECT_EQ(settings.storedForm(QStringLiteral("bytes")), QByteArray("\x01\0z", 3));
    EXPECT_EQ(settings.storedForm(QStringLiteral("Other/list")), QByteArray("elsewhere"));
    EXPECT_FALSE(settings.storedForm(QStringLiteral("missing")));

    ASSERT_FALSE(settings.setText(QStringLiteral("later"), QStringLiteral("new")));
    EXPECT_EQ(settings.storedForm(QStringLiteral("later")), QByteArray("new"));
    ASSERT_FALSE(settings.setText(QStringLiteral("/Other//list/"), QStringLiteral("changed")));
    EXPECT_EQ(settings.storedForm(QStringLiteral("Other/list")), QByteArray("changed"))
        << "a write under another spelling of the key changed it too";
    EXPECT_EQ(settings.storedForm(QStringLiteral("list")), library) << "the write changed the file, not this";
}
