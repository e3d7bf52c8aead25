// The command channel's protocol between a real client and the server over a Unix socket in
// a temporary folder: framing and refusals, clients that stall or overrun, several at once,
// sockets left behind and sockets still served, and peers of another user.

#include "control/NotifyClient.h"
#include "control/SocketNotifyServer.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace {

using NotifyClient::Failure;
using Kind = NotifyServer::StartError::Kind;

const QByteArray refusal = R"({"message":"not a request this version of Tarv understands","ok":false})";

QByteArray tooSlow(const char* seconds)
{
    return R"({"message":"the request took too long: Tarv waits at most )" + QByteArray(seconds) +
           R"( s for a whole request","ok":false})";
}

sockaddr_un addressOf(const QString& path)
{
    return NotifyChannel::socketAddress(path).value();
}

// A socket bound at the path that listens but never accepts: a copy of Tarv that hangs.
int bindListener(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class ChannelTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString socketPath = dir.filePath(QStringLiteral("Tarv/tarv.sock"));
    std::mutex mutex;
    QList<NotifyChannel::Request> seen;
    // A connection has as long as a loaded machine needs to send its request and take the
    // reply; the tests of slow clients shorten that. The start-up probe is short, so a copy
    // that does not answer costs a test a fraction of a second.
    SocketNotifyServer::Limits limits{30, 0.3};

    NotifyServer::Handler echo()
    {
        return [this](const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply) {
            {
                const std::lock_guard lock(mutex);
                seen.append(request);
            }
            NotifyChannel::Reply answer = NotifyChannel::reply(true);
            if (request.value(QStringLiteral("command")) != QLatin1String("ping"))
                answer.insert(QStringLiteral("path"), request.value(QStringLiteral("command")));
            reply(answer);
        };
    }

    std::unique_ptr<SocketNotifyServer> serve(NotifyServer::Handler handler)
    {
        auto server = std::make_unique<SocketNotifyServer>(socketPath, std::move(handler), limits);
        const auto error = server->start();
        EXPECT_FALSE(error) << (error ? error->message.toStdString() : std::string());
        return server;
    }

    qsizetype seenCount()
    {
        const std::lock_guard lock(mutex);
        return seen.size();
    }

    // Sends raw bytes on a connection of its own and reads the reply line (or none).
    std::optional<QByteArray> rawExchange(const QByteArray& bytes)
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        NotifyChannel::configureSocket(fd, 5);
        const sockaddr_un address = addressOf(socketPath);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return std::nullopt;
        }
        NotifyChannel::writeAll(bytes, fd);
        std::optional<QByteArray> line = NotifyChannel::readLine(fd, NotifyChannel::maxReplyBytes);
        ::close(fd);
        return line;
    }

    std::variant<NotifyChannel::Reply, Failure> ping(double timeout = 5)
    {
        return NotifyClient::sendRequest(NotifyChannel::request(QStringLiteral("ping"), QString(), 1), socketPath,
                                         timeout);
    }
};

Failure::Kind failureOf(const std::variant<NotifyChannel::Reply, Failure>& outcome)
{
    const auto* failure = std::get_if<Failure>(&outcome);
    return failure ? failure->kind : Failure::Kind(-1);
}

TEST_F(ChannelTest, ARequestIsAnsweredOnAPrivateSocketUntilTheServerStops)
{
    EXPECT_EQ(failureOf(ping()), Failure::Kind::notRunning);
    auto server = serve(echo());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(socketPath).constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // A reply with nothing but ok carries that one key.
    EXPECT_EQ(rawExchange(R"({"command":"ping","text":"","seconds":1})" "\n"), QByteArray(R"({"ok":true})"));
    const auto outcome = ping();
    ASSERT_TRUE(std::holds_alternative<NotifyChannel::Reply>(outcome));
    EXPECT_EQ(std::get<NotifyChannel::Reply>(outcome), NotifyChannel::reply(true));

    server->stop();
    EXPECT_FALSE(QFile::exists(socketPath));
    EXPECT_EQ(failureOf(ping()), Failure::Kind::notRunning);
    server->stop();
}

TEST_F(ChannelTest, LinesThatAreNoRequestGetTheRefusalAndReachNoHandler)
{
    auto server = serve(echo());
    for (const QByteArray& line : {
             QByteArray("hello\n"),
             QByteArray("\n"),
             QByteArray(R"({"command":"ping","text":"","seconds":1}{"command":"ping","text":"","seconds":1})" "\n"),
             QByteArray(R"({"command":"ping","text":""})" "\n"),
             QByteArray(R"({"command":"ping","text":"","seconds":"1"})" "\n"),
             QByteArray(R"({"command":"set","text":"1","seconds":0,"name":7})" "\n"),
             QByteArray(R"(["ping"])" "\n"),
         })
        EXPECT_EQ(rawExchange(line), refusal) << line.toStdString();
    EXPECT_EQ(seenCount(), 0);

    // Unknown keys are ignored, a null name is no name, and what follows the newline is dropped.
    EXPECT_EQ(rawExchange(R"({"command":"a","text":"","seconds":0,"colour":"red"})" "\ngarbage"),
              QByteArray(R"({"ok":true,"path":"a"})"));
    EXPECT_EQ(rawExchange(R"({"command":"b","text":"x","seconds":2.5,"name":null})" "\n"),
              QByteArray(R"({"ok":true,"path":"b"})"));
    ASSERT_EQ(seenCount(), 2);
    EXPECT_EQ(seen[1], NotifyChannel::request(QStringLiteral("b"), QStringLiteral("x"), 2.5));
}

TEST_F(ChannelTest, AnOversizedOrSilentClientIsRefusedWithoutHoldingUpOthers)
{
    // Long enough that a ping served beside the silent client comes back well before the
    // silent one is cut off, however loaded the machine is.
    limits.connection = 1;
    auto server = serve(echo());
    // More than the request limit without a newline: the answer says what the limit is.
    EXPECT_EQ(rawExchange(QByteArray(20000, 'a')),
              NotifyChannel::encodeLine(NotifyChannel::reply(
                  false, QStringLiteral("the request is too long: Tarv reads at most 16384 bytes per request; "
                                        "send a shorter text"))).chopped(1));
    // A request just under the limit is still read.
    const QByteArray padded = R"({"command":"ping","text":")" + QByteArray(16300, 'x') + R"(","seconds":1})" "\n";
    EXPECT_EQ(rawExchange(padded), QByteArray(R"({"ok":true})"));
    // One just over it is refused too, though its newline comes in the read that passes it.
    const QByteArray over = R"({"command":"ping","text":")" + QByteArray(16400, 'x') + R"(","seconds":1})" "\n";
    EXPECT_EQ(rawExchange(over), rawExchange(QByteArray(20000, 'a')));

    // A client that connects and says nothing is told so once its time-out has run out;
    // meanwhile another client is served at once.
    auto silent = std::async(std::launch::async, [this] { return rawExchange({}); });
    EXPECT_TRUE(std::holds_alternative<NotifyChannel::Reply>(ping()));
    EXPECT_EQ(silent.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
        << "the ping waited for the silent client's time-out";
    EXPECT_EQ(silent.get(), tooSlow("1"));
}

TEST_F(ChannelTest, TricklersAreCutOffAtTheDeadlineAndClientsOverTheCapHearTarvIsBusy)
{
    limits.connection = 1;
    limits.connections = 2;
    auto server = serve(echo());
    // Each sends a byte every 50 ms, far inside the time-out of each read, and never a newline;
    // it gives up after three seconds without an answer.
    const auto connected = [this] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = addressOf(socketPath);
        EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    const auto trickle = [](int fd) -> std::optional<QByteArray> {
        std::optional<QByteArray> answer;
        for (int i = 0; i < 60 && !answer; ++i) {
            ::send(fd, "{", 1, MSG_NOSIGNAL);
            pollfd readable{fd, POLLIN, 0};
            if (::poll(&readable, 1, 50) > 0)
                answer = NotifyChannel::readLine(fd, NotifyChannel::maxReplyBytes).value_or("(closed)");
        }
        ::close(fd);
        return answer;
    };
    // Connected first, so they are taken first.
    auto first = std::async(std::launch::async, trickle, connected());
    auto second = std::async(std::launch::async, trickle, connected());

    // While both are served, a third client is told at once, without its request being read.
    const auto outcome = ping();
    ASSERT_TRUE(std::holds_alternative<NotifyChannel::Reply>(outcome));
    EXPECT_EQ(std::get<NotifyChannel::Reply>(outcome),
              NotifyChannel::reply(false, QStringLiteral("Tarv is busy with other requests; try again")));
    EXPECT_EQ(seenCount(), 0);

    EXPECT_EQ(first.get(), tooSlow("1"));
    EXPECT_EQ(second.get(), tooSlow("1"));
    EXPECT_TRUE(waitUntil([&] { return ping() == std::variant<NotifyChannel::Reply, Failure>(NotifyChannel::reply(true)); }));
}

TEST_F(ChannelTest, TwoClientsAreServedAtOnce)
{
    // The handler answers only once both requests are in: a server that took one connection
    // at a time would leave the first client waiting and never read the second.
    std::mutex held;
    QList<NotifyServer::ReplyCallback> waiting;
    auto server = serve([&](const NotifyChannel::Request&, NotifyServer::ReplyCallback reply) {
        QList<NotifyServer::ReplyCallback> both;
        {
            const std::lock_guard lock(held);
            waiting.append(std::move(reply));
            if (waiting.size() == 2)
                both = std::exchange(waiting, {});
        }
        for (const auto& callback : both)
            callback(NotifyChannel::reply(true));
    });
    auto first = std::async(std::launch::async, [this] { return ping(3); });
    auto second = std::async(std::launch::async, [this] { return ping(3); });
    EXPECT_TRUE(std::holds_alternative<NotifyChannel::Reply>(first.get()));
    EXPECT_TRUE(std::holds_alternative<NotifyChannel::Reply>(second.get()));
}

TEST_F(ChannelTest, AHandlerThatDropsTheRequestLetsTheClientGo)
{
    auto server = serve([](const NotifyChannel::Request&, NotifyServer::ReplyCallback) {});
    const auto outcome = ping();
    ASSERT_TRUE(std::holds_alternative<NotifyChannel::Reply>(outcome));
    EXPECT_EQ(std::get<NotifyChannel::Reply>(outcome),
              NotifyChannel::reply(false, QStringLiteral("Tarv is shutting down")));
}

TEST_F(ChannelTest, ALeftoverSocketIsReplacedButOneStillServedIsLeftAlone)
{
    QDir().mkpath(QFileInfo(socketPath).absolutePath());
    // Left behind by a copy that ended: nobody listens.
    ::close(bindListener(socketPath));
    ASSERT_TRUE(QFile::exists(socketPath));
    auto first = serve(echo());
    EXPECT_TRUE(std::holds_alternative<NotifyChannel::Reply>(ping()));

    // A second copy finds the first answering and changes nothing.
    SocketNotifyServer second(socketPath, echo(), limits);
    const auto error = second.start();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::alreadyServed);
    second.stop();
    EXPECT_TRUE(std::holds_alternative<NotifyChannel::Reply>(ping()));
    first.reset();

    // A copy that listens but does not answer in time is alive all the same: its socket stays.
    const int hung = bindListener(socketPath);
    ASSERT_GE(hung, 0);
    struct stat before {};
    ::stat(QFile::encodeName(socketPath).constData(), &before);
    SocketNotifyServer third(socketPath, echo(), limits);
    const auto slow = third.start();
    ASSERT_TRUE(slow);
    EXPECT_EQ(slow->kind, Kind::alreadyServed);
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(socketPath).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(failureOf(ping(0.2)), Failure::Kind::timedOut);
    ::close(hung);
}

TEST_F(ChannelTest, WhatAtTheSocketPathIsNoCopyOfTarvIsReplaced)
{
    QDir().mkpath(QFileInfo(socketPath).absolutePath());
    const auto startsServing = [this] {
        SocketNotifyServer server(socketPath, echo(), limits);
        const auto error = server.start();
        EXPECT_FALSE(error) << (error ? int(error->kind) : -1);
        return !error && std::holds_alternative<NotifyChannel::Reply>(ping());
    };

    // Peers that accept the ping and hang up without a word, or answer nonsense.
    for (const QByteArray& answer : {QByteArray(), QByteArray("nonsense\n")}) {
        const int listener = bindListener(socketPath);
        ASSERT_GE(listener, 0);
        std::thread peer([listener, answer] {
            const int fd = ::accept(listener, nullptr, nullptr);
            NotifyChannel::readLine(fd, NotifyChannel::maxRequestBytes);
            NotifyChannel::writeAll(answer, fd);
            ::close(fd);
        });
        EXPECT_TRUE(startsServing()) << answer.toStdString();
        peer.join();
        ::close(listener);
    }

    // A link planted at the path is not Tarv, even when it leads to a server that answers;
    // that server's own socket stays.
    const QString tarvPath = std::exchange(socketPath, dir.filePath(QStringLiteral("other.sock")));
    auto other = serve(echo());
    const QString elsewhere = std::exchange(socketPath, tarvPath);
    ASSERT_TRUE(QFile::link(elsewhere, socketPath));
    EXPECT_TRUE(startsServing());
    EXPECT_TRUE(QFileInfo::exists(elsewhere));

    // A socket this user may not reach (root reaches every one).
    if (::geteuid() != 0) {
        const int listener = bindListener(socketPath);
        ASSERT_GE(listener, 0);
        ::chmod(QFile::encodeName(socketPath).constData(), 0);
        EXPECT_TRUE(startsServing());
        ::close(listener);
    }
}

TEST_F(ChannelTest, ClientFailuresAreToldApart)
{
    QDir().mkpath(QFileInfo(socketPath).absolutePath());
    const int listener = bindListener(socketPath);
    ASSERT_GE(listener, 0);
    // A peer that answers nonsense, then one that hangs up without answering.
    std::thread peer([listener] {
        for (const QByteArray& answer : {QByteArray("nonsense\n"), QByteArray()}) {
            const int fd = ::accept(listener, nullptr, nullptr);
            NotifyChannel::readLine(fd, NotifyChannel::maxRequestBytes);
            NotifyChannel::writeAll(answer, fd);
            ::close(fd);
        }
    });
    auto outcome = ping();
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    EXPECT_EQ(std::get<Failure>(outcome).message, QStringLiteral("the app's answer made no sense: nonsense"));
    outcome = ping();
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    EXPECT_EQ(std::get<Failure>(outcome).message, QStringLiteral("the app closed the connection without answering"));
    peer.join();
    ::close(listener);

    // Paths of 103 bytes fit; one more does not, for the client and the server alike.
    const QString base = dir.filePath(QStringLiteral("p"));
    const QString fits = base + QString(103 - QFile::encodeName(base).size(), u'x');
    const QString tooLong = fits + u'x';
    socketPath = fits;
    auto server = serve(echo());
    EXPECT_TRUE(std::holds_alternative<NotifyChannel::Reply>(ping()));
    socketPath = tooLong;
    outcome = ping();
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    EXPECT_EQ(std::get<Failure>(outcome).message, QStringLiteral("the socket path is too long: ") + tooLong);
    const auto error = SocketNotifyServer(tooLong, echo(), limits).start();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message, QStringLiteral("the socket path is longer than a Unix socket allows: ") + tooLong);
}

TEST_F(ChannelTest, LongRepliesReachTheClientWhole)
{
    // A long `screen list` or `screen check` answer is far above the request limit.
    QStringList lines;
    for (int i = 0; i < 4000; ++i)
        lines.append(QStringLiteral("line %1 of a long answer").arg(i));
    auto server = serve([&](const NotifyChannel::Request&, NotifyServer::ReplyCallback reply) {
        NotifyChannel::Reply answer = NotifyChannel::reply(true);
        answer.insert(QStringLiteral("lines"), QJsonArray::fromStringList(lines));
        reply(answer);
    });
    const auto outcome = ping();
    ASSERT_TRUE(std::holds_alternative<NotifyChannel::Reply>(outcome));
    EXPECT_EQ(std::get<NotifyChannel::Reply>(outcome).value(QStringLiteral("lines")).toArray().size(), 4000);
}

TEST_F(ChannelTest, APeerOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    auto server = serve(echo());
    // Open the way for the other user, so that only the server's own check stands.
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(QFileInfo(socketPath).absolutePath()).constData(), 0755);
    ::chmod(QFile::encodeName(socketPath).constData(), 0666);
    const sockaddr_un address = addressOf(socketPath);
    const QByteArray line = NotifyChannel::encodeLine(NotifyChannel::request(QStringLiteral("ping"), QString(), 1));

    // The child does only what is safe after fork in a threaded process.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            ::_exit(11);
        if (::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) < 0) {
            // The server may have closed the connection before the write; without
            // MSG_NOSIGNAL that would end the child with SIGPIPE.
        }
        char byte;
        ::_exit(::read(fd, &byte, 1) > 0 ? 12 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no other user, 11: could not connect, 12: got an answer";
    EXPECT_EQ(seenCount(), 0);
    // The owner is still served.
    EXPECT_TRUE(std::holds_alternative<NotifyChannel::Reply>(ping()));
}

}  // namespace
