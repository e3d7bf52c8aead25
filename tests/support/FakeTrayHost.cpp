#include "support/FakeTrayHost.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

namespace TarvFake {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuPath = QStringLiteral("/MenuBar");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

// A menu node of GetLayout: (ia{sv}av), its children each a variant holding a node.
struct Node {
    int id = 0;
    QVariantMap properties;
    QList<Node> children;
};

const QDBusArgument& operator>>(const QDBusArgument& argument, Node& node)
{
    argument.beginStructure();
    argument >> node.id >> node.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        Node childNode;
        qvariant_cast<QDBusArgument>(child.variant()) >> childNode;
        node.children.append(childNode);
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

} // namespace

FakeTrayHost::FakeTrayHost(const QString& address, const QString& connectionName)
    : m_connectionName(connectionName), m_bus(QDBusConnection::connectToBus(address, connectionName))
{
}

FakeTrayHost::~FakeTrayHost()
{
    m_bus.unregisterObject(watcherPath);
    QDBusConnection::disconnectFromBus(m_connectionName);
}

bool FakeTrayHost::start()
{
    if (!m_bus.isConnected()) {
        m_error = QStringLiteral("not on the bus: ") + m_bus.lastError().message();
        return false;
    }
    if (!m_bus.registerObject(watcherPath, this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties
                                  | QDBusConnection::ExportAllSignals)
        || !m_bus.registerService(watcherService)) {
        m_error = QStringLiteral("cannot be the watcher: ") + m_bus.lastError().message();
        return false;
    }
    return true;
}

void FakeTrayHost::RegisterStatusNotifierItem(const QString& service)
{
    if (!m_items.contains(service))
        m_items.append(service);
    emit StatusNotifierItemRegistered(service);
}

void FakeTrayHost::RegisterStatusNotifierHost(const QString&)
{
    emit StatusNotifierHostRegistered();
}

bool FakeTrayHost::call(const QString& item, const QString& path, const QString& interface, const QString& method,
                        const QVariantList& arguments, QList<QVariant>* reply)
{
    QDBusMessage message = QDBusMessage::createMethodCall(item, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage answer = m_bus.call(message, QDBus::Block, 10000);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        m_error = answer.errorMessage();
        return false;
    }
    if (reply)
        *reply = answer.arguments();
    return true;
}

bool FakeTrayHost::activate(const QString& item)
{
    return call(item, itemPath, itemInterface, QStringLiteral("Activate"), {0, 0});
}

bool FakeTrayHost::contextMenu(const QString& item)
{
    return call(item, itemPath, itemInterface, QStringLiteral("ContextMenu"), {0, 0});
}

QList<FakeTrayHost::MenuEntry> FakeTrayHost::menu(const QString& item)
{
    // The host asks first, as before it shows the menu.
    call(item, menuPath, menuInterface, QStringLiteral("AboutToShow"), {0});
    QList<QVariant> reply;
    if (!call(item, menuPath, menuInterface, QStringLiteral("GetLayout"), {0, -1, QStringList()}, &reply)
        || reply.size() < 2)
        return {};
    Node root;
    qvariant_cast<QDBusArgument>(reply.at(1)) >> root;
    QList<MenuEntry> entries;
    for (const Node& node : root.children) {
        MenuEntry entry;
        entry.id = node.id;
        entry.label = node.properties.value(QStringLiteral("label")).toString();
        entry.type = node.properties.value(QStringLiteral("type")).toString();
        entry.enabled = node.properties.value(QStringLiteral("enabled"), true).toBool();
        entry.visible = node.properties.value(QStringLiteral("visible"), true).toBool();
        entry.toggleState = node.properties.value(QStringLiteral("toggle-state"), -1).toInt();
        entries.append(entry);
    }
    return entries;
}

bool FakeTrayHost::click(const QString& item, int id)
{
    return call(item, menuPath, menuInterface, QStringLiteral("Event"),
                {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
}

}  // namespace TarvFake
