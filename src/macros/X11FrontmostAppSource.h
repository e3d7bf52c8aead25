#pragma once
// The frontmost application on an X11 desktop: follows _NET_ACTIVE_WINDOW on the root
// window through property events and maps the active window to a desktop entry.

#include "macros/FrontmostAppSource.h"
#include "macros/WindowAppMatcher.h"
#include "macros/X11WindowFacts.h"
#include "platform/DesktopEntries.h"

#include <cstdint>
#include <optional>

struct xcb_connection_t;
class QSocketNotifier;

class X11FrontmostAppSource final : public FrontmostAppSource {
    Q_OBJECT
public:
    // Connects to the display named by DISPLAY. A Wayland session counts as no display:
    // X11 there sees only the windows of X11 programs and would switch on half the truth.
    explicit X11FrontmostAppSource(QString ownId = QStringLiteral("tarv"),
                                   QString ownName = QStringLiteral("Tarv"),
                                   QObject* parent = nullptr);
    ~X11FrontmostAppSource() override;

    bool isAvailable() const override;
    QString unavailableReason() const override;
    QString description() const override;
    std::optional<FrontmostApp> frontmostApp() override;

private:
    void processEvents();
    std::optional<std::uint32_t> activeWindow();
    std::optional<FrontmostApp> appOfWindow(std::uint32_t window);
    void markBroken();
    // Drains the event queue; true when _NET_ACTIVE_WINDOW changed.
    bool takeActiveWindowChange();
    void reportActiveWindow();

    xcb_connection_t* m_connection = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_activeWindowAtom = 0;
    std::optional<X11WindowFacts> m_windows;
    QString m_unavailableReason;
    std::optional<FrontmostApp> m_lastReported;
    WindowAppMatcher m_matcher;
    DesktopEntryIndex m_index;
};

