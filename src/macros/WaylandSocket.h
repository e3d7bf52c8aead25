#pragma once
// A Wayland connection of Tarv's own, beside Qt's: the GUI thread reads it only when its socket
// has something and writes to it only when it takes more, so nothing here waits on the
// compositor. The display and its proxies stay their owner's; the owner deletes this object
// before it disconnects the display.

#include <QObject>
#include <QString>

struct wl_display;
class QSocketNotifier;

class WaylandSocket final : public QObject {
    Q_OBJECT
public:
    // Connects to the compositor that WAYLAND_DISPLAY names (a local socket: connecting asks
    // nothing of it yet); none, with `failure` saying why in words for the user, where there
    // is none.
    static wl_display* connectToCompositor(QString& failure);

    static QString lostText() { return QStringLiteral("The connection to the Wayland compositor was lost."); }

    explicit WaylandSocket(wl_display* display, QObject* parent = nullptr);
    ~WaylandSocket() override;

    // Sends the requests made so far, or what of them the socket takes now (the rest when it
    // takes more).
    void flush();
    // Reads and writes no more, from within one of its own signals too.
    void stop();

signals:
    // Events were read and handled, and the requests they led to sent.
    void dispatched();
    // The connection broke; it is stopped.
    void lost();

private:
    void readEvents();
    void fail();

    wl_display* m_display;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
};
