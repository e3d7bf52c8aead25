#pragma once
// The ten media keys a macro key can send, each carried as its HID consumer-page usage.

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

enum class MediaKey : std::uint16_t {
    playPause = 0xCD,
    nextTrack = 0xB5,
    previousTrack = 0xB6,
    stop = 0xB7,
    mute = 0xE2,
    volumeUp = 0xE9,
    volumeDown = 0xEA,
    brightnessUp = 0x6F,
    brightnessDown = 0x70,
    eject = 0xB8,
};

// Every case in picker order.
inline constexpr std::array<MediaKey, 10> allMediaKeys = {
    MediaKey::playPause, MediaKey::nextTrack, MediaKey::previousTrack, MediaKey::stop,
    MediaKey::mute,      MediaKey::volumeUp,  MediaKey::volumeDown,    MediaKey::brightnessUp,
    MediaKey::brightnessDown, MediaKey::eject,
};

constexpr std::uint16_t mediaKeyUsage(MediaKey key) { return static_cast<std::uint16_t>(key); }

// The case whose consumer usage this is; none for any other usage.
std::optional<MediaKey> mediaKeyFromUsage(std::uint16_t usage);

QString mediaKeyTitle(MediaKey key);
