#pragma once
// A stand-in for GNOME Shell on a private bus: it owns org.gnome.Shell, answers what GNOME
// Shell's org.gnome.Shell.Extensions interface answers about one extension (its info, switching
// it on, whether user extensions are on), and, while Tarv's extension counts as switched on,
// serves the extension's reports: ListWindows and the FocusChanged signal, as GNOME Shell does
// on its own connection.

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace TarvFake {

class FakeGnomeShell : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.Extensions")
    Q_PROPERTY(QString ShellVersion READ shellVersion)
    Q_PROPERTY(bool UserExtensionsEnabled READ userExtensionsEnabled WRITE setUserExtensionsEnabled)
public:
    // GNOME Shell's numbers for an extension's state.
    enum ExtensionState { enabled = 1, disabled = 2, error = 3, outOfDate = 4, initialized = 6 };

    // Connects to the bus at `address` and takes the name org.gnome.Shell.
    explicit FakeGnomeShell(const QString& address, QString shellVersion = QStringLiteral("43.9"));
    ~FakeGnomeShell() override;

    bool isReady() const { return m_ready; }
    QString uniqueName() const { return m_bus.baseService(); }
    QDBusConnection connection() const { return m_bus; }

    // What GNOME Shell knows of the extension `uuid`; empty: it has not seen it.
    void setExtension(const QString& uuid, const QVariantMap& info);
    // Switches the extension on or off as GNOME Shell does: its reports come and go, and the
    // change is signalled.
    void switchOn();
    void switchOff();
    bool isOn() const { return m_on; }

    // The open windows, each as the extension describes one; `focused` marks the one in front,
    // which is reported at once.
    void setWindows(const QList<QVariantMap>& windows);
    void focus(const QVariantMap& window);

    // The methods called, "EnableExtension UUID" and "Set UserExtensionsEnabled true", in order.
    const QStringList& calls() const { return m_calls; }

    // Lets go of the name and the objects, as a Shell that ends.
    void quit();

    // Switches the user's extensions on or off as a whole, as the user does elsewhere.
    void allowUserExtensions(bool on);

    QString shellVersion() const { return m_shellVersion; }
    bool userExtensionsEnabled() const { return m_userExtensions; }
    // Set over the bus.
    void setUserExtensionsEnabled(bool on);

public slots:
    Q_SCRIPTABLE QVariantMap GetExtensionInfo(const QString& uuid);
    Q_SCRIPTABLE bool EnableExtension(const QString& uuid);

signals:
    Q_SCRIPTABLE void ExtensionStateChanged(const QString& uuid, const QVariantMap& state);

private:
    friend class FakeWindowReports;
    void setState(int state);

    QString m_connectionName;
    QDBusConnection m_bus;
    QString m_shellVersion;
    bool m_ready = false;
    bool m_userExtensions = true;
    bool m_on = false;
    QString m_uuid;
    QVariantMap m_info;
    QList<QVariantMap> m_windows;
    QStringList m_calls;
    QObject* m_reports = nullptr;
};

}  // namespace TarvFake
