#include "media/UrlArtworkService.h"

#include "platform/BoundedFile.h"
#include "platform/OneThreadWorker.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <utility>

namespace {

// Hands the result to the GUI thread; the application object outlives every asker, so the
// hand-over never targets an object that is gone, and the asker is checked on arrival.
void deliver(const QPointer<QObject>& context, const ArtworkService::BackdropHandler& done,
             const std::optional<NowPlayingBackdrop>& backdrop)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [context, done, backdrop] {
            if (context)
                done(backdrop);
        },
        Qt::QueuedConnection);
}

}  // namespace

UrlArtworkService::UrlArtworkService(QObject* parent)
    : QObject(parent), m_decoding(std::make_unique<OneThreadWorker>())
{
}

void UrlArtworkService::render(quint64 request, const QPointer<QObject>& context, const BackdropHandler& done,
                               std::function<std::optional<QByteArray>()> read)
{
    // A download that ends after a newer request was made must not take that one's place.
    if (request != m_requests)
        return;
    m_decoding->runLatest(
        this,
        [read = std::move(read)]() -> std::optional<NowPlayingBackdrop> {
            const std::optional<QByteArray> bytes = read();
            return bytes ? NowPlayingBackdrop::render(*bytes) : std::nullopt;
        },
        [context, done](const std::optional<NowPlayingBackdrop>& backdrop) {
            if (context)
                done(backdrop);
        });
}

UrlArtworkService::~UrlArtworkService() = default;

void UrlArtworkService::fetchArtwork(QObject* context, const NowPlayingState& state, BackdropHandler done)
{
    const QPointer<QObject> guard(context);
    const quint64 asked = ++m_requests;
    const QUrl url(state.artworkURL);
    const QString scheme = url.scheme().toLower();
    if (state.source == NowPlayingState::Source::none || !url.isValid()) {
        deliver(guard, done, std::nullopt);
        return;
    }
    if (scheme == QLatin1String("file")) {
        render(asked, guard, done, [path = url.toLocalFile()] { return readRegularFile(path, maxBytes); });
        return;
    }
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        deliver(guard, done, std::nullopt);
        return;
    }

    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    // Over HTTP/1.1 the reply stops reading from the server while its buffer is full; over
    // HTTP/2 it keeps taking what the server sends, however little of it was read.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    QNetworkReply* reply = m_network->get(request);
    // The body is taken out of the reply as it arrives and counted against the cap here, so
    // that the reply never holds more than its buffer, however busy this thread is.
    reply->setReadBufferSize(readBufferBytes);
    // A server that trickles a byte now and then is never silent for long: the whole
    // download has its own limit too, and ends as any failed download does.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(requestDeadlineMs);
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    const auto take = [reply, body, tooLarge] {
        if (*tooLarge)
            return;
        if (body->size() + reply->bytesAvailable() > maxBytes) {
            *tooLarge = true;
            reply->abort();
            return;
        }
        body->append(reply->readAll());
    };
    connect(reply, &QNetworkReply::readyRead, reply, take);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, tooLarge](qint64, qint64 total) {
        if (total > maxBytes) {
            *tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, asked, reply, body, tooLarge, take, guard, done] {
        reply->deleteLater();
        if (reply->error() == QNetworkReply::NoError)
            take();
        if (*tooLarge || reply->error() != QNetworkReply::NoError) {
            deliver(guard, done, std::nullopt);
            return;
        }
        render(asked, guard, done, [bytes = std::exchange(*body, {})] { return std::optional(bytes); });
    });
}
