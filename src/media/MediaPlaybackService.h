#pragma once
// What the hub asks of the desktop's music players, and of the artwork behind their tracks.
// Both answer later, on the GUI thread, and only while the asking object still exists.

#include "media/NowPlayingBackdrop.h"
#include "media/NowPlayingState.h"

#include <functional>
#include <optional>

class QObject;

class MediaPlaybackService {
public:
    using StateHandler = std::function<void(const NowPlayingState&)>;
    using SeekHandler = std::function<void(bool accepted)>;

    virtual ~MediaPlaybackService() = default;
    // What plays now; the idle state when no player plays or answers. Never fails.
    virtual void nowPlaying(QObject* context, StateHandler done) = 0;
    // Asks the player of `playing` to jump to `seconds` (negative: the start) in that track.
    virtual void seek(QObject* context, const NowPlayingState& playing, double seconds, SeekHandler done) = 0;
};

class ArtworkService {
public:
    using BackdropHandler = std::function<void(const std::optional<NowPlayingBackdrop>&)>;

    virtual ~ArtworkService() = default;
    // The backdrop of the state's artwork; none when it cannot be had or is no image. A newer
    // request may take the place of one not yet answered, which then goes unanswered.
    virtual void fetchArtwork(QObject* context, const NowPlayingState& state, BackdropHandler done) = 0;
};
