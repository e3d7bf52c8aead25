#pragma once
// The identity of one device page (a built-in page or a custom screen by its id), and the
// rule that turns a horizontal swipe into the neighbouring page of the swipe list.

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

class DeviceScreen {
public:
    enum class Kind { home, stocks, calculator, nowPlaying, custom, screensaver };

    static DeviceScreen home() { return DeviceScreen(Kind::home); }
    static DeviceScreen stocks() { return DeviceScreen(Kind::stocks); }
    static DeviceScreen calculator() { return DeviceScreen(Kind::calculator); }
    static DeviceScreen nowPlaying() { return DeviceScreen(Kind::nowPlaying); }
    static DeviceScreen custom(QString screenID) { return DeviceScreen(Kind::custom, std::move(screenID)); }
    static DeviceScreen screensaver() { return DeviceScreen(Kind::screensaver); }

    Kind kind() const { return m_kind; }
    bool isCustom() const { return m_kind == Kind::custom; }
    // The custom screen's id; empty for the built-in pages.
    const QString& customID() const { return m_customID; }

    // "home", "stocks", "calculator", "nowPlaying", "screensaver", or the custom id unchanged.
    QString id() const;
    // The fixed title of a built-in page; for a custom page its id (whoever knows the
    // loaded screens shows the screen's own title instead).
    QString title() const;

    // The page a swipe of (dx, dy) device pixels leads to from `current`, or none: the swipe
    // must be at least 60 px wide and more horizontal than vertical, and the list does not
    // wrap at either end.
    static std::optional<DeviceScreen> swipeTarget(int dx, int dy, const QList<DeviceScreen>& pages,
                                                   const DeviceScreen& current);

    friend bool operator==(const DeviceScreen&, const DeviceScreen&) = default;

private:
    explicit DeviceScreen(Kind kind, QString customID = {}) : m_kind(kind), m_customID(std::move(customID)) {}

    Kind m_kind;
    QString m_customID;
};

inline std::size_t qHash(const DeviceScreen& screen, std::size_t seed = 0) noexcept
{
    return qHashMulti(seed, int(screen.kind()), screen.customID());
}

template <>
struct std::hash<DeviceScreen> {
    std::size_t operator()(const DeviceScreen& screen) const noexcept { return qHash(screen); }
};
