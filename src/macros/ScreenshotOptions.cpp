#include "macros/ScreenshotOptions.h"

QString ScreenshotOptions::rawValue(Mode mode)
{
    switch (mode) {
    case Mode::selection: return QStringLiteral("selection");
    case Mode::window: return QStringLiteral("window");
    case Mode::fullScreen: return QStringLiteral("fullScreen");
    }
    return {};
}

QString ScreenshotOptions::rawValue(Destination destination)
{
    switch (destination) {
    case Destination::file: return QStringLiteral("file");
    case Destination::clipboard: return QStringLiteral("clipboard");
    }
    return {};
}

std::optional<ScreenshotOptions::Mode> ScreenshotOptions::modeFromRawValue(QStringView text)
{
    for (Mode mode : allModes) {
        if (rawValue(mode) == text)
            return mode;
    }
    return std::nullopt;
}

std::optional<ScreenshotOptions::Destination> ScreenshotOptions::destinationFromRawValue(QStringView text)
{
    for (Destination destination : allDestinations) {
        if (rawValue(destination) == text)
            return destination;
    }
    return std::nullopt;
}

QString ScreenshotOptions::label(Mode mode)
{
    switch (mode) {
    case Mode::selection: return QStringLiteral("Selection");
    case Mode::window: return QStringLiteral("Window");
    case Mode::fullScreen: return QStringLiteral("Full Screen");
    }
    return {};
}

QString ScreenshotOptions::label(Destination destination)
{
    switch (destination) {
    case Destination::file: return QStringLiteral("Screenshots folder");
    case Destination::clipboard: return QStringLiteral("Clipboard");
    }
    return {};
}

QString ScreenshotOptions::summary() const
{
    return label(mode) + QStringLiteral(" \u2192 ") + label(destination);
}
