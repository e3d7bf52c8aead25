#pragma once
// Asks the Wayland compositor for an activation token of Tarv's own (xdg-activation), for a
// window to come forward when no launcher handed one over: a second start from a terminal,
// the tray's "Open Tarv". Qt 6.4 asks for one only while one of Tarv's windows has the focus,
// so the request goes over a Wayland connection of this object's own; the GUI thread reads it
// only when its socket has something, and never waits on it. The token carries no input event
// of Tarv's, so the compositor decides what it is worth: focus, or marking the window urgent.

#include <QObject>
#include <QString>

#include <memory>

class WaylandSocket;

class XdgActivationRequest final : public QObject {
    Q_OBJECT
public:
    // Connects to the compositor that WAYLAND_DISPLAY names and asks for a token for the
    // application `appId`; the answer comes as one of the two signals, after the constructor
    // has returned.
    explicit XdgActivationRequest(QString appId, QObject* parent = nullptr);
    ~XdgActivationRequest() override;

    struct Connection;

signals:
    void tokenReady(const QString& token);
    // No token: no compositor, one without the protocol, or a connection lost.
    void failed(const QString& reason);

private:
    void afterDispatch();
    void finish();

    QString m_appId;
    std::unique_ptr<Connection> m_connection;
    WaylandSocket* m_socket = nullptr;
};
