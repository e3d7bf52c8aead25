#include "macros/MacroJson.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "platform/Settings.h"
#include "support/DesktopTestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class FakeSource : public FrontmostAppSource {
public:
    bool isAvailable() const override { return true; }
    QString unavailableReason() const override { return {}; }
    std::optional<FrontmostApp> frontmostApp() override
    {
        ++queries;
        return front;
    }
    void activate(const FrontmostApp& app)
    {
        front = app;
        emit activated(app);
    }
    std::optional<FrontmostApp> front;
    int queries = 0;
};

FrontmostApp appOf(const char* id, const char* name)
{
    FrontmostApp app;
    if (id)
        app.bundleID = QString::fromUtf8(id);
    if (name)
        app.name = QString::fromUtf8(name);
    return app;
}

class ProfileAutoSwitcherTest : public ::testing::Test {
protected:
    // Profiles A (active), B linking org.example.Mail, and C with an empty name linking term.
    void SetUp() override
    {
        settings = std::make_unique<Settings>(dir.filePath("Tarv.conf"));
        MacroProfile a = MacroProfile::named("A"), b = MacroProfile::named("B"), c = MacroProfile::named("");
        b.linkedApps = {AppTarget{"org.example.Mail", "Mail"}};
        c.linkedApps = {AppTarget{"term", "Terminal"}};
        ids = {a.id, b.id, c.id};
        QJsonArray stored{encodeMacroProfile(a), encodeMacroProfile(b), encodeMacroProfile(c)};
        settings->setBytes(ProfileStore::storageKey,
                           QJsonDocument(QJsonObject{{"profiles", stored}, {"activeID", uuidText(a.id)}})
                               .toJson(QJsonDocument::Compact));
        store = std::make_unique<ProfileStore>(*settings);
    }

    ProfileAutoSwitcher& makeSwitcher(std::optional<QString> own = QString("tarv"))
    {
        testGuiApp();
        switcher = std::make_unique<ProfileAutoSwitcher>(*store, *settings, own, &source);
        switcher->setOnSwitch([this](const QString& text) { reports << text; });
        // Switches made in one go are one burst: the report comes on the event loop's next turn.
        switcher->setReportDelay(0);
        return *switcher;
    }

    // The reports of the switches made so far, once their burst has settled.
    const QStringList& told()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return reports;
    }

    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<ProfileStore> store;
    FakeSource source;
    std::unique_ptr<ProfileAutoSwitcher> switcher;
    QList<QUuid> ids;
    QStringList reports;
};

} // namespace

TEST_F(ProfileAutoSwitcherTest, LinkedAppSwitchesAndReportsInAnyLetterCase)
{
    auto& s = makeSwitcher();
    EXPECT_FALSE(s.isPaused());
    s.start();
    source.activate(appOf("ORG.example.mail", "Mail"));
    EXPECT_EQ(store->activeID(), ids[1]);
    EXPECT_EQ(told(), QStringList{"Profile \u201CB\u201D for Mail"});

    source.activate(appOf("org.example.Mail", "Mail"));
    EXPECT_EQ(told().size(), 1) << "already active: nothing to report";
}

TEST_F(ProfileAutoSwitcherTest, FallbackOrNothingForAnUnlinkedApp)
{
    auto& s = makeSwitcher();
    s.start();
    source.activate(appOf("org.other", "Other"));
    EXPECT_EQ(store->activeID(), ids[0]);
    EXPECT_TRUE(told().isEmpty());

    store->setFallbackProfile(ids[1]);
    source.activate(appOf("org.other", nullptr));
    EXPECT_EQ(store->activeID(), ids[1]);
    EXPECT_EQ(told(), QStringList{"Profile \u201CB\u201D for org.other"});

    store->activateProfile(ids[0]);
    source.activate(appOf(nullptr, nullptr));
    EXPECT_EQ(told().last(), "Profile \u201CB\u201D for an unnamed app");
}

TEST_F(ProfileAutoSwitcherTest, EmptyProfileNameIsUntitled)
{
    makeSwitcher().start();
    source.activate(appOf("term", "Terminal"));
    EXPECT_EQ(told(), QStringList{"Profile \u201CUntitled\u201D for Terminal"});
}

TEST_F(ProfileAutoSwitcherTest, OwnApplicationNeverSwitchesUnlessItHasNoId)
{
    store->setFallbackProfile(ids[1]);
    makeSwitcher(QString("tarv")).start();
    source.activate(appOf("Tarv", "Tarv"));
    EXPECT_EQ(store->activeID(), ids[0]);

    makeSwitcher(std::nullopt).start();
    source.activate(appOf("tarv", "Tarv"));
    EXPECT_EQ(store->activeID(), ids[1]) << "without an own id Tarv is any other app";
}

TEST_F(ProfileAutoSwitcherTest, PauseIsStoredAndResumingAppliesTheRuleAtOnce)
{
    auto& s = makeSwitcher();
    int notified = 0;
    QObject::connect(&s, &ProfileAutoSwitcher::isPausedChanged, [&] { ++notified; });
    s.start();
    s.setPaused(true);
    EXPECT_EQ(settings->boolean(ProfileAutoSwitcher::pausedKey), true);
    source.activate(appOf("org.example.Mail", "Mail"));
    EXPECT_EQ(store->activeID(), ids[0]);

    const int queries = source.queries;
    s.setPaused(true);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(source.queries, queries) << "setting the same value applies nothing";

    s.setPaused(false);
    EXPECT_EQ(settings->boolean(ProfileAutoSwitcher::pausedKey), false);
    EXPECT_EQ(store->activeID(), ids[1]) << "resuming applies the rule to the app in front";
    EXPECT_EQ(notified, 2);

    // The pause survives a restart.
    s.setPaused(true);
    EXPECT_TRUE(makeSwitcher().isPaused());
}

TEST_F(ProfileAutoSwitcherTest, StartTwiceObservesOnceAndAppliesOnce)
{
    source.front = appOf("org.example.Mail", "Mail");
    auto& s = makeSwitcher();
    s.start();
    s.start();
    EXPECT_EQ(source.queries, 1);
    EXPECT_EQ(told().size(), 1);
    store->activateProfile(ids[0]);
    source.activate(appOf("term", "Terminal"));
    EXPECT_EQ(told().size(), 2) << "one observer, one report per activation";
}

// Focus that flaps between two windows of different profiles: the profile follows every change,
// the settings are written once the burst pauses, and the log hears of it once, and only when
// the burst left another profile active than before it.
TEST_F(ProfileAutoSwitcherTest, AFlappingFocusIsToldOnceAndWrittenOnce)
{
    makeSwitcher().start();
    const std::optional<QByteArray> stored = settings->bytes(ProfileStore::storageKey);
    int changes = 0;
    QObject::connect(store.get(), &ProfileStore::activeIDChanged, [&] { ++changes; });
    for (int i = 0; i < 1000; ++i)
        source.activate(i % 2 == 0 ? appOf("org.example.Mail", "Mail") : appOf("term", "Terminal"));
    EXPECT_EQ(changes, 1000);
    EXPECT_EQ(store->activeID(), ids[2]);
    EXPECT_EQ(settings->bytes(ProfileStore::storageKey), stored) << "written at the end of a pause, not per change";
    EXPECT_TRUE(store->hasWaitingEdits());
    EXPECT_EQ(told(), QStringList{"Profile \u201CUntitled\u201D for Terminal"});

    // A burst that ends where it began is no switch at all.
    for (int i = 0; i < 100; ++i)
        source.activate(i % 2 == 0 ? appOf("org.example.Mail", "Mail") : appOf("term", "Terminal"));
    EXPECT_EQ(told().size(), 1);

    store->saveWaitingEdits();
    EXPECT_FALSE(store->hasWaitingEdits());
    EXPECT_EQ(QJsonDocument::fromJson(settings->bytes(ProfileStore::storageKey).value_or(QByteArray()))
                  .object()
                  .value("activeID")
                  .toString(),
              uuidText(ids[2]));
}

// As a tray's menu drawn as a window of Tarv's did: the focus goes from Mail to Tarv and back.
TEST_F(ProfileAutoSwitcherTest, APickByHandStandsUntilAnotherAppComesToTheFront)
{
    source.front = appOf("org.example.Mail", "Mail");
    auto& s = makeSwitcher();
    s.start();
    ASSERT_EQ(store->activeID(), ids[1]);

    store->activateProfile(ids[0]);
    s.profilePickedByHand();
    for (int i = 0; i < 2; ++i) {
        source.activate(appOf("tarv", "Tarv"));
        source.activate(appOf("org.example.Mail", "Mail"));
        EXPECT_EQ(store->activeID(), ids[0]) << "back in Mail, the pick stands";
    }
    // Another application ends it, and the rule holds again from then on, Mail included.
    source.activate(appOf("term", "Terminal"));
    EXPECT_EQ(store->activeID(), ids[2]);
    source.activate(appOf("org.example.Mail", "Mail"));
    EXPECT_EQ(store->activeID(), ids[1]);
    store->activateProfile(ids[0]);
    source.activate(appOf("tarv", "Tarv"));
    source.activate(appOf("org.example.Mail", "Mail"));
    EXPECT_EQ(store->activeID(), ids[1]) << "a profile chosen in Tarv's window is no pick over Mail";

    // Resuming applies the rule to the app in front, whatever was picked.
    store->activateProfile(ids[0]);
    s.profilePickedByHand();
    s.setPaused(true);
    s.setPaused(false);
    EXPECT_EQ(store->activeID(), ids[1]);
    ASSERT_FALSE(told().isEmpty());
    EXPECT_EQ(told().last(), QString::fromUtf8("Profile \u201CB\u201D for Mail"));
}
