#include "pages/DeviceScreen.h"

#include <cstdint>
#include <cstdlib>

QString DeviceScreen::id() const
{
    switch (m_kind) {
    case Kind::home:
        return QStringLiteral("home");
    case Kind::stocks:
        return QStringLiteral("stocks");
    case Kind::calculator:
        return QStringLiteral("calculator");
    case Kind::nowPlaying:
        return QStringLiteral("nowPlaying");
    case Kind::custom:
        return m_customID;
    case Kind::screensaver:
        break;
    }
    return QStringLiteral("screensaver");
}

QString DeviceScreen::title() const
{
    switch (m_kind) {
    case Kind::home:
        return QStringLiteral("Home");
    case Kind::stocks:
        return QStringLiteral("Stocks");
    case Kind::calculator:
        return QStringLiteral("Calculator");
    case Kind::nowPlaying:
        return QStringLiteral("Now Playing");
    case Kind::custom:
        return m_customID;
    case Kind::screensaver:
        break;
    }
    return QStringLiteral("Screensaver");
}

std::optional<DeviceScreen> DeviceScreen::swipeTarget(int dx, int dy, const QList<DeviceScreen>& pages,
                                                      const DeviceScreen& current)
{
    // Widened so that the magnitude of the most negative int is defined.
    const std::int64_t adx = std::llabs(std::int64_t(dx));
    const std::int64_t ady = std::llabs(std::int64_t(dy));
    if (adx < 60 || ady >= adx)
        return std::nullopt;
    const qsizetype i = pages.indexOf(current);
    if (i < 0)
        return std::nullopt;
    const qsizetype target = dx < 0 ? i + 1 : i - 1;
    if (target < 0 || target >= pages.size())
        return std::nullopt;
    return pages[target];
}
