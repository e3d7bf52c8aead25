#pragma once
// The undo steps of the profile store. Each is pushed after its edit was made, so the redo that
// pushing runs finds it done; undo and redo change the store only, and the views follow its
// signals. A step puts back only what its edit changed, so a latch flipped on the device or a
// profile picked from the tray in between stays as it is.

#include "macros/AppTarget.h"
#include "macros/MacroProfile.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QUndoCommand>
#include <QUuid>

#include <optional>
#include <utility>

class ProfileStore;

// A step pushed after its edit: the first redo is the push's own and does nothing.
class ProfileEdit : public QUndoCommand {
public:
    ProfileEdit(ProfileStore* store, const QString& name) : QUndoCommand(name), m_store(store) {}

    void undo() final
    {
        if (m_store)
            revert(*m_store);
    }
    void redo() final
    {
        if (!std::exchange(m_pushed, false) && m_store)
            apply(*m_store);
    }

protected:
    virtual void apply(ProfileStore& store) = 0;
    virtual void revert(ProfileStore& store) = 0;

private:
    QPointer<ProfileStore> m_store;
    bool m_pushed = true;
};

// Keys of one profile. Steps that name the same field (`mergeKey`) one after the other are one
// step: a word typed is undone at once, and a step that leaves the keys as they were goes.
class KeyEdit : public ProfileEdit {
public:
    // `move`: the slots (from, to) of a moved key, for the selection to follow it on undo and redo.
    KeyEdit(ProfileStore* store, QUuid profileID, QList<MacroButton> before, QList<MacroButton> after,
            const QString& name, QString mergeKey, std::optional<std::pair<int, int>> move);

    int id() const override;
    bool mergeWith(const QUndoCommand* other) override;

protected:
    void apply(ProfileStore& store) override;
    void revert(ProfileStore& store) override;

private:
    // Undo and redo each keep the keys they replace for the opposite step, so a latch flipped on
    // the device in between comes back with a redo.
    void swapIn(ProfileStore& store, const QList<MacroButton>& keys, QList<MacroButton>& replaced, int placed);

    QUuid m_profileID;
    QList<MacroButton> m_before;
    QList<MacroButton> m_after;
    QString m_mergeKey;
    std::optional<std::pair<int, int>> m_move;
};

// A profile's name; renames of one profile in a row are one step.
class RenameEdit : public ProfileEdit {
public:
    RenameEdit(ProfileStore* store, QUuid profileID, QString before, QString after);

    int id() const override;
    bool mergeWith(const QUndoCommand* other) override;

protected:
    void apply(ProfileStore& store) override { put(store, m_after); }
    void revert(ProfileStore& store) override { put(store, m_before); }

private:
    void put(ProfileStore& store, const QString& name);

    QUuid m_profileID;
    QString m_before;
    QString m_after;
};

// A profile added (new or duplicate) or deleted: undo takes it away or brings it back, with
// its place, whether it was the active one and whether it was the fallback.
class ProfilePresenceEdit : public ProfileEdit {
public:
    struct Place {
        int index = 0;
        bool wasActive = false;
        bool wasFallback = false;
        // The profile active before an addition, which its undo makes active again.
        QUuid activeBefore;
    };

    ProfilePresenceEdit(ProfileStore* store, const QString& name, MacroProfile profile, Place place, bool added);

protected:
    void apply(ProfileStore& store) override;
    void revert(ProfileStore& store) override;

private:
    void bringBack(ProfileStore& store);
    void takeAway(ProfileStore& store);

    MacroProfile m_profile;
    Place m_place;
    bool m_added;
};

// The applications linked to the profiles an edit changed (linking one moves it from another).
class LinkedAppsEdit : public ProfileEdit {
public:
    using Links = QHash<QUuid, QList<AppTarget>>;
    LinkedAppsEdit(ProfileStore* store, const QString& name, Links before, Links after);

protected:
    void apply(ProfileStore& store) override;
    void revert(ProfileStore& store) override;

private:
    Links m_before;
    Links m_after;
};
