#pragma once
// Artwork from the URL a player gives for its track (MPRIS "mpris:artUrl"): a local file or
// an HTTP or HTTPS address; other schemes give none. Bodies beyond maxBytes give none.
// Reading, downloading, decoding and rendering stay off the GUI thread. Files are read and
// pictures decoded on a worker of the service's own, one at a time: a newer track's artwork
// takes the place of one still waiting there or still downloading, which is then never
// answered.

#include "media/MediaPlaybackService.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class HttpGet;
class OneThreadWorker;

class UrlArtworkService final : public QObject, public ArtworkService {
    Q_OBJECT
public:
    static constexpr qint64 maxBytes = 16 * 1024 * 1024;
    // A download may go this long without receiving anything, and take this long in all.
    static constexpr int transferTimeoutMs = 15000;
    static constexpr int requestDeadlineMs = 30000;

    explicit UrlArtworkService(QObject* parent = nullptr);
    ~UrlArtworkService() override;

    void fetchArtwork(QObject* context, const NowPlayingState& state, BackdropHandler done) override;

private:
    // Reads the bytes and draws the backdrop on the worker, answering on this thread.
    void render(const QPointer<QObject>& context, const BackdropHandler& done,
                std::function<std::optional<QByteArray>()> read);

    // The download for the newest request, if one is under way: one at most.
    QPointer<HttpGet> m_download;
    std::unique_ptr<OneThreadWorker> m_decoding;
};
