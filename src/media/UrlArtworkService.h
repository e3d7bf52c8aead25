#pragma once
// Artwork from the URL a player gives for its track (MPRIS "mpris:artUrl"): a local file or
// an HTTP or HTTPS address; other schemes give none. Bodies beyond maxBytes give none.
// Reading, downloading, decoding and rendering stay off the GUI thread.

#include "media/MediaPlaybackService.h"

#include <QObject>

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
};
