// The store of pushed values: its rules and messages, the 64-entry limit, and the file.

#include "screens/runtime/PushedValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QDateTime t0 = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

struct Pushed : ::testing::Test {
    QTemporaryDir dir;
    QString file() const { return dir.filePath(QStringLiteral("nested/Tarv/pushed-values.json")); }

    void writeFile(const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(file()).absolutePath());
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }

    // What the folder holds beside the file, set aside.
    QStringList asideNames() const
    {
        return QDir(QFileInfo(file()).absolutePath())
            .entryList({QStringLiteral("pushed-values.json.unreadable-*")}, QDir::AllEntries | QDir::System);
    }

    QByteArray fileBytes(const QString& path) const
    {
        QFile in(path);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
};

} // namespace

TEST_F(Pushed, NameRule)
{
    PushedValues store;
    EXPECT_TRUE(PushedValues::isValidName(QStringLiteral("cpu.load-1_a")));
    EXPECT_TRUE(PushedValues::isValidName(QString(64, u'n')));
    for (const QString& bad : {QString(65, u'n'), QString(), QStringLiteral("a b"), QStringLiteral("a/b"),
                               QStringLiteral("a:b"), QStringLiteral("caf\u00e9")}) {
        EXPECT_FALSE(PushedValues::isValidName(bad)) << qPrintable(bad);
        EXPECT_EQ(store.setValue(bad, QStringLiteral("1"), t0),
                  QStringLiteral("a name is up to 64 letters, digits, _ . and -"));
    }
    EXPECT_TRUE(store.entries().isEmpty());
}

TEST_F(Pushed, ValueRule)
{
    PushedValues store;
    int calls = 0;
    store.onChange = [&](const QString&) { ++calls; };
    EXPECT_EQ(store.setValue(QStringLiteral("v"), QString(8192, u'x'), t0), std::nullopt);
    QString tooLong(8193, u' ');
    tooLong[0] = u'x';
    EXPECT_EQ(store.setValue(QStringLiteral("v"), tooLong, t0), QStringLiteral("a value may be 8 KB at most"));
    // 4,097 two-byte characters are 8,194 bytes.
    EXPECT_EQ(store.setValue(QStringLiteral("v"), QString(4097, QChar(0xE9)), t0),
              QStringLiteral("a value may be 8 KB at most"));
    EXPECT_EQ(store.setValue(QStringLiteral("v"), QStringLiteral(" \n\t \r\n"), t0),
              QStringLiteral("the value is empty"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(store.setValue(QStringLiteral("v"), QStringLiteral("  42 \n"), t0), std::nullopt);
    EXPECT_EQ(store.entry(QStringLiteral("v")), (PushedValues::Entry{QStringLiteral("  42 \n"), t0}));
    EXPECT_EQ(calls, 2);
}

TEST_F(Pushed, OldestIsEvictedBeyond64)
{
    PushedValues store;
    QStringList changed;
    store.onChange = [&](const QString& name) { changed.append(name); };
    for (int i = 0; i < 64; ++i)
        store.setValue(QStringLiteral("n%1").arg(i), QStringLiteral("v"), t0.addSecs(i == 7 ? -10 : i));
    store.setValue(QStringLiteral("n3"), QStringLiteral("again"), t0.addSecs(100));
    EXPECT_EQ(store.entries().size(), 64);
    store.setValue(QStringLiteral("new"), QStringLiteral("v"), t0.addSecs(200));
    EXPECT_EQ(store.entries().size(), 64);
    EXPECT_FALSE(store.entry(QStringLiteral("n7")));
    EXPECT_TRUE(store.entry(QStringLiteral("n0")));
    EXPECT_EQ(changed.size(), 66);
    EXPECT_EQ(changed.last(), QStringLiteral("new"));
}

TEST_F(Pushed, SurvivesARestart)
{
    const QDateTime pushed = t0.addMSecs(250);
    {
        PushedValues store(file());
        EXPECT_EQ(store.setValue(QStringLiteral("cpu"), QStringLiteral("42 / 7"), pushed), std::nullopt);
    }
    QFile raw(file());
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(raw.readAll()).object();
    const QJsonObject cpu = saved.value(QStringLiteral("cpu")).toObject();
    EXPECT_EQ(cpu.value(QStringLiteral("text")).toString(), QStringLiteral("42 / 7"));
    // Seconds since 2001-01-01 00:00:00 UTC.
    EXPECT_DOUBLE_EQ(cpu.value(QStringLiteral("date")).toDouble(), 736257600.25);

    PushedValues restarted(file());
    EXPECT_EQ(restarted.entry(QStringLiteral("cpu")), (PushedValues::Entry{QStringLiteral("42 / 7"), pushed}));
}

TEST_F(Pushed, LoneSurrogateIsMendedOnTheWayIn)
{
    // Written to the file as UTF-8 it would come back as another character after a restart.
    const QString lone = QStringLiteral("a") + QChar(0xD800) + QStringLiteral("{{b}}");
    const QString mended = QStringLiteral("a\uFFFD{{b}}");
    {
        PushedValues store(file());
        EXPECT_EQ(store.setValue(QStringLiteral("v"), lone, t0), std::nullopt);
        EXPECT_EQ(store.entry(QStringLiteral("v"))->text, mended);
    }
    EXPECT_EQ(PushedValues(file()).entry(QStringLiteral("v"))->text, mended);
}

TEST_F(Pushed, DamagedFileStartsEmptyAndIsRewritten)
{
    for (const QByteArray& damaged :
         {QByteArray("{not json"), QByteArray("[1]"), QByteArray(R"({"a": {"text": "x"}})"),
          QByteArray(R"({"a": {"text": 1, "date": 2}})"), QByteArray(R"({"a": {"text": "x", "date": 1e300}})"),
          QByteArray(R"({"a b": {"text": "x", "date": 2}})")}) {
        QDir().mkpath(QFileInfo(file()).absolutePath());
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(damaged);
        out.close();
        PushedValues store(file());
        EXPECT_TRUE(store.entries().isEmpty()) << damaged.constData();
    }
    PushedValues store(file());
    store.setValue(QStringLiteral("b"), QStringLiteral("1"), t0);
    store.waitUntilSaved();
    PushedValues reread(file());
    EXPECT_EQ(reread.entries().size(), 1);
}

TEST_F(Pushed, ADamagedEntryIsSetAsideWithTheFileAndTheGoodOnesAreKept)
{
    QJsonObject all;
    for (int i = 0; i < 10; ++i)
        all.insert(QStringLiteral("good%1").arg(i), QJsonObject{{QStringLiteral("text"), QString::number(i)},
                                                                 {QStringLiteral("date"), 736257600.0 + i}});
    all.insert(QStringLiteral("bad"),
               QJsonObject{{QStringLiteral("text"), QStringLiteral("x")},
                           {QStringLiteral("date"), QStringLiteral("yesterday")}});
    const QByteArray damaged = QJsonDocument(all).toJson();
    writeFile(damaged);
    {
        PushedValues store(file());
        EXPECT_EQ(store.entries().size(), 10);
        EXPECT_EQ(store.entry(QStringLiteral("good3"))->text, QStringLiteral("3"));
        EXPECT_TRUE(store.loadProblem().contains(QStringLiteral("1 of its 11 entries could not be read")));
        EXPECT_EQ(store.setValue(QStringLiteral("newone"), QStringLiteral("1"), t0), std::nullopt);
    }
    ASSERT_EQ(asideNames().size(), 1);
    EXPECT_EQ(fileBytes(QFileInfo(file()).absoluteDir().filePath(asideNames().first())), damaged);
    PushedValues restarted(file());
    EXPECT_EQ(restarted.entries().size(), 11);
    EXPECT_TRUE(restarted.entry(QStringLiteral("newone")));
    EXPECT_TRUE(restarted.loadProblem().isEmpty());
}

TEST_F(Pushed, APipeOrALinkToDevZeroIsSetAsideUnreadAndTheStoreStarts)
{
    QDir().mkpath(QFileInfo(file()).absolutePath());
    ASSERT_EQ(::mkfifo(QFile::encodeName(file()).constData(), 0600), 0);
    {
        PushedValues store(file());
        EXPECT_TRUE(store.entries().isEmpty());
        EXPECT_TRUE(store.loadProblem().contains(QStringLiteral("it is a named pipe, not a regular file")));
        EXPECT_EQ(store.setValue(QStringLiteral("a"), QStringLiteral("1"), t0), std::nullopt);
    }
    EXPECT_EQ(asideNames().size(), 1);
    EXPECT_TRUE(PushedValues(file()).entry(QStringLiteral("a")));

    ASSERT_TRUE(QFile::remove(file()));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), file()));
    PushedValues store(file());
    EXPECT_TRUE(store.entries().isEmpty());
    EXPECT_TRUE(store.loadProblem().contains(QStringLiteral("it is a device, not a regular file")));
    EXPECT_EQ(asideNames().size(), 2);
}

TEST_F(Pushed, UnwritableFileKeepsTheValue)
{
    PushedValues store(file());
    // A folder where the file should be: the write fails, the value is kept and reported.
    QDir().mkpath(file());
    int calls = 0;
    store.onChange = [&](const QString&) { ++calls; };
    EXPECT_EQ(store.setValue(QStringLiteral("a"), QStringLiteral("1"), t0), std::nullopt);
    EXPECT_TRUE(store.entry(QStringLiteral("a")));
    EXPECT_EQ(calls, 1);
}

TEST(PushedValuesDefaultFileTest, InTheTarvDataFolder)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    EXPECT_EQ(PushedValues::defaultFile(), home.path() + QStringLiteral("/Tarv/pushed-values.json"));
}
