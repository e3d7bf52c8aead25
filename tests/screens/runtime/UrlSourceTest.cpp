// URL sources against a small HTTP server on 127.0.0.1 that the test runs itself.

#include "platform/HttpGet.h"
#include "screens/runtime/ScreenDataFetcher.h"
#include "support/WaitUntil.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Failure = ScreenDataFetcher::Failure;

// Answers each request by its path, then closes the connection. Refuses connections past a
// small bound, so a client gone wrong cannot keep it busy.
class TestServer {
public:
    using Answer = std::function<void(QTcpSocket*)>;

    TestServer()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(&m_server);
                if (++m_connections > 16) {
                    socket->abort();
                    continue;
                }
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            }
        });
    }

    QString url(const char* path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(QString::fromUtf8(path));
    }

    void on(const QByteArray& path, Answer answer) { m_answers.insert(path, std::move(answer)); }

    static void reply(QTcpSocket* socket, const QByteArray& status, const QByteArray& body,
                      const QByteArray& headers = {})
    {
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + headers + "\r\n" + body);
        socket->disconnectFromHost();
    }

    // The head of every request received, in order.
    QList<QByteArray> heads;

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_pending[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        heads.append(head);
        QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        const QByteArray path = head.split(' ').value(1);
        if (const auto answer = m_answers.constFind(path); answer != m_answers.constEnd())
            (*answer)(socket);
        else
            reply(socket, "404 Not Found", "{}");
    }

    QTcpServer m_server;
    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket*, QByteArray> m_pending;
    int m_connections = 0;
};

// A response without end from a thread of its own, sent as fast as the client takes it, so that
// it keeps coming while the test's thread, which reads it, is busy: `first`, then `repeated`
// again and again. By default an endless chunked body.
class EndlessResponse {
public:
    static inline const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, 'x') + "\r\n";

    explicit EndlessResponse(QByteArray first = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunk,
                             QByteArray repeated = chunk)
        : m_first(std::move(first)), m_repeated(std::move(repeated))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(m_listener, 1), 0);
        EXPECT_EQ(::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
        m_port = ntohs(address.sin_port);
        EXPECT_EQ(::pipe2(m_wake, O_CLOEXEC), 0);
        m_thread = std::thread([this] { serve(); });
    }
    ~EndlessResponse()
    {
        m_ending = true;
        {
            std::lock_guard lock(m_mutex);
            m_go = true;
        }
        m_changed.notify_all();
        ::close(m_wake[1]);
        m_thread.join();
        ::close(m_wake[0]);
        ::close(m_listener);
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/endless").arg(m_port); }
    bool asked() const { return m_asked; }

    // Lets the response go.
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_go = true;
        m_changed.notify_all();
    }

    // Lets the response go, then returns what the client took of it by the time it took nothing
    // more for a while, or once it took `enough`. Runs no event loop.
    qint64 sendUntilStalled(qint64 enough)
    {
        std::unique_lock lock(m_mutex);
        m_enough = enough;
        m_go = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_stalled || m_sent >= m_enough; });
        return m_sent;
    }

private:
    enum class Ready { yes, idle, ending };

    Ready waitFor(int fd, short events, int idleMs = -1)
    {
        pollfd fds[2] = {{fd, events, 0}, {m_wake[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, idleMs);
        if (ready < 0)
            return errno == EINTR ? Ready::idle : Ready::ending;
        if (fds[1].revents != 0)
            return Ready::ending;
        return ready == 0 ? Ready::idle : Ready::yes;
    }

    void serve()
    {
        if (waitFor(m_listener, POLLIN) != Ready::yes)
            return;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        QByteArray head;
        while (!head.contains("\r\n\r\n") && waitFor(fd, POLLIN) == Ready::yes) {
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            head.append(buffer, got);
        }
        m_asked = true;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_go; });
        }
        QByteArray out = m_first;
        qsizetype at = 0;
        while (!m_ending) {
            const ssize_t put = ::send(fd, out.constData() + at, size_t(out.size() - at), MSG_NOSIGNAL);
            if (put > 0) {
                at += put;
                if (at == out.size()) {
                    out = m_repeated;
                    at = 0;
                }
                std::lock_guard lock(m_mutex);
                m_sent += put;
                if (m_sent >= m_enough)
                    m_changed.notify_all();
                continue;
            }
            if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                break;
            const Ready ready = waitFor(fd, POLLOUT, stallMs);
            if (ready == Ready::ending)
                break;
            if (ready == Ready::idle) {
                std::lock_guard lock(m_mutex);
                m_stalled = true;
                m_changed.notify_all();
            }
        }
        ::close(fd);
    }

    // How long the client may take nothing before it counts as having stopped taking.
    static constexpr int stallMs = 250;

    const QByteArray m_first;
    const QByteArray m_repeated;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic_bool m_asked = false;
    std::atomic_bool m_ending = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_go = false;
    bool m_stalled = false;
    qint64 m_enough = 0;
    qint64 m_sent = 0;
};

CustomScreen::DataSource urlSource(const QString& url, std::optional<QString> field = std::nullopt,
                                   QMap<QString, QString> headers = {})
{
    CustomScreen::DataSource source;
    source.key = QStringLiteral("u");
    source.kind = CustomScreen::DataSource::Url{QUrl(url), std::move(field), std::move(headers)};
    return source;
}

struct UrlSources : ::testing::Test {
    TestServer server;
    ScreenDataFetcher fetcher;

    ScreenDataFetcher::Result fetch(const CustomScreen::DataSource& source, QSet<QString> paths = {},
                                    bool whole = true)
    {
        std::optional<ScreenDataFetcher::Result> result;
        QObject context;
        fetcher.fetch(source, paths, whole, &context, [&](ScreenDataFetcher::Result r) { result = std::move(r); });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(Failure{QStringLiteral("no result")});
    }

    QString failureOf(const CustomScreen::DataSource& source)
    {
        const auto result = fetch(source);
        EXPECT_TRUE(std::holds_alternative<Failure>(result));
        return std::holds_alternative<Failure>(result) ? std::get<Failure>(result).message : QString();
    }

    QByteArray header(const QByteArray& name) const
    {
        for (const QByteArray& line : server.heads.value(0).split('\n')) {
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }
};

} // namespace

TEST_F(UrlSources, JsonPathsFromTheBody)
{
    server.on("/weather", [](QTcpSocket* s) {
        TestServer::reply(s, "200 OK", R"({"data": {"main": {"temp": 21.5, "sky": "clear"}}})");
    });
    const auto result = fetch(urlSource(server.url("/weather"), QStringLiteral("data.main")),
                              {QStringLiteral("temp"), QStringLiteral("rain")}, false);
    const auto values = std::get<ScreenDataFetcher::Values>(result);
    EXPECT_EQ(values.value(QStringLiteral("u.temp")), ScreenDataFetcher::Entry(QStringLiteral("21.5")));
    EXPECT_EQ(values.value(QStringLiteral("u.rain")),
              ScreenDataFetcher::Entry(Failure{QStringLiteral("no \"rain\" under \"data.main\"")}));
    EXPECT_EQ(values.size(), 2);

    // Chunks, an extension and a trailer: the body is what the chunks hold, whatever comes after.
    server.on("/chunked", [](QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "6;ext=1\r\n{\"v\": \r\n3\r\n4.5\r\n1\r\n}\r\n0\r\nX-Trailer: t\r\n\r\nleft over");
    });
    EXPECT_EQ(fetch(urlSource(server.url("/chunked"), QStringLiteral("v"))),
              ScreenDataFetcher::Result(ScreenDataFetcher::Values{{QStringLiteral("u"), QStringLiteral("4.5")}}));
}

TEST_F(UrlSources, StatusOutsideSuccessFails)
{
    server.on("/broken", [](QTcpSocket* s) { TestServer::reply(s, "500 Internal Server Error", R"({"v": 1})"); });
    EXPECT_EQ(failureOf(urlSource(server.url("/broken"))), QStringLiteral("HTTP 500"));
    EXPECT_EQ(failureOf(urlSource(server.url("/missing"))), QStringLiteral("HTTP 404"));
}

TEST_F(UrlSources, HeadersDefaultsOverridesAndNoCookies)
{
    server.on("/h", [](QTcpSocket* s) { TestServer::reply(s, "200 OK", "1", "Set-Cookie: session=abc\r\n"); });
    fetch(urlSource(server.url("/h"), std::nullopt, {{QStringLiteral("X-Key"), QStringLiteral("k1")}}));
    EXPECT_EQ(header("Accept"), "application/json");
    EXPECT_EQ(header("User-Agent"), "Tarv/0.1 (custom screen)");
    EXPECT_EQ(header("X-Key"), "k1");

    server.heads.clear();
    fetch(urlSource(server.url("/h"), std::nullopt,
                    {{QStringLiteral("user-agent"), QStringLiteral("mine")},
                     {QStringLiteral("Accept"), QStringLiteral("text/plain")}}));
    EXPECT_EQ(header("User-Agent"), "mine");
    EXPECT_EQ(header("Accept"), "text/plain");
    EXPECT_EQ(header("Cookie"), QByteArray());
    EXPECT_EQ(server.heads.value(0).count("User-Agent") + server.heads.value(0).count("user-agent"), 1);
}

TEST_F(UrlSources, HeaderWithLineBreakIsNotSent)
{
    EXPECT_EQ(failureOf(urlSource(server.url("/h"), std::nullopt,
                                  {{QStringLiteral("X-A"), QStringLiteral("1\r\nX-Injected: 2")}})),
              QStringLiteral("the header \"X-A\" holds a line break"));
    EXPECT_EQ(failureOf(urlSource(server.url("/h"), std::nullopt, {{QStringLiteral("X\nB"), QStringLiteral("1")}})),
              QStringLiteral("the header \"X\nB\" holds a line break"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(server.heads.isEmpty());
}

TEST_F(UrlSources, BodyOverOneMebibyteFails)
{
    const QString message = QStringLiteral("the response is larger than 1 MB");
    server.on("/declared", [](QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\nContent-Length: 2000000\r\n\r\n{\"a\":");
    });
    EXPECT_EQ(failureOf(urlSource(server.url("/declared"))), message);
    // Without a length the body is counted as it comes.
    server.on("/stream", [](QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + QByteArray(ScreenDataFetcher::maxBodyBytes + 1, 'x'));
        s->disconnectFromHost();
    });
    EXPECT_EQ(failureOf(urlSource(server.url("/stream"))), message);
    server.on("/exact", [](QTcpSocket* s) {
        TestServer::reply(s, "200 OK", "7" + QByteArray(ScreenDataFetcher::maxBodyBytes - 1, '\n'));
    });
    EXPECT_EQ(fetch(urlSource(server.url("/exact"))),
              ScreenDataFetcher::Result(ScreenDataFetcher::Values{{QStringLiteral("u"), QStringLiteral("7")}}));
}

TEST_F(UrlSources, AnEndlessBodyComesNoFasterThanItIsRead)
{
    EndlessResponse endless;
    std::optional<ScreenDataFetcher::Result> result;
    QObject context;
    fetcher.fetch(urlSource(endless.url()), {}, true, &context,
                  [&](ScreenDataFetcher::Result r) { result = std::move(r); });
    ASSERT_TRUE(waitUntil([&] { return endless.asked(); }));
    // While this thread, the reader, is busy, the load takes in what it can hold and no more:
    // the rest waits at the server.
    EXPECT_LT(endless.sendUntilStalled(128 * 1024 * 1024), 32 * 1024 * 1024);
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, ScreenDataFetcher::Result(Failure{QStringLiteral("the response is larger than 1 MB")}));
}

// Header lines without end, one header without end, a status line without end, interim answers
// without end: each is cut off once the head passes its limit, long before any deadline.
TEST_F(UrlSources, AHeadWithoutEndIsDroppedAtSixtyFourKilobytes)
{
    const QByteArray line = "X-Filler: " + QByteArray(50, 'a') + "\r\n";
    const std::pair<QByteArray, QByteArray> heads[] = {
        {"HTTP/1.1 200 OK\r\n", line.repeated(1000)},
        {"HTTP/1.1 200 OK\r\nX-Long: ", QByteArray(0x10000, 'a')},
        {"HTTP/1.1 200 ", QByteArray(0x10000, 'O')},
        {"HTTP/1.1 100 Continue\r\n\r\n", QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(1000)},
    };
    for (const auto& [first, repeated] : heads) {
        EndlessResponse endless(first, repeated);
        std::optional<ScreenDataFetcher::Result> result;
        QObject context;
        fetcher.fetch(urlSource(endless.url()), {}, true, &context,
                      [&](ScreenDataFetcher::Result r) { result = std::move(r); });
        ASSERT_TRUE(waitUntil([&] { return endless.asked(); }));
        endless.release();
        ASSERT_TRUE(waitUntil([&] { return result.has_value(); })) << first.toPercentEncoding().toStdString();
        EXPECT_EQ(*result, ScreenDataFetcher::Result(Failure{QStringLiteral("the server's headers are larger than 64 KB")}))
            << first.toPercentEncoding().toStdString();
    }
}

TEST_F(UrlSources, SilentServerAndEndlessBodyTimeOut)
{
    fetcher.urlIdleTimeout = 0.2;
    fetcher.urlDeadline = 0.5;
    server.on("/silent", [](QTcpSocket*) {});
    EXPECT_EQ(failureOf(urlSource(server.url("/silent"))), QStringLiteral("the server sent nothing for 0.2 s"));

    // A byte every 50 ms keeps the idle time-out away; the overall deadline still ends it.
    server.on("/drip", [](QTcpSocket* s) {
        s->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        auto* drip = new QTimer(s);
        QObject::connect(drip, &QTimer::timeout, s, [s] { s->write("1"); });
        drip->start(50);
    });
    EXPECT_EQ(failureOf(urlSource(server.url("/drip"))), QStringLiteral("the response took longer than 0.5 s"));
}

TEST_F(UrlSources, TransportErrorIsTheClientsDescription)
{
    // Nothing listens on that port once the probe is closed.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    probe.close();
    const QString message = failureOf(urlSource(refused));
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(message.startsWith(QStringLiteral("HTTP")));
}

TEST_F(UrlSources, RedirectsToAnotherOriginGoWithoutTheSourcesHeaders)
{
    TestServer cdn;
    const QString away = cdn.url("/data");
    cdn.on("/data", [](QTcpSocket* s) { TestServer::reply(s, "200 OK", "7"); });
    server.on("/moved", [](QTcpSocket* s) { TestServer::reply(s, "302 Found", "", "Location: /here\r\n"); });
    server.on("/here", [](QTcpSocket* s) { TestServer::reply(s, "200 OK", "42"); });
    server.on("/away", [away](QTcpSocket* s) {
        TestServer::reply(s, "302 Found", "", "Location: " + away.toUtf8() + "\r\n");
    });
    server.on("/loop", [](QTcpSocket* s) {
        TestServer::reply(s, "307 Temporary Redirect", "", "Location: /loop\r\n");
    });
    const QMap<QString, QString> secret{{QStringLiteral("Authorization"), QStringLiteral("Bearer s3cret")}};
    const auto values = [](const char* text) {
        return ScreenDataFetcher::Result(ScreenDataFetcher::Values{{QStringLiteral("u"), QString::fromUtf8(text)}});
    };

    // Within the approved origin the headers go on.
    EXPECT_EQ(fetch(urlSource(server.url("/moved"), std::nullopt, secret)), values("42"));
    ASSERT_EQ(server.heads.size(), 2);
    EXPECT_TRUE(server.heads[1].contains("Authorization: Bearer s3cret"));

    // Another origin is followed without them, and the fetch says where it went.
    std::optional<ScreenDataFetcher::Result> result;
    QUrl redirectedTo;
    QObject context;
    fetcher.fetch(
        urlSource(server.url("/away"), std::nullopt, secret), {}, true, &context,
        [&](ScreenDataFetcher::Result r) { result = std::move(r); }, [&](const QUrl& to) { redirectedTo = to; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, values("7"));
    EXPECT_EQ(redirectedTo, QUrl(away));
    ASSERT_EQ(cdn.heads.size(), 1);
    EXPECT_FALSE(cdn.heads[0].contains("Authorization"));
    EXPECT_TRUE(cdn.heads[0].contains("User-Agent: Tarv/0.1 (custom screen)"));

    EXPECT_EQ(failureOf(urlSource(server.url("/loop"))), QStringLiteral("the server redirected more than 10 times"));
}

// Whoever waits for a request may be done with it, or with itself, once it ended: nothing of
// the request is touched after it handed over its end, however it ended.
TEST_F(UrlSources, ARequestMayBeDeletedWhenItEnds)
{
    server.on("/sized", [](QTcpSocket* s) { TestServer::reply(s, "200 OK", "7"); });
    server.on("/broken", [](QTcpSocket* s) { TestServer::reply(s, "500 Internal Server Error", "{}"); });
    for (const char* path : {"/sized", "/broken"}) {
        HttpGet::Request request;
        request.url = QUrl(server.url(path));
        auto* get = new HttpGet(std::move(request));
        std::optional<int> status;
        get->onDone = [&status, get](const HttpGet::Outcome& outcome) {
            status = outcome.status;
            delete get;
        };
        get->start();
        ASSERT_TRUE(waitUntil([&] { return status.has_value(); })) << path;
    }
}

// A name server may keep silent for as long as the resolver waits, ten seconds and more: the
// request ends at its deadline, nothing waits for the lookup (Quit least of all), and its late
// answer goes nowhere. A name that does answer is reached at whichever of its addresses listens.
TEST_F(UrlSources, ANameIsLookedUpWhereNothingWaitsForIt)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> asked = false;
    HttpGet::Request request;
    request.url = QUrl(QStringLiteral("http://silent.example/"));
    request.deadline = std::chrono::milliseconds(200);
    request.lookUp = std::make_shared<const HttpGet::LookUp>([released, &asked](const QByteArray& host) {
        asked = host == "silent.example";
        released.wait();
        return QList<QHostAddress>{QHostAddress::LocalHost};
    });
    auto* get = new HttpGet(std::move(request));
    std::optional<HttpGet::Failure::Kind> failure;
    get->onDone = [&failure](const HttpGet::Outcome& outcome) {
        failure = outcome.failure ? std::optional(outcome.failure->kind) : std::nullopt;
    };
    get->start();
    ASSERT_TRUE(waitUntil([&] { return failure.has_value(); }));
    EXPECT_EQ(failure, HttpGet::Failure::Kind::timedOut);
    EXPECT_TRUE(asked);
    delete get;
    release.set_value();
    QCoreApplication::processEvents();

    server.on("/named", [](QTcpSocket* s) { TestServer::reply(s, "200 OK", "7"); });
    const QString named = server.url("/named").replace(QStringLiteral("127.0.0.1"), QStringLiteral("localhost"));
    EXPECT_EQ(fetch(urlSource(named)),
              ScreenDataFetcher::Result(ScreenDataFetcher::Values{{QStringLiteral("u"), QStringLiteral("7")}}));
    EXPECT_TRUE(header("Host").startsWith("localhost:"));
    // Nothing listens at the first address.
    HttpGet::Request twoAddresses;
    twoAddresses.url = QUrl(QString(named).replace(QStringLiteral("localhost"), QStringLiteral("two.example")));
    twoAddresses.lookUp = std::make_shared<const HttpGet::LookUp>([](const QByteArray&) {
        return QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.2")), QHostAddress::LocalHost};
    });
    HttpGet second(std::move(twoAddresses));
    std::optional<HttpGet::Outcome> outcome;
    second.onDone = [&outcome](HttpGet::Outcome o) { outcome = std::move(o); };
    second.start();
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
    EXPECT_FALSE(outcome->failure);
    EXPECT_EQ(outcome->body, "7");
}
