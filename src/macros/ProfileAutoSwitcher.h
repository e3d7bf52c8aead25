#pragma once
// Makes the active macro profile follow the application the user works in: the profile
// linking the frontmost application, else the fallback profile; pausable, the pause stored.

#include "macros/FrontmostAppSource.h"

#include <QObject>
#include <QPointer>
#include <QString>

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

    // Receives the report of each switch, e.g. Profile “Work” for Mail.
    void setOnSwitch(std::function<void(const QString&)> onSwitch) { m_onSwitch = std::move(onSwitch); }

    // Follows the source from now on and applies the rule once; a second call does nothing.
    void start();

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
    void handleActivation(const FrontmostApp& app);
    void applyToFrontmostApp();

    ProfileStore& m_profiles;
    Settings& m_defaults;
    std::optional<QString> m_ownBundleID;
    QPointer<FrontmostAppSource> m_source;
    std::function<void(const QString&)> m_onSwitch;
    bool m_isPaused = false;
    bool m_started = false;
};
