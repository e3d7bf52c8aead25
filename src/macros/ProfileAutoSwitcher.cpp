#include "macros/ProfileAutoSwitcher.h"

#include "macros/ProfileStore.h"
#include "platform/Settings.h"

ProfileAutoSwitcher::ProfileAutoSwitcher(ProfileStore& profiles, Settings& defaults,
                                         std::optional<QString> ownBundleID,
                                         FrontmostAppSource* source, QObject* parent)
    : QObject(parent)
    , m_profiles(profiles)
    , m_defaults(defaults)
    , m_ownBundleID(std::move(ownBundleID))
    , m_source(source)
    , m_isPaused(defaults.boolean(pausedKey).value_or(false))
{
    if (m_source)
        connect(m_source, &FrontmostAppSource::availabilityChanged, this, &ProfileAutoSwitcher::sourceChanged);
    m_report.setSingleShot(true);
    m_report.setInterval(reportDelayMs);
    connect(&m_report, &QTimer::timeout, this, &ProfileAutoSwitcher::report);
}

void ProfileAutoSwitcher::setPaused(bool paused)
{
    if (paused == m_isPaused)
        return;
    m_isPaused = paused;
    emit isPausedChanged(paused);
    // A settings file that cannot be written keeps the choice for this run only.
    m_defaults.setBoolean(pausedKey, paused);
    if (!paused) {
        m_pickStands = false;
        applyToFrontmostApp();
    }
}

void ProfileAutoSwitcher::profilePickedByHand()
{
    m_pickStands = true;
}

void ProfileAutoSwitcher::start()
{
    if (m_started)
        return;
    m_started = true;
    if (m_source)
        connect(m_source, &FrontmostAppSource::activated, this, &ProfileAutoSwitcher::handleActivation);
    applyToFrontmostApp();
}

bool ProfileAutoSwitcher::canFollowApplications() const
{
    return m_source && m_source->isAvailable();
}

QString ProfileAutoSwitcher::unavailableReason() const
{
    return m_source ? m_source->unavailableReason() : QString();
}

QString ProfileAutoSwitcher::sourceDescription() const
{
    return m_source ? m_source->description() : QString();
}

bool ProfileAutoSwitcher::isOwn(const FrontmostApp& app) const
{
    return app.bundleID && m_ownBundleID && app.bundleID->compare(*m_ownBundleID, Qt::CaseInsensitive) == 0;
}

void ProfileAutoSwitcher::handleActivation(const FrontmostApp& app)
{
    if (!isOwn(app)) {
        const bool cameBack = m_lastOtherApp == app;
        m_lastOtherApp = app;
        if (m_pickStands && cameBack)
            return;
        m_pickStands = false;
    }
    applyRule(app.bundleID, app.name);
}

void ProfileAutoSwitcher::applyToFrontmostApp()
{
    if (!m_source)
        return;
    if (const auto app = m_source->frontmostApp()) {
        if (!isOwn(*app))
            m_lastOtherApp = app;
        applyRule(app->bundleID, app->name);
    }
}

void ProfileAutoSwitcher::applyRule(const std::optional<QString>& bundleID,
                                    const std::optional<QString>& appName)
{
    if (m_isPaused)
        return;
    // Bringing Tarv itself to the front never changes the profile.
    if (isOwn(FrontmostApp{bundleID, appName}))
        return;
    const std::optional<QUuid> target = m_profiles.targetProfileID(bundleID);
    if (!target || *target == m_profiles.activeID())
        return;
    // Focus that flaps between two windows switches on every change; the log hears of it once
    // the flapping settles.
    if (!m_report.isActive()) {
        m_activeBefore = m_profiles.activeID();
        m_report.start();
    }
    m_profiles.activateProfile(*target);
    m_switchedFor = appName ? *appName : bundleID ? *bundleID : QStringLiteral("an unnamed app");
}

void ProfileAutoSwitcher::report()
{
    if (!m_onSwitch || m_profiles.activeID() == m_activeBefore)
        return;
    m_onSwitch(QStringLiteral("Profile \u201C") + m_profiles.activeProfile().shownName() + QStringLiteral("\u201D for ")
               + m_switchedFor);
}
