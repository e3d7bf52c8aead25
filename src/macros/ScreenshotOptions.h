#pragma once
// How a screenshot action captures the screen and where the picture goes.

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

struct ScreenshotOptions {
    enum class Mode : std::uint8_t { selection, window, fullScreen };
    enum class Destination : std::uint8_t { file, clipboard };

    static constexpr std::array<Mode, 3> allModes = {Mode::selection, Mode::window, Mode::fullScreen};
    static constexpr std::array<Destination, 2> allDestinations = {Destination::file, Destination::clipboard};

    Mode mode = Mode::selection;
    Destination destination = Destination::file;

    static QString rawValue(Mode mode);
    static QString rawValue(Destination destination);
    // Exact, case-sensitive matches of the stored texts.
    static std::optional<Mode> modeFromRawValue(QStringView text);
    static std::optional<Destination> destinationFromRawValue(QStringView text);

    static QString label(Mode mode);
    static QString label(Destination destination);

    // "Mode → Destination", e.g. "Full Screen → Clipboard".
    QString summary() const;

    friend bool operator==(const ScreenshotOptions&, const ScreenshotOptions&) = default;
};
