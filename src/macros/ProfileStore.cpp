#include "macros/ProfileStore.h"

#include "macros/MacroJson.h"
#include "macros/ProfileEdits.h"
#include "platform/Settings.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <utility>

const QString ProfileStore::storageKey = QStringLiteral("macroProfiles.v1");
const QString ProfileStore::legacyStorageKey = QStringLiteral("macroProfile.v1");
const QString ProfileStore::unreadableKey = QStringLiteral("macroProfiles.v1.unreadable");
const QString ProfileStore::droppedKey = QStringLiteral("macroProfiles.v1.dropped");

namespace {

bool sameBundleID(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// Only profiles of this version with eleven or twelve keys are used; eleven are padded.
std::optional<MacroProfile> passLoadRule(MacroProfile profile)
{
    if (profile.version != 1 || profile.buttons.size() < 11 || profile.buttons.size() > 12)
        return std::nullopt;
    profile.buttons = MacroProfile::normalizedButtons(std::move(profile.buttons));
    return profile;
}

struct StoredLibrary {
    QList<MacroProfile> profiles;
    // The stored form of the profiles the load rule left out.
    QJsonArray dropped;
    QUuid activeID;
    std::optional<QUuid> fallbackID;
};

// All or nothing: any failure inside the library fails it.
std::optional<StoredLibrary> decodeLibrary(const QByteArray& data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    const QJsonValue activeValue = object.value(QStringLiteral("activeID"));
    if (!activeValue.isString())
        return std::nullopt;
    const auto activeID = uuidFromText(activeValue.toString());
    if (!activeID)
        return std::nullopt;

    StoredLibrary library;
    library.activeID = *activeID;
    const QJsonValue fallbackValue = object.value(QStringLiteral("fallbackID"));
    if (!fallbackValue.isUndefined() && !fallbackValue.isNull()) {
        if (!fallbackValue.isString())
            return std::nullopt;
        library.fallbackID = uuidFromText(fallbackValue.toString());
        if (!library.fallbackID)
            return std::nullopt;
    }

    const QJsonValue profilesValue = object.value(QStringLiteral("profiles"));
    if (!profilesValue.isArray())
        return std::nullopt;
    for (const QJsonValue& stored : profilesValue.toArray()) {
        auto decoded = decodeMacroProfile(stored);
        if (!decoded)
            return std::nullopt;
        if (auto kept = passLoadRule(std::move(decoded).value()))
            library.profiles.append(std::move(*kept));
        else
            library.dropped.append(stored);
    }
    return library;
}

QByteArray encodeLibrary(const QList<MacroProfile>& profiles, const QUuid& activeID,
                         const std::optional<QUuid>& fallbackID)
{
    QJsonArray stored;
    for (const MacroProfile& profile : profiles)
        stored.append(encodeMacroProfile(profile));
    QJsonObject object{{QStringLiteral("profiles"), stored}, {QStringLiteral("activeID"), uuidText(activeID)}};
    if (fallbackID)
        object.insert(QStringLiteral("fallbackID"), uuidText(*fallbackID));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QString ProfileStore::LoadProblem::text() const
{
    const QString what =
        kind == Kind::unreadableLibrary
            ? QStringLiteral("Stored macro profiles could not be read")
            : QStringLiteral("%1 stored macro profile(s) could not be used").arg(QString::number(droppedCount));
    if (keptUnder.isEmpty())
        return what +
               QStringLiteral("; they could not be copied aside, so profile changes are not saved until they are");
    return what + QStringLiteral("; they were kept under \"%1\"").arg(keptUnder);
}

ProfileStore::ProfileStore(Settings& settings, QObject* parent) : QObject(parent), m_settings(settings)
{
    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(keyEditSaveDelayMs);
    connect(m_saveTimer, &QTimer::timeout, this, &ProfileStore::save);
    // Quit may leave this store to outlive the event loop, or never be destroyed at all.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &ProfileStore::saveWaitingEdits);
    load();
}

ProfileStore::~ProfileStore()
{
    saveWaitingEdits();
}

void ProfileStore::saveWaitingEdits()
{
    if (m_saveTimer->isActive())
        save();
}

bool ProfileStore::hasWaitingEdits() const
{
    return m_saveTimer->isActive();
}

void ProfileStore::saveAfterPause()
{
    m_saveTimer->start();
}

void ProfileStore::load()
{
    QList<MacroProfile> candidates;
    std::optional<QUuid> wantedActive;
    std::optional<QUuid> wantedFallback;
    std::optional<LoadProblem> problem;

    const std::optional<QByteArray> stored = m_settings.bytes(storageKey);
    std::optional<StoredLibrary> library;
    if (stored)
        library = decodeLibrary(*stored);

    if (library) {
        candidates = std::move(library->profiles);
        wantedActive = library->activeID;
        wantedFallback = library->fallbackID;
        if (!library->dropped.isEmpty()) {
            m_unkept = Unkept{droppedKey, QJsonDocument(library->dropped).toJson(QJsonDocument::Compact)};
            problem = LoadProblem{LoadProblem::Kind::droppedProfiles, {}, int(library->dropped.size())};
        }
    } else {
        // A library typed into the file by hand may read as a list, a number or a map rather
        // than as data: whatever the form, its text as the file holds it is what is kept.
        if (const auto unreadable = m_settings.storedForm(storageKey)) {
            m_unkept = Unkept{unreadableKey, *unreadable};
            problem = LoadProblem{LoadProblem::Kind::unreadableLibrary, {}, 0};
        }
        if (const auto legacy = m_settings.bytes(legacyStorageKey)) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(*legacy, &error);
            if (error.error == QJsonParseError::NoError && document.isObject()) {
                if (auto decoded = decodeMacroProfile(document.object())) {
                    if (auto kept = passLoadRule(std::move(decoded).value()))
                        candidates.append(std::move(*kept));
                }
            }
        }
    }

    if (candidates.isEmpty())
        candidates.append(MacroProfile::defaultProfile());
    m_profiles = std::move(candidates);
    m_activeID = wantedActive && indexOf(*wantedActive) >= 0 ? *wantedActive : m_profiles.front().id;
    m_fallbackID = wantedFallback && indexOf(*wantedFallback) >= 0 ? wantedFallback : std::nullopt;
    if (problem) {
        problem->keptUnder = keepUnkept().value_or(QString());
        m_loadProblem = std::move(problem);
    }
    save();
}

// The stored data that did not load, kept under a key of its own; none while it cannot be.
std::optional<QString> ProfileStore::keepUnkept()
{
    if (!m_unkept)
        return std::nullopt;
    auto keptUnder = keepStoredData(m_unkept->baseKey, m_unkept->data);
    if (keptUnder)
        m_unkept.reset();
    return keptUnder;
}

// Never overwrites an earlier backup: the first free key of base, base.2, base.3, … is used,
// or the key that already holds exactly these bytes.
std::optional<QString> ProfileStore::keepStoredData(const QString& baseKey, const QByteArray& data)
{
    for (int n = 1;; ++n) {
        const QString key = n == 1 ? baseKey : baseKey + u'.' + QString::number(n);
        if (!m_settings.contains(key)) {
            if (m_settings.setBytes(key, data))
                return std::nullopt;
            return key;
        }
        if (m_settings.bytes(key) == data)
            return key;
    }
}

std::optional<ProfileStore::LoadProblem> ProfileStore::takeLoadProblem()
{
    return std::exchange(m_loadProblem, std::nullopt);
}

void ProfileStore::save()
{
    // The whole library goes: key edits waiting for their pause go with it.
    m_saveTimer->stop();
    // Stored data that did not load is kept before the library is written over it.
    if (m_unkept && !keepUnkept())
        return;
    m_settings.setBytes(storageKey, encodeLibrary(m_profiles, m_activeID, m_fallbackID));
}

const MacroProfile& ProfileStore::activeProfile() const
{
    const int index = indexOf(m_activeID);
    return m_profiles[index >= 0 ? index : 0];
}

int ProfileStore::indexOf(const QUuid& id) const
{
    for (int i = 0; i < m_profiles.size(); ++i) {
        if (m_profiles[i].id == id)
            return i;
    }
    return -1;
}

QString ProfileStore::uniqueName(const QString& base) const
{
    auto taken = [this](const QString& name) {
        return std::any_of(m_profiles.cbegin(), m_profiles.cend(),
                           [&](const MacroProfile& profile) { return profile.name == name; });
    };
    if (!taken(base))
        return base;
    for (int n = 2;; ++n) {
        const QString name = base + u' ' + QString::number(n);
        if (!taken(name))
            return name;
    }
}

void ProfileStore::setProfiles(QList<MacroProfile> profiles)
{
    if (profiles == m_profiles)
        return;
    m_profiles = std::move(profiles);
    emit profilesChanged();
}

// Keys change a keystroke at a time: the other profiles are neither copied nor compared.
void ProfileStore::replaceKeys(int index, const QList<MacroButton>& buttons)
{
    m_profiles[index].buttons = buttons;
    emit profilesChanged();
}

void ProfileStore::setActiveID(const QUuid& id)
{
    if (id == m_activeID)
        return;
    m_activeID = id;
    emit activeIDChanged();
}

void ProfileStore::setFallbackID(const std::optional<QUuid>& id)
{
    if (id == m_fallbackID)
        return;
    m_fallbackID = id;
    emit fallbackIDChanged();
}

void ProfileStore::notifyChange()
{
    if (m_onChange)
        m_onChange();
}

void ProfileStore::activateProfile(const QUuid& id)
{
    if (id == m_activeID || indexOf(id) < 0)
        return;
    setActiveID(id);
    // The profile follows the window in front, which may change many times a second: it is
    // written at most once a pause, whatever changes meanwhile.
    if (!m_saveTimer->isActive())
        m_saveTimer->start();
    notifyChange();
}

MacroProfile ProfileStore::addProfile(bool duplicate)
{
    const QString base = duplicate ? activeProfile().name + QStringLiteral(" Copy") : QStringLiteral("New Profile");
    const QString name = uniqueName(base);
    MacroProfile profile = duplicate ? activeProfile().duplicate(name) : MacroProfile::named(name);
    const int activeIndex = std::max(indexOf(m_activeID), 0);
    const QUuid activeBefore = activeProfile().id;
    placeProfile(profile, activeIndex + 1);
    setActiveID(profile.id);
    save();
    pushEdit(new ProfilePresenceEdit(this, duplicate ? QStringLiteral("Duplicate Profile") : QStringLiteral("New Profile"),
                                     profile, {activeIndex + 1, true, false, activeBefore}, true));
    notifyChange();
    return profile;
}

void ProfileStore::deleteProfile(const QUuid& id)
{
    const int index = indexOf(id);
    const ProfilePresenceEdit::Place place{index, id == m_activeID, m_fallbackID == id, {}};
    std::optional<MacroProfile> taken = takeProfile(id);
    if (!taken)
        return;
    save();
    pushEdit(new ProfilePresenceEdit(this, QStringLiteral("Delete Profile"), std::move(*taken), place, false));
    if (place.wasActive)
        notifyChange();
}

void ProfileStore::placeProfile(const MacroProfile& profile, int index)
{
    QList<MacroProfile> profiles = m_profiles;
    profiles.insert(std::clamp<int>(index, 0, profiles.size()), profile);
    setProfiles(std::move(profiles));
}

std::optional<MacroProfile> ProfileStore::takeProfile(const QUuid& id)
{
    const int index = indexOf(id);
    if (m_profiles.size() < 2 || index < 0)
        return std::nullopt;
    QList<MacroProfile> profiles = m_profiles;
    MacroProfile taken = profiles.takeAt(index);
    setProfiles(std::move(profiles));
    if (id == m_activeID)
        setActiveID(m_profiles[std::min<int>(index, m_profiles.size() - 1)].id);
    if (m_fallbackID == id)
        setFallbackID(std::nullopt);
    return taken;
}

void ProfileStore::pushEdit(QUndoCommand* edit)
{
    if (m_undoStack)
        m_undoStack->push(edit);
    else
        delete edit;
}

void ProfileStore::renameProfile(const QUuid& id, const QString& name)
{
    const int index = indexOf(id);
    if (index < 0 || m_profiles[index].name == name)
        return;
    const QString before = m_profiles[index].name;
    putName(index, name);
    pushEdit(new RenameEdit(this, id, before, name));
}

void ProfileStore::putName(int index, const QString& name)
{
    QList<MacroProfile> profiles = m_profiles;
    profiles[index].name = name;
    setProfiles(std::move(profiles));
    save();
}

void ProfileStore::updateKey(const MacroProfile& profile, const QString& actionName, const QString& mergeKey)
{
    commitKeys(profile, actionName, mergeKey, std::nullopt);
}

void ProfileStore::commitKeys(const MacroProfile& profile, const QString& actionName, const QString& mergeKey,
                              std::optional<std::pair<int, int>> move)
{
    const int index = indexOf(profile.id);
    if (index < 0 || m_profiles[index].buttons == profile.buttons)
        return;
    QList<MacroButton> before = m_profiles[index].buttons;
    replaceKeys(index, profile.buttons);
    setActiveID(profile.id);
    saveAfterPause();
    pushEdit(new KeyEdit(this, profile.id, std::move(before), profile.buttons, actionName, mergeKey, move));
    notifyChange();
}

void ProfileStore::restoreKeys(const QUuid& profileID, const QList<MacroButton>& buttons)
{
    const int index = indexOf(profileID);
    if (index < 0 || m_profiles[index].buttons == buttons)
        return;
    replaceKeys(index, buttons);
    setActiveID(profileID);
    saveAfterPause();
    notifyChange();
}

void ProfileStore::moveKey(int from, int to)
{
    MacroProfile profile = activeProfile();
    const int count = profile.buttons.size();
    if (from == to || from < 0 || to < 0 || from >= count || to >= count)
        return;
    profile.buttons.swapItemsAt(from, to);
    commitKeys(profile, QStringLiteral("Move Key"), {}, std::pair(from, to));
}

void ProfileStore::clearKey(int index)
{
    MacroProfile profile = activeProfile();
    if (index < 0 || index >= profile.buttons.size())
        return;
    profile.buttons[index] = MacroButton{};
    updateKey(profile, QStringLiteral("Clear Key"));
}

std::optional<bool> ProfileStore::toggleLatchedKey(int index)
{
    const int profileIndex = std::max(indexOf(m_activeID), 0);
    const MacroProfile& active = m_profiles[profileIndex];
    if (index < 0 || index >= active.buttons.size() || !active.buttons[index].isToggle)
        return std::nullopt;
    QList<MacroProfile> profiles = m_profiles;
    MacroButton& button = profiles[profileIndex].buttons[index];
    button.isActive = !button.isActive;
    const bool isActive = button.isActive;
    setProfiles(std::move(profiles));
    save();
    return isActive;
}

void ProfileStore::linkApps(AppTarget app, QUuid profileID)
{
    if (app.bundleID.isEmpty())
        return;
    const int target = indexOf(profileID);
    if (target < 0)
        return;
    QList<MacroProfile> profiles = m_profiles;
    for (int i = 0; i < profiles.size(); ++i) {
        if (i != target) {
            profiles[i].linkedApps.removeIf(
                [&](const AppTarget& linked) { return sameBundleID(linked.bundleID, app.bundleID); });
        }
    }
    QList<AppTarget>& linked = profiles[target].linkedApps;
    auto existing = std::find_if(linked.begin(), linked.end(),
                                 [&](const AppTarget& entry) { return sameBundleID(entry.bundleID, app.bundleID); });
    if (existing != linked.end())
        *existing = std::move(app);
    else
        linked.append(std::move(app));
    changeLinks(std::move(profiles), QStringLiteral("Add App"));
}

void ProfileStore::unlinkApp(QString bundleID, QUuid profileID)
{
    const int index = indexOf(profileID);
    if (index < 0)
        return;
    QList<MacroProfile> profiles = m_profiles;
    const qsizetype removed = profiles[index].linkedApps.removeIf(
        [&](const AppTarget& linked) { return sameBundleID(linked.bundleID, bundleID); });
    if (removed == 0)
        return;
    changeLinks(std::move(profiles), QStringLiteral("Remove App"));
}

void ProfileStore::changeLinks(QList<MacroProfile> profiles, const QString& actionName)
{
    // The links of the profiles this changes, as they were and as they become.
    LinkedAppsEdit::Links before;
    LinkedAppsEdit::Links after;
    for (int i = 0; i < profiles.size(); ++i) {
        if (profiles[i].linkedApps != m_profiles[i].linkedApps) {
            before.insert(m_profiles[i].id, m_profiles[i].linkedApps);
            after.insert(profiles[i].id, profiles[i].linkedApps);
        }
    }
    if (after.isEmpty())
        return;
    setProfiles(std::move(profiles));
    save();
    pushEdit(new LinkedAppsEdit(this, actionName, std::move(before), std::move(after)));
}

void ProfileStore::putLinkedApps(const QHash<QUuid, QList<AppTarget>>& links)
{
    QList<MacroProfile> profiles = m_profiles;
    for (MacroProfile& profile : profiles) {
        if (const auto found = links.constFind(profile.id); found != links.cend())
            profile.linkedApps = *found;
    }
    if (profiles == m_profiles)
        return;
    setProfiles(std::move(profiles));
    save();
}

void ProfileStore::setFallbackProfile(const std::optional<QUuid>& id)
{
    if (id == m_fallbackID || (id && indexOf(*id) < 0))
        return;
    setFallbackID(id);
    save();
}

std::optional<MacroProfile> ProfileStore::profileLinkedToApp(const QString& bundleID) const
{
    for (const MacroProfile& profile : m_profiles) {
        for (const AppTarget& linked : profile.linkedApps) {
            if (sameBundleID(linked.bundleID, bundleID))
                return profile;
        }
    }
    return std::nullopt;
}

std::optional<QUuid> ProfileStore::targetProfileID(const std::optional<QString>& bundleID) const
{
    if (bundleID) {
        if (const auto profile = profileLinkedToApp(*bundleID))
            return profile->id;
    }
    return m_fallbackID;
}
