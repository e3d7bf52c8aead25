#include "platform/Settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("Tarv.conf")); }

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
    EXPECT_FALSE(Settings(path()).contains(QStringLiteral("y")));
}

TEST_F(SettingsTest, UnwritableFileIsReported)
{
    const QString blocked = dir.filePath(QStringLiteral("file"));
    {
        QFile file(blocked);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // The settings file's folder is a plain file, so nothing can be written.
    Settings settings(blocked + QStringLiteral("/Tarv.conf"));
    EXPECT_EQ(settings.setWholeNumber(QStringLiteral("n"), 1), SettingsError::accessError);
}
