#pragma once
// Takes a screenshot through the desktop portal (org.freedesktop.portal.Screenshot on the
// session bus) and hands back the local file the portal wrote.

#include <QDBusConnection>
#include <QFuture>
#include <QObject>
#include <QString>

#include <optional>

struct PortalCapture {
    QString filePath;             // the image the portal saved; empty on failure
    std::optional<QString> error; // the message for the user

    static PortalCapture failed(QString message) { return {QString(), std::move(message)}; }
};

class ScreenshotPortal : public QObject {
    Q_OBJECT
public:
    explicit ScreenshotPortal(QDBusConnection bus = QDBusConnection::sessionBus(),
                              QObject* parent = nullptr);

    // Interactive lets the user pick an area or a window in the portal's own dialog; the
    // future finishes on this object's thread once the portal has answered.
    QFuture<PortalCapture> capture(bool interactive);

    static QString missingPortalMessage();

    // Whether the bus has a portal that offers screenshots; false without a bus. The future
    // finishes on this object's thread; nothing waits for the answer.
    QFuture<bool> isOffered();

private:
    QDBusConnection m_bus;
    quint64 m_nextToken = 0;
};
