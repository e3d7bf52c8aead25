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
    return playerName() + QLatin1Char(':') + artworkID;
}
