// Cost to the asking thread of URL sources fetched over HTTPS: one round of twenty requests to
// one origin, as a screen file with twenty sources polled every second makes them each second.
// The server answers on a thread of its own, so the CPU time measured is the client's alone;
// times 60 it is the client's CPU per minute.

#include "BenchHub.h"
#include "platform/HttpGet.h"
#include "platform/HttpTestCertificates.h"

#include <QEventLoop>
#include <QSemaphore>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>

namespace {

// Answers every request with a small JSON body and keeps the connection, as web servers do.
class TlsServer : public QThread {
public:
    TlsServer()
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
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [&pending, socket] {
                    QByteArray& buffer = pending[socket];
                    buffer += socket->readAll();
                    for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
                        buffer.remove(0, end + 4);
                        const QByteArray body = R"({"data": {"amount": "12345.67"}})";
                        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                                      QByteArray::number(body.size()) + "\r\n\r\n" + body);
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
    QSemaphore m_ready;
    std::atomic<quint16> m_port = 0;
};

void BM_HttpsTwentySourcesARound(benchmark::State& state)
{
    ensureBenchApp();
    // The tests' authority, trusted through Qt's default configuration alone.
    qunsetenv("SSL_CERT_FILE");
    qunsetenv("SSL_CERT_DIR");
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    trusting.setCaCertificates({QSslCertificate(HttpTestCertificates::authority)});
    QSslConfiguration::setDefaultConfiguration(trusting);
    TlsServer server;
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
BENCHMARK(BM_HttpsTwentySourcesARound)->Unit(benchmark::kMillisecond);

} // namespace
