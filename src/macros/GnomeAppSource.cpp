#include "macros/GnomeAppSource.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

#include <unistd.h>

namespace {

const QString listWindows = QStringLiteral("ListWindows");

QList<QVariantMap> windowsOf(const QDBusMessage& reply)
{
    QList<QVariantMap> windows;
    const QVariant argument = reply.arguments().value(0);
    if (!argument.canConvert<QDBusArgument>())
        return windows;
    const auto list = qvariant_cast<QDBusArgument>(argument);
    if (list.currentSignature() != QLatin1String("aa{sv}"))
        return windows;
    list.beginArray();
    while (!list.atEnd()) {
        QVariantMap window;
        list >> window;
        windows.append(window);
    }
    list.endArray();
    return windows;
}

} // namespace

GnomeAppSource::GnomeAppSource(QDBusConnection bus, const QString& shellOwner, QString ownId, QString ownName,
                               QObject* parent)
    : FrontmostAppSource(parent)
    , m_bus(std::move(bus))
    , m_matcher(std::move(ownId), std::move(ownName))
{
    auto* watcher = new QDBusServiceWatcher(shellService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { follow(newOwner); });
    follow(shellOwner);
}

GnomeAppSource::~GnomeAppSource() { listen(false); }

QString GnomeAppSource::extensionUuid() { return QStringLiteral(TARV_GNOME_EXTENSION_UUID); }

QString GnomeAppSource::notRunningReason()
{
    return QStringLiteral("Tarv's GNOME Shell extension is not running. Without it, GNOME tells Tarv neither the app "
                          "in front nor the running apps.");
}

void GnomeAppSource::follow(const QString& owner)
{
    listen(false);
    m_owner = owner;
    // What the Shell that went away still answers tells nothing of this one.
    ++m_asked;
    // A Shell that comes back reports afresh, the application in front included.
    m_lastReported.reset();
    if (m_owner.isEmpty()) {
        unavailable(QStringLiteral("GNOME Shell went away. The application in front is no longer followed."));
        return;
    }
    listen(true);
    ask();
}

void GnomeAppSource::listen(bool on)
{
    if (m_owner.isEmpty())
        return;
    // Naming the unique name has the bus deliver the signals of that program alone.
    const char* focusSlot = SLOT(focusChanged(QVariantMap,QDBusMessage));
    const char* stateSlot = SLOT(extensionStateChanged(QString,QVariantMap,QDBusMessage));
    const QString focusSignal = QStringLiteral("FocusChanged");
    const QString stateSignal = QStringLiteral("ExtensionStateChanged");
    if (on) {
        m_bus.connect(m_owner, reportsPath, reportsInterface, focusSignal, this, focusSlot);
        m_bus.connect(m_owner, extensionsPath, extensionsInterface, stateSignal, this, stateSlot);
    } else {
        m_bus.disconnect(m_owner, reportsPath, reportsInterface, focusSignal, this, focusSlot);
        m_bus.disconnect(m_owner, extensionsPath, extensionsInterface, stateSignal, this, stateSlot);
    }
}

void GnomeAppSource::ask()
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_owner, reportsPath, reportsInterface, listWindows);
    call.setAutoStartService(false);
    const quint64 asked = ++m_asked;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, asked](QDBusPendingCallWatcher* answer) {
        answer->deleteLater();
        // Only the latest question tells how things are.
        if (asked != m_asked)
            return;
        const QDBusMessage reply = answer->reply();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            const QDBusError::ErrorType error = QDBusError(reply).type();
            if (error == QDBusError::UnknownObject || error == QDBusError::UnknownMethod
                || error == QDBusError::UnknownInterface)
                unavailable(notRunningReason());
            else
                unavailable(QStringLiteral("Tarv's GNOME Shell extension did not answer (%1). The application in "
                                           "front cannot be followed.")
                                .arg(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()));
            return;
        }
        heard();
        QVariantMap front;
        for (const QVariantMap& window : windowsOf(reply)) {
            if (window.value(QStringLiteral("focused")).toBool())
                front = window;
        }
        takeFocus(front);
    });
}

void GnomeAppSource::focusChanged(const QVariantMap& window, const QDBusMessage& message)
{
    if (message.service() != m_owner || m_owner.isEmpty())
        return;
    // A report is the extension's own word that it runs.
    heard();
    takeFocus(window);
}

void GnomeAppSource::extensionStateChanged(const QString& uuid, const QVariantMap&, const QDBusMessage& message)
{
    // Switched on or off: the extension's answer tells which.
    if (message.service() == m_owner && uuid == extensionUuid())
        ask();
}

void GnomeAppSource::heard()
{
    if (m_heard)
        return;
    m_heard = true;
    m_reason.clear();
    emit availabilityChanged();
}

void GnomeAppSource::unavailable(const QString& reason)
{
    m_front.reset();
    if (!m_heard && m_reason == reason)
        return;
    m_heard = false;
    m_reason = reason;
    emit availabilityChanged();
}

WindowFacts GnomeAppSource::factsOf(const QVariantMap& window) const
{
    // The class is the Wayland app id, or an X11 program's WM_CLASS under XWayland.
    WindowFacts facts = m_matcher.waylandFacts(window.value(QStringLiteral("wmClass")).toString());
    QString appId = window.value(QStringLiteral("app")).toString();
    if (appId.endsWith(QLatin1String(".desktop")))
        appId.chop(8);
    facts.desktopId = appId;
    const QString gtkId = window.value(QStringLiteral("gtkApplicationId")).toString();
    if (!gtkId.isEmpty())
        facts.gtkApplicationId = gtkId;
    facts.wmInstance = window.value(QStringLiteral("wmClassInstance")).toString();
    facts.sandboxedAppId = window.value(QStringLiteral("sandboxedAppId")).toString();
    facts.ownProcess = facts.ownProcess || window.value(QStringLiteral("pid")).toLongLong() == ::getpid();
    return facts;
}

void GnomeAppSource::takeFocus(const QVariantMap& window)
{
    if (window.isEmpty()) {
        m_front.reset(); // nothing in front: keep the profile
        return;
    }
    const WindowFacts facts = factsOf(window);
    if (facts.desktopId.isEmpty() && facts.gtkApplicationId.isEmpty() && facts.wmClass.isEmpty()
        && facts.wmInstance.isEmpty() && facts.sandboxedAppId.isEmpty() && !facts.ownProcess)
        m_front = FrontmostApp{}; // a window that says nothing about itself: an unnamed app
    else
        m_front = m_matcher.match(facts, m_index.entries());
    if (m_front != m_lastReported) {
        m_lastReported = m_front;
        emit activated(*m_front);
    }
}

bool GnomeAppSource::isAvailable() const { return m_heard; }

QString GnomeAppSource::unavailableReason() const { return m_heard ? QString() : m_reason; }

QString GnomeAppSource::description() const
{
    if (!m_heard)
        return {};
    return QStringLiteral("Apps are followed through Tarv's GNOME Shell extension.");
}

std::optional<FrontmostApp> GnomeAppSource::frontmostApp()
{
    if (!m_heard)
        return std::nullopt;
    if (m_front)
        m_lastReported = m_front;
    return m_front;
}

QFuture<QList<RunningApp>> GnomeAppSource::runningApps()
{
    if (!m_heard)
        return QtFuture::makeReadyFuture(QList<RunningApp>());
    auto listed = std::make_shared<QPromise<QList<WindowFacts>>>();
    listed->start();
    QFuture<QList<WindowFacts>> windows = listed->future();
    QDBusMessage call = QDBusMessage::createMethodCall(m_owner, reportsPath, reportsInterface, listWindows);
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    // A source gone before the answer drops the promise, which cancels the list.
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, listed](QDBusPendingCallWatcher* answer) {
        answer->deleteLater();
        QList<WindowFacts> facts;
        for (const QVariantMap& window : windowsOf(answer->reply()))
            facts.append(factsOf(window));
        listed->addResult(facts);
        listed->finish();
    });
    // The entries are read on a worker, as for the other sources.
    return windows.then(QtFuture::Launch::Async,
                        [matcher = m_matcher, dirs = DesktopEntries::applicationDirs()](const QList<WindowFacts>& all) {
                            return matcher.runningApps(all, DesktopEntries::all(dirs));
                        });
}
