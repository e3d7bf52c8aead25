#include "macros/MediaKey.h"

std::optional<MediaKey> mediaKeyFromUsage(std::uint16_t usage)
{
    for (MediaKey key : allMediaKeys) {
        if (mediaKeyUsage(key) == usage)
            return key;
    }
    return std::nullopt;
}

QString mediaKeyTitle(MediaKey key)
{
    switch (key) {
    case MediaKey::playPause: return QStringLiteral("Play/Pause");
    case MediaKey::nextTrack: return QStringLiteral("Next Track");
    case MediaKey::previousTrack: return QStringLiteral("Previous Track");
    case MediaKey::stop: return QStringLiteral("Stop");
    case MediaKey::mute: return QStringLiteral("Mute");
    case MediaKey::volumeUp: return QStringLiteral("Volume Up");
    case MediaKey::volumeDown: return QStringLiteral("Volume Down");
    case MediaKey::brightnessUp: return QStringLiteral("Brightness Up");
    case MediaKey::brightnessDown: return QStringLiteral("Brightness Down");
    case MediaKey::eject: return QStringLiteral("Eject");
    }
    return {};
}
