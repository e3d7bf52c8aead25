#pragma once
// The user's library of macro key profiles: which one is active and which is the fallback for
// automatic switching. Loads from and saves to the settings, and makes key edits undoable.

#include "macros/MacroProfile.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUndoStack>
#include <QUuid>

#include <functional>
#include <optional>
#include <utility>

class Settings;

class ProfileStore : public QObject {
    Q_OBJECT

public:
    static const QString storageKey;       // "macroProfiles.v1"
    static const QString legacyStorageKey; // "macroProfile.v1"
    // Where stored data that could not be used is kept instead of being overwritten.
    static const QString unreadableKey; // "macroProfiles.v1.unreadable"
    static const QString droppedKey;    // "macroProfiles.v1.dropped"

    // Stored data the load could not use, reported once so it can be logged.
    struct LoadProblem {
        enum class Kind { unreadableLibrary, droppedProfiles };
        Kind kind = Kind::unreadableLibrary;
        // Empty when the data could not be kept: the store then saves nothing until it is.
        QString keptUnder;
        int droppedCount = 0;
        QString text() const;
    };

    // Key edits come a keystroke at a time: the library is written once they pause. A change of
    // the active profile is written at the end of such a pause too, at most once a pause.
    static constexpr int keyEditSaveDelayMs = 1000;

    explicit ProfileStore(Settings& settings, QObject* parent = nullptr);
    // Writes key edits still waiting.
    ~ProfileStore() override;

    const QList<MacroProfile>& profiles() const { return m_profiles; }
    QUuid activeID() const { return m_activeID; }
    std::optional<QUuid> fallbackID() const { return m_fallbackID; }
    // The profile with activeID, or the first profile.
    const MacroProfile& activeProfile() const;

    void activateProfile(const QUuid& id);
    MacroProfile addProfile(bool duplicate);
    void deleteProfile(const QUuid& id);
    void renameProfile(const QUuid& id, const QString& name);
    // The one undoable commit of key edits: only the key list of `profile` is taken. Commits
    // with the same `mergeKey` (a field of one key, say) one after the other are one step.
    void updateKey(const MacroProfile& profile, const QString& actionName, const QString& mergeKey = {});
    void moveKey(int from, int to);
    void clearKey(int index);
    // Flips a latching key of the active profile; none when the index or key does not latch.
    std::optional<bool> toggleLatchedKey(int index);
    // Both take their arguments by value: a caller may pass an entry of this store's own list,
    // which the change replaces.
    void linkApps(AppTarget app, QUuid profileID);
    void unlinkApp(QString bundleID, QUuid profileID);
    void setFallbackProfile(const std::optional<QUuid>& id);
    std::optional<MacroProfile> profileLinkedToApp(const QString& bundleID) const;
    std::optional<QUuid> targetProfileID(const std::optional<QString>& bundleID) const;

    // The editor window's undo stack; held weakly. Without one, no edit is undoable. Key edits,
    // renames, added and deleted profiles and linked applications are.
    void setUndoStack(QUndoStack* stack) { m_undoStack = stack; }
    QUndoStack* undoStack() const { return m_undoStack; }

    // Called after changes that may alter what the device shows.
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    // The problem met while loading, once; none afterwards or when there was none.
    std::optional<LoadProblem> takeLoadProblem();

    // Writes key edits and an active profile still waiting for their pause now; what reads the
    // stored library calls it first. Nothing happens when none wait.
    void saveWaitingEdits();
    bool hasWaitingEdits() const;

signals:
    void profilesChanged();
    void activeIDChanged();
    void fallbackIDChanged();
    // An undo or redo of "Move Key" put the key that moved in slot `index` of the active profile.
    void movedKeyPlaced(int index);

private:
    friend class KeyEdit;
    friend class RenameEdit;
    friend class ProfilePresenceEdit;
    friend class LinkedAppsEdit;

    void load();
    void save();
    void saveAfterPause();
    int indexOf(const QUuid& id) const;
    QString uniqueName(const QString& base) const;
    void setProfiles(QList<MacroProfile> profiles);
    // The keys of the profile at index, which differ from buttons.
    void replaceKeys(int index, const QList<MacroButton>& buttons);
    void setActiveID(const QUuid& id);
    // updateKey, for a move (from, to) as well.
    void commitKeys(const MacroProfile& profile, const QString& actionName, const QString& mergeKey,
                    std::optional<std::pair<int, int>> move);
    void setFallbackID(const std::optional<QUuid>& id);
    void notifyChange();
    void pushEdit(QUndoCommand* edit);
    // What undo and redo change, without registering anything.
    void restoreKeys(const QUuid& profileID, const QList<MacroButton>& buttons);
    void putName(int index, const QString& name);
    void placeProfile(const MacroProfile& profile, int index);
    // Removes a profile, making its neighbour active and clearing the fallback where it was
    // either; none when it is not there or is the last one.
    std::optional<MacroProfile> takeProfile(const QUuid& id);
    void putLinkedApps(const QHash<QUuid, QList<AppTarget>>& links);
    // Takes `profiles`, which differ from the store's in linked applications only, as one step.
    void changeLinks(QList<MacroProfile> profiles, const QString& actionName);
    std::optional<QString> keepStoredData(const QString& baseKey, const QByteArray& data);
    std::optional<QString> keepUnkept();

    Settings& m_settings;
    QList<MacroProfile> m_profiles;
    QUuid m_activeID;
    std::optional<QUuid> m_fallbackID;
    QPointer<QUndoStack> m_undoStack;
    std::function<void()> m_onChange;
    std::optional<LoadProblem> m_loadProblem;
    // Stored data that did not load and is not kept elsewhere yet.
    struct Unkept {
        QString baseKey;
        QByteArray data;
    };
    std::optional<Unkept> m_unkept;
    QTimer* m_saveTimer = nullptr;
};
