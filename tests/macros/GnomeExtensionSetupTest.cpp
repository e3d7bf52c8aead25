// What Tarv's GNOME Shell extension still needs, and each step: against a stand-in for GNOME
// Shell on a private bus, extension folders of the test's own and GNOME's real settings tool
// on a settings file of the test's own.

#include "macros/GnomeAppSource.h"
#include "macros/GnomeExtensionSetup.h"

#include "support/DesktopTestEnv.h"
#include "support/FakeGnomeShell.h"
#include "support/PrivateSessionBus.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

using State = GnomeExtensionSetup::State;
using Step = GnomeExtensionSetup::Step;
using TarvFake::FakeGnomeShell;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

class GnomeExtensionSetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testGuiApp();
        // gsettings writes a file of the test's own rather than the user's settings, and finds
        // GNOME Shell's schema outside the test's data folders.
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("GSETTINGS_SCHEMA_DIR", "/usr/share/glib-2.0/schemas");
        ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
        tarvBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus.address(), QStringLiteral("tarv")));
        shell = std::make_unique<FakeGnomeShell>(bus.address());
        ASSERT_TRUE(shell->isReady());
        places.bundled = QStringLiteral(TARV_GNOME_EXTENSION_DIR);
        places.userExtensions = xdg.path("data") + QStringLiteral("/gnome-shell/extensions");
        places.systemExtensions = {xdg.path("system") + QStringLiteral("/gnome-shell/extensions")};
    }
    void TearDown() override
    {
        qunsetenv("GSETTINGS_BACKEND");
        qunsetenv("GSETTINGS_SCHEMA_DIR");
        shell.reset();
        tarvBus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("tarv"));
    }

    std::unique_ptr<GnomeExtensionSetup> setUp()
    {
        auto setup = std::make_unique<GnomeExtensionSetup>(*tarvBus, places);
        EXPECT_TRUE(waitUntil([&] { return !setup->isBusy(); }));
        return setup;
    }
    // Takes the step and waits for the state it leads to.
    static void take(GnomeExtensionSetup& setup)
    {
        setup.takeStep();
        EXPECT_TRUE(setup.isBusy());
        EXPECT_TRUE(waitUntil([&] { return !setup.isBusy(); }));
        EXPECT_EQ(setup.failure().toStdString(), "");
    }

    QString gsettings(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral("gsettings"), arguments);
        EXPECT_TRUE(process.waitForFinished(10000));
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    void writeCopy(const QString& folder, const QByteArray& metadata)
    {
        TempXdg::write(folder + QStringLiteral("/metadata.json"), metadata);
        TempXdg::write(folder + QStringLiteral("/extension.js"), "// an older copy\n");
    }

    TempXdg xdg;
    TarvFake::PrivateSessionBus bus;
    std::unique_ptr<QDBusConnection> tarvBus;
    std::unique_ptr<FakeGnomeShell> shell;
    GnomeExtensionSetup::Places places;
    const QString uuid = GnomeExtensionSetup::uuid();
};

}  // namespace

TEST_F(GnomeExtensionSetupTest, InstallingCopiesTheExtensionWholeAndSwitchesItOnForTheNextLogin)
{
    // Another extension of the user's, with a quote in its id, and Tarv's switched off once.
    gsettings({"set", "org.gnome.shell", "enabled-extensions", R"(["it's@example.org"])"});
    gsettings({"set", "org.gnome.shell", "disabled-extensions", "['" + uuid + "', 'other@example.org']"});
    auto setup = setUp();
    EXPECT_EQ(setup->state(), State::NotInstalled);
    EXPECT_EQ(setup->stepTitle(), QStringLiteral("Install Extension"));

    take(*setup);
    const QString copy = places.userExtensions + u'/' + uuid;
    for (const char* file : {"extension.js", "metadata.json"})
        EXPECT_EQ(contents(copy + u'/' + file), contents(places.bundled + QStringLiteral("/legacy/") + file)) << file;
    EXPECT_EQ(gsettings({"get", "org.gnome.shell", "enabled-extensions"}).toStdString(),
              (R"(["it's@example.org", ')" + uuid + "']").toStdString());
    EXPECT_EQ(gsettings({"get", "org.gnome.shell", "disabled-extensions"}).toStdString(), "['other@example.org']");
    EXPECT_EQ(setup->state(), State::AtNextLogin);
    EXPECT_EQ(setup->step(), Step::None);
    EXPECT_TRUE(setup->text().endsWith(QLatin1String("Log out and back in once to finish."))) << setup->text().toStdString();

    // An older copy is swapped out whole, and nothing is left beside the extensions.
    writeCopy(copy, R"({"uuid": ")" + uuid.toUtf8() + R"(", "shell-version": ["43"], "version": 0})");
    TempXdg::write(copy + QStringLiteral("/stale.js"), "");
    setup->refresh();
    ASSERT_TRUE(waitUntil([&] { return setup->state() == State::Outdated; }));
    EXPECT_EQ(setup->stepTitle(), QStringLiteral("Update Extension"));
    take(*setup);
    EXPECT_EQ(QDir(copy).entryList(QDir::Files), (QStringList{"extension.js", "metadata.json"}));
    EXPECT_EQ(contents(copy + QStringLiteral("/extension.js")), contents(places.bundled + QStringLiteral("/legacy/extension.js")));
    EXPECT_EQ(QDir(xdg.path("data") + QStringLiteral("/gnome-shell")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"extensions"});
    EXPECT_EQ(setup->state(), State::AtNextLogin);
}

TEST_F(GnomeExtensionSetupTest, ASystemWideCopyIsSwitchedOnLiveAndExtensionsAsAWholeFirst)
{
    writeCopy(places.systemExtensions.first() + u'/' + uuid,
              R"({"uuid": ")" + uuid.toUtf8() + R"(", "shell-version": ["43", "44"], "version": )"
                  + QByteArray::number(GnomeExtensionSetup::version()) + "}");
    shell->setExtension(uuid, {{"state", double(FakeGnomeShell::initialized)},
                               {"version", double(GnomeExtensionSetup::version())}});
    shell->allowUserExtensions(false);
    auto setup = setUp();
    EXPECT_EQ(setup->state(), State::ExtensionsOff);
    take(*setup);
    EXPECT_EQ(setup->state(), State::Off);
    EXPECT_EQ(setup->stepTitle(), QStringLiteral("Switch On"));
    take(*setup);
    EXPECT_EQ(setup->state(), State::On);
    EXPECT_EQ(setup->text(), QString());
    EXPECT_EQ(shell->calls(), (QStringList{"Set UserExtensionsEnabled true", "EnableExtension " + uuid}));
    // Settings changed elsewhere are read again when GNOME Shell says so.
    shell->switchOff();
    ASSERT_TRUE(waitUntil([&] { return setup->state() == State::Off; }));
}

TEST(GnomeExtensionSetupDecision, EachSituationLeadsToItsOneStep)
{
    using Copy = GnomeExtensionSetup::Copy;
    const Copy legacy{QStringLiteral("legacy"), 2, {"43", "44"}};
    const Copy modules{QStringLiteral("modules"), 2, {"45", "46"}};
    GnomeExtensionSetup::Facts facts;
    facts.shellAnswered = true;
    facts.shellVersion = QStringLiteral("46.2");
    facts.bundled = {legacy, modules};
    facts.onAtLogin = false;
    const auto decided = [&] { return GnomeExtensionSetup::decide(facts); };

    EXPECT_EQ(decided().step, Step::Install);
    // A copy made for GNOME Shell 44 under 46 is replaced by the variant for 46, whatever
    // GNOME Shell makes of it meanwhile.
    facts.installed = Copy{QStringLiteral("user"), 2, {"43", "44"}};
    facts.info = {{"state", 4.0}, {"version", 2.0}};
    EXPECT_EQ(decided().state, State::Outdated);
    // Once replaced, GNOME Shell reads it at the next login, where it is switched on or not yet.
    facts.installed = Copy{QStringLiteral("user"), 3, {"46"}};
    EXPECT_EQ(decided().state, State::AtNextLogin);
    EXPECT_EQ(decided().step, Step::SwitchOnAtLogin);
    facts.onAtLogin = true;
    EXPECT_EQ(decided().step, Step::None);
    facts.info.clear();
    EXPECT_EQ(decided().state, State::AtNextLogin);
    // What GNOME Shell says of the copy it runs.
    facts.installed = Copy{QStringLiteral("user"), 2, {"46"}};
    facts.info = {{"state", 3.0}, {"version", 2.0}, {"error", QStringLiteral("TypeError: x is undefined")}};
    EXPECT_EQ(decided().state, State::Failed);
    EXPECT_TRUE(decided().text.endsWith(QLatin1String(": TypeError: x is undefined"))) << decided().text.toStdString();
    facts.info[QStringLiteral("state")] = 2.0;
    EXPECT_EQ(decided().step, Step::SwitchOn);
    facts.info[QStringLiteral("state")] = 1.0;
    EXPECT_EQ(decided().state, State::On);
    // A GNOME Shell newer than every variant: nothing Tarv can install helps.
    facts.shellVersion = QStringLiteral("50.0");
    EXPECT_EQ(decided().state, State::Failed);
    EXPECT_EQ(decided().step, Step::None);
    facts.installed.reset();
    facts.info.clear();
    EXPECT_EQ(decided().state, State::NotInstalled);
    EXPECT_EQ(decided().step, Step::None);
    facts.shellAnswered = false;
    EXPECT_EQ(decided().state, State::NoShell);
}
