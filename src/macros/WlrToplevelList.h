#pragma once
// The windows that a wlroots compositor lists to other programs (its foreign-toplevel
// protocol), over a Wayland connection of Tarv's own. The GUI thread reads the connection
// only when its socket has something, and never waits on it.

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

struct wl_display;
class WaylandSocket;

class WlrToplevelList final : public QObject {
    Q_OBJECT
public:
    struct Toplevel {
        QString appId;
        QString title;
        bool activated = false;

        bool operator==(const Toplevel&) const = default;
    };

    enum class State {
        Connecting,  // the compositor has not yet said what it offers
        Listing,     // the list below is the compositor's
        Unreachable, // no Wayland display, or no compositor there
        Absent,      // a compositor without the protocol
        Lost,        // the compositor went away or stopped listing
    };

    // Connects to the compositor that WAYLAND_DISPLAY names; the answer comes as stateChanged.
    explicit WlrToplevelList(QObject* parent = nullptr);
    ~WlrToplevelList() override;

    State state() const { return m_state; }
    // Why the list is not there (Unreachable, Absent, Lost), in words for the settings.
    QString failure() const { return m_failure; }
    // The open windows in the order the compositor announced them.
    QList<Toplevel> toplevels() const;
    // The window that got the focus last among those that have it, when one has.
    std::optional<Toplevel> activated() const;

    struct Connection;
    struct Handle;

signals:
    void stateChanged();
    // After a batch of events that changed a window, opened one or closed one.
    void toplevelsChanged();

private:
    void afterDispatch();
    void fail(State state, const QString& failure);

    std::unique_ptr<Connection> m_connection;
    WaylandSocket* m_socket = nullptr;
    State m_state = State::Connecting;
    QString m_failure;
};
