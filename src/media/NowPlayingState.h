#pragma once
// What the music player is playing, as the Now Playing page shows it: a plain value that the
// player poll replaces and the page builders read.

#include <QString>

#include <cstdint>
#include <optional>

struct NowPlayingState {
    enum class Source { appleMusic, spotify, none };

    // "Apple Music", "Spotify", "No player".
    static QString sourceName(Source source);
    // Exact match of one of the three names; none for anything else.
    static std::optional<Source> sourceFromName(const QString& name);

    // A default-built state is the idle state: nothing plays.
    QString title = QStringLiteral("Nothing Playing");
    QString artist = QStringLiteral("Open Music or Spotify");
    double duration = 0;  // seconds
    double elapsed = 0;   // seconds
    bool isPlaying = false;
    Source source = Source::none;
    QString artworkID;
    QString artworkURL;
    bool hasArtwork = false;          // the backdrop of this track is on the device
    std::uint32_t accent = 0xFFB020;  // 0xRRGGBB

    static NowPlayingState idle() { return {}; }

    // Identifies one track's artwork: empty without a player or an artwork id.
    QString artworkKey() const;

    friend bool operator==(const NowPlayingState&, const NowPlayingState&) = default;
};
