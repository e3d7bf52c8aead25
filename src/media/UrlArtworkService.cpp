#include "media/UrlArtworkService.h"

#include "platform/BoundedFile.h"
#include "platform/HttpGet.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>

#include <chrono>
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

void renderOffThread(const QPointer<QObject>& context, const ArtworkService::BackdropHandler& done,
                     const QByteArray& bytes)
{
    QThreadPool::globalInstance()->start(
        [context, done, bytes] { deliver(context, done, NowPlayingBackdrop::render(bytes)); });
}

}  // namespace

UrlArtworkService::UrlArtworkService(QObject* parent) : QObject(parent) {}

UrlArtworkService::~UrlArtworkService() = default;

void UrlArtworkService::fetchArtwork(QObject* context, const NowPlayingState& state, BackdropHandler done)
{
    const QPointer<QObject> guard(context);
    const QUrl url(state.artworkURL);
    const QString scheme = url.scheme().toLower();
    if (state.source == NowPlayingState::Source::none || !url.isValid()) {
        deliver(guard, done, std::nullopt);
        return;
    }
    if (scheme == QLatin1String("file")) {
        const QString path = url.toLocalFile();
        QThreadPool::globalInstance()->start([guard, done, path] {
            const std::optional<QByteArray> bytes = readRegularFile(path, maxBytes);
            deliver(guard, done, bytes ? NowPlayingBackdrop::render(*bytes) : std::nullopt);
        });
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
    auto* get = new HttpGet(std::move(request), this);
    get->onDone = [get, guard, done](HttpGet::Outcome outcome) {
        get->deleteLater();
        if (outcome.failure || outcome.status < 200 || outcome.status > 299) {
            deliver(guard, done, std::nullopt);
            return;
        }
        renderOffThread(guard, done, std::exchange(outcome.body, {}));
    };
    get->start();
}
