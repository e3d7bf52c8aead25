#pragma once
// A desktop's tray as a program sees it, on a session bus of the test's own: the
// StatusNotifierWatcher that items register with, and a host that clicks an item, right-clicks
// it and reads and clicks its menu over com.canonical.dbusmenu, as a panel does.

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace TarvFake {

class FakeTrayHost : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    // One entry of an item's menu, as the host would draw it.
    struct MenuEntry {
        int id = 0;
        QString label; // mnemonics as dbusmenu writes them ("_")
        QString type;  // "separator" or empty
        bool enabled = true;
        bool visible = true;
        int toggleState = -1; // 1 checked, 0 unchecked, -1 no toggle
    };

    // Joins the bus at `address` under a connection named `connectionName`.
    FakeTrayHost(const QString& address, const QString& connectionName);
    ~FakeTrayHost() override;

    // Takes the watcher's name and object; false with lastError() when it cannot.
    bool start();
    const QString& lastError() const { return m_error; }

    // The items registered so far: their bus names.
    QStringList items() const { return m_items; }

    // The item's primary action (a left click) and its context menu request (a right click).
    bool activate(const QString& item);
    bool contextMenu(const QString& item);
    // The item's menu, top level, in order; empty when it has none or does not answer.
    QList<MenuEntry> menu(const QString& item);
    // Clicks the entry of that id.
    bool click(const QString& item, int id);

    bool isStatusNotifierHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString& service);

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    bool call(const QString& item, const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments, QList<QVariant>* reply = nullptr);

    QString m_connectionName;
    QDBusConnection m_bus;
    QStringList m_items;
    QString m_error;
};

}  // namespace TarvFake
