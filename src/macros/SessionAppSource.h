#pragma once
// Chooses, once at start, how this desktop session tells the application in front and the
// running applications: a wlroots compositor's window list, a KWin script, Tarv's GNOME Shell
// extension, or the X11 display; and says in words why none is there.

#include "macros/FrontmostAppSource.h"
#include "macros/RunningAppsSource.h"

#include <QDBusConnection>

#include <memory>


class SessionAppSource final : public FrontmostAppSource, public RunningAppsSource {
    Q_OBJECT
public:
    enum class Kind { Choosing, Wlr, KWin, Gnome, X11, None };

    // On a Wayland session: the wlroots window list when the compositor offers it, else a
    // KWin script when KWin is on `bus`, else Tarv's GNOME Shell extension when GNOME Shell
    // is; X11 otherwise. The KWin script is written to `kwinScriptPath`.
    SessionAppSource(QDBusConnection bus, QString kwinScriptPath, QString ownId = QStringLiteral("tarv"),
                     QString ownName = QStringLiteral("Tarv"), QObject* parent = nullptr);
    ~SessionAppSource() override;

    Kind kind() const { return m_kind; }

    bool isAvailable() const override;
    QString unavailableReason() const override;
    QString description() const override;
    std::optional<FrontmostApp> frontmostApp() override;
    QFuture<QList<RunningApp>> runningApps() override;

    // Why a Wayland desktop that offers none of these ways tells nothing.
    static QString noWaylandSourceReason(const QString& currentDesktop);

private:
    void wlrAnswered();
    void askForOwner(const QString& service, void (SessionAppSource::*answered)(const QString& owner));
    void askForKWin();
    void kwinAnswered(const QString& owner);
    void gnomeAnswered(const QString& owner);
    void use(Kind kind, std::unique_ptr<FrontmostAppSource> source, RunningAppsSource* running);

    QDBusConnection m_bus;
    QString m_kwinScriptPath;
    QString m_ownId;
    QString m_ownName;
    Kind m_kind = Kind::Choosing;
    std::unique_ptr<FrontmostAppSource> m_source;
    RunningAppsSource* m_running = nullptr;
    std::unique_ptr<RunningAppsSource> m_x11Running;
    QString m_noneReason;
};
