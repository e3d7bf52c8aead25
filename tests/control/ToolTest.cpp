// The `tarv` tool as a script sees it: the request each command line sends, what goes to
// standard output and standard error, and the exit status, against a server of the test's own.

#include "control/SocketNotifyServer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

namespace {

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

class ToolTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString dataHome = dir.filePath(QStringLiteral("data"));
    std::mutex mutex;
    QList<NotifyChannel::Request> requests;
    // What the server answers, by command.
    QHash<QString, NotifyChannel::Reply> replies;
    std::unique_ptr<SocketNotifyServer> server;

    void serve()
    {
        server = std::make_unique<SocketNotifyServer>(
            dataHome + QStringLiteral("/Tarv/tarv.sock"),
            [this](const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply) {
                const std::lock_guard lock(mutex);
                requests.append(request);
                reply(replies.value(request.value(QStringLiteral("command")).toString(), NotifyChannel::reply(true)));
            });
        ASSERT_FALSE(server->start());
    }

    ToolRun tarv(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(TARV_TOOL), arguments);
        EXPECT_TRUE(process.waitForFinished(10000));
        return ToolRun{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   QString::fromUtf8(process.readAllStandardOutput()),
                   QString::fromUtf8(process.readAllStandardError())};
    }

    NotifyChannel::Request lastRequest()
    {
        const std::lock_guard lock(mutex);
        return requests.value(requests.size() - 1);
    }
};

TEST_F(ToolTest, CommandsSendTheirRequestAndSucceedQuietly)
{
    serve();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("album.jpg")));
    struct Case {
        QStringList arguments;
        NotifyChannel::Request request;
    };
    const QString here = dir.path();
    const QList<Case> cases = {
        {{QStringLiteral("ping")}, NotifyChannel::request(QStringLiteral("ping"), QString(), 0)},
        {{QStringLiteral("notify"), QStringLiteral("Build"), QStringLiteral("finished")},
         NotifyChannel::request(QStringLiteral("notify"), QStringLiteral("Build finished"), 5)},
        {{QStringLiteral("notify"), QStringLiteral("-s"), QStringLiteral("2.5"), QStringLiteral("--"),
          QStringLiteral("-1 passed")},
         NotifyChannel::request(QStringLiteral("notify"), QStringLiteral("-1 passed"), 2.5)},
        {{QStringLiteral("notify"), QStringLiteral("--seconds=30"), QStringLiteral("Tea")},
         NotifyChannel::request(QStringLiteral("notify"), QStringLiteral("Tea"), 30)},
        {{QStringLiteral("set"), QStringLiteral("cpu"), QStringLiteral("42"), QStringLiteral("%")},
         NotifyChannel::request(QStringLiteral("set"), QStringLiteral("42 %"), 0, QStringLiteral("cpu"))},
        // A number is no option; anything after "--" is text, the help option too.
        {{QStringLiteral("set"), QStringLiteral("temp"), QStringLiteral("-5"), QStringLiteral("-.5")},
         NotifyChannel::request(QStringLiteral("set"), QStringLiteral("-5 -.5"), 0, QStringLiteral("temp"))},
        {{QStringLiteral("notify"), QStringLiteral("-s"), QStringLiteral("600"), QStringLiteral("--"),
          QStringLiteral("--help"), QStringLiteral("-")},
         NotifyChannel::request(QStringLiteral("notify"), QStringLiteral("--help -"), 600)},
        {{QStringLiteral("set"), QStringLiteral("--"), QStringLiteral("-x"), QStringLiteral("--")},
         NotifyChannel::request(QStringLiteral("set"), QStringLiteral("--"), 0, QStringLiteral("-x"))},
        {{QStringLiteral("snapshot")}, NotifyChannel::request(QStringLiteral("snapshot"), QString(), 0)},
        // Relative paths are sent as absolute ones: the application runs elsewhere.
        {{QStringLiteral("snapshot"), QStringLiteral("shots/now.png")},
         NotifyChannel::request(QStringLiteral("snapshot"), here + QStringLiteral("/shots/now.png"), 0)},
        // A name without a suffix says no other format; a folder's suffix names no file.
        {{QStringLiteral("snapshot"), QStringLiteral("now")},
         NotifyChannel::request(QStringLiteral("snapshot"), here + QStringLiteral("/now"), 0)},
        {{QStringLiteral("snapshot"), QStringLiteral("album.jpg")},
         NotifyChannel::request(QStringLiteral("snapshot"), here + QStringLiteral("/album.jpg"), 0)},
        {{QStringLiteral("screen"), QStringLiteral("check"), QStringLiteral("../x/cpu.json")},
         NotifyChannel::request(QStringLiteral("screen.check"),
                                QFileInfo(here + QStringLiteral("/../x/cpu.json")).absoluteFilePath(), 0)},
        {{QStringLiteral("screen"), QStringLiteral("show"), QStringLiteral("Stocks")},
         NotifyChannel::request(QStringLiteral("screen.show"), QStringLiteral("Stocks"), 0)},
        {{QStringLiteral("screen"), QStringLiteral("list")},
         NotifyChannel::request(QStringLiteral("screen.list"), QString(), 0)},
    };
    for (const Case& c : cases) {
        const ToolRun run = tarv(c.arguments);
        EXPECT_EQ(run.status, 0) << c.arguments.join(u' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_EQ(run.out, QString());
        EXPECT_EQ(run.err, QString());
        EXPECT_EQ(lastRequest(), c.request) << c.arguments.join(u' ').toStdString();
    }
}

TEST_F(ToolTest, PathsAndLinesGoToStandardOutputAndRefusalsToStandardError)
{
    NotifyChannel::Reply saved = NotifyChannel::reply(true);
    saved.insert(QStringLiteral("path"), QStringLiteral("/tmp/tarv-20250314-094100.png"));
    replies.insert(QStringLiteral("snapshot"), saved);
    NotifyChannel::Reply broken = NotifyChannel::reply(false);
    broken.insert(QStringLiteral("lines"), QJsonArray{QStringLiteral("cpu.json: error: widgets: must be a list")});
    replies.insert(QStringLiteral("screen.check"), broken);
    replies.insert(QStringLiteral("notify"),
                   NotifyChannel::reply(false, QStringLiteral("Tarv is not connected to the device")));
    serve();

    ToolRun run = tarv({QStringLiteral("snapshot")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QStringLiteral("/tmp/tarv-20250314-094100.png\n"));

    run = tarv({QStringLiteral("screen"), QStringLiteral("check"), QStringLiteral("cpu.json")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QStringLiteral("cpu.json: error: widgets: must be a list\n"));
    EXPECT_EQ(run.err, QString());

    run = tarv({QStringLiteral("notify"), QStringLiteral("hi")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QString());
    EXPECT_EQ(run.err, QStringLiteral("tarv: Tarv is not connected to the device\n"));
}

TEST_F(ToolTest, ControlCharactersFromTarvArePrintedAsEscapes)
{
    NotifyChannel::Reply checked = NotifyChannel::reply(true);
    checked.insert(QStringLiteral("lines"),
                   QJsonArray{QStringLiteral("cpu.json: ok: \u201C\x1B]0;owned\x07"
                                             "CPU\u201D, 1 widgets, 1 of 108 nodes"),
                              QStringLiteral("  Runs a shell command: curl -s x | sh\r\x1B[2Kuptime")});
    replies.insert(QStringLiteral("screen.check"), checked);
    NotifyChannel::Reply listed = NotifyChannel::reply(true);
    listed.insert(QStringLiteral("lines"), QJsonArray{QStringLiteral("cpu\tCPU\nmail\tMail")});
    replies.insert(QStringLiteral("screen.list"), listed);
    serve();

    ToolRun run = tarv({QStringLiteral("screen"), QStringLiteral("check"), QStringLiteral("cpu.json")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QStringLiteral("cpu.json: ok: \u201C\\x1B]0;owned\\x07CPU\u201D, 1 widgets, 1 of 108 nodes\n"
                                      "  Runs a shell command: curl -s x | sh\\r\\x1B[2Kuptime\n"));

    // The list keeps its tab-separated columns.
    run = tarv({QStringLiteral("screen"), QStringLiteral("list")});
    EXPECT_EQ(run.out, QStringLiteral("cpu\tCPU\\nmail\tMail\n"));
}

// Help and usage errors are told from the arguments alone: the same answer whether Tarv runs or
// not, and nothing sent, written or stored.
TEST_F(ToolTest, HelpAndUsageErrorsAreTheSameWhetherTarvRunsOrNot)
{
    // Every command the tool's own help lists, asked for its help wherever the help option stands.
    const ToolRun help = tarv({QStringLiteral("--help")});
    ASSERT_EQ(help.status, 0);
    const QString listed = help.out.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
    QList<QStringList> commands;
    for (const QString& line : listed.split(u'\n', Qt::SkipEmptyParts)) {
        QStringList words;
        for (const QString& word : line.simplified().split(u' ')) {
            if (word.isEmpty() || !word[0].isLower())
                break;
            words.append(word);
        }
        if (!words.isEmpty())
            commands.append(words);
    }
    ASSERT_GE(commands.size(), 7) << listed.toStdString();
    // What a command would take as a path, a name or a value, which help leaves untouched.
    const QStringList operands{QStringLiteral("x.png"), QStringLiteral("cpu")};

    // The server's folder is there from the start; the tool makes nothing beside it.
    ASSERT_TRUE(QDir().mkpath(dataHome + QStringLiteral("/Tarv")));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const QList<QStringList> mistakes{
        {},
        {QString()},
        {QStringLiteral("frobnicate")},
        {QStringLiteral("--bogus")},
        {QStringLiteral("--version"), QStringLiteral("extra")},
        {QStringLiteral("ping"), QStringLiteral("twice")},
        {QStringLiteral("ping"), QStringLiteral("--version")},
        {QStringLiteral("notify")},
        {QStringLiteral("notify"), QString()},
        {QStringLiteral("notify"), QStringLiteral("--"), QStringLiteral(" \t")},
        {QStringLiteral("notify"), QStringLiteral("-x"), QStringLiteral("hi")},
        {QStringLiteral("notify"), QStringLiteral("-s"), QStringLiteral("soon"), QStringLiteral("hi")},
        {QStringLiteral("notify"), QStringLiteral("hi"), QStringLiteral("-s")},
        {QStringLiteral("set"), QStringLiteral("cpu")},
        {QStringLiteral("set"), QStringLiteral("bad/name"), QStringLiteral("1")},
        {QStringLiteral("set"), QString(), QStringLiteral("1")},
        {QStringLiteral("set"), QStringLiteral("cpu"), QString()},
        {QStringLiteral("set"), QStringLiteral("cpu"), QString(8193, u'9')},
        {QStringLiteral("set"), QStringLiteral("cpu"), QStringLiteral("--verbose")},
        {QStringLiteral("snapshot"), QStringLiteral("a"), QStringLiteral("b")},
        {QStringLiteral("snapshot"), QString()},
        {QStringLiteral("snapshot"), QStringLiteral("x.jpg")},
        {QStringLiteral("snapshot"), QStringLiteral("shots/x.png.txt")},
        {QStringLiteral("screen")},
        {QStringLiteral("screen"), QStringLiteral("lsit")},
        {QStringLiteral("screen"), QStringLiteral("show")},
        {QStringLiteral("screen"), QStringLiteral("show"), QString()},
        {QStringLiteral("screen"), QStringLiteral("check"), QStringLiteral("a.json"), QStringLiteral("b.json")},
    };
    // Seconds the card cannot stay for: Tarv would change them without a word.
    QList<QStringList> seconds;
    for (const char* value : {"0", "-1", "0.5", "600.5", "1e9", "1e400", "nan", "inf", "-inf", ""})
        seconds.append({QStringLiteral("notify"), QStringLiteral("--seconds=") + QLatin1String(value),
                        QStringLiteral("hi")});

    for (const bool running : {false, true}) {
        if (running)
            serve();
        const std::string when = running ? " (Tarv running)" : " (Tarv not running)";
        for (const QStringList& command : commands) {
            const QString usage = QStringLiteral("Usage: tarv ") + command.first();
            for (const QStringList& arguments :
                 {command + QStringList{QStringLiteral("--help")}, command + QStringList{QStringLiteral("-h")},
                  command + QStringList{QStringLiteral("--help")} + operands,
                  command + operands + QStringList{QStringLiteral("--help")},
                  command + QStringList{QStringLiteral("-s"), QStringLiteral("--help")}}) {
                const ToolRun run = tarv(arguments);
                EXPECT_EQ(run.status, 0) << arguments.join(u' ').toStdString() << when << run.err.toStdString();
                EXPECT_TRUE(run.out.startsWith(usage)) << arguments.join(u' ').toStdString() << when;
                EXPECT_EQ(run.err, QString()) << arguments.join(u' ').toStdString() << when;
            }
        }
        for (const QStringList& arguments : mistakes + seconds) {
            const ToolRun run = tarv(arguments);
            EXPECT_EQ(run.status, 2) << arguments.join(u' ').toStdString() << when;
            EXPECT_EQ(run.out, QString()) << arguments.join(u' ').toStdString() << when;
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("tarv: "))) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(QStringLiteral("--help' for more information"))) << run.err.toStdString();
        }
    }
    EXPECT_TRUE(requests.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
}

TEST_F(ToolTest, AnAbsentTarvHasItsOwnStatus)
{
    const ToolRun absent = tarv({QStringLiteral("ping")});
    EXPECT_EQ(absent.status, 3);
    EXPECT_EQ(absent.err, QStringLiteral("tarv: Tarv is not running (nothing listens at ") + dataHome +
                              QStringLiteral("/Tarv/tarv.sock).\n"));
}

}  // namespace
