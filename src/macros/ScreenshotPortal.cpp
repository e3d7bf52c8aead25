#include "macros/ScreenshotPortal.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPromise>
#include <QRandomGenerator>
#include <QUrl>
#include <QVariantMap>

#include <memory>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

QString failurePrefix() { return QStringLiteral("Could not take a screenshot: "); }

} // namespace

// One pending portal request: waits for the Response signal on its request object and
// finishes the promise exactly once.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    PortalRequest(QDBusConnection bus, QObject* parent)
        : QObject(parent)
        , m_bus(std::move(bus))
    {
    }

    QPromise<PortalCapture> promise;

    bool listen(const QString& path)
    {
        if (m_done || path == m_path)
            return true;
        if (!m_path.isEmpty())
            m_bus.disconnect(portalService, m_path, requestInterface, QStringLiteral("Response"),
                             this, SLOT(handleResponse(uint, QVariantMap)));
        m_path = path;
        return m_bus.connect(portalService, m_path, requestInterface, QStringLiteral("Response"),
                             this, SLOT(handleResponse(uint, QVariantMap)));
    }

    void finish(PortalCapture result)
    {
        if (m_done)
            return;
        m_done = true;
        m_bus.disconnect(portalService, m_path, requestInterface, QStringLiteral("Response"),
                         this, SLOT(handleResponse(uint, QVariantMap)));
        promise.addResult(std::move(result));
        promise.finish();
        deleteLater();
    }

public slots:
    void handleResponse(uint response, const QVariantMap& results)
    {
        if (response == 1) {
            finish(PortalCapture::failed(QStringLiteral("The screenshot was cancelled")));
            return;
        }
        if (response != 0) {
            finish(PortalCapture::failed(failurePrefix() + QStringLiteral("the desktop portal refused")));
            return;
        }
        const QUrl uri(results.value(QStringLiteral("uri")).toString());
        if (!uri.isLocalFile()) {
            finish(PortalCapture::failed(failurePrefix()
                                         + QStringLiteral("the desktop portal gave no local file")));
            return;
        }
        finish({uri.toLocalFile(), std::nullopt});
    }

private:
    QDBusConnection m_bus;
    QString m_path;
    bool m_done = false;
};

ScreenshotPortal::ScreenshotPortal(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
}

QString ScreenshotPortal::missingPortalMessage()
{
    return failurePrefix()
        + QStringLiteral("no desktop portal offers screenshots (org.freedesktop.portal.Screenshot)");
}

QFuture<bool> ScreenshotPortal::isOffered()
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> future = promise->future();
    if (!m_bus.isConnected()) {
        promise->addResult(false);
        promise->finish();
        return future;
    }
    // The interface's version property answers only where a portal backend offers it.
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << screenshotInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [promise](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        promise->addResult(!w->isError());
        promise->finish();
    });
    return future;
}

QFuture<PortalCapture> ScreenshotPortal::capture(bool interactive)
{
    auto* request = new PortalRequest(m_bus, this);
    request->promise.start();
    QFuture<PortalCapture> future = request->promise.future();
    if (!m_bus.isConnected()) {
        request->finish(PortalCapture::failed(failurePrefix() + QStringLiteral("there is no session bus")));
        return future;
    }

    // The portal answers on a request object whose path it derives from our bus name and
    // this token; listening before the call closes the race with a fast answer.
    const QString token = QStringLiteral("tarv%1_%2")
                              .arg(++m_nextToken)
                              .arg(QRandomGenerator::global()->generate());
    QString sender = m_bus.baseService();
    sender.remove(0, sender.startsWith(u':') ? 1 : 0);
    sender.replace(u'.', u'_');
    request->listen(QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + u'/' + token);

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath,
                                                       screenshotInterface, QStringLiteral("Screenshot"));
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("interactive"), interactive);
    options.insert(QStringLiteral("modal"), true);
    call << QString() << options;

    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request, [request](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            const QDBusError error = reply.error();
            switch (error.type()) {
            case QDBusError::ServiceUnknown:
            case QDBusError::UnknownMethod:
            case QDBusError::UnknownInterface:
            case QDBusError::UnknownObject:
                request->finish(PortalCapture::failed(ScreenshotPortal::missingPortalMessage()));
                break;
            default:
                request->finish(PortalCapture::failed(failurePrefix() + error.message()));
                break;
            }
            return;
        }
        // Older portals choose the request path themselves.
        request->listen(reply.value().path());
    });
    return future;
}

#include "ScreenshotPortal.moc"
