#pragma once
// The application in front and the running applications on KDE Plasma (KWin 5.27 and 6): a
// script that Tarv loads into KWin over D-Bus reports each activation and the open windows
// to an object of Tarv's on the same bus. Every call to KWin is asynchronous.

#include "macros/FrontmostAppSource.h"
#include "macros/RunningAppsSource.h"
#include "macros/WindowAppMatcher.h"
#include "platform/DesktopEntries.h"

#include <QDBusConnection>

#include <functional>

class QDBusMessage;
class QJsonObject;

class KWinAppSource final : public FrontmostAppSource, public RunningAppsSource {
    Q_OBJECT
public:
    static inline const QString kwinService = QStringLiteral("org.kde.KWin");
    // The name the script is loaded under, so that a copy left by an earlier run is replaced.
    static inline const QString scriptName = QStringLiteral("tarv-frontmost-app");
    static inline const QString reportPath = QStringLiteral("/org/tarv/KWinScript");
    static inline const QString reportInterface = QStringLiteral("org.tarv.KWinScript");
    // The most a report may hold; a window list is a few kilobytes.
    static constexpr qsizetype reportLimit = 1 << 20;

    // Writes the script to `scriptPath` and has the KWin whose unique bus name is `kwinOwner`
    // load and run it; reports are taken from that KWin only. A KWin that takes the name
    // org.kde.KWin later (KWin restarted) is given the script in turn, and heard instead.
    KWinAppSource(QDBusConnection bus, QString kwinOwner, QString scriptPath,
                  QString ownId = QStringLiteral("tarv"), QString ownName = QStringLiteral("Tarv"),
                  QObject* parent = nullptr);
    // Has KWin unload the script, without waiting for its answer.
    ~KWinAppSource() override;

    // The script, reporting to the bus name `reportService`.
    static QString scriptText(const QString& reportService);

    // Available once the script has reported.
    bool isAvailable() const override;
    QString unavailableReason() const override;
    QString description() const override;
    std::optional<FrontmostApp> frontmostApp() override;
    QFuture<QList<RunningApp>> runningApps() override;

    QString kwinOwner() const { return m_owner; }
    // A report of the script: {"active": a window or null, "windows": [windows]}, a window
    // being {"desktopFileName", "resourceClass", "resourceName", "pid"}. Anything else is
    // ignored.
    void takeReport(const QByteArray& json);

private:
    void callKWin(const QString& path, const QString& interface, const QString& method, const QVariantList& arguments,
                  std::function<void(const QDBusMessage&)> answer);
    void load();
    void run(int id, bool olderPath);
    void fail(const QString& reason);
    void kwinOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);
    WindowFacts factsOf(const QJsonObject& window) const;

    QDBusConnection m_bus;
    QString m_owner;
    QString m_scriptPath;
    bool m_registered = false;
    bool m_loaded = false;
    bool m_reported = false;
    QString m_reason;
    WindowAppMatcher m_matcher;
    DesktopEntryIndex m_index;
    std::optional<FrontmostApp> m_front;
    std::optional<FrontmostApp> m_lastReported;
    QList<WindowFacts> m_windows;
};
