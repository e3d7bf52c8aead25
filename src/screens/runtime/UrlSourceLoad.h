#pragma once
// One load of a URL source's address, redirects included. The user approved the address with
// the headers it sends: a redirect within that scheme, host and port keeps them; one to
// another origin goes without them and without any credentials in the address; none goes
// from https to http, and a load follows at most `maxRedirects` of them. Its time limits and
// its size limit hold for the whole load.

#include "screens/format/CustomScreen.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

class UrlSourceLoad : public QObject {
    Q_OBJECT

public:
    static constexpr int maxRedirects = 10;
    // What the reply holds at most before the body is read from it.
    static constexpr qint64 readBufferBytes = 64 * 1024;

    struct Outcome {
        // Why there is no body; none when the server answered with a success status.
        std::optional<QString> failure;
        QByteArray body;
        // The last address a redirect led to, without credentials; none without redirects.
        std::optional<QUrl> redirectedTo;
    };

    UrlSourceLoad(QNetworkAccessManager& session, CustomScreen::DataSource::Url source, qsizetype maxBodyBytes,
                  double idleTimeout, double deadline, QObject* parent = nullptr);
    // Ends a load still under way without calling `onDone`.
    ~UrlSourceLoad() override;

    // Runs once, on this object's thread, when the load ends in any way.
    std::function<void(Outcome)> onDone;

    void start();
    // Ends the load at once; `onDone` still runs, with a failure.
    void abort();

private:
    void get(const QUrl& address);
    void stop(const QString& message);
    void replyFinished();
    // The next address, or why the redirect is not followed.
    std::optional<QString> follow(const QUrl& target);
    void finish(Outcome outcome);

    QNetworkAccessManager& m_session;
    const CustomScreen::DataSource::Url m_source;
    const qsizetype m_maxBodyBytes;
    QTimer* m_idle;
    QTimer* m_deadline;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    std::optional<QString> m_stopped;
    std::optional<QUrl> m_redirectedTo;
    // Off for good once a redirect left the approved origin.
    bool m_withSourceHeaders = true;
    int m_redirects = 0;
    bool m_done = false;
};
