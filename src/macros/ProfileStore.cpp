#include "macros/ProfileStore.h"

#include "macros/MacroJson.h"
#include "platform/Settings.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUndoCommand>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

const QString ProfileStore::storageKey = QStringLiteral("macroProfiles.v1");
const QString ProfileStore::legacyStorageKey = QStringLiteral("macroProfile.v1");
const QString ProfileStore::unreadableKey = QStringLiteral("macroProfiles.v1.unreadable");
const QString ProfileStore::droppedKey = QStringLiteral("macroProfiles.v1.dropped");

// A key edit on the undo stack. It is pushed after the edit is made, so its first redo (which
// QUndoStack runs on push) does nothing. Undo and redo each keep the keys they replace for the
// opposite step, so a latch flipped on the device in between comes back with a redo.
class KeyEditCommand : public QUndoCommand {
public:
    // `move`: the slots (from, to) of a moved key, for the selection to follow it on undo and redo.
    KeyEditCommand(ProfileStore* store, QUuid profileID, QList<MacroButton> before, QList<MacroButton> after,
                   const QString& actionName, std::optional<std::pair<int, int>> move = std::nullopt,
                   int callsThatOnlyPlace = 1)
        : QUndoCommand(actionName), m_store(store), m_profileID(profileID), m_before(std::move(before)),
          m_after(std::move(after)), m_move(move), m_callsThatOnlyPlace(callsThatOnlyPlace)
    {
    }

    const QUuid& profileID() const { return m_profileID; }

    // The same step for a stack built again. Pushing it runs its redo, and placing an undone
    // step above the stack's index runs its undo; neither may touch the keys.
    KeyEditCommand* copy(bool done) const
    {
        return new KeyEditCommand(m_store, m_profileID, m_before, m_after, text(), m_move, done ? 1 : 2);
    }

    void undo() override
    {
        if (!placesOnly() && swapIn(m_before, m_after) && m_move)
            emit m_store->movedKeyPlaced(m_move->first);
    }

    void redo() override
    {
        if (!placesOnly() && swapIn(m_after, m_before) && m_move)
            emit m_store->movedKeyPlaced(m_move->second);
    }

private:
    bool placesOnly()
    {
        if (m_callsThatOnlyPlace == 0)
            return false;
        --m_callsThatOnlyPlace;
        return true;
    }

    // False when the step's profile is gone.
    bool swapIn(const QList<MacroButton>& keys, QList<MacroButton>& replaced)
    {
        if (!m_store)
            return false;
        const int index = m_store->indexOf(m_profileID);
        if (index < 0)
            return false;
        replaced = m_store->m_profiles[index].buttons;
        m_store->restoreKeys(m_profileID, keys);
        return true;
    }

    QPointer<ProfileStore> m_store;
    QUuid m_profileID;
    QList<MacroButton> m_before;
    QList<MacroButton> m_after;
    std::optional<std::pair<int, int>> m_move;
    int m_callsThatOnlyPlace;
};

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
    save();
    notifyChange();
}

MacroProfile ProfileStore::addProfile(bool duplicate)
{
    const QString base = duplicate ? activeProfile().name + QStringLiteral(" Copy") : QStringLiteral("New Profile");
    const QString name = uniqueName(base);
    MacroProfile profile = duplicate ? activeProfile().duplicate(name) : MacroProfile::named(name);
    const int activeIndex = std::max(indexOf(m_activeID), 0);
    QList<MacroProfile> profiles = m_profiles;
    profiles.insert(activeIndex + 1, profile);
    setProfiles(std::move(profiles));
    setActiveID(profile.id);
    save();
    notifyChange();
    return profile;
}

void ProfileStore::deleteProfile(const QUuid& id)
{
    if (m_profiles.size() < 2)
        return;
    const int index = indexOf(id);
    if (index < 0)
        return;
    const bool wasActive = id == m_activeID;
    QList<MacroProfile> profiles = m_profiles;
    profiles.removeAt(index);
    setProfiles(std::move(profiles));
    if (wasActive)
        setActiveID(m_profiles[std::min<int>(index, m_profiles.size() - 1)].id);
    if (m_fallbackID == id)
        setFallbackID(std::nullopt);
    save();
    dropUndoSteps(id);
    if (wasActive)
        notifyChange();
}

void ProfileStore::dropUndoSteps(const QUuid& profileID)
{
    QUndoStack* stack = m_undoStack;
    if (!stack)
        return;
    // QUndoStack cannot take a step out of its middle: the stack is built again from copies of
    // the steps of the other profiles, each on the side of the index it was on.
    std::vector<std::unique_ptr<KeyEditCommand>> kept;
    int keptDone = 0;
    bool dropsAny = false;
    for (int i = 0; i < stack->count(); ++i) {
        const auto* step = dynamic_cast<const KeyEditCommand*>(stack->command(i));
        // A step of another kind cannot be copied; the stack is left as it is.
        if (!step)
            return;
        if (step->profileID() == profileID) {
            dropsAny = true;
            continue;
        }
        const bool done = i < stack->index();
        kept.emplace_back(step->copy(done));
        keptDone += done;
    }
    if (!dropsAny)
        return;
    stack->clear();
    for (std::unique_ptr<KeyEditCommand>& step : kept)
        stack->push(step.release());
    stack->setIndex(keptDone);
}

void ProfileStore::renameProfile(const QUuid& id, const QString& name)
{
    const int index = indexOf(id);
    if (index < 0 || m_profiles[index].name == name)
        return;
    QList<MacroProfile> profiles = m_profiles;
    profiles[index].name = name;
    setProfiles(std::move(profiles));
    save();
}

void ProfileStore::updateKey(const MacroProfile& profile, const QString& actionName)
{
    commitKeys(profile, actionName, std::nullopt);
}

void ProfileStore::commitKeys(const MacroProfile& profile, const QString& actionName,
                              std::optional<std::pair<int, int>> move)
{
    const int index = indexOf(profile.id);
    if (index < 0 || m_profiles[index].buttons == profile.buttons)
        return;
    QList<MacroButton> before = m_profiles[index].buttons;
    replaceKeys(index, profile.buttons);
    setActiveID(profile.id);
    saveAfterPause();
    if (m_undoStack)
        m_undoStack->push(new KeyEditCommand(this, profile.id, std::move(before), profile.buttons, actionName, move));
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
    commitKeys(profile, QStringLiteral("Move Key"), std::pair(from, to));
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
    setProfiles(std::move(profiles));
    save();
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
