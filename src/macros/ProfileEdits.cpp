#include "macros/ProfileEdits.h"

#include "macros/ProfileStore.h"

namespace {

// The ids of steps that may merge; QUndoStack merges only steps of one id.
enum MergeId { keyEditId = 1, renameId = 2 };

}  // namespace

KeyEdit::KeyEdit(ProfileStore* store, QUuid profileID, QList<MacroButton> before, QList<MacroButton> after,
                 const QString& name, QString mergeKey, std::optional<std::pair<int, int>> move)
    : ProfileEdit(store, name), m_profileID(profileID), m_before(std::move(before)), m_after(std::move(after)),
      m_mergeKey(std::move(mergeKey)), m_move(move)
{
}

int KeyEdit::id() const
{
    return m_mergeKey.isEmpty() ? -1 : keyEditId;
}

bool KeyEdit::mergeWith(const QUndoCommand* other)
{
    const auto* next = static_cast<const KeyEdit*>(other);
    if (next->m_mergeKey != m_mergeKey || next->m_profileID != m_profileID || next->m_before != m_after)
        return false;
    m_after = next->m_after;
    setObsolete(m_after == m_before);
    return true;
}

void KeyEdit::apply(ProfileStore& store)
{
    swapIn(store, m_after, m_before, m_move ? m_move->second : -1);
}

void KeyEdit::revert(ProfileStore& store)
{
    swapIn(store, m_before, m_after, m_move ? m_move->first : -1);
}

void KeyEdit::swapIn(ProfileStore& store, const QList<MacroButton>& keys, QList<MacroButton>& replaced, int placed)
{
    const int index = store.indexOf(m_profileID);
    if (index < 0)
        return;
    replaced = store.m_profiles[index].buttons;
    store.restoreKeys(m_profileID, keys);
    if (placed >= 0)
        emit store.movedKeyPlaced(placed);
}

RenameEdit::RenameEdit(ProfileStore* store, QUuid profileID, QString before, QString after)
    : ProfileEdit(store, QStringLiteral("Rename Profile")), m_profileID(profileID), m_before(std::move(before)),
      m_after(std::move(after))
{
}

int RenameEdit::id() const
{
    return renameId;
}

bool RenameEdit::mergeWith(const QUndoCommand* other)
{
    const auto* next = static_cast<const RenameEdit*>(other);
    if (next->m_profileID != m_profileID || next->m_before != m_after)
        return false;
    m_after = next->m_after;
    setObsolete(m_after == m_before);
    return true;
}

void RenameEdit::put(ProfileStore& store, const QString& name)
{
    const int index = store.indexOf(m_profileID);
    if (index < 0)
        return;
    // The profile renamed shows, so the user sees what came back.
    store.setActiveID(m_profileID);
    store.putName(index, name);
    store.notifyChange();
}

ProfilePresenceEdit::ProfilePresenceEdit(ProfileStore* store, const QString& name, MacroProfile profile, Place place,
                                         bool added)
    : ProfileEdit(store, name), m_profile(std::move(profile)), m_place(place), m_added(added)
{
}

void ProfilePresenceEdit::apply(ProfileStore& store)
{
    if (m_added)
        bringBack(store);
    else
        takeAway(store);
}

void ProfilePresenceEdit::revert(ProfileStore& store)
{
    if (m_added)
        takeAway(store);
    else
        bringBack(store);
}

void ProfilePresenceEdit::bringBack(ProfileStore& store)
{
    if (store.indexOf(m_profile.id) >= 0)
        return;
    store.placeProfile(m_profile, m_place.index);
    if (m_added || m_place.wasActive)
        store.setActiveID(m_profile.id);
    if (m_place.wasFallback)
        store.setFallbackID(m_profile.id);
    store.save();
    store.notifyChange();
}

void ProfilePresenceEdit::takeAway(ProfileStore& store)
{
    // The profile as it is now comes back with the redo: a latch flipped since stays flipped.
    std::optional<MacroProfile> taken = store.takeProfile(m_profile.id);
    if (!taken)
        return;
    m_profile = std::move(*taken);
    if (m_added && store.indexOf(m_place.activeBefore) >= 0)
        store.setActiveID(m_place.activeBefore);
    store.save();
    store.notifyChange();
}

LinkedAppsEdit::LinkedAppsEdit(ProfileStore* store, const QString& name, Links before, Links after)
    : ProfileEdit(store, name), m_before(std::move(before)), m_after(std::move(after))
{
}

void LinkedAppsEdit::apply(ProfileStore& store)
{
    store.putLinkedApps(m_after);
}

void LinkedAppsEdit::revert(ProfileStore& store)
{
    store.putLinkedApps(m_before);
}
