#include "screens/runtime/UrlSourceLoad.h"

#include "screens/runtime/ScreenDataFetcher.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>

namespace {

QString schemeOf(const QUrl& url)
{
    return url.scheme().toLower();
}

// Scheme, host and port: what the user approved the source's headers for.
bool sameOrigin(const QUrl& a, const QUrl& b)
{
    const auto port = [](const QUrl& url) {
        const QString scheme = schemeOf(url);
        return url.port(scheme == u"https" ? 443 : scheme == u"http" ? 80 : -1);
    };
    return schemeOf(a) == schemeOf(b) && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && port(a) == port(b);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

int statusOf(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString tooLarge()
{
    return QStringLiteral("the response is larger than 1 MB");
}

int timerMilliseconds(double seconds)
{
    // QTimer takes an int; a day is far beyond any useful wait here.
    return int(std::clamp(seconds * 1000.0, 1.0, 86400000.0));
}

} // namespace

UrlSourceLoad::UrlSourceLoad(QNetworkAccessManager& session, CustomScreen::DataSource::Url source,
                             qsizetype maxBodyBytes, double idleTimeout, double deadline, QObject* parent)
    : QObject(parent), m_session(session), m_source(std::move(source)), m_maxBodyBytes(maxBodyBytes),
      m_idle(new QTimer(this)), m_deadline(new QTimer(this))
{
    m_idle->setSingleShot(true);
    m_idle->setInterval(timerMilliseconds(idleTimeout));
    m_deadline->setSingleShot(true);
    m_deadline->setInterval(timerMilliseconds(deadline));
    connect(m_idle, &QTimer::timeout, this, [this, idleTimeout] {
        stop(QStringLiteral("the server sent nothing for ") + ScreenDataFetcher::limitText(idleTimeout)
             + QStringLiteral(" s"));
    });
    connect(m_deadline, &QTimer::timeout, this, [this, deadline] {
        stop(QStringLiteral("the response took longer than ") + ScreenDataFetcher::limitText(deadline)
             + QStringLiteral(" s"));
    });
}

UrlSourceLoad::~UrlSourceLoad()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void UrlSourceLoad::start()
{
    m_idle->start();
    m_deadline->start();
    get(m_source.url);
}

void UrlSourceLoad::abort()
{
    stop(QStringLiteral("stopped with its screen's sources"));
}

void UrlSourceLoad::get(const QUrl& address)
{
    QNetworkRequest request(address);
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("User-Agent", "Tarv/0.1 (custom screen)");
    if (m_withSourceHeaders) {
        for (auto it = m_source.headers.cbegin(); it != m_source.headers.cend(); ++it)
            request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    }
    // Every load goes to the server and leaves nothing behind: no cache, no cookies.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // Each redirect is looked at here before anything goes to its address.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Over HTTP/1.1 the reply stops reading from the server while its buffer is full; over
    // HTTP/2 it keeps taking what the server sends, however little of it was read.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);

    // The reply stays the session's child: the session may go first, and takes it along.
    QNetworkReply* reply = m_session.get(request);
    m_reply = reply;
    // The size limit is checked as the body is read here; without a bound of its own the reply
    // would take in whatever arrives while this thread is busy elsewhere.
    reply->setReadBufferSize(readBufferBytes);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        m_idle->start();
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!isRedirect(statusOf(reply)) && length.isValid() && length.toLongLong() > m_maxBodyBytes)
            stop(tooLarge());
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        m_idle->start();
        if (m_stopped)
            return;
        // What a redirect carries is not the source's value.
        if (isRedirect(statusOf(reply))) {
            reply->skip(reply->bytesAvailable());
            return;
        }
        if (m_body.size() + reply->bytesAvailable() > m_maxBodyBytes) {
            stop(tooLarge());
            return;
        }
        m_body += reply->readAll();
    });
    connect(reply, &QNetworkReply::finished, this, &UrlSourceLoad::replyFinished);
}

void UrlSourceLoad::stop(const QString& message)
{
    if (!m_stopped)
        m_stopped = message;
    if (m_reply)
        m_reply->abort();
}

void UrlSourceLoad::replyFinished()
{
    QNetworkReply* reply = m_reply;
    m_reply.clear();
    if (!reply)
        return;
    reply->deleteLater();
    const int status = statusOf(reply);
    if (!m_stopped && !isRedirect(status) && reply->bytesAvailable() > 0) {
        if (m_body.size() + reply->bytesAvailable() > m_maxBodyBytes)
            m_stopped = tooLarge();
        else
            m_body += reply->readAll();
    }
    if (m_stopped) {
        finish({m_stopped, {}, m_redirectedTo});
        return;
    }
    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (isRedirect(status) && target.isValid()) {
        if (const std::optional<QString> refused = follow(reply->url().resolved(target.toUrl())))
            finish({refused, {}, m_redirectedTo});
        return;
    }
    if (status != 0 && (status < 200 || status > 299)) {
        finish({QStringLiteral("HTTP ") + QString::number(status), {}, m_redirectedTo});
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        finish({reply->errorString(), {}, m_redirectedTo});
        return;
    }
    finish({std::nullopt, std::exchange(m_body, {}), m_redirectedTo});
}

std::optional<QString> UrlSourceLoad::follow(const QUrl& target)
{
    const QString shown = target.toString(QUrl::RemoveUserInfo);
    if (++m_redirects > maxRedirects)
        return QStringLiteral("the server redirected more than ") + QString::number(maxRedirects)
               + QStringLiteral(" times");
    const QString scheme = schemeOf(target);
    if (!target.isValid() || (scheme != u"http" && scheme != u"https") || target.host().isEmpty())
        return QStringLiteral("the server redirected to ") + shown + QStringLiteral(", which is not an http address");
    if (scheme == u"http" && schemeOf(m_redirectedTo.value_or(m_source.url)) == u"https")
        return QStringLiteral("the server redirected to ") + shown + QStringLiteral(", from https to http");

    QUrl next = target;
    if (m_withSourceHeaders && sameOrigin(target, m_source.url)) {
        // The credentials the address was approved with go on within its origin.
        if (next.userInfo().isEmpty())
            next.setUserInfo(m_source.url.userInfo());
    } else {
        m_withSourceHeaders = false;
        next.setUserInfo({});
    }
    m_redirectedTo = target.adjusted(QUrl::RemoveUserInfo);
    m_body.clear();
    get(next);
    return std::nullopt;
}

void UrlSourceLoad::finish(Outcome outcome)
{
    if (m_done)
        return;
    m_done = true;
    m_idle->stop();
    m_deadline->stop();
    if (onDone)
        onDone(std::move(outcome));
}
