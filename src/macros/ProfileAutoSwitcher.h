#pragma once
// Makes the active macro profile follow the application the user works in: the profile
// linking the frontmost application, else the fallback profile; pausable, the pause stored.

#include "macros/FrontmostAppSource.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <optional>

class ProfileStore;
class Settings;

class ProfileAutoSwitcher : public QObject {
    Q_OBJECT
public:
    static inline const QString pausedKey = QStringLiteral("profiles.autoSwitchPaused");

    // Reads the pause flag (false when absent); observes nothing until start().
    ProfileAutoSwitcher(ProfileStore& profiles, Settings& defaults, std::optional<QString> ownBundleID,
                        FrontmostAppSource* source, QObject* parent = nullptr);

    bool isPaused() const { return m_isPaused; }
    // This application's own id, which the rule never switches for.
    const std::optional<QString>& ownBundleID() const { return m_ownBundleID; }
    // Stores and writes a changed value; resuming applies the rule to the frontmost app.
    void setPaused(bool paused);

    // Switches within this time of the first are told as one, once they settle.
    static constexpr int reportDelayMs = 250;

    // Receives the report of a switch, e.g. Profile “Work” for Mail: once a burst of switches has
    // settled, and only when it left another profile active than before it.
    void setOnSwitch(std::function<void(const QString&)> onSwitch) { m_onSwitch = std::move(onSwitch); }
    // How long switches wait to be told as one (reportDelayMs); the tests shorten it.
    void setReportDelay(int milliseconds) { m_report.setInterval(milliseconds); }

    // Follows the source from now on and applies the rule once; a second call does nothing.
    void start();

    // The user picked the active profile by hand (from the tray) while an application was in
    // front: the pick stands while that application stays in front, also when the focus passes
    // through Tarv (a tray's menu, Tarv's window) and comes back to it. The next application
    // that comes to the front, or resuming, applies the rule again.
    void profilePickedByHand();

    // The rule for one application; either argument may be unknown.
    void applyRule(const std::optional<QString>& bundleID, const std::optional<QString>& appName);

    // Whether this desktop can tell the frontmost application at all, and why not.
    bool canFollowApplications() const;
    QString unavailableReason() const;
    // Which way the frontmost application is learnt; empty when none is.
    QString sourceDescription() const;

signals:
    void isPausedChanged(bool paused);
    // The three above changed.
    void sourceChanged();

private:
    bool isOwn(const FrontmostApp& app) const;
    void handleActivation(const FrontmostApp& app);
    void applyToFrontmostApp();
    void report();

    ProfileStore& m_profiles;
    Settings& m_defaults;
    std::optional<QString> m_ownBundleID;
    QPointer<FrontmostAppSource> m_source;
    std::function<void(const QString&)> m_onSwitch;
    // The switches not told yet: the profile active before the first of them, and the
    // application that led to the last.
    QTimer m_report;
    QUuid m_activeBefore;
    QString m_switchedFor;
    bool m_isPaused = false;
    bool m_started = false;
    // The last application other than Tarv reported in front, and whether a pick made by hand
    // over it stands.
    std::optional<FrontmostApp> m_lastOtherApp;
    bool m_pickStands = false;
};
