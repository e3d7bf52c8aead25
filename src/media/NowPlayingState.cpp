#include "media/NowPlayingState.h"

QString NowPlayingState::sourceName(Source source)
{
    switch (source) {
    case Source::musicPlayer:
        return QStringLiteral("Music player");
    case Source::spotify:
        return QStringLiteral("Spotify");
    case Source::none:
        break;
    }
    return QStringLiteral("No player");
}

std::optional<NowPlayingState::Source> NowPlayingState::sourceFromName(const QString& name)
{
    for (Source s : {Source::musicPlayer, Source::spotify, Source::none}) {
        if (name == sourceName(s))
            return s;
    }
    return std::nullopt;
}

QString NowPlayingState::playerName() const
{
    if (source != Source::none && !player.isEmpty())
        return player;
    return sourceName(source);
}

QString NowPlayingState::artworkKey() const
{
    if (source == Source::none || artworkID.isEmpty())
        return {};
    // Players reuse track ids (after a restart, or for every track of a stream): the picture's
    // own address tells a new picture from the last one. A line break is in neither part.
    if (!artworkURL.isEmpty())
        return playerName() + QLatin1Char(':') + artworkID + QLatin1Char('\n') + artworkURL;
    return playerName() + QLatin1Char(':') + artworkID;
}
