#include "platform/DesktopEntries.h"
#include "platform/DesktopLaunch.h"

#include "support/DesktopTestEnv.h"

#include <gtest/gtest.h>

namespace {

QByteArray app(const char* name, const char* extra = "")
{
    return QByteArray("[Desktop Entry]\nType=Application\nName=") + name + "\nExec=true\n" + extra;
}

class DesktopEntriesTest : public ::testing::Test {
protected:
    TempXdg xdg;
    QString userApps = xdg.path("data") + QStringLiteral("/applications");
    QString systemApps = xdg.path("system") + QStringLiteral("/applications");
};

TEST(DesktopEntryParse, ReadsTheMainGroupOnlyWithEscapesAndLocalisedName)
{
    const QByteArray file =
        "# comment\n[Desktop Entry]\nType=Application\nName=Files\nName[de]=Dateien\n"
        "Name[de_CH]=Dateie\nIcon=system-file-manager\nExec=nautilus\\s--new-window %U\n"
        "StartupWMClass=Org.gnome.Nautilus\nTerminal=true\n"
        "[Desktop Action new]\nName=Overwritten\nExec=other\n";
    auto de = DesktopEntry::parse(file, "files", "/x/files.desktop", "de_AT.UTF-8");
    ASSERT_TRUE(de);
    EXPECT_EQ(de->name, "Dateien");
    EXPECT_EQ(de->exec, "nautilus --new-window %U");
    EXPECT_EQ(de->startupWMClass, "Org.gnome.Nautilus");
    EXPECT_TRUE(de->terminal);
    EXPECT_EQ(DesktopEntry::parse(file, "files", "", "de_CH")->name, "Dateie");
    EXPECT_EQ(DesktopEntry::parse(file, "files", "", "C")->name, "Files");
}

TEST(DesktopEntryParse, RefusesWhatIsNoInstalledApplication)
{
    EXPECT_FALSE(DesktopEntry::parse("[Desktop Entry]\nType=Link\nName=x\n", "x", "", ""));
    EXPECT_FALSE(DesktopEntry::parse(app("x", "Hidden=true\n"), "x", "", ""));
    EXPECT_FALSE(DesktopEntry::parse("[Other]\nType=Application\nName=x\n", "x", "", ""));
    EXPECT_FALSE(DesktopEntry::parse("[Desktop Entry]\nType=Application\n", "x", "", ""));
    EXPECT_FALSE(DesktopEntry::parse(QByteArray("\0\xff\xfe", 3), "x", "", ""));
}

TEST_F(DesktopEntriesTest, FindsIdsInSubfoldersAndTheFirstFolderDecides)
{
    TempXdg::write(systemApps + "/org.example.Mail.desktop", app("System Mail"));
    TempXdg::write(userApps + "/org.example.Mail.desktop", app("User Mail"));
    TempXdg::write(systemApps + "/kde/konsole.desktop", app("Konsole"));
    TempXdg::write(systemApps + "/gone.desktop", app("Gone"));
    TempXdg::write(userApps + "/gone.desktop", app("Gone", "Hidden=true\n"));

    EXPECT_EQ(DesktopEntries::find("org.example.Mail")->name, "User Mail");
    auto konsole = DesktopEntries::find("kde-konsole");
    ASSERT_TRUE(konsole);
    EXPECT_EQ(konsole->name, "Konsole");
    EXPECT_EQ(konsole->id, "kde-konsole");
    EXPECT_FALSE(DesktopEntries::find("gone")) << "a Hidden entry in the user's folder deletes it";
    EXPECT_FALSE(DesktopEntries::find("org.example.mail")) << "ids are exact";

    QStringList ids;
    for (const DesktopEntry& entry : DesktopEntries::all(DesktopEntries::applicationDirs()))
        ids << entry.id + '=' + entry.name;
    EXPECT_EQ(ids, (QStringList{"org.example.Mail=User Mail", "kde-konsole=Konsole"}));
}

TEST_F(DesktopEntriesTest, RefusesIdsThatLeaveTheFoldersAndMissingTryExec)
{
    TempXdg::write(xdg.root() + "/outside.desktop", app("Outside"));
    TempXdg::write(userApps + "/sub/x.desktop", app("X"));
    for (const char* id : {"", "../../outside", "sub/x", "..-..-outside", "sub-..-..-..-outside"})
        EXPECT_FALSE(DesktopEntries::find(id)) << id;

    TempXdg::write(userApps + "/needs.desktop", app("Needs", "TryExec=tarv-no-such-program\n"));
    TempXdg::write(userApps + "/has.desktop", app("Has", "TryExec=/bin/sh\n"));
    EXPECT_FALSE(DesktopEntries::find("needs"));
    EXPECT_TRUE(DesktopEntries::find("has"));
}

TEST_F(DesktopEntriesTest, IndexNoticesANewEntry)
{
    DesktopEntryIndex index;
    EXPECT_TRUE(index.entries().isEmpty());
    TempXdg::write(userApps + "/new.desktop", app("New"));
    ASSERT_EQ(index.entries().size(), 1);
    EXPECT_EQ(index.entries().first().id, "new");
}

QStringList expand(const QString& exec)
{
    DesktopEntry entry;
    entry.name = "My App";
    entry.icon = "my-icon";
    entry.filePath = "/apps/my.desktop";
    entry.exec = exec;
    auto result = DesktopLaunch::expandExec(entry);
    if (auto* error = std::get_if<ExecError>(&result))
        return {"error: " + error->message};
    return std::get<QStringList>(result);
}

TEST(DesktopExec, ExpandsFieldCodesAndQuotingWithoutAShell)
{
    EXPECT_EQ(expand("app %U"), (QStringList{"app"}));
    EXPECT_EQ(expand("app --file=%f -x"), (QStringList{"app", "--file=", "-x"}));
    EXPECT_EQ(expand("app %i --name %c %k 100%%"),
              (QStringList{"app", "--icon", "my-icon", "--name", "My App", "/apps/my.desktop", "100%"}));
    EXPECT_EQ(expand(R"("/opt/My App/run" "a \"b\" \$HOME \\ `x`" ;rm)"),
              (QStringList{"/opt/My App/run", R"(a "b" $HOME \ `x`)", ";rm"}));
    EXPECT_EQ(expand("sh -c \"echo \\$0 | wc\" \"\""), (QStringList{"sh", "-c", "echo $0 | wc", ""}));
}

TEST(DesktopExec, RefusesLinesItCannotReadExactly)
{
    EXPECT_EQ(expand("app \"open"), (QStringList{"error: a quote is not closed"}));
    EXPECT_EQ(expand("app \"a\\nb\""), (QStringList{"error: a quoted argument has an unknown escape"}));
    EXPECT_EQ(expand("app %z"), (QStringList{"error: unknown field code %z"}));
    EXPECT_EQ(expand("app %"), (QStringList{"error: a field code is incomplete"}));
    EXPECT_EQ(expand(""), (QStringList{"error: there is no program to run"}));
    EXPECT_EQ(expand("%U"), (QStringList{"error: there is no program to run"}));
}

TEST_F(DesktopEntriesTest, LaunchStartsTheProgramWithItsArgumentsAndReportsAMissingOne)
{
    const QString marker = xdg.root() + "/launched";
    TempXdg::write(userApps + "/touch.desktop",
                   app("Toucher").replace("Exec=true", "Exec=touch \"" + marker.toUtf8() + "\" %U"));
    auto entry = DesktopEntries::find("touch");
    ASSERT_TRUE(entry);
    EXPECT_EQ(DesktopLaunch::launch(*entry), std::nullopt);
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(marker); }));

    entry->exec = "tarv-no-such-program";
    EXPECT_EQ(DesktopLaunch::launch(*entry),
              QString("Could not launch Toucher: tarv-no-such-program was not found"));
}

} // namespace
