// The commands of the `tarv` tool end to end: the request handed to the hub, the fake device
// on the other end of the serial line, the files written and the exact replies.

#include "HubFixture.h"
#include "support/ScreenStoreWait.h"

#include "control/NotifyClient.h"
#include "control/SocketNotifyServer.h"
#include "screens/runtime/CustomScreenRenderer.h"
#include "screens/runtime/ScreenTrust.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>

#include <sys/stat.h>

#include <future>

namespace {

using NotifyChannel::Reply;

QByteArray pushedScreen()
{
    return R"({"title": "Build", "sources": {"p": {"push": "build.status"}},
               "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300, "text": "Build {{p}}"}]})";
}

// Runs a command on the desktop, so it waits for the user's approval.
QByteArray shellScreen()
{
    return R"({"title": "Load", "sources": {"n": {"shell": "echo 1", "every": 5}},
               "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300, "text": "Load {{n}}"}]})";
}

QStringList linesOf(const Reply& reply)
{
    QStringList lines;
    for (const QJsonValue& line : reply.value(QStringLiteral("lines")).toArray())
        lines.append(line.toString());
    return lines;
}

Reply withLines(Reply reply, const QStringList& lines)
{
    reply.insert(QStringLiteral("lines"), QJsonArray::fromStringList(lines));
    return reply;
}

class CommandsTest : public HubTest {
protected:
    Reply ask(const QString& command, const QString& text = {}, const std::optional<QString>& name = std::nullopt)
    {
        auto answer = std::make_shared<std::optional<Reply>>();
        hub->handleCommand(NotifyChannel::request(command, text, 0, name), [answer](const Reply& reply) {
            EXPECT_FALSE(answer->has_value()) << "answered twice";
            *answer = reply;
        });
        EXPECT_TRUE(waitUntil([&] { return answer->has_value(); }, 10000)) << command.toStdString();
        return answer->value_or(Reply());
    }

    QString screensFolder() const { return screens.folder(); }

    void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
};

const QStringList builtInPages = {QStringLiteral("home"), QStringLiteral("stocks"), QStringLiteral("calculator"),
                                  QStringLiteral("nowPlaying"), QStringLiteral("screensaver")};

TEST_F(CommandsTest, EachCommandAnswersByItsExactName)
{
    makeHub();
    EXPECT_EQ(ask(QStringLiteral("ping")), NotifyChannel::reply(true));
    EXPECT_EQ(ask(QStringLiteral("Ping")),
              NotifyChannel::reply(false, QStringLiteral("this version of Tarv does not know \"Ping\"")));
    EXPECT_EQ(ask(QStringLiteral("screen.list")), withLines(NotifyChannel::reply(true), builtInPages));
    // What needs the device says so while there is none.
    const Reply notConnected = NotifyChannel::reply(false, QStringLiteral("Tarv is not connected to the device"));
    EXPECT_EQ(ask(QStringLiteral("notify"), QStringLiteral("Build finished")), notConnected);
    EXPECT_EQ(ask(QStringLiteral("screen.show"), QStringLiteral("stocks")), notConnected);
    EXPECT_EQ(ask(QStringLiteral("snapshot")), notConnected);

    connectAndGreet();
    EXPECT_EQ(ask(QStringLiteral("notify"), QStringLiteral("Build finished")), NotifyChannel::reply(true));
}

TEST_F(CommandsTest, ASnapshotIsWrittenWhereItWasAskedFor)
{
    connectAndGreet();
    // Nothing named: the Snapshots folder, made on the way.
    Reply reply = ask(QStringLiteral("snapshot"));
    ASSERT_TRUE(reply.value(QStringLiteral("ok")).toBool()) << reply.value(QStringLiteral("message")).toString().toStdString();
    ASSERT_TRUE(hub->snapshot());
    const QString name = TarvUSB::snapshotFileName(hub->snapshot()->date);
    EXPECT_EQ(reply.value(QStringLiteral("path")).toString(), QDir(TarvUSB::snapshotsFolderPath()).filePath(name));
    EXPECT_EQ(QImage(reply.value(QStringLiteral("path")).toString()).size(), QSize(480, 320));

    // A folder: the dated name in it. Anything else: that very file.
    const QString folder = dir.filePath(QStringLiteral("shots"));
    QDir().mkpath(folder);
    reply = ask(QStringLiteral("snapshot"), folder);
    EXPECT_EQ(reply.value(QStringLiteral("path")).toString(), QDir(folder).filePath(name));
    EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(name)));
    const QString file = dir.filePath(QStringLiteral("shots/device.png"));
    reply = ask(QStringLiteral("snapshot"), file);
    EXPECT_EQ(reply.value(QStringLiteral("path")).toString(), file);
    EXPECT_EQ(QImage(file).size(), QSize(480, 320));

    const QString impossible = dir.filePath(QStringLiteral("shots/device.png/inside.png"));
    reply = ask(QStringLiteral("snapshot"), impossible);
    EXPECT_FALSE(reply.value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(reply.value(QStringLiteral("message")).toString().startsWith(QStringLiteral("could not write ") + impossible + QStringLiteral(": ")))
        << reply.value(QStringLiteral("message")).toString().toStdString();

    // What is not a regular file is never replaced: a pipe stays a pipe.
    const QString pipe = dir.filePath(QStringLiteral("shots/pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(ask(QStringLiteral("snapshot"), pipe),
              NotifyChannel::reply(false, QStringLiteral("could not write ") + pipe
                                              + QStringLiteral(": it is a named pipe, not a regular file")));
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(pipe).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST_F(CommandsTest, SetKeepsEveryGoodValueAndNotesWhenNoScreenReadsIt)
{
    writeFile(QDir(screensFolder()).filePath(QStringLiteral("build.json")), pushedScreen());
    screens.start();
    ASSERT_TRUE(waitUntilLoaded(screens));
    connectAndGreet();
    hub->showScreen(DeviceScreen::custom(QStringLiteral("build")));

    EXPECT_EQ(ask(QStringLiteral("set"), QStringLiteral("1")),
              NotifyChannel::reply(false, QStringLiteral("a name is up to 64 letters, digits, _ . and -")));
    EXPECT_EQ(ask(QStringLiteral("set"), QStringLiteral("3"), QStringLiteral("cpu")),
              withLines(NotifyChannel::reply(true),
                        {QStringLiteral("note: no screen has a \"push\": \"cpu\" source yet; the value is kept for "
                                        "when one does")}));
    ASSERT_TRUE(hub->pushedValues().entry(QStringLiteral("cpu")));
    EXPECT_EQ(hub->pushedValues().entry(QStringLiteral("cpu"))->text, QStringLiteral("3"));

    // A value the shown page reads goes to the device.
    EXPECT_EQ(ask(QStringLiteral("set"), QStringLiteral("green"), QStringLiteral("build.status")),
              NotifyChannel::reply(true));
    ASSERT_TRUE(waitUntil([&] {
        const TarvFake::FakeWidget* node = device.widgets().find(CustomScreenRenderer::widgetNode(0));
        return node && node->text == QStringLiteral("Build green");
    }));
}

TEST_F(CommandsTest, SetAnswersFailureWhenTheValueCannotBeSaved)
{
    const QString file = dir.filePath(QStringLiteral("data/Tarv/pushed-values.json"));
    pushedValuesFile = file;
    makeHub();
    EXPECT_EQ(linesOf(ask(QStringLiteral("set"), QStringLiteral("1"), QStringLiteral("saved"))).size(), 1);
    // A folder in the file's place: the next write fails, and the value would be gone after a
    // restart.
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkpath(file));
    const Reply reply = ask(QStringLiteral("set"), QStringLiteral("2"), QStringLiteral("lost"));
    EXPECT_FALSE(reply.value(QStringLiteral("ok")).toBool());
    EXPECT_TRUE(reply.value(QStringLiteral("message"))
                    .toString()
                    .startsWith(QStringLiteral("could not save the value to ") + file + QStringLiteral(": ")))
        << reply.value(QStringLiteral("message")).toString().toStdString();
}

TEST_F(CommandsTest, ScreenShowFindsAPageByNameOrSaysWhyNot)
{
    writeFile(QDir(screensFolder()).filePath(QStringLiteral("build.json")), pushedScreen());
    writeFile(QDir(screensFolder()).filePath(QStringLiteral("Load.json")), shellScreen());
    screens.start();
    ASSERT_TRUE(waitUntilLoaded(screens));
    connectAndGreet();

    EXPECT_EQ(ask(QStringLiteral("screen.show"), QStringLiteral("Stocks.JSON")), NotifyChannel::reply(true));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::stocks());
    EXPECT_EQ(ask(QStringLiteral("screen.show"), QStringLiteral("BUILD")), NotifyChannel::reply(true));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::custom(QStringLiteral("build")));

    // Loaded but not approved: named as the file names it.
    EXPECT_EQ(ask(QStringLiteral("screen.show"), QStringLiteral("load")),
              NotifyChannel::reply(false, QStringLiteral("Load.json is waiting for approval in Custom Screens, and is "
                                                         "not shown until it has it")));
    EXPECT_EQ(ask(QStringLiteral("screen.show"), QStringLiteral("weather.json")),
              NotifyChannel::reply(false, QStringLiteral("no page named \"weather.json\"; there are: home, stocks, "
                                                         "calculator, nowPlaying, screensaver, build")));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::custom(QStringLiteral("build")));
}

TEST_F(CommandsTest, ScreenListMarksTheScreensThatWaitForApproval)
{
    writeFile(QDir(screensFolder()).filePath(QStringLiteral("build.json")), pushedScreen());
    writeFile(QDir(screensFolder()).filePath(QStringLiteral("Load.json")), shellScreen());
    screens.start();
    ASSERT_TRUE(waitUntilLoaded(screens));
    makeHub();
    const QStringList expected = builtInPages + QStringList{QStringLiteral("build\tBuild"),
                                                            QStringLiteral("Load\tLoad\twaiting for approval")};
    QStringList lines = linesOf(ask(QStringLiteral("screen.list")));
    std::sort(lines.begin() + 5, lines.end());
    QStringList sortedExpected = expected;
    std::sort(sortedExpected.begin() + 5, sortedExpected.end());
    EXPECT_EQ(lines, sortedExpected);

    screens.trust().approveScreen(*screens.screenWithID(QStringLiteral("Load")));
    EXPECT_TRUE(linesOf(ask(QStringLiteral("screen.list"))).contains(QStringLiteral("Load\tLoad")));
}

TEST_F(CommandsTest, ScreenCheckJudgesAFileWithoutInstallingIt)
{
    makeHub();
    const QString good = dir.filePath(QStringLiteral("elsewhere/cat.json"));
    writeFile(good, R"({"title": "Cat", "colour": "red", "sources": {"n": {"shell": "uptime", "every": 5}},
                        "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300, "text": "Up {{n}}"},
                                    {"type": "sprite", "x": 8, "y": 100, "sheet": "cat.png", "count": 2},
                                    {"type": "sprite", "x": 200, "y": 100, "sheet": "cat.png", "count": 2},
                                    {"type": "sprite", "x": 300, "y": 100, "sheet": "bird.png", "count": 2}]})");
    writeFile(dir.filePath(QStringLiteral("elsewhere/bird.png")), "not looked at");
    Reply reply = ask(QStringLiteral("screen.check"), good);
    EXPECT_TRUE(reply.value(QStringLiteral("ok")).toBool());
    QStringList lines = linesOf(reply);
    ASSERT_EQ(lines.size(), 4) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("cat.json: warning: colour: "))) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("cat.json: warning: sprite sheet cat.png is not beside the file"));
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<ScreenIssue> issues;
    const std::optional<CustomScreen> parsed = CustomScreen::parse(file.readAll(), QStringLiteral("cat"),
                                                                   QStringLiteral("cat.json"), issues);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->nodeCount(), 4);
    EXPECT_EQ(lines[2], QStringLiteral("cat.json: ok: \u201CCat\u201D, 4 widgets, using 4% of what one device page "
                                       "can hold (4 of 108 nodes)"));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("  "))) << lines[3].toStdString();
    EXPECT_TRUE(lines[3].contains(QStringLiteral("uptime"))) << lines[3].toStdString();
    EXPECT_TRUE(screens.screens().isEmpty()) << "checked, not installed";
    // A header is listed with its value, under the address it goes with.
    const QString keyed = dir.filePath(QStringLiteral("keyed.json"));
    writeFile(keyed, R"({"sources": {"k": {"url": "https://example.com/v1", "headers": {"X-Api-Key": "s3cr3t"}}},
                         "widgets": [{"type": "text", "x": 12, "y": 40, "text": "{{k}}"}]})");
    lines = linesOf(ask(QStringLiteral("screen.check"), keyed));
    EXPECT_EQ(lines.mid(1), (QStringList{QStringLiteral("  Fetches every 60 s: https://example.com/v1"),
                                         QStringLiteral("    X-Api-Key: s3cr3t")}))
        << lines.join(u'\n').toStdString();
    const QString one = dir.filePath(QStringLiteral("one.json"));
    writeFile(one, R"({"title": "One", "widgets": [{"type": "text", "x": 12, "y": 40, "text": "Hi"}]})");
    EXPECT_EQ(linesOf(ask(QStringLiteral("screen.check"), one)).value(0),
              QStringLiteral("one.json: ok: \u201COne\u201D, 1 widget, using 1% of what one device page can hold "
                             "(1 of 108 nodes)"));

    // An error makes the file unusable: only the issue lines, no summary.
    const QString broken = dir.filePath(QStringLiteral("broken.json"));
    writeFile(broken, R"({"title": "Broken", "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300}]})");
    reply = ask(QStringLiteral("screen.check"), broken);
    EXPECT_FALSE(reply.value(QStringLiteral("ok")).toBool());
    EXPECT_FALSE(reply.contains(QStringLiteral("message")));
    lines = linesOf(reply);
    ASSERT_FALSE(lines.isEmpty());
    for (const QString& line : lines)
        EXPECT_TRUE(line.startsWith(QStringLiteral("broken.json: error: "))) << line.toStdString();

    // What is no regular file is not read, and a FIFO with no writer does not hold the check.
    const QString fifo = dir.filePath(QStringLiteral("pipe.json"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString big = dir.filePath(QStringLiteral("big.json"));
    writeFile(big, QByteArray((1 << 20) + 1, ' '));
    for (const QString& path : {fifo, big, dir.filePath(QStringLiteral("missing.json")), dir.path()})
        EXPECT_EQ(ask(QStringLiteral("screen.check"), path),
                  NotifyChannel::reply(false, QStringLiteral("could not read ") + path));
}

TEST_F(CommandsTest, RequestsComeThroughTheSocketAndASecondCopyStandsBack)
{
    makeHub(SocketNotifyServer::factory());
    hub->startNotifyServer();
    ASSERT_TRUE(waitUntil([&] { return hub->hasNotifyServer(); }));
    // The client blocks, so it runs beside the event loop that answers it.
    auto listed = std::async(std::launch::async, [] {
        return NotifyClient::sendRequest(NotifyChannel::request(QStringLiteral("screen.list"), QString(), 0),
                                         NotifyChannel::socketPath(), 5);
    });
    ASSERT_TRUE(waitUntil([&] { return listed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    const auto outcome = listed.get();
    ASSERT_TRUE(std::holds_alternative<Reply>(outcome));
    EXPECT_EQ(linesOf(std::get<Reply>(outcome)), builtInPages);

    // Another copy of the application finds this one answering and leaves its socket be.
    auto second = std::async(std::launch::async, [] {
        return SocketNotifyServer(NotifyChannel::socketPath(), [](const NotifyChannel::Request&,
                                                                  NotifyServer::ReplyCallback) {}).start();
    });
    ASSERT_TRUE(waitUntil([&] { return second.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    const auto error = second.get();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, NotifyServer::StartError::Kind::alreadyServed);
    EXPECT_TRUE(QFileInfo::exists(NotifyChannel::socketPath()));

    // Gone with its hub.
    hub.reset();
    EXPECT_FALSE(QFileInfo::exists(NotifyChannel::socketPath()));
}

}  // namespace
