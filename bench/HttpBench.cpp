// Cost to the asking thread of URL sources fetched over HTTPS: one round of twenty requests to
// one origin, as a screen file with twenty sources polled every second makes them each second,
// over kept connections and over a new connection each. The server answers on a thread of its
// own, so the CPU time measured is the client's alone; times 60 it is the client's CPU per
// minute. The client trusts five thousand authorities besides the tests' own, as a company's
// computer may: a new connection must cost no more for them.

#include "BenchHub.h"
#include "platform/HttpGet.h"
#include "platform/HttpTestCertificates.h"
#include "platform/HttpTrust.h"
#include "support/GeneratedCertificates.h"

#include <QEventLoop>
#include <QFile>
#include <QSemaphore>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>

namespace {

// Answers every request with a small JSON body and keeps the connection, as web servers do, or
// closes it after each answer.
class TlsServer : public QThread {
public:
    explicit TlsServer(bool closing = false) : m_closing(closing)
    {
        start();
        m_ready.acquire();
    }
    ~TlsServer() override
    {
        quit();
        wait();
    }
    quint16 port() const { return m_port; }

protected:
    void run() override
    {
        // Before the server, whose sockets use it as they go.
        QHash<QTcpSocket*, QByteArray> pending;
        QSslServer server;
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(QSslCertificate(HttpTestCertificates::server));
        configuration.setPrivateKey(QSslKey(HttpTestCertificates::serverKey, QSsl::Ec));
        server.setSslConfiguration(configuration);
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                socket->setParent(&server);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, &pending, socket] {
                    QByteArray& buffer = pending[socket];
                    buffer += socket->readAll();
                    for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
                        buffer.remove(0, end + 4);
                        const QByteArray body = R"({"data": {"amount": "12345.67"}})";
                        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                                      QByteArray::number(body.size()) + "\r\n" +
                                      (m_closing ? "Connection: close\r\n" : "") + "\r\n" + body);
                        if (m_closing)
                            socket->disconnectFromHost();
                    }
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [&pending, socket] {
                    pending.remove(socket);
                    socket->deleteLater();
                });
            }
        });
        m_port = server.serverPort();
        m_ready.release();
        exec();
    }

private:
    const bool m_closing;
    QSemaphore m_ready;
    std::atomic<quint16> m_port = 0;
};

// The tests' authority among five thousand others in SSL_CERT_FILE, read once for the process.
void trustTheTestsAuthority()
{
    static QTemporaryDir dir;
    static const bool written = [] {
        QByteArray bundle;
        for (const GeneratedCertificates::Authority& stranger : GeneratedCertificates::strangers(5000))
            bundle += stranger.pem();
        QFile file(dir.filePath(QStringLiteral("authorities.pem")));
        const bool ok = file.open(QIODevice::WriteOnly) && file.write(bundle + HttpTestCertificates::authority) > 0;
        qputenv("SSL_CERT_FILE", file.fileName().toLocal8Bit());
        qunsetenv("SSL_CERT_DIR");
        return ok;
    }();
    Q_UNUSED(written);
}

void twentySourcesARound(benchmark::State& state, bool closing)
{
    ensureBenchApp();
    trustTheTestsAuthority();
    TlsServer server(closing);
    int failures = 0;
    for (auto _ : state) {
        int done = 0;
        QEventLoop loop;
        for (int i = 0; i < 20; ++i) {
            HttpGet::Request request;
            request.url = QUrl(QStringLiteral("https://127.0.0.1:%1/source/%2").arg(server.port()).arg(i));
            request.headers = {{"Accept", "application/json"}, {"User-Agent", "Tarv/0.1 (custom screen)"}};
            request.deadline = std::chrono::milliseconds(10000);
            auto* get = new HttpGet(std::move(request));
            get->onDone = [&, get](const HttpGet::Outcome& outcome) {
                failures += outcome.failure || outcome.status != 200;
                get->deleteLater();
                if (++done == 20)
                    loop.quit();
            };
            get->start();
        }
        loop.exec();
    }
    if (failures > 0)
        state.SkipWithError("some requests failed");
}

void BM_HttpsTwentySourcesARound(benchmark::State& state)
{
    twentySourcesARound(state, false);
}
BENCHMARK(BM_HttpsTwentySourcesARound)->Unit(benchmark::kMillisecond);

void BM_HttpsTwentySourcesARoundNewConnectionEach(benchmark::State& state)
{
    twentySourcesARound(state, true);
}
BENCHMARK(BM_HttpsTwentySourcesARoundNewConnectionEach)->Unit(benchmark::kMillisecond);

// One check of a server's chain, with the tests' authority alone or among thousands in the file.
void BM_HttpsServerCheck(benchmark::State& state)
{
    QTemporaryDir dir;
    QByteArray bundle;
    for (const GeneratedCertificates::Authority& stranger : GeneratedCertificates::strangers(int(state.range(0))))
        bundle += stranger.pem();
    QFile file(dir.filePath(QStringLiteral("authorities.pem")));
    if (!file.open(QIODevice::WriteOnly) || file.write(bundle + HttpTestCertificates::authority) < 0)
        state.SkipWithError("the authorities could not be written");
    file.close();
    const HttpTrust trust({file.fileName(), {}});
    const QList<QSslCertificate> chain{QSslCertificate(HttpTestCertificates::server)};
    for (auto _ : state) {
        if (trust.check(chain, QStringLiteral("127.0.0.1")))
            state.SkipWithError("the server was refused");
    }
}
BENCHMARK(BM_HttpsServerCheck)->Arg(0)->Arg(5000)->Unit(benchmark::kMicrosecond);

} // namespace
