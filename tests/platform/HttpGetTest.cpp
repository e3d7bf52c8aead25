// The HTTP client against servers and proxies the tests run on loopback: connections kept
// between requests, proxies from the environment, hosts with an address that never answers,
// shared lookups, deadlines and TLS.

#include "HttpTestCertificates.h"
#include "platform/HttpConnections.h"
#include "platform/HttpGet.h"
#include "support/WaitUntil.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Kind = HttpGet::Failure::Kind;

// Takes requests one after another on each connection and answers each as `answer` says; by
// default with its number on the connection, keeping the connection open.
class Server {
public:
    using Answer = std::function<void(QTcpSocket*, const QByteArray& head, int connection)>;

    explicit Server(std::unique_ptr<QTcpServer> server = std::make_unique<QTcpServer>(),
                    const QHostAddress& address = QHostAddress::LocalHost)
        : m_server(std::move(server))
    {
        EXPECT_TRUE(m_server->listen(address, 0));
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                socket->setParent(m_server.get());
                const int connection = ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket, connection] { read(socket, connection); });
            }
        });
    }

    quint16 port() const { return m_server->serverPort(); }
    QString url(const QString& host, const char* path = "/") const
    {
        return QStringLiteral("%1://%2:%3%4")
            .arg(qobject_cast<QSslServer*>(m_server.get()) ? QStringLiteral("https") : QStringLiteral("http"), host)
            .arg(port())
            .arg(QString::fromLatin1(path));
    }

    static void reply(QTcpSocket* socket, const QByteArray& body, const QByteArray& headers = {})
    {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + headers +
                      "\r\n" + body);
    }

    Answer answer = [this](QTcpSocket* socket, const QByteArray&, int) {
        reply(socket, QByteArray::number(heads.size()));
    };
    int connections = 0;
    QList<QByteArray> heads;

private:
    void read(QTcpSocket* socket, int connection)
    {
        QByteArray& buffer = m_pending[socket];
        buffer += socket->readAll();
        for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
            const QByteArray head = buffer.left(end);
            buffer.remove(0, end + 4);
            heads.append(head);
            answer(socket, head, connection);
        }
    }

    std::unique_ptr<QTcpServer> m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

std::unique_ptr<QTcpServer> tlsServer()
{
    auto server = std::make_unique<QSslServer>();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(HttpTestCertificates::server));
    configuration.setPrivateKey(QSslKey(HttpTestCertificates::serverKey, QSsl::Ec));
    server->setSslConfiguration(configuration);
    return server;
}

QByteArray headerOf(const QByteArray& head, const QByteArray& name)
{
    for (const QByteArray& line : head.split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    }
    return {};
}

// Runs one request to its end.
HttpGet::Outcome get(HttpGet::Request request)
{
    HttpGet get(std::move(request));
    std::optional<HttpGet::Outcome> outcome;
    get.onDone = [&outcome](HttpGet::Outcome o) { outcome = std::move(o); };
    get.start();
    EXPECT_TRUE(waitUntil([&] { return outcome.has_value(); }, 10000));
    return outcome.value_or(HttpGet::Outcome{HttpGet::Failure{Kind::stopped, QStringLiteral("never ended")}, 0, {}, {}});
}

HttpGet::Request to(const QString& url)
{
    HttpGet::Request request;
    request.url = QUrl(url);
    request.deadline = std::chrono::milliseconds(5000);
    return request;
}

QString failureOf(const HttpGet::Outcome& outcome)
{
    return outcome.failure ? outcome.failure->message : QString();
}

// Every name is 127.0.0.1.
std::shared_ptr<const HttpGet::LookUp> loopback()
{
    return std::make_shared<const HttpGet::LookUp>(
        [](const QByteArray&) { return QList<QHostAddress>{QHostAddress::LocalHost}; });
}

// Sets environment variables for a test and puts back what was there.
class Environment {
public:
    Environment(std::initializer_list<std::pair<const char*, QByteArray>> values)
    {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"}) {
            m_saved.append({name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
            qunsetenv(name);
        }
        for (const auto& [name, value] : values)
            qputenv(name, value);
    }
    ~Environment()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }

private:
    QList<std::pair<const char*, std::optional<QByteArray>>> m_saved;
};

// Answers CONNECT as `answer` says, and a request for a whole address with 200 "proxied".
class Proxy {
public:
    using Answer = std::function<void(QTcpSocket*)>;

    Proxy()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(&m_server);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            }
        });
    }

    QByteArray address(const QByteArray& credentials = {}) const
    {
        return "http://" + (credentials.isEmpty() ? QByteArray() : credentials + '@') + "127.0.0.1:" +
               QByteArray::number(m_server.serverPort());
    }

    // Joins the client to `port` on 127.0.0.1 once it asked for a tunnel.
    static Answer tunnelTo(quint16 port)
    {
        return [port](QTcpSocket* client) {
            auto* origin = new QTcpSocket(client);
            QObject::connect(origin, &QTcpSocket::connected, client,
                             [client] { client->write("HTTP/1.1 200 Connection established\r\n\r\n"); });
            QObject::connect(origin, &QTcpSocket::readyRead, client, [client, origin] { client->write(origin->readAll()); });
            QObject::connect(client, &QTcpSocket::readyRead, origin, [client, origin] { origin->write(client->readAll()); });
            origin->connectToHost(QHostAddress::LocalHost, port);
        };
    }

    Answer connectAnswer;
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
        buffer.remove(0, end + 4);
        if (head.startsWith("CONNECT ")) {
            QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
            connectAnswer(socket);
        } else {
            Server::reply(socket, "proxied");
        }
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
};

} // namespace

// A source fetched again and again goes over the connection it used before, as long as the
// server keeps it; one the server closed or spoiled is not used again, and a request that meets
// a connection closed as it was sent goes again on a new one.
TEST(HttpGetTest, AConnectionIsKeptForTheNextRequestWhileTheServerKeepsIt)
{
    Environment noProxies({});
    Server server;
    const QString url = server.url(QStringLiteral("127.0.0.1"));
    for (int round = 1; round <= 3; ++round)
        EXPECT_EQ(get(to(url)).body, QByteArray::number(round));
    EXPECT_EQ(server.connections, 1);

    // A server that closes after answering: the next request opens a new connection.
    server.answer = [&server](QTcpSocket* socket, const QByteArray&, int) {
        Server::reply(socket, QByteArray::number(server.heads.size()), "Connection: close\r\n");
        socket->disconnectFromHost();
    };
    EXPECT_EQ(get(to(url)).body, "4");
    EXPECT_EQ(get(to(url)).body, "5");
    EXPECT_EQ(server.connections, 2);

    // A kept connection that the server drops as the next request arrives: the request goes
    // again on a new connection.
    server.answer = [&server](QTcpSocket* socket, const QByteArray&, int connection) {
        if (connection == 3 && server.heads.size() == 7) {
            socket->abort();
            return;
        }
        Server::reply(socket, QByteArray::number(server.heads.size()));
    };
    EXPECT_EQ(get(to(url)).body, "6");
    const HttpGet::Outcome again = get(to(url));
    EXPECT_EQ(failureOf(again), QString());
    EXPECT_EQ(again.body, "8");
    EXPECT_EQ(server.connections, 4);

    // A server that answers twice: the second answer belongs to no request, and since such an
    // answer may come late, after the next request went out, no connection to that server
    // carries a second request any more.
    server.answer = [&server](QTcpSocket* socket, const QByteArray&, int) {
        Server::reply(socket, QByteArray::number(server.heads.size()));
        Server::reply(socket, "stale");
    };
    EXPECT_EQ(get(to(url)).body, "9");
    server.answer = [&server](QTcpSocket* socket, const QByteArray&, int) {
        Server::reply(socket, QByteArray::number(server.heads.size()));
    };
    for (int round = 10; round <= 12; ++round)
        EXPECT_EQ(get(to(url)).body, QByteArray::number(round));
    EXPECT_EQ(server.connections, 7);
}

// Many requests at once to one origin share at most a few connections, each waiting its turn
// within its own deadline.
TEST(HttpGetTest, RequestsToOneOriginTakeTurnsOnAFewConnections)
{
    Environment noProxies({});
    Server server;
    std::vector<std::unique_ptr<HttpGet>> gets;
    int done = 0;
    for (int i = 0; i < 20; ++i) {
        gets.push_back(std::make_unique<HttpGet>(to(server.url(QStringLiteral("127.0.0.1")))));
        gets.back()->onDone = [&done](const HttpGet::Outcome& outcome) { done += !outcome.failure; };
        gets.back()->start();
    }
    ASSERT_TRUE(waitUntil([&] { return done == 20; }));
    EXPECT_LE(server.connections, HttpConnections::perRoute);
}

// http_proxy takes http requests whole, with the proxy's credentials for the proxy alone;
// https_proxy tunnels to the origin, whose certificate is checked against its own name;
// no_proxy reaches hosts directly; what a proxy does wrong ends the request with its reason.
TEST(HttpGetTest, ProxiesFromTheEnvironment)
{
    Server origin;
    Proxy proxy;
    HttpGet::Request request = to(origin.url(QStringLiteral("origin.test"), "/path?q=1"));
    request.lookUp = loopback();
    request.originHeaders = {{"X-Secret", "s3cret"}};
    {
        Environment through({{"http_proxy", proxy.address("user:p%40ss")}, {"no_proxy", "example.com, 10.0.0.0/8"}});
        EXPECT_EQ(get(request).body, "proxied");
        ASSERT_EQ(proxy.heads.size(), 1);
        EXPECT_TRUE(proxy.heads[0].startsWith("GET " + request.url.toEncoded() + " HTTP/1.1\r\n"));
        EXPECT_EQ(headerOf(proxy.heads[0], "Host"), "origin.test:" + QByteArray::number(origin.port()));
        EXPECT_EQ(headerOf(proxy.heads[0], "Proxy-Authorization"), "Basic " + QByteArray("user:p@ss").toBase64());
        EXPECT_TRUE(origin.heads.isEmpty());
    }
    const std::pair<const char*, QByteArray> bypasses[] = {
        {"no_proxy", ".test"}, {"NO_PROXY", "*"}, {"no_proxy", "origin.test:" + QByteArray::number(origin.port())}};
    for (const auto& [variable, value] : bypasses) {
        Environment direct({{"http_proxy", proxy.address()}, {variable, value}});
        EXPECT_EQ(failureOf(get(request)), QString()) << value.toStdString();
    }
    {
        // Another program's request may set HTTP_PROXY for a CGI program: not a proxy setting.
        Environment cgi({{"HTTP_PROXY", proxy.address()}});
        EXPECT_EQ(failureOf(get(request)), QString());
    }
    EXPECT_EQ(origin.heads.size(), 4);
    EXPECT_EQ(proxy.heads.size(), 1);

    Server tlsOrigin(tlsServer());
    QTemporaryDir dir;
    QFile authority(dir.filePath(QStringLiteral("ca.pem")));
    ASSERT_TRUE(authority.open(QIODevice::WriteOnly) && authority.write(HttpTestCertificates::authority) > 0);
    authority.close();
    // The configuration is made once for the process, at its first TLS connection.
    qputenv("SSL_CERT_FILE", authority.fileName().toLocal8Bit());
    HttpGet::Request secure = to(tlsOrigin.url(QStringLiteral("origin.test")));
    secure.originHeaders = {{"X-Secret", "s3cret"}};
    Environment tunnel({{"https_proxy", proxy.address("user:pw")}});
    proxy.connectAnswer = Proxy::tunnelTo(tlsOrigin.port());
    const HttpGet::Outcome tunnelled = get(secure);
    EXPECT_EQ(failureOf(tunnelled), QString());
    EXPECT_EQ(tunnelled.body, "1");
    ASSERT_EQ(proxy.heads.size(), 2);
    const QByteArray target = "origin.test:" + QByteArray::number(tlsOrigin.port());
    EXPECT_EQ(proxy.heads[1], "CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                                  "\r\nProxy-Authorization: Basic " + QByteArray("user:pw").toBase64());
    ASSERT_EQ(tlsOrigin.heads.size(), 1);
    EXPECT_EQ(headerOf(tlsOrigin.heads[0], "X-Secret"), "s3cret");
    EXPECT_EQ(headerOf(tlsOrigin.heads[0], "Proxy-Authorization"), QByteArray());
    // The name the certificate is checked against is the origin's, not the proxy's.
    secure.url.setHost(QStringLiteral("other.test"));
    EXPECT_FALSE(failureOf(get(secure)).isEmpty());
    EXPECT_EQ(tlsOrigin.heads.size(), 1);

    const QString name = QStringLiteral("the proxy 127.0.0.1:") + QString::fromLatin1(proxy.address().split(':').last());
    proxy.connectAnswer = [](QTcpSocket* socket) {
        socket->write("HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\nContent-Length: 0\r\n\r\n");
    };
    EXPECT_EQ(failureOf(get(secure)), name + QStringLiteral(" asks for a user name and password (HTTP 407)"));
    proxy.connectAnswer = [](QTcpSocket* socket) {
        socket->write("HTTP/1.1 200 OK\r\n" + QByteArray("X-Filler: " + QByteArray(90, 'a') + "\r\n").repeated(1000));
    };
    EXPECT_EQ(failureOf(get(secure)), name + QStringLiteral(" sent headers larger than 64 KB"));
    proxy.connectAnswer = [](QTcpSocket* socket) { socket->write("HTTP/1.1 200 OK\r\n\r\nHTTP/1.1 200 OK\r\n"); };
    EXPECT_EQ(failureOf(get(secure)), name + QStringLiteral(" sent more than its answer"));

    const std::pair<QByteArray, const char*> unusable[] = {
        {"::garbage::", "the proxy in https_proxy is not an address"},
        {"socks5://127.0.0.1:1", "the proxy in https_proxy is not an http:// proxy"}};
    for (const auto& [value, message] : unusable) {
        Environment garbage({{"https_proxy", value}});
        EXPECT_EQ(failureOf(get(secure)), QString::fromLatin1(message));
    }
}

// A host whose first address never answers (a broken route) is reached at its next address
// 250 ms later, long before the first connection attempt would give up.
TEST(HttpGetTest, AnAddressThatNeverAnswersDelaysTheNextByAQuarterSecond)
{
    Environment noProxies({});
    Server server;
    // A listener whose backlog is full drops every further connection attempt unanswered.
    const int hole = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(server.port());
    address.sin_addr.s_addr = inet_addr("127.0.0.2");
    ASSERT_EQ(::bind(hole, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(hole, 0), 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    HttpGet::Request request = to(server.url(QStringLiteral("two.test")));
    request.deadline = std::chrono::milliseconds(3000);
    request.lookUp = std::make_shared<const HttpGet::LookUp>([](const QByteArray&) {
        return QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.2")), QHostAddress::LocalHost};
    });
    QElapsedTimer clock;
    clock.start();
    const HttpGet::Outcome outcome = get(request);
    EXPECT_EQ(failureOf(outcome), QString());
    EXPECT_EQ(outcome.body, "1");
    EXPECT_GE(clock.elapsed(), 250);
    ::close(filler);
    ::close(hole);
}

// A name is looked up once however many requests want it meanwhile, and a kind of caller that
// keeps its lookups waiting cannot take the lookups of the others.
TEST(HttpGetTest, LookupsAreSharedAndEachKindOfCallerHasItsOwn)
{
    Environment noProxies({});
    Server server;
    // Requests to one origin open one connection until its server answers: the three that want
    // the same name meanwhile go to three origins of that name.
    Server second;
    Server third;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto asked = std::make_shared<QHash<QByteArray, int>>();
    std::mutex mutex;
    const auto lookUp = std::make_shared<const HttpGet::LookUp>([released, asked, &mutex](const QByteArray& host) {
        {
            const std::lock_guard lock(mutex);
            ++(*asked)[host];
        }
        released.wait();
        return QList<QHostAddress>{QHostAddress::LocalHost};
    });
    std::vector<std::unique_ptr<HttpGet>> gets;
    std::map<int, HttpGet::Outcome> outcomes;
    const auto start = [&](const QString& host, const QByteArray& share, const Server& origin) {
        HttpGet::Request request = to(origin.url(host));
        request.lookUp = lookUp;
        request.lookupShare = share;
        gets.push_back(std::make_unique<HttpGet>(std::move(request)));
        gets.back()->onDone = [&outcomes, i = int(gets.size()) - 1](HttpGet::Outcome o) { outcomes[i] = std::move(o); };
        gets.back()->start();
    };
    for (const Server* origin : {&server, &second, &third})
        start(QStringLiteral("same.test"), "screens", *origin);
    for (int i = 1; i < HostLookups::perShare; ++i)
        start(QStringLiteral("n%1.test").arg(i), "screens", server);
    start(QStringLiteral("one-too-many.test"), "screens", server);
    start(QStringLiteral("artwork.test"), "artwork", server);
    ASSERT_TRUE(waitUntil([&] { return outcomes.count(int(gets.size()) - 2) > 0; }));
    EXPECT_EQ(failureOf(outcomes[int(gets.size()) - 2]), QStringLiteral("too many names are being looked up at once"));
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == gets.size(); }));
    const std::lock_guard lock(mutex);
    EXPECT_EQ(asked->value("same.test"), 1);
    EXPECT_EQ(asked->value("artwork.test"), 1);
    EXPECT_EQ(asked->value("one-too-many.test"), 0);
    EXPECT_EQ(std::count_if(outcomes.cbegin(), outcomes.cend(), [](const auto& o) { return !o.second.failure; }),
              qsizetype(gets.size()) - 1);
}

// The deadline is a wall-clock bound: it never ends a request before it passed.
TEST(HttpGetTest, TheDeadlineNeverEndsARequestEarly)
{
    Environment noProxies({});
    Server silent;
    silent.answer = [](QTcpSocket*, const QByteArray&, int) {};
    constexpr int count = 12;
    const auto deadline = [](int i) { return std::chrono::milliseconds(200 + 13 * i); };
    std::vector<std::unique_ptr<HttpGet>> gets;
    std::vector<qint64> endedAfter;
    // An event loop that waits for events, not one that polls and sleeps between them: that
    // would make every timer late.
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        HttpGet::Request request = to(silent.url(QStringLiteral("127.0.0.1")));
        request.deadline = deadline(i);
        gets.push_back(std::make_unique<HttpGet>(std::move(request)));
        gets.back()->onDone = [&, i](const HttpGet::Outcome& outcome) {
            EXPECT_EQ(outcome.failure ? std::optional(outcome.failure->kind) : std::nullopt, Kind::timedOut);
            EXPECT_GE(clock.nsecsElapsed(), std::chrono::nanoseconds(deadline(i)).count()) << i;
            endedAfter.push_back(clock.elapsed());
            if (endedAfter.size() == count)
                loop.quit();
        };
        gets.back()->start();
    }
    loop.exec();
    EXPECT_EQ(endedAfter.size(), size_t(count));
}

// Two requests over https share one TLS connection, and the certificate authorities of
// SSL_CERT_FILE are trusted as OpenSSL's own tools trust them.
TEST(HttpGetTest, HttpsKeepsItsConnectionAndTrustsTheAuthoritiesOfTheEnvironment)
{
    Environment noProxies({});
    Server server(tlsServer());
    QTemporaryDir dir;
    QFile authority(dir.filePath(QStringLiteral("ca.pem")));
    ASSERT_TRUE(authority.open(QIODevice::WriteOnly) && authority.write(HttpTestCertificates::authority) > 0);
    authority.close();
    qputenv("SSL_CERT_FILE", authority.fileName().toLocal8Bit());
    HttpGet::Request request = to(server.url(QStringLiteral("localhost")));
    request.lookUp = loopback();
    for (int round = 1; round <= 2; ++round) {
        const HttpGet::Outcome outcome = get(request);
        EXPECT_EQ(failureOf(outcome), QString());
        EXPECT_EQ(outcome.body, QByteArray::number(round));
    }
    EXPECT_EQ(server.connections, 1);
    // Another name than the certificate's is refused.
    request.url.setHost(QStringLiteral("wrong.test"));
    EXPECT_FALSE(failureOf(get(request)).isEmpty());
    EXPECT_EQ(server.heads.size(), 2);
}

namespace {

QByteArray pathOf(const QByteArray& head)
{
    return head.split(' ').value(1);
}

// Requests under way at once, their outcomes collected by index.
struct Batch {
    std::vector<std::unique_ptr<HttpGet>> gets;
    std::map<int, HttpGet::Outcome> outcomes;
    QEventLoop* waiting = nullptr;

    void start(HttpGet::Request request)
    {
        gets.push_back(std::make_unique<HttpGet>(std::move(request)));
        gets.back()->onDone = [this, i = int(gets.size()) - 1](HttpGet::Outcome o) {
            outcomes[i] = std::move(o);
            if (waiting && done())
                waiting->quit();
        };
        gets.back()->start();
    }
    bool done() const { return outcomes.size() == gets.size(); }
    // Runs the event loop until every request ended, waking for events rather than polling,
    // which would hold up each step of a request for a turn of the poll.
    bool wait(int boundMs = 30000)
    {
        if (!done()) {
            QEventLoop loop;
            waiting = &loop;
            QTimer::singleShot(boundMs, &loop, &QEventLoop::quit);
            loop.exec();
            waiting = nullptr;
        }
        return done();
    }
};

} // namespace

// A hundred sources of one server, six of whose addresses never answer: the hung requests hold
// connections only until the server's silence passes its limit, which counts from the moment a
// request is written; every other source gets its value, none of them blamed on the server.
TEST(HttpGetTest, HungAddressesOfAServerNeverStarveTheOthers)
{
    Environment noProxies({});
    Server server;
    const QSet<QByteArray> hangs{"/source/5", "/source/22", "/source/39", "/source/56", "/source/73", "/source/90"};
    const auto hung = [&hangs](const QByteArray& path) { return hangs.contains(path); };
    server.answer = [&hung](QTcpSocket* socket, const QByteArray& head, int) {
        if (!hung(pathOf(head)))
            Server::reply(socket, pathOf(head));
    };
    Batch batch;
    for (int i = 0; i < 100; ++i) {
        HttpGet::Request request = to(server.url(QStringLiteral("127.0.0.1")) + QStringLiteral("source/%1").arg(i));
        request.idleLimit = std::chrono::milliseconds(300);
        request.deadline = std::chrono::milliseconds(30000);
        request.lookupShare = "screens";
        batch.start(std::move(request));
    }
    ASSERT_TRUE(batch.wait());
    int silent = 0;
    for (const auto& [i, outcome] : batch.outcomes) {
        const QByteArray path = "/source/" + QByteArray::number(i);
        if (hung(path)) {
            ++silent;
            EXPECT_EQ(outcome.failure ? std::optional(outcome.failure->kind) : std::nullopt, Kind::silent) << i;
        } else {
            EXPECT_EQ(failureOf(outcome), QString()) << i;
            EXPECT_EQ(outcome.body, path);
        }
    }
    EXPECT_EQ(silent, 6);
}

// A server that has answered nothing gets one connection; a request that only waited for it
// says so when its deadline passes, and one that was sent says the server took too long.
TEST(HttpGetTest, AServerThatNeverAnsweredGetsOneConnection)
{
    Environment noProxies({});
    Server silent;
    silent.answer = [](QTcpSocket*, const QByteArray&, int) {};
    Batch batch;
    for (int i = 0; i < 3; ++i) {
        HttpGet::Request request = to(silent.url(QStringLiteral("127.0.0.1")));
        request.deadline = std::chrono::milliseconds(i == 0 ? 600 : 300);
        batch.start(std::move(request));
    }
    ASSERT_TRUE(batch.wait());
    EXPECT_EQ(silent.connections, 1);
    const QString origin = QStringLiteral("http://127.0.0.1:") + QString::number(silent.port());
    for (const auto& [i, outcome] : batch.outcomes) {
        ASSERT_TRUE(outcome.failure) << i;
        if (i == 0) {
            EXPECT_EQ(outcome.failure->kind, Kind::timedOut);
            continue;
        }
        EXPECT_EQ(outcome.failure->kind, Kind::waited) << i;
        EXPECT_TRUE(outcome.failure->message.startsWith(QStringLiteral("waited 0.")) &&
                    outcome.failure->message.endsWith(QStringLiteral(" s for a free connection to ") + origin))
            << outcome.failure->message.toStdString();
    }
}

// Requests of one kind of caller that hang may hold every connection of a server, beyond which
// another kind still gets one of its own, and its answer meanwhile.
TEST(HttpGetTest, OneKindOfCallerNeverHoldsEveryConnectionOfAServer)
{
    Environment noProxies({});
    Server server;
    server.answer = [](QTcpSocket* socket, const QByteArray& head, int) {
        if (!pathOf(head).startsWith("/hang"))
            Server::reply(socket, pathOf(head));
    };
    const auto request = [&server](const char* path, const QByteArray& share) {
        HttpGet::Request made = to(server.url(QStringLiteral("127.0.0.1"), path));
        made.deadline = std::chrono::milliseconds(60000);
        made.lookupShare = share;
        return made;
    };
    // The server has answered once: it may have every connection.
    EXPECT_EQ(get(request("/first", "screens")).body, "/first");
    Batch hanging;
    for (int i = 0; i < 2 * HttpConnections::perRoute; ++i)
        hanging.start(request("/hang", "screens"));
    ASSERT_TRUE(waitUntil([&] { return server.heads.size() == 1 + HttpConnections::perRoute; }));
    EXPECT_EQ(server.connections, HttpConnections::perRoute);
    Batch artwork;
    artwork.start(request("/artwork", "artwork"));
    ASSERT_TRUE(artwork.wait());
    EXPECT_EQ(artwork.outcomes[0].body, "/artwork");
    EXPECT_TRUE(hanging.outcomes.empty());
    EXPECT_EQ(server.connections, HttpConnections::perRoute + 1);
}

// What a server wrote that no request asked for bars a connection from the next request while it
// still waits on the socket, before Qt has read any of it; so does the server's close.
TEST(HttpConnectionsTest, BytesOnTheSocketItselfBarAConnectionFromTheNextRequest)
{
    using Between = HttpConnections::Between;
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    ASSERT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState && listener.hasPendingConnections(); }));
    std::unique_ptr<QTcpSocket> server(listener.nextPendingConnection());
    EXPECT_EQ(HttpConnections::between(&client), Between::quiet);

    // Sent and arrived, but the event loop has not turned: Qt's buffer is still empty.
    const QByteArray stray = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nstale";
    ASSERT_EQ(::send(int(server->socketDescriptor()), stray.constData(), size_t(stray.size()), MSG_NOSIGNAL), stray.size());
    EXPECT_EQ(client.bytesAvailable(), 0);
    EXPECT_EQ(HttpConnections::between(&client), Between::stray);

    // Read, it is in Qt's buffer instead.
    ASSERT_TRUE(waitUntil([&] { return client.bytesAvailable() == stray.size(); }));
    EXPECT_EQ(HttpConnections::between(&client), Between::stray);
    client.readAll();
    EXPECT_EQ(HttpConnections::between(&client), Between::quiet);

    // Closed by the server, which Qt has not noticed yet.
    ::shutdown(int(server->socketDescriptor()), SHUT_WR);
    EXPECT_EQ(client.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(HttpConnections::between(&client), Between::closed);
    EXPECT_EQ(HttpConnections::between(nullptr), Between::closed);
}
