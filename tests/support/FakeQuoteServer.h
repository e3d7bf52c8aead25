#pragma once
// A stand-in for the quote service on 127.0.0.1: answers each GET with the reply set for its
// path and query ("/api/quote/AAPL/info?assetclass=stocks"), 404 for any other. It serves a
// bounded number of requests, and a reply marked `hang` never comes, so a test sees what a
// stalled or trickling server does within the bound of its own wait.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

class FakeQuoteServer {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        // Without a Content-Length the body runs until the connection closes.
        bool declareLength = true;
        bool hang = false;
        // The body goes out one byte every 20 ms: never silent, never done in good time.
        bool trickle = false;
    };
    struct Request {
        QString target;  // path and query
        QByteArray userAgent;
        QByteArray accept;
    };

    static constexpr int maxRequests = 64;

    bool start() { return server.listen(QHostAddress::LocalHost, 0) && (connectServer(), true); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }

    void route(const QString& target, const Reply& reply) { replies.insert(target, reply); }
    void info(const QString& symbol, const QString& assetClass, const Reply& reply)
    {
        route(QStringLiteral("/api/quote/%1/info?assetclass=%2").arg(symbol, assetClass), reply);
    }
    void chart(const QString& symbol, const QString& assetClass, const Reply& reply)
    {
        route(QStringLiteral("/api/quote/%1/chart?assetclass=%2").arg(symbol, assetClass), reply);
    }

    QStringList targets() const
    {
        QStringList out;
        for (const Request& request : requests)
            out.append(request.target);
        return out;
    }

    // A found info reply in the service's own words.
    static QByteArray infoBody(const QString& symbol, const QString& company, const QString& price,
                               const QString& change, bool realTime)
    {
        return QStringLiteral(R"({"data":{"symbol":"%1","companyName":"%2","exchange":"NASDAQ-GS",)"
                              R"("primaryData":{"lastSalePrice":"%3","netChange":"+1.00",)"
                              R"("percentageChange":"%4","isRealTime":%5}},"message":null,)"
                              R"("status":{"rCode":200}})")
            .arg(symbol, company, price, change, realTime ? QStringLiteral("true") : QStringLiteral("false"))
            .toUtf8();
    }
    static QByteArray noDataBody()
    {
        return QByteArrayLiteral(R"({"data":null,"message":null,"status":{"rCode":400}})");
    }
    // Points with y = first, first + 1, … as the service sends them.
    static QByteArray chartBody(int points, double first = 100)
    {
        QByteArray body = QByteArrayLiteral(R"({"data":{"symbol":"X","chart":[)");
        for (int i = 0; i < points; ++i) {
            if (i > 0)
                body += ',';
            body += R"({"x":)" + QByteArray::number(1700000000000LL + i * 60000LL) + R"(,"y":)" +
                    QByteArray::number(first + i) + R"(,"z":{}})";
        }
        return body + "]}}";
    }

    QList<Request> requests;

private:
    void connectServer()
    {
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket, buffer] { readFrom(socket, *buffer); });
            }
        });
    }

    void readFrom(QTcpSocket* socket, QByteArray& buffer)
    {
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        buffer.remove(0, end + 4);
        if (requests.size() >= maxRequests) {
            socket->abort();
            return;
        }
        Request request;
        request.target = QString::fromLatin1(lines.first().split(' ').value(1));
        for (const QByteArray& line : lines) {
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed().toLower();
            if (name == "user-agent")
                request.userAgent = line.mid(colon + 1).trimmed();
            else if (name == "accept")
                request.accept = line.mid(colon + 1).trimmed();
        }
        requests.append(request);

        const Reply reply = replies.value(request.target, Reply{404, QByteArrayLiteral("{}")});
        if (reply.hang)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Fake\r\n";
        head += "Content-Type: application/json\r\n";
        if (reply.declareLength)
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        socket->write(head + "Connection: close\r\n\r\n");
        if (!reply.trickle) {
            socket->write(reply.body);
            socket->disconnectFromHost();
            return;
        }
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, body = reply.body, sent = qsizetype(0)]() mutable {
            if (sent < body.size())
                socket->write(body.mid(sent++, 1));
            else
                socket->disconnectFromHost();
        });
        timer->start(20);
    }

    QTcpServer server;
    QHash<QString, Reply> replies;
};
