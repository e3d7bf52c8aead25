#include "support/FakeGnomeShell.h"

#include <QDBusMessage>
#include <QDBusMetaType>

namespace TarvFake {

namespace {

const QString shellPath = QStringLiteral("/org/gnome/Shell");
const QString reportsPath = QStringLiteral("/org/tarv/WindowReports");
int connections = 0;

}  // namespace

// The object Tarv's extension serves while it is switched on.
class FakeWindowReports : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarv.WindowReports")
public:
    explicit FakeWindowReports(FakeGnomeShell* shell) : QObject(shell), m_shell(shell) {}

public slots:
    Q_SCRIPTABLE QList<QVariantMap> ListWindows() { return m_shell->m_windows; }

signals:
    Q_SCRIPTABLE void FocusChanged(const QVariantMap& window);

private:
    FakeGnomeShell* m_shell;
};

FakeGnomeShell::FakeGnomeShell(const QString& address, QString shellVersion)
    : m_connectionName(QStringLiteral("fake-gnome-shell-%1").arg(++connections))
    , m_bus(QDBusConnection::connectToBus(address, m_connectionName))
    , m_shellVersion(std::move(shellVersion))
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    m_reports = new FakeWindowReports(this);
    m_ready = m_bus.isConnected()
              && m_bus.registerObject(shellPath, this,
                                      QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals
                                          | QDBusConnection::ExportAllProperties)
              && m_bus.registerService(QStringLiteral("org.gnome.Shell"));
}

FakeGnomeShell::~FakeGnomeShell()
{
    quit();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void FakeGnomeShell::setExtension(const QString& uuid, const QVariantMap& info)
{
    m_uuid = uuid;
    m_info = info;
}

QVariantMap FakeGnomeShell::GetExtensionInfo(const QString& uuid)
{
    return uuid == m_uuid ? m_info : QVariantMap();
}

bool FakeGnomeShell::EnableExtension(const QString& uuid)
{
    m_calls << QStringLiteral("EnableExtension ") + uuid;
    if (uuid != m_uuid || m_info.isEmpty())
        return false;
    switchOn();
    return true;
}

void FakeGnomeShell::setUserExtensionsEnabled(bool on)
{
    m_calls << QStringLiteral("Set UserExtensionsEnabled ") + (on ? QStringLiteral("true") : QStringLiteral("false"));
    allowUserExtensions(on);
}

void FakeGnomeShell::allowUserExtensions(bool on)
{
    m_userExtensions = on;
    QDBusMessage changed = QDBusMessage::createSignal(shellPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("PropertiesChanged"));
    changed << QStringLiteral("org.gnome.Shell.Extensions")
            << QVariantMap{{QStringLiteral("UserExtensionsEnabled"), on}} << QStringList();
    m_bus.send(changed);
}

void FakeGnomeShell::setState(int state)
{
    if (!m_info.isEmpty())
        m_info.insert(QStringLiteral("state"), double(state));
    emit ExtensionStateChanged(m_uuid, m_info);
}

void FakeGnomeShell::switchOn()
{
    if (m_on)
        return;
    m_on = true;
    m_bus.registerObject(reportsPath, m_reports, QDBusConnection::ExportScriptableSlots
                                                     | QDBusConnection::ExportScriptableSignals);
    // As the extension does once it is on: the window in front, or an empty report.
    QVariantMap front;
    for (const QVariantMap& window : m_windows) {
        if (window.value(QStringLiteral("focused")).toBool())
            front = window;
    }
    emit static_cast<FakeWindowReports*>(m_reports)->FocusChanged(front);
    setState(enabled);
}

void FakeGnomeShell::switchOff()
{
    if (!m_on)
        return;
    m_on = false;
    m_bus.unregisterObject(reportsPath);
    setState(disabled);
}

void FakeGnomeShell::setWindows(const QList<QVariantMap>& windows) { m_windows = windows; }

void FakeGnomeShell::focus(const QVariantMap& window)
{
    for (QVariantMap& open : m_windows)
        open.insert(QStringLiteral("focused"), open.value(QStringLiteral("wmClass")) == window.value(QStringLiteral("wmClass")));
    if (m_on)
        emit static_cast<FakeWindowReports*>(m_reports)->FocusChanged(window);
}

void FakeGnomeShell::quit()
{
    if (!m_ready)
        return;
    m_ready = false;
    m_bus.unregisterObject(reportsPath);
    m_bus.unregisterObject(shellPath);
    m_bus.unregisterService(QStringLiteral("org.gnome.Shell"));
}

}  // namespace TarvFake

#include "FakeGnomeShell.moc"
