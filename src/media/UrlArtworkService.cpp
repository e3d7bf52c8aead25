#include "media/UrlArtworkService.h"

#include "platform/BoundedFile.h"
#include "platform/HttpGet.h"
#include "platform/OneThreadWorker.h"

#include <QCoreApplication>
#include <QPointer>
#include <QUrl>

#include <chrono>
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

void UrlArtworkService::render(const QPointer<QObject>& context, const BackdropHandler& done,
                               std::function<std::optional<QByteArray>()> read)
{
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
    // Its answer would be dropped: the server is not kept sending it. Gone, it answers nothing,
    // so no download can end after a newer request and take that one's place.
    delete m_download;
    const QUrl url(state.artworkURL);
    const QString scheme = url.scheme().toLower();
    if (state.source == NowPlayingState::Source::none || !url.isValid()) {
        deliver(guard, done, std::nullopt);
        return;
    }
    if (scheme == QLatin1String("file")) {
        render(guard, done, [path = url.toLocalFile()] { return readRegularFile(path, maxBytes); });
        return;
    }
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        deliver(guard, done, std::nullopt);
        return;
    }

    HttpGet::Request request;
    request.url = url;
    request.maxBodyBytes = maxBytes;
    request.deadline = std::chrono::milliseconds(requestDeadlineMs);
    request.idleLimit = std::chrono::milliseconds(transferTimeoutMs);
    request.lookupShare = "artwork";
    auto* get = new HttpGet(std::move(request), this);
    m_download = get;
    get->onDone = [this, get, guard, done](HttpGet::Outcome outcome) {
        get->deleteLater();
        if (outcome.failure || outcome.status < 200 || outcome.status > 299) {
            deliver(guard, done, std::nullopt);
            return;
        }
        render(guard, done, [bytes = std::exchange(outcome.body, {})] { return std::optional(bytes); });
    };
    get->start();
}
