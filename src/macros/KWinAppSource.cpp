#include "macros/KWinAppSource.h"

#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>

#include <unistd.h>

// The object the script calls. Only the KWin that runs the script is heard.
class KWinScriptReports : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarv.KWinScript")
public:
    explicit KWinScriptReports(KWinAppSource* source) : QObject(source), m_source(source) {}

public slots:
    Q_SCRIPTABLE void Report(const QString& json)
    {
        if (message().service() != m_source->kwinOwner()) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Only KWin reports here."));
            return;
        }
        m_source->takeReport(json.toUtf8());
    }

private:
    KWinAppSource* m_source;
};

namespace {

const QString scriptingPath = QStringLiteral("/Scripting");
const QString scriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString scriptInterface = QStringLiteral("org.kde.kwin.Script");

// Plasma 6 names windows "window", Plasma 5 "client".
const char* const scriptTemplate = R"JS(// Loaded by Tarv: tells Tarv which window is in front and which windows are open.
(function () {
    var service = %1;
    var plasma6 = workspace.windowActivated !== undefined;

    // Plasma 5 hands class names over as bytes, whose string is their text in this engine.
    function text(value) {
        return value === undefined || value === null ? "" : String(value);
    }

    function facts(window) {
        return {
            desktopFileName: text(window.desktopFileName),
            resourceClass: text(window.resourceClass),
            resourceName: text(window.resourceName),
            pid: Number(window.pid) || 0
        };
    }

    function report(front, gone) {
        var all = plasma6 ? workspace.windowList() : workspace.clientList();
        var windows = [];
        for (var i = 0; i < all.length; ++i) {
            var window = all[i];
            if (window && window !== gone && window.normalWindow && !window.skipTaskbar)
                windows.push(facts(window));
        }
        var active = front && front !== gone ? facts(front) : null;
        callDBus(service, "%2", "%3", "Report", JSON.stringify({ active: active, windows: windows }));
    }

    function activeWindow() {
        return plasma6 ? workspace.activeWindow : workspace.activeClient;
    }

    var activated = plasma6 ? workspace.windowActivated : workspace.clientActivated;
    var added = plasma6 ? workspace.windowAdded : workspace.clientAdded;
    var removed = plasma6 ? workspace.windowRemoved : workspace.clientRemoved;
    activated.connect(function (window) { report(window, null); });
    added.connect(function () { report(activeWindow(), null); });
    removed.connect(function (window) { report(activeWindow(), window); });
    report(activeWindow(), null);
})();
)JS";

QString reasonOf(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

} // namespace

KWinAppSource::KWinAppSource(QDBusConnection bus, QString kwinOwner, QString scriptPath, QString ownId,
                             QString ownName, QObject* parent)
    : FrontmostAppSource(parent)
    , m_bus(std::move(bus))
    , m_owner(std::move(kwinOwner))
    , m_scriptPath(std::move(scriptPath))
    , m_matcher(std::move(ownId), std::move(ownName))
{
    auto* reports = new KWinScriptReports(this);
    m_registered = m_bus.registerObject(reportPath, reports, QDBusConnection::ExportScriptableSlots);
    if (!m_registered) {
        m_reason = QStringLiteral("Tarv could not offer KWin an object to report to. "
                                  "The application in front cannot be followed.");
        return;
    }
    auto* watcher = new QDBusServiceWatcher(kwinService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &KWinAppSource::kwinOwnerChanged);
    load();
}

KWinAppSource::~KWinAppSource()
{
    if (m_loaded) {
        QDBusMessage unload =
            QDBusMessage::createMethodCall(m_owner, scriptingPath, scriptingInterface, QStringLiteral("unloadScript"));
        unload << scriptName;
        unload.setAutoStartService(false);
        m_bus.send(unload);
    }
    if (m_registered)
        m_bus.unregisterObject(reportPath);
    QFile::remove(m_scriptPath);
}

QString KWinAppSource::scriptText(const QString& reportService)
{
    // The bus name goes in as a JavaScript string literal (JSON's is one).
    QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{reportService}).toJson(QJsonDocument::Compact));
    quoted = quoted.mid(1, quoted.size() - 2);
    return QString::fromUtf8(scriptTemplate).arg(quoted, reportPath, reportInterface);
}

void KWinAppSource::callKWin(const QString& path, const QString& interface, const QString& method,
                             const QVariantList& arguments, std::function<void(const QDBusMessage&)> answer)
{
    QDBusMessage message = QDBusMessage::createMethodCall(m_owner, path, interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    // An answer of a KWin that has gone since is about a script that no longer runs.
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, owner = m_owner, answer = std::move(answer)](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (owner == m_owner)
                    answer(call->reply());
            });
}

void KWinAppSource::load()
{
    QSaveFile file(m_scriptPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(scriptText(m_bus.baseService()).toUtf8()) < 0
        || !file.commit()) {
        fail(QStringLiteral("Tarv could not write its KWin script to %1 (%2). The application in front cannot be "
                            "followed.")
                 .arg(m_scriptPath, file.errorString()));
        return;
    }
    // A script of this name left by an earlier run that ended without unloading it goes first.
    callKWin(scriptingPath, scriptingInterface, QStringLiteral("unloadScript"), {scriptName}, [this](const QDBusMessage&) {
        callKWin(scriptingPath, scriptingInterface, QStringLiteral("loadScript"), {m_scriptPath, scriptName},
                 [this](const QDBusMessage& reply) {
                     if (reply.type() == QDBusMessage::ErrorMessage) {
                         fail(QStringLiteral("KWin did not load Tarv's script (%1). The application in front "
                                             "cannot be followed.")
                                  .arg(reasonOf(reply)));
                         return;
                     }
                     const int id = reply.arguments().value(0).toInt();
                     if (id < 0) {
                         fail(QStringLiteral("KWin did not load Tarv's script. The application in front cannot be "
                                             "followed."));
                         return;
                     }
                     m_loaded = true;
                     run(id, false);
                 });
    });
}

void KWinAppSource::run(int id, bool olderPath)
{
    // Plasma 6 keeps a loaded script under /Scripting, Plasma 5 at the root.
    const QString path = olderPath ? QStringLiteral("/%1").arg(id) : QStringLiteral("/Scripting/Script%1").arg(id);
    callKWin(path, scriptInterface, QStringLiteral("run"), {}, [this, id, olderPath](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ErrorMessage)
            return; // the script reports when it runs
        const QDBusError::ErrorType error = QDBusError(reply).type();
        if (!olderPath && (error == QDBusError::UnknownObject || error == QDBusError::UnknownMethod
                           || error == QDBusError::UnknownInterface)) {
            run(id, true);
            return;
        }
        fail(QStringLiteral("KWin did not start Tarv's script (%1). The application in front cannot be followed.")
                 .arg(reasonOf(reply)));
    });
}

void KWinAppSource::fail(const QString& reason)
{
    if (!m_reason.isEmpty())
        return;
    m_reason = reason;
    emit availabilityChanged();
}

void KWinAppSource::kwinOwnerChanged(const QString&, const QString& oldOwner, const QString& newOwner)
{
    if (!oldOwner.isEmpty() && oldOwner == m_owner) {
        // A KWin that comes back runs no script of ours: there is nothing to unload.
        m_loaded = false;
        m_owner.clear();
        fail(QStringLiteral("KWin went away. The application in front is no longer followed."));
    }
    if (newOwner.isEmpty() || newOwner == m_owner)
        return;
    // KWin started again (after a crash, or replaced by the user): the script goes into the new
    // one, and whatever the old one reported is forgotten until the script reports again.
    m_owner = newOwner;
    m_loaded = false;
    m_reported = false;
    m_reason.clear();
    m_front.reset();
    m_lastReported.reset();
    m_windows.clear();
    emit availabilityChanged();
    load();
}

bool KWinAppSource::isAvailable() const { return m_reported && m_reason.isEmpty(); }

QString KWinAppSource::unavailableReason() const { return m_reason; }

QString KWinAppSource::description() const
{
    if (!isAvailable())
        return {};
    return QStringLiteral("Apps are followed through a KWin script that Tarv loaded into KWin.");
}

WindowFacts KWinAppSource::factsOf(const QJsonObject& window) const
{
    QString desktopFileName = window.value(QLatin1String("desktopFileName")).toString();
    if (desktopFileName.endsWith(QLatin1String(".desktop")))
        desktopFileName.chop(8);
    WindowFacts facts = m_matcher.waylandFacts(desktopFileName);
    // A window of an X11 program has no desktop file name, but its class.
    const QString resourceClass = window.value(QLatin1String("resourceClass")).toString();
    if (!resourceClass.isEmpty())
        facts.wmClass = resourceClass;
    facts.wmInstance = window.value(QLatin1String("resourceName")).toString();
    facts.ownProcess = facts.ownProcess || window.value(QLatin1String("pid")).toInteger() == ::getpid();
    return facts;
}

void KWinAppSource::takeReport(const QByteArray& json)
{
    if (!m_reason.isEmpty() || json.size() > reportLimit)
        return;
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return;
    const QJsonObject report = document.object();
    QList<WindowFacts> windows;
    for (const QJsonValue& window : report.value(QLatin1String("windows")).toArray()) {
        if (window.isObject())
            windows.append(factsOf(window.toObject()));
    }
    m_windows = windows;

    const QJsonValue active = report.value(QLatin1String("active"));
    if (active.isObject()) {
        const WindowFacts facts = factsOf(active.toObject());
        if (facts.gtkApplicationId.isEmpty() && facts.wmClass.isEmpty() && facts.wmInstance.isEmpty()
            && !facts.ownProcess)
            m_front = FrontmostApp{}; // a window that says nothing about itself: an unnamed app
        else
            m_front = m_matcher.match(facts, m_index.entries());
    } else {
        m_front.reset(); // nothing in front: keep the profile
    }

    if (!m_reported) {
        m_reported = true;
        emit availabilityChanged();
    }
    if (m_front && m_front != m_lastReported) {
        m_lastReported = m_front;
        emit activated(*m_front);
    }
}

std::optional<FrontmostApp> KWinAppSource::frontmostApp()
{
    if (!isAvailable())
        return std::nullopt;
    if (m_front)
        m_lastReported = m_front;
    return m_front;
}

QFuture<QList<RunningApp>> KWinAppSource::runningApps()
{
    if (!isAvailable())
        return QtFuture::makeReadyFuture(QList<RunningApp>());
    return QtConcurrent::run([matcher = m_matcher, windows = m_windows, dirs = DesktopEntries::applicationDirs()] {
        return matcher.runningApps(windows, DesktopEntries::all(dirs));
    });
}

#include "KWinAppSource.moc"
