#include "macros/X11FrontmostAppSource.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>

X11FrontmostAppSource::X11FrontmostAppSource(QString ownId, QString ownName, QObject* parent)
    : FrontmostAppSource(parent)
    , m_matcher(std::move(ownId), std::move(ownName))
{
    if (isWaylandSession()) {
        m_unavailableReason = QStringLiteral(
            "This is a Wayland session: the application in front cannot be followed here.");
        return;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        m_unavailableReason = QStringLiteral(
            "There is no X11 display: the application in front cannot be followed.");
        return;
    }
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        m_unavailableReason = QStringLiteral(
            "The X11 display could not be opened: the application in front cannot be followed.");
        return;
    }
    m_root = X11WindowFacts::rootWindow(m_connection, screenNumber);

    m_windows.emplace(m_connection);
    m_activeWindowAtom = m_windows->internAtom("_NET_ACTIVE_WINDOW");

    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);

    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection),
                                     QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11FrontmostAppSource::processEvents);
    // Replies read while waiting may have queued events behind them without the socket
    // becoming readable again; look at the queue before the loop sleeps.
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &X11FrontmostAppSource::processEvents);
}

X11FrontmostAppSource::~X11FrontmostAppSource()
{
    delete m_notifier;
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool X11FrontmostAppSource::isAvailable() const { return m_connection != nullptr; }

QString X11FrontmostAppSource::unavailableReason() const { return m_unavailableReason; }

QString X11FrontmostAppSource::description() const
{
    return m_connection ? QStringLiteral("Apps are followed through the X11 display.") : QString();
}

void X11FrontmostAppSource::markBroken()
{
    // Called from the notifier's own signal: it goes once that signal has returned.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    m_windows.reset();
    xcb_disconnect(m_connection);
    m_connection = nullptr;
    m_unavailableReason = QStringLiteral(
        "The connection to the X11 display was lost: the application in front is no longer followed.");
    emit availabilityChanged();
}

void X11FrontmostAppSource::processEvents()
{
    // The round trips that look a window up can read later events into xcb's queue without
    // the socket becoming readable again, so go round until the queue stays empty.
    while (m_connection && takeActiveWindowChange())
        reportActiveWindow();
}

bool X11FrontmostAppSource::takeActiveWindowChange()
{
    bool activeChanged = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (notify->window == m_root && notify->atom == m_activeWindowAtom)
                activeChanged = true;
        }
        std::free(event);
    }
    if (xcb_connection_has_error(m_connection)) {
        markBroken();
        return false;
    }
    return activeChanged;
}

void X11FrontmostAppSource::reportActiveWindow()
{
    const auto window = activeWindow();
    if (!window || *window == XCB_WINDOW_NONE)
        return; // nothing in front (the desktop itself): keep the profile
    const auto app = appOfWindow(*window);
    if (!app || app == m_lastReported)
        return; // another window of the same application is no change of application
    m_lastReported = app;
    emit activated(*app);
}

std::optional<std::uint32_t> X11FrontmostAppSource::activeWindow()
{
    const QList<std::uint32_t> value = m_windows->values(m_root, m_activeWindowAtom, XCB_ATOM_WINDOW);
    if (value.isEmpty())
        return std::nullopt;
    return value.front();
}

std::optional<FrontmostApp> X11FrontmostAppSource::appOfWindow(std::uint32_t window)
{
    const WindowFacts facts = m_windows->facts(window);
    if (xcb_connection_has_error(m_connection))
        return std::nullopt;
    if (facts.gtkApplicationId.isEmpty() && facts.wmClass.isEmpty() && facts.wmInstance.isEmpty()
        && facts.executable.isEmpty() && !facts.ownProcess)
        return FrontmostApp{}; // a window that says nothing about itself: an unnamed app
    return m_matcher.match(facts, m_index.entries());
}

std::optional<FrontmostApp> X11FrontmostAppSource::frontmostApp()
{
    if (!m_connection)
        return std::nullopt;
    const auto window = activeWindow();
    if (!window || *window == XCB_WINDOW_NONE)
        return std::nullopt;
    auto app = appOfWindow(*window);
    if (app)
        m_lastReported = app;
    return app;
}

