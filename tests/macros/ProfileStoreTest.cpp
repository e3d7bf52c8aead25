#include "macros/MacroJson.h"
#include "macros/ProfileStore.h"
#include "platform/Settings.h"

#include <QJsonArray>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <memory>

namespace {

MacroProfile profileNamed(const QString& name, int keys = 12, std::int64_t version = 1)
{
    MacroProfile profile = MacroProfile::named(name);
    profile.version = version;
    profile.buttons.resize(keys);
    for (int i = 0; i < keys; ++i) {
        profile.buttons[i].label = name + QString::number(i);
        profile.buttons[i].action = MacroAction::keystroke({std::uint16_t(4 + i), {}});
    }
    return profile;
}

QByteArray libraryBytes(const QList<MacroProfile>& profiles, const QString& activeID,
                        const std::optional<QString>& fallbackID = std::nullopt)
{
    QJsonArray stored;
    for (const MacroProfile& profile : profiles)
        stored.append(encodeMacroProfile(profile));
    QJsonObject object{{"profiles", stored}, {"activeID", activeID}};
    if (fallbackID)
        object.insert("fallbackID", *fallbackID);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject storedLibrary(Settings& settings)
{
    return QJsonDocument::fromJson(settings.bytes(ProfileStore::storageKey).value_or(QByteArray())).object();
}

class ProfileStoreTest : public ::testing::Test {
protected:
    void SetUp() override { settings = std::make_unique<Settings>(dir.filePath("Tarv.conf")); }

    ProfileStore& open()
    {
        // The store closing first writes what waits, as it does at quit.
        store.reset();
        store = std::make_unique<ProfileStore>(*settings);
        store->setOnChange([this] { ++changes; });
        return *store;
    }

    // A store over four profiles A–D with A active.
    ProfileStore& openFour()
    {
        const QList<MacroProfile> four = {profileNamed("A"), profileNamed("B"), profileNamed("C"), profileNamed("D")};
        settings->setBytes(ProfileStore::storageKey, libraryBytes(four, uuidText(four[0].id)));
        return open();
    }

    QStringList names() const
    {
        QStringList result;
        for (const MacroProfile& profile : store->profiles())
            result.append(profile.name);
        return result;
    }

    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<ProfileStore> store;
    int changes = 0;
};

} // namespace

TEST_F(ProfileStoreTest, EmptySettingsGiveTheDefaultProfileAndStoreIt)
{
    ProfileStore& s = open();
    ASSERT_EQ(s.profiles().size(), 1);
    EXPECT_EQ(s.profiles()[0], MacroProfile::defaultProfile());
    EXPECT_EQ(s.activeID(), MacroProfile::defaultProfile().id);
    EXPECT_FALSE(s.fallbackID());
    EXPECT_EQ(changes, 0);
    const QJsonObject stored = storedLibrary(*settings);
    EXPECT_EQ(stored.value("activeID").toString(), uuidText(s.activeID()));
    EXPECT_FALSE(stored.contains("fallbackID"));
    EXPECT_FALSE(s.takeLoadProblem());
}

TEST_F(ProfileStoreTest, LegacyProfileIsTakenOverAndLeftInPlace)
{
    const MacroProfile legacy = profileNamed("Old", 11);
    const QByteArray legacyBytes = QJsonDocument(encodeMacroProfile(legacy)).toJson();
    settings->setBytes(ProfileStore::legacyStorageKey, legacyBytes);
    ProfileStore& s = open();
    ASSERT_EQ(s.profiles().size(), 1);
    EXPECT_EQ(s.profiles()[0].id, legacy.id);
    ASSERT_EQ(s.profiles()[0].buttons.size(), 12);
    EXPECT_EQ(s.profiles()[0].buttons.first(11), legacy.buttons);
    EXPECT_EQ(s.profiles()[0].buttons[11].action, MacroAction::unassigned());
    EXPECT_EQ(s.activeID(), legacy.id);
    EXPECT_EQ(settings->bytes(ProfileStore::legacyStorageKey), legacyBytes);
    EXPECT_EQ(storedLibrary(*settings).value("profiles").toArray().size(), 1);
}

TEST_F(ProfileStoreTest, UnreadableLibraryIsKeptAsItWasAndTheLegacyProfileUsed)
{
    const QByteArray broken = R"({"profiles": []})"; // no activeID
    settings->setBytes(ProfileStore::storageKey, broken);
    const MacroProfile legacy = profileNamed("Old");
    settings->setBytes(ProfileStore::legacyStorageKey, QJsonDocument(encodeMacroProfile(legacy)).toJson());
    ProfileStore& s = open();
    ASSERT_EQ(s.profiles().size(), 1);
    EXPECT_EQ(s.profiles()[0], legacy);
    EXPECT_EQ(settings->bytes(ProfileStore::unreadableKey), broken);
    const auto problem = s.takeLoadProblem();
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, ProfileStore::LoadProblem::Kind::unreadableLibrary);
    EXPECT_TRUE(problem->text().contains(ProfileStore::unreadableKey));
    EXPECT_FALSE(s.takeLoadProblem());
}

TEST_F(ProfileStoreTest, AnEarlierBackupIsNeverOverwritten)
{
    settings->setBytes(ProfileStore::unreadableKey, "first");
    settings->setBytes(ProfileStore::storageKey, "second, not JSON");
    open();
    EXPECT_EQ(settings->bytes(ProfileStore::unreadableKey), QByteArray("first"));
    EXPECT_EQ(settings->bytes(ProfileStore::unreadableKey + ".2"), QByteArray("second, not JSON"));
    EXPECT_EQ(store->takeLoadProblem()->keptUnder, ProfileStore::unreadableKey + ".2");
}

// Typed into the file by hand, a library can read as a list, a number or a map rather than as
// data; whatever it reads as, its text is kept before the default library is stored over it.
TEST_F(ProfileStoreTest, ALibraryOfAnyFormThatDoesNotDecodeIsKeptAsItsText)
{
    const MacroProfile work = profileNamed("Work");
    const QByteArray handTyped = libraryBytes({work}, uuidText(work.id));
    const QByteArray number = R"x(@Variant(\0\0\0\x2\0\0\0\x5))x";
    const QByteArray map = R"x(@Variant(\0\0\0\b\0\0\0\x1\0\0\0\x2\0\x61\0\0\0\x2\0\0\0\x1))x";
    const QList<std::pair<QByteArray, QByteArray>> forms = {
        {handTyped, handTyped},
        {number, number},
        {map, map},
        {"42", "42"},
        {R"x(@ByteArray(\xff{not json))x", "\xff{not json"},
    };
    const QString path = dir.filePath("Tarv.conf");
    for (const auto& [line, kept] : forms) {
        SCOPED_TRACE(line.toStdString());
        store.reset();
        settings.reset();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\nmacroProfiles.v1=" + line + "\n");
        file.close();
        settings = std::make_unique<Settings>(path);
        ProfileStore& s = open();
        EXPECT_EQ(s.profiles(), QList<MacroProfile>{MacroProfile::defaultProfile()});
        const auto problem = s.takeLoadProblem();
        ASSERT_TRUE(problem);
        EXPECT_EQ(problem->keptUnder, ProfileStore::unreadableKey);

        settings->waitForWrites();
        Settings reopened(path);
        EXPECT_EQ(reopened.bytes(ProfileStore::unreadableKey), kept);
        EXPECT_EQ(reopened.bytes(ProfileStore::storageKey), settings->bytes(ProfileStore::storageKey));
    }
}

TEST_F(ProfileStoreTest, DroppedProfilesAreKeptAndUnusableLibrariesFallBackToDefault)
{
    const QList<MacroProfile> unusable = {profileNamed("V2", 12, 2), profileNamed("Ten", 10),
                                          profileNamed("Thirteen", 13)};
    settings->setBytes(ProfileStore::storageKey, libraryBytes(unusable, uuidText(unusable[0].id)));
    ProfileStore& s = open();
    ASSERT_EQ(s.profiles().size(), 1);
    EXPECT_EQ(s.profiles()[0], MacroProfile::defaultProfile());
    const QJsonArray dropped = QJsonDocument::fromJson(*settings->bytes(ProfileStore::droppedKey)).array();
    ASSERT_EQ(dropped.size(), 3);
    EXPECT_EQ(decodeMacroProfile(dropped[2]).value(), unusable[2]);
    const auto problem = s.takeLoadProblem();
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, ProfileStore::LoadProblem::Kind::droppedProfiles);
    EXPECT_EQ(problem->droppedCount, 3);
}

TEST_F(ProfileStoreTest, UnknownActiveAndFallbackIds)
{
    const QList<MacroProfile> two = {profileNamed("A"), profileNamed("B")};
    const QString unknown = uuidText(QUuid::createUuid());
    settings->setBytes(ProfileStore::storageKey, libraryBytes(two, unknown, unknown));
    ProfileStore& s = open();
    EXPECT_EQ(s.activeID(), two[0].id);
    EXPECT_FALSE(s.fallbackID());

    settings->setBytes(ProfileStore::storageKey,
                       libraryBytes(two, uuidText(two[1].id).toLower(), uuidText(two[0].id)));
    ProfileStore& t = open();
    EXPECT_EQ(t.activeID(), two[1].id);
    EXPECT_EQ(t.fallbackID(), two[0].id);
    EXPECT_EQ(storedLibrary(*settings).value("fallbackID").toString(), uuidText(two[0].id));
}

TEST_F(ProfileStoreTest, DeletingProfiles)
{
    ProfileStore& s = openFour();
    const QList<MacroProfile> initial = s.profiles();
    s.setFallbackProfile(initial[3].id);
    s.activateProfile(initial[2].id);
    changes = 0;
    s.deleteProfile(initial[2].id);
    EXPECT_EQ(names(), QStringList({"A", "B", "D"}));
    EXPECT_EQ(s.activeID(), initial[3].id);
    EXPECT_EQ(changes, 1);
    s.deleteProfile(initial[3].id);
    EXPECT_EQ(s.activeID(), initial[1].id);
    EXPECT_FALSE(s.fallbackID());
    s.deleteProfile(initial[0].id);
    EXPECT_EQ(changes, 2); // the active profile stayed
    s.deleteProfile(initial[1].id);
    EXPECT_EQ(names(), QStringList({"B"}));
    EXPECT_EQ(storedLibrary(*settings).value("profiles").toArray().size(), 1);
}

TEST_F(ProfileStoreTest, AddingAndDuplicatingNamesAndPlaces)
{
    ProfileStore& s = openFour();
    s.renameProfile(s.activeID(), "Work");
    const MacroProfile source = s.activeProfile();
    s.linkApps({"org.gnome.Terminal", "Terminal"}, source.id);
    const MacroProfile copy = s.addProfile(true);
    EXPECT_EQ(copy.name, QStringLiteral("Work Copy"));
    EXPECT_TRUE(copy.linkedApps.isEmpty());
    EXPECT_EQ(s.activeID(), copy.id);
    s.activateProfile(source.id);
    s.addProfile(true);
    EXPECT_EQ(names(), QStringList({"Work", "Work Copy 2", "Work Copy", "B", "C", "D"}));
    s.addProfile(false);
    const MacroProfile second = s.addProfile(false);
    EXPECT_EQ(second.name, QStringLiteral("New Profile 2"));
    EXPECT_EQ(second.buttons.size(), 12);
    EXPECT_EQ(names()[3], QStringLiteral("New Profile 2"));
    EXPECT_EQ(changes, 5);
}

TEST_F(ProfileStoreTest, MoveAndClearWithUndoAndRedo)
{
    ProfileStore& s = openFour();
    QUndoStack stack;
    s.setUndoStack(&stack);
    const QList<MacroButton> before = s.activeProfile().buttons;

    s.moveKey(3, 3);
    s.moveKey(0, 12);
    s.moveKey(-1, 0);
    EXPECT_EQ(stack.count(), 0);
    EXPECT_EQ(changes, 0);

    s.moveKey(0, 11);
    EXPECT_EQ(s.activeProfile().buttons[0], before[11]);
    EXPECT_EQ(s.activeProfile().buttons[11], before[0]);
    EXPECT_EQ(stack.undoText(), QStringLiteral("Move Key"));
    EXPECT_EQ(changes, 1);

    s.clearKey(5);
    EXPECT_EQ(s.activeProfile().buttons[5].action, MacroAction::unassigned());
    EXPECT_NE(s.activeProfile().buttons[5].id, before[5].id);
    EXPECT_EQ(stack.undoText(), QStringLiteral("Clear Key"));
    s.clearKey(12);
    EXPECT_EQ(stack.count(), 2);

    stack.undo();
    stack.undo();
    EXPECT_EQ(s.activeProfile().buttons, before);
    EXPECT_EQ(stack.redoText(), QStringLiteral("Move Key"));
    stack.redo();
    EXPECT_EQ(s.activeProfile().buttons[0], before[11]);
    // The stored library follows undo and redo.
    s.saveWaitingEdits();
    EXPECT_EQ(storedLibrary(*settings).value("profiles")[0]["buttons"][0]["id"].toString(), uuidText(before[11].id));
}

TEST_F(ProfileStoreTest, UnchangedKeysRegisterNothingAndUndoReactivatesTheEditedProfile)
{
    ProfileStore& s = openFour();
    QUndoStack stack;
    s.setUndoStack(&stack);
    s.updateKey(s.activeProfile(), "Edit Label");
    EXPECT_EQ(stack.count(), 0);
    EXPECT_EQ(changes, 0);

    const MacroProfile a = s.activeProfile();
    MacroProfile edited = a;
    edited.buttons[0].label = "edited";
    edited.name = "ignored";
    s.updateKey(edited, "Edit Label");
    EXPECT_EQ(s.activeProfile().name, QStringLiteral("A"));
    s.activateProfile(s.profiles()[1].id);
    stack.undo();
    EXPECT_EQ(s.activeID(), a.id);
    EXPECT_EQ(s.activeProfile().buttons, a.buttons);
    s.activateProfile(s.profiles()[1].id);
    stack.redo();
    EXPECT_EQ(s.activeID(), a.id);
    EXPECT_EQ(s.activeProfile().buttons[0].label, QStringLiteral("edited"));

    // A profile deleted without an undo stack takes its steps' meaning with it: they do nothing.
    s.setUndoStack(nullptr);
    s.deleteProfile(a.id);
    const QList<MacroProfile> remaining = s.profiles();
    stack.undo();
    EXPECT_EQ(s.profiles(), remaining);
}

TEST_F(ProfileStoreTest, RedoPutsBackTheKeysUndoReplaced)
{
    ProfileStore& s = openFour();
    QUndoStack stack;
    s.setUndoStack(&stack);
    MacroProfile edited = s.activeProfile();
    edited.buttons[0].label = "edited";
    edited.buttons[1].isToggle = true;
    s.updateKey(edited, "Edit Label");
    // A latch flipped on the device after the edit is part of the keys the undo replaces.
    EXPECT_EQ(s.toggleLatchedKey(1), true);
    stack.undo();
    EXPECT_FALSE(s.activeProfile().buttons[1].isToggle);
    stack.redo();
    EXPECT_EQ(s.activeProfile().buttons[0].label, QStringLiteral("edited"));
    EXPECT_TRUE(s.activeProfile().buttons[1].isActive);
}

// A label typed a key at a time is not written at each key; the edits waiting are written
// when the store closes, as at quit.
TEST_F(ProfileStoreTest, KeyEditsWaitForThePauseAndNoneIsLostAtQuit)
{
    ProfileStore& s = openFour();
    const std::optional<QByteArray> stored = settings->bytes(ProfileStore::storageKey);
    MacroProfile edited = s.activeProfile();
    for (const char* label : {"R", "Ru", "Run"}) {
        edited.buttons[0].label = QString::fromLatin1(label);
        s.updateKey(edited, "Edit Label");
    }
    EXPECT_TRUE(s.hasWaitingEdits());
    EXPECT_EQ(settings->bytes(ProfileStore::storageKey), stored);

    store.reset();
    EXPECT_EQ(storedLibrary(*settings).value("profiles")[0]["buttons"][0]["label"].toString(), QStringLiteral("Run"));
    EXPECT_EQ(open().activeProfile().buttons[0].label, QStringLiteral("Run"));
}

TEST_F(ProfileStoreTest, ToggleLatchedKey)
{
    ProfileStore& s = openFour();
    MacroProfile profile = s.activeProfile();
    profile.buttons[2].isToggle = true;
    s.updateKey(profile, "Change Latching");
    changes = 0;
    EXPECT_FALSE(s.toggleLatchedKey(1));
    EXPECT_FALSE(s.toggleLatchedKey(-1));
    EXPECT_FALSE(s.toggleLatchedKey(12));
    EXPECT_EQ(s.toggleLatchedKey(2), true);
    EXPECT_EQ(s.toggleLatchedKey(2), false);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(storedLibrary(*settings).value("profiles")[0]["buttons"][2]["isActive"].toBool());
}

TEST_F(ProfileStoreTest, LinkingApplicationsIgnoresLetterCase)
{
    ProfileStore& s = openFour();
    const QUuid a = s.profiles()[0].id;
    const QUuid b = s.profiles()[1].id;
    s.linkApps({"", "Nothing"}, a);
    s.linkApps({"org.gnome.Terminal", "Terminal"}, QUuid::createUuid());
    EXPECT_TRUE(s.profiles()[0].linkedApps.isEmpty());

    s.linkApps({"org.gnome.Terminal", "Terminal"}, a);
    s.linkApps({"firefox", "Firefox"}, a);
    s.linkApps({"ORG.GNOME.TERMINAL", "Console"}, b);
    EXPECT_EQ(s.profiles()[0].linkedApps, (QList<AppTarget>{{"firefox", "Firefox"}}));
    EXPECT_EQ(s.profiles()[1].linkedApps, (QList<AppTarget>{{"ORG.GNOME.TERMINAL", "Console"}}));
    s.linkApps({"org.gnome.terminal", "Terminal"}, b);
    EXPECT_EQ(s.profiles()[1].linkedApps, (QList<AppTarget>{{"org.gnome.terminal", "Terminal"}}));

    EXPECT_EQ(s.profileLinkedToApp("Org.Gnome.Terminal")->id, b);
    EXPECT_EQ(s.targetProfileID(QString("FIREFOX")), a);
    EXPECT_FALSE(s.targetProfileID(QString("other")));
    s.setFallbackProfile(b);
    EXPECT_EQ(s.targetProfileID(QString("other")), b);
    EXPECT_EQ(s.targetProfileID(std::nullopt), b);
    s.setFallbackProfile(QUuid::createUuid());
    EXPECT_EQ(s.fallbackID(), b);
    s.setFallbackProfile(std::nullopt);
    EXPECT_FALSE(s.fallbackID());

    s.unlinkApp("FireFox", a);
    EXPECT_TRUE(s.profiles()[0].linkedApps.isEmpty());
    EXPECT_EQ(changes, 0);

    // Arguments that are entries of the store's own list, which the change replaces.
    s.linkApps(s.profiles()[1].linkedApps[0], s.profiles()[0].id);
    EXPECT_EQ(s.profiles()[0].linkedApps, (QList<AppTarget>{{"org.gnome.terminal", "Terminal"}}));
    EXPECT_TRUE(s.profiles()[1].linkedApps.isEmpty());
    s.unlinkApp(s.profiles()[0].linkedApps[0].bundleID, s.profiles()[0].id);
    EXPECT_TRUE(s.profiles()[0].linkedApps.isEmpty());
    s.linkApps({"org.gnome.terminal", "Terminal"}, b);

    // Reopening reads the links back.
    open();
    EXPECT_EQ(store->profiles()[1].linkedApps, (QList<AppTarget>{{"org.gnome.terminal", "Terminal"}}));
}

TEST_F(ProfileStoreTest, FirstLinkedProfileWinsInAHandEditedLibrary)
{
    QList<MacroProfile> two = {profileNamed("A"), profileNamed("B")};
    two[0].linkedApps = {{"code", "Code"}};
    two[1].linkedApps = {{"CODE", "Code"}};
    settings->setBytes(ProfileStore::storageKey, libraryBytes(two, uuidText(two[1].id)));
    EXPECT_EQ(open().targetProfileID(QString("code")), two[0].id);
}

// Every edit a page makes through the store, in any order: undoing them all gives the library
// back as it was, redoing them all gives it as it became, each step in turn, and what is stored
// follows. Edits of one field in a row are one step.
TEST_F(ProfileStoreTest, AnySequenceOfEditsUndoesToTheStartAndRedoesToTheEnd)
{
    const QStringList apps = {"org.gnome.Terminal", "firefox", "org.gnome.Nautilus"};
    for (quint32 seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        ProfileStore& s = openFour();
        QUndoStack stack;
        s.setUndoStack(&stack);
        s.setFallbackProfile(s.profiles()[1].id);
        QRandomGenerator random(seed);
        struct State {
            QList<MacroProfile> profiles;
            QUuid active;
            std::optional<QUuid> fallback;
            bool operator==(const State&) const = default;
        };
        const auto state = [&] { return State{s.profiles(), s.activeID(), s.fallbackID()}; };
        // The library after each step: a step that merged into the one before, or undid it
        // (it went), replaces that one's outcome.
        QList<State> states{state()};
        for (int step = 0; step < 12; ++step) {
            const MacroProfile& active = s.activeProfile();
            const qsizetype count = s.profiles().size();
            switch (random.bounded(7)) {
            case 0: s.renameProfile(active.id, active.name + QChar(u'a' + random.bounded(3))); break;
            case 1: s.addProfile(random.bounded(2) == 0); break;
            case 2: s.deleteProfile(s.profiles()[random.bounded(count)].id); break;
            case 3: s.linkApps({apps[random.bounded(apps.size())], "App"}, s.profiles()[random.bounded(count)].id); break;
            case 4: s.unlinkApp(apps[random.bounded(apps.size())], active.id); break;
            case 5: {
                MacroProfile edited = active;
                edited.buttons[int(random.bounded(3))].label += QChar(u'x' + random.bounded(2));
                s.updateKey(edited, "Edit Label", random.bounded(2) ? QString("label") : QString());
                break;
            }
            default: s.activateProfile(s.profiles()[random.bounded(count)].id); break;
            }
            states.resize(stack.count() + 1);
            states.last() = state();
        }
        ASSERT_EQ(states.size(), stack.count() + 1);
        // Picking a profile is no step: undo shows the profile each step changed instead.
        const auto sameLibrary = [](const State& a, const State& b) {
            return a.profiles == b.profiles && a.fallback == b.fallback;
        };
        for (int i = stack.count(); i > 0; --i) {
            stack.undo();
            EXPECT_TRUE(sameLibrary(state(), states[i - 1])) << "after undoing step " << i;
        }
        for (int i = 1; i <= stack.count(); ++i) {
            stack.redo();
            EXPECT_TRUE(sameLibrary(state(), states[i])) << "after redoing step " << i;
        }
        s.saveWaitingEdits();
        EXPECT_EQ(storedLibrary(*settings).value("profiles").toArray().size(), s.profiles().size());
    }
}

TEST_F(ProfileStoreTest, TypingInOneFieldIsOneStepAndTypingItAwayIsNone)
{
    ProfileStore& s = openFour();
    QUndoStack stack;
    s.setUndoStack(&stack);
    const MacroProfile start = s.activeProfile();
    MacroProfile edited = start;
    for (const char* label : {"h", "he", "hel", "hell", "hello"}) {
        edited.buttons[0].label = QString::fromLatin1(label);
        s.updateKey(edited, "Edit Label", "label/0");
    }
    EXPECT_EQ(stack.count(), 1);
    // Another field, or a field of another key, is a step of its own.
    edited.buttons[1].label = "other";
    s.updateKey(edited, "Edit Label", "label/1");
    EXPECT_EQ(stack.count(), 2);
    stack.undo();
    stack.undo();
    EXPECT_EQ(s.activeProfile().buttons, start.buttons);
    EXPECT_EQ(stack.index(), 0);

    // Typed and typed away again: nothing to undo.
    stack.clear();
    edited = start;
    edited.buttons[0].label += "!";
    s.updateKey(edited, "Edit Label", "label/0");
    edited.buttons[0].label = start.buttons[0].label;
    s.updateKey(edited, "Edit Label", "label/0");
    EXPECT_EQ(stack.count(), 0);

    s.renameProfile(start.id, "Wo");
    s.renameProfile(start.id, "Work");
    EXPECT_EQ(stack.count(), 1);
    EXPECT_EQ(stack.undoText(), QStringLiteral("Rename Profile"));
    s.activateProfile(s.profiles()[2].id);
    stack.undo();
    // The profile renamed shows again.
    EXPECT_EQ(s.activeID(), start.id);
    EXPECT_EQ(s.activeProfile().name, QStringLiteral("A"));
}

TEST_F(ProfileStoreTest, DeletedProfilesComeBackInTheirPlaceAsActiveAndFallback)
{
    ProfileStore& s = openFour();
    QUndoStack stack;
    s.setUndoStack(&stack);
    const QList<MacroProfile> initial = s.profiles();
    s.setFallbackProfile(initial[2].id);
    s.activateProfile(initial[2].id);
    MacroProfile edited = s.activeProfile();
    edited.buttons[0].label = "edited";
    s.updateKey(edited, "Edit Label");
    s.deleteProfile(initial[2].id);
    EXPECT_EQ(stack.undoText(), QStringLiteral("Delete Profile"));
    EXPECT_EQ(names(), QStringList({"A", "B", "D"}));
    stack.undo();
    EXPECT_EQ(names(), QStringList({"A", "B", "C", "D"}));
    EXPECT_EQ(s.activeID(), initial[2].id);
    EXPECT_EQ(s.fallbackID(), initial[2].id);
    // Its own steps work again.
    stack.undo();
    EXPECT_EQ(s.activeProfile().buttons, initial[2].buttons);
    stack.redo();
    stack.redo();
    EXPECT_EQ(names(), QStringList({"A", "B", "D"}));
    EXPECT_FALSE(s.fallbackID());

    // An added profile goes with its undo, and the profile active before shows again.
    s.activateProfile(initial[0].id);
    s.addProfile(true);
    EXPECT_EQ(stack.undoText(), QStringLiteral("Duplicate Profile"));
    stack.undo();
    EXPECT_EQ(names(), QStringList({"A", "B", "D"}));
    EXPECT_EQ(s.activeID(), initial[0].id);
    stack.redo();
    EXPECT_EQ(names(), QStringList({"A", "A Copy", "B", "D"}));
    EXPECT_EQ(s.activeProfile().name, QStringLiteral("A Copy"));
    EXPECT_EQ(storedLibrary(*settings).value("profiles").toArray().size(), 4);
}

TEST_F(ProfileStoreTest, UndoingALinkGivesTheAppBackToTheProfileItMovedFrom)
{
    ProfileStore& s = openFour();
    QUndoStack stack;
    s.setUndoStack(&stack);
    const QUuid a = s.profiles()[0].id;
    const QUuid b = s.profiles()[1].id;
    s.linkApps({"firefox", "Firefox"}, a);
    s.linkApps({"FIREFOX", "Firefox"}, b);
    EXPECT_EQ(stack.undoText(), QStringLiteral("Add App"));
    EXPECT_TRUE(s.profiles()[0].linkedApps.isEmpty());
    stack.undo();
    EXPECT_EQ(s.profiles()[0].linkedApps, (QList<AppTarget>{{"firefox", "Firefox"}}));
    EXPECT_TRUE(s.profiles()[1].linkedApps.isEmpty());
    s.unlinkApp("firefox", a);
    EXPECT_EQ(stack.undoText(), QStringLiteral("Remove App"));
    stack.undo();
    EXPECT_EQ(s.profiles()[0].linkedApps, (QList<AppTarget>{{"firefox", "Firefox"}}));
    EXPECT_EQ(storedLibrary(*settings).value("profiles")[0]["linkedApps"].toArray().size(), 1);
}

TEST_F(ProfileStoreTest, ObservedPropertiesSignalOnlyRealChanges)
{
    ProfileStore& s = openFour();
    int active = 0, list = 0;
    QObject::connect(&s, &ProfileStore::activeIDChanged, [&] { ++active; });
    QObject::connect(&s, &ProfileStore::profilesChanged, [&] { ++list; });
    s.activateProfile(s.activeID());
    s.renameProfile(s.activeID(), "A");
    s.renameProfile(s.activeID(), "");
    EXPECT_EQ(s.activeProfile().name, QString());
    s.activateProfile(s.profiles()[1].id);
    EXPECT_EQ(active, 1);
    EXPECT_EQ(list, 1);
}
