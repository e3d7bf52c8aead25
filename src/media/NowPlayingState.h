#pragma once
// What the music player is playing, as the Now Playing page shows it: a plain value that the
// player poll replaces and the page builders read.

#include <QString>

#include <cstdint>
#include <optional>

struct NowPlayingState {
    // musicPlayer: any MPRIS player other than Spotify that plays or is paused.
    enum class Source { musicPlayer, spotify, none };

    // "Music player", "Spotify", "No player".
    static QString sourceName(Source source);
    // Exact match of one of the three names; none for anything else.
    static std::optional<Source> sourceFromName(const QString& name);

    // A default-built state is the idle state: nothing plays.
    QString title = QStringLiteral("Nothing Playing");
    QString artist = QStringLiteral("Open a music player or Spotify");
    double duration = 0;  // seconds
    double elapsed = 0;   // seconds
    bool isPlaying = false;
    Source source = Source::none;
    QString artworkID;
    QString artworkURL;
    // The answering player's MPRIS Identity ("VLC media player"); empty without a player.
    QString player;
    bool hasArtwork = false;          // the backdrop of this track is on the device
    std::uint32_t accent = 0xFFB020;  // 0xRRGGBB

    static NowPlayingState idle() { return {}; }

    // The player's own name when it gave one, else the source's name.
    QString playerName() const;
    // Identifies one track's artwork by the player, the artwork id and the artwork URL:
    // empty without a player or an artwork id. Two players of the music player source never
    // share a key, and neither do two pictures of one reused track id.
    QString artworkKey() const;

    friend bool operator==(const NowPlayingState&, const NowPlayingState&) = default;
};
