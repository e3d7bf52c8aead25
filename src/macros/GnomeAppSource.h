#pragma once
// The application in front and the running applications on GNOME's Wayland session: Tarv's
// own GNOME Shell extension signals each focus change on the session bus and lists the open
// windows when asked. Only the program owning org.gnome.Shell is heard, whichever program
// that is from one moment to the next; every call to it is asynchronous.

#include "macros/FrontmostAppSource.h"
#include "macros/RunningAppsSource.h"
#include "macros/WindowAppMatcher.h"
#include "platform/DesktopEntries.h"

#include <QDBusConnection>
#include <QVariantMap>

class QDBusMessage;

class GnomeAppSource final : public FrontmostAppSource, public RunningAppsSource {
    Q_OBJECT
public:
    static inline const QString shellService = QStringLiteral("org.gnome.Shell");
    // Where the extension reports, on GNOME Shell's own connection.
    static inline const QString reportsPath = QStringLiteral("/org/tarv/WindowReports");
    static inline const QString reportsInterface = QStringLiteral("org.tarv.WindowReports");
    // GNOME Shell's own interface for its extensions, on its connection.
    static inline const QString extensionsPath = QStringLiteral("/org/gnome/Shell");
    static inline const QString extensionsInterface = QStringLiteral("org.gnome.Shell.Extensions");

    // Listens to the GNOME Shell whose unique bus name is `shellOwner`, and to whichever
    // program owns org.gnome.Shell after it.
    GnomeAppSource(QDBusConnection bus, const QString& shellOwner, QString ownId = QStringLiteral("tarv"),
                   QString ownName = QStringLiteral("Tarv"), QObject* parent = nullptr);
    ~GnomeAppSource() override;

    // The id GNOME knows Tarv's extension by.
    static QString extensionUuid();
    // Why nothing is followed while GNOME Shell runs without the extension.
    static QString notRunningReason();

    // Available once the extension has answered or reported.
    bool isAvailable() const override;
    QString unavailableReason() const override;
    QString description() const override;
    std::optional<FrontmostApp> frontmostApp() override;
    QFuture<QList<RunningApp>> runningApps() override;

    QString shellOwner() const { return m_owner; }

private slots:
    void focusChanged(const QVariantMap& window, const QDBusMessage& message);
    void extensionStateChanged(const QString& uuid, const QVariantMap& state, const QDBusMessage& message);

private:
    void follow(const QString& owner);
    void listen(bool on);
    void ask();
    void heard();
    void unavailable(const QString& reason);
    void takeFocus(const QVariantMap& window);
    WindowFacts factsOf(const QVariantMap& window) const;

    QDBusConnection m_bus;
    QString m_owner;
    bool m_heard = false;
    QString m_reason;
    quint64 m_asked = 0;
    WindowAppMatcher m_matcher;
    DesktopEntryIndex m_index;
    std::optional<FrontmostApp> m_front;
    std::optional<FrontmostApp> m_lastReported;
};
