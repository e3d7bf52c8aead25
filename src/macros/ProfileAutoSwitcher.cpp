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
}

void ProfileAutoSwitcher::setPaused(bool paused)
{
    if (paused == m_isPaused)
        return;
    m_isPaused = paused;
    emit isPausedChanged(paused);
    // A settings file that cannot be written keeps the choice for this run only.
    m_defaults.setBoolean(pausedKey, paused);
    if (!paused)
        applyToFrontmostApp();
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

void ProfileAutoSwitcher::handleActivation(const FrontmostApp& app)
{
    applyRule(app.bundleID, app.name);
}

void ProfileAutoSwitcher::applyToFrontmostApp()
{
    if (!m_source)
        return;
    if (const auto app = m_source->frontmostApp())
        applyRule(app->bundleID, app->name);
}

void ProfileAutoSwitcher::applyRule(const std::optional<QString>& bundleID,
                                    const std::optional<QString>& appName)
{
    if (m_isPaused)
        return;
    // Bringing Tarv itself to the front never changes the profile.
    if (bundleID && m_ownBundleID && bundleID->compare(*m_ownBundleID, Qt::CaseInsensitive) == 0)
        return;
    const std::optional<QUuid> target = m_profiles.targetProfileID(bundleID);
    if (!target || *target == m_profiles.activeID())
        return;
    m_profiles.activateProfile(*target);
    if (!m_onSwitch)
        return;
    const QString appText = appName ? *appName : bundleID ? *bundleID : QStringLiteral("an unnamed app");
    m_onSwitch(QStringLiteral("Profile \u201C") + m_profiles.activeProfile().shownName() + QStringLiteral("\u201D for ")
               + appText);
}
