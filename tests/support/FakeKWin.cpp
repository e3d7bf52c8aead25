#include "support/FakeKWin.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFile>

namespace TarvFake {

// The object KWin keeps for a loaded script, whose run starts it.
class FakeKWinScript : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Script")
public:
    explicit FakeKWinScript(FakeKWin* kwin) : QObject(kwin), m_kwin(kwin) {}

public slots:
    Q_SCRIPTABLE void run() { m_kwin->run(); }
    Q_SCRIPTABLE void stop() {}

private:
    FakeKWin* m_kwin;
};

namespace {

// The workspace as a script sees it: signals with connect(), the window in front, the list.
// Plasma 5 calls windows "clients" and hands class names over as bytes.
const char* const workspacePrelude = R"JS(
var __plasma6 = %1;
var __hooks = { activated: [], added: [], removed: [] };
function __signal(name) { return { connect: function (f) { __hooks[name].push(f); } }; }
function __emit(name, window) { var l = __hooks[name]; for (var i = 0; i < l.length; ++i) l[i](window); }
var __all = [];
function __open() { return __all.filter(function (w) { return !w.__closed; }); }
var workspace = {};
if (__plasma6) {
    workspace.windowActivated = __signal("activated");
    workspace.windowAdded = __signal("added");
    workspace.windowRemoved = __signal("removed");
    workspace.activeWindow = null;
    workspace.windowList = __open;
} else {
    workspace.clientActivated = __signal("activated");
    workspace.clientAdded = __signal("added");
    workspace.clientRemoved = __signal("removed");
    workspace.activeClient = null;
    workspace.clientList = __open;
}
function __bytes(text) {
    var b = new Uint8Array(text.length);
    for (var i = 0; i < text.length; ++i) b[i] = text.charCodeAt(i);
    return b.buffer;
}
function __setActive(w) {
    if (__plasma6) workspace.activeWindow = w; else workspace.activeClient = w;
    __emit("activated", w);
}
function __openWindow(w) {
    if (w.normalWindow === undefined) w.normalWindow = true;
    if (w.skipTaskbar === undefined) w.skipTaskbar = false;
    if (!__plasma6) {
        if (typeof w.resourceClass === "string") w.resourceClass = __bytes(w.resourceClass);
        if (typeof w.resourceName === "string") w.resourceName = __bytes(w.resourceName);
    }
    __all.push(w);
    __emit("added", w);
    __setActive(w);
    return __all.length - 1;
}
function __closeWindow(i) {
    var w = __all[i];
    // KWin tells of the removal while the window is still listed and may still be in front.
    __emit("removed", w);
    w.__closed = true;
}
function callDBus() { __host.callDBus(Array.prototype.slice.call(arguments)); }
function print() {}
)JS";

int connections = 0;

}  // namespace

FakeKWin::FakeKWin(const QString& address, Plasma plasma)
    : m_connectionName(QStringLiteral("fake-kwin-%1").arg(++connections))
    , m_bus(QDBusConnection::connectToBus(address, m_connectionName))
    , m_plasma(plasma)
{
    m_ready = m_bus.isConnected() && m_bus.registerObject(QStringLiteral("/Scripting"), this,
                                                          QDBusConnection::ExportScriptableSlots)
              && m_bus.registerService(QStringLiteral("org.kde.KWin"));
    // The workspace outlives the scripts, as KWin's does.
    m_engine = std::make_unique<QJSEngine>();
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    m_engine->globalObject().setProperty(QStringLiteral("__host"), m_engine->newQObject(this));
    evaluate(QString::fromUtf8(workspacePrelude).arg(m_plasma == Plasma::Six ? u"true" : u"false"));
}

FakeKWin::~FakeKWin()
{
    m_engine.reset();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

int FakeKWin::loadScript(const QString& filePath, const QString& pluginName)
{
    m_calls << QStringLiteral("loadScript %1 %2").arg(filePath, pluginName);
    if (m_loaded.contains(pluginName))
        return -1;
    m_loaded << pluginName;
    m_scriptPath = filePath;
    const int id = m_nextId++;
    delete m_script;
    m_script = new FakeKWinScript(this);
    const QString path = m_plasma == Plasma::Six ? QStringLiteral("/Scripting/Script%1").arg(id)
                                                 : QStringLiteral("/%1").arg(id);
    m_bus.registerObject(path, m_script, QDBusConnection::ExportScriptableSlots);
    return id;
}

bool FakeKWin::unloadScript(const QString& pluginName)
{
    m_calls << QStringLiteral("unloadScript %1").arg(pluginName);
    if (!m_loaded.removeOne(pluginName))
        return false;
    m_running = false;
    // What the script connected goes with it.
    evaluate(QStringLiteral("__hooks = { activated: [], added: [], removed: [] };"));
    return true;
}

void FakeKWin::run()
{
    m_calls << QStringLiteral("run %1").arg(m_scriptPath);
    QFile file(m_scriptPath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_errors << QStringLiteral("cannot read %1").arg(m_scriptPath);
        return;
    }
    m_running = true;
    // Each script has a scope of its own over the shared workspace.
    evaluate(QStringLiteral("(function () {\n%1\n})();").arg(QString::fromUtf8(file.readAll())));
}

void FakeKWin::evaluate(const QString& code)
{
    if (!m_engine)
        return;
    const QJSValue result = m_engine->evaluate(code);
    if (result.isError())
        m_errors << result.toString();
}

int FakeKWin::open(const QString& properties)
{
    if (!m_engine)
        return -1;
    const QJSValue index = m_engine->evaluate(QStringLiteral("__openWindow(%1)").arg(properties));
    if (index.isError()) {
        m_errors << index.toString();
        return -1;
    }
    return index.toInt();
}

void FakeKWin::activate(int index) { evaluate(QStringLiteral("__setActive(__all[%1])").arg(index)); }

void FakeKWin::close(int index) { evaluate(QStringLiteral("__closeWindow(%1)").arg(index)); }

void FakeKWin::quit() { m_bus.unregisterService(QStringLiteral("org.kde.KWin")); }

void FakeKWin::callDBus(const QVariantList& arguments)
{
    if (arguments.size() < 4) {
        m_errors << QStringLiteral("callDBus with %1 arguments").arg(arguments.size());
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(arguments[0].toString(), arguments[1].toString(),
                                                       arguments[2].toString(), arguments[3].toString());
    call.setArguments(arguments.mid(4));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* answer) {
        answer->deleteLater();
        if (answer->isError())
            m_errors << answer->error().message();
    });
}

}  // namespace TarvFake

#include "FakeKWin.moc"
