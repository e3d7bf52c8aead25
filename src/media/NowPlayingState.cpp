#include "media/NowPlayingState.h"

QString NowPlayingState::sourceName(Source source)
{
    switch (source) {
    case Source::appleMusic:
        return QStringLiteral("Apple Music");
    case Source::spotify:
        return QStringLiteral("Spotify");
    case Source::none:
        break;
    }
    return QStringLiteral("No player");
}

std::optional<NowPlayingState::Source> NowPlayingState::sourceFromName(const QString& name)
{
    for (Source s : {Source::appleMusic, Source::spotify, Source::none}) {
        if (name == sourceName(s))
            return s;
    }
    return std::nullopt;
}

QString NowPlayingState::artworkKey() const
{
    if (source == Source::none || artworkID.isEmpty())
        return {};
    return sourceName(source) + QLatin1Char(':') + artworkID;
}
