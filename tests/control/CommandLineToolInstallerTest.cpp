// The tool's link in temporary folders: made, replaced and removed; what it refuses; the
// administrator's command, run by a real shell.

#include "control/CommandLineToolInstaller.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using Status = CommandLineToolInstaller::Status;
using InstallError = CommandLineToolInstaller::InstallError;

// Fails one kind of call with an errno value, as a folder of root's does for a user.
class FailingFileSystem final : public CommandLineToolInstaller::FileSystem {
public:
    int failLink = 0;
    int failRemove = 0;
    int failMakeDirectory = 0;

    int makeDirectory(const QString& path) override
    {
        return failMakeDirectory ? failMakeDirectory : FileSystem::makeDirectory(path);
    }
    int removeItem(const QString& path) override { return failRemove ? failRemove : FileSystem::removeItem(path); }
    int makeLink(const QString& destination, const QString& path) override
    {
        return failLink ? failLink : FileSystem::makeLink(destination, path);
    }
};

class InstallerTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString tool = root.filePath(QStringLiteral("Tarv/tarv"));
    QString folder = root.filePath(QStringLiteral("usr/local/bin"));
    QString link = folder + QStringLiteral("/tarv");

    void SetUp() override { makeFile(tool, true); }

    static void makeFile(const QString& path, bool executable)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        file.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                       : QFile::ReadOwner | QFile::WriteOwner);
    }

    CommandLineToolInstaller installer(std::shared_ptr<CommandLineToolInstaller::FileSystem> files = nullptr) const
    {
        return CommandLineToolInstaller(tool, folder, std::move(files));
    }
};

}  // namespace

TEST_F(InstallerTest, InstallMakesTheFolderAndTheLinkAndRemoveTakesItAway)
{
    EXPECT_EQ(CommandLineToolInstaller(tool).linkPath(), QStringLiteral("/usr/local/bin/tarv"));
    const CommandLineToolInstaller installer = this->installer();
    EXPECT_EQ(installer.installerStatus(), Status::notInstalled());
    EXPECT_EQ(installer.install(), std::nullopt);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), tool);
    EXPECT_EQ(installer.installerStatus(), Status::installed());
    // Installing over its own link changes nothing.
    EXPECT_EQ(installer.install(), std::nullopt);
    EXPECT_EQ(installer.installerStatus(), Status::installed());

    EXPECT_EQ(installer.uninstall(), std::nullopt);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(installer.installerStatus(), Status::notInstalled());
    EXPECT_EQ(installer.uninstall(), std::nullopt);
}

TEST_F(InstallerTest, ALinkElsewhereOrAFileIsOccupiedAndReplaced)
{
    const CommandLineToolInstaller installer = this->installer();
    QDir().mkpath(folder);
    // The destination is compared as written, without resolving it.
    ASSERT_TRUE(QFile::link(QStringLiteral("/opt/Other/tarv"), link));
    EXPECT_EQ(installer.installerStatus(), Status::occupied(QStringLiteral("/opt/Other/tarv")));
    EXPECT_EQ(CommandLineToolInstaller(std::nullopt, folder).installerStatus(),
              Status::occupied(QStringLiteral("/opt/Other/tarv")));
    EXPECT_EQ(installer.install(), std::nullopt);
    EXPECT_EQ(installer.installerStatus(), Status::installed());

    QFile::remove(link);
    makeFile(link, false);
    EXPECT_EQ(installer.installerStatus(), Status::occupied(std::nullopt));
    EXPECT_EQ(installer.install(), std::nullopt);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), tool);
}

TEST_F(InstallerTest, AFolderWhereTheLinkGoesIsNeverRemoved)
{
    const CommandLineToolInstaller installer = this->installer();
    makeFile(link + QStringLiteral("/keep.txt"), false);
    EXPECT_EQ(installer.installerStatus(), Status::occupied(std::nullopt));

    const auto error = installer.install();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, InstallError::Kind::failed);
    EXPECT_EQ(error->text(),
              link + QStringLiteral(" is a folder, not a link. Tarv leaves it alone; move it away and try again."));
    EXPECT_EQ(installer.uninstall(), error);
    EXPECT_TRUE(QFileInfo::exists(link + QStringLiteral("/keep.txt")));
    EXPECT_FALSE(QFileInfo::exists(link + QStringLiteral("/tarv")));
}

TEST_F(InstallerTest, WithoutAnExecutableToolNothingIsMade)
{
    for (const std::optional<QString>& missing :
         {std::optional<QString>(), std::optional(root.filePath(QStringLiteral("nothing/tarv"))),
          std::optional(root.filePath(QStringLiteral("Tarv")))}) {
        const auto error = CommandLineToolInstaller(missing, folder).install();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->text(), QStringLiteral("This copy of Tarv has no tarv tool inside it."));
    }
    makeFile(tool, false);
    EXPECT_EQ(installer().install(), InstallError::toolMissing());
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(CommandLineToolInstaller(std::nullopt, folder).privilegedCommand(true), std::nullopt);
}

TEST_F(InstallerTest, PermissionErrorsAskForAnAdministratorAndOthersSayWhatFailed)
{
    auto files = std::make_shared<FailingFileSystem>();
    const CommandLineToolInstaller installer = this->installer(files);
    files->failMakeDirectory = EACCES;
    EXPECT_EQ(installer.install(), InstallError::needsAdministrator());
    EXPECT_EQ(installer.install()->text(), QStringLiteral("The folder can only be changed by an administrator."));
    files->failMakeDirectory = 0;
    files->failLink = EPERM;
    EXPECT_EQ(installer.install(), InstallError::needsAdministrator());
    files->failLink = ENOSPC;
    const auto full = installer.install();
    ASSERT_TRUE(full);
    EXPECT_EQ(full->kind, InstallError::Kind::failed);
    EXPECT_TRUE(full->text().startsWith(QStringLiteral("Could not make the link ") + link + QStringLiteral(": ")));

    files->failLink = 0;
    ASSERT_EQ(installer.install(), std::nullopt);
    files->failRemove = EACCES;
    EXPECT_EQ(installer.uninstall(), InstallError::needsAdministrator());
    EXPECT_EQ(installer.installerStatus(), Status::installed());

    // A file in the way of the folder is no permission matter.
    makeFile(root.filePath(QStringLiteral("blocked")), false);
    const auto blocked =
        CommandLineToolInstaller(tool, root.filePath(QStringLiteral("blocked/bin"))).install();
    ASSERT_TRUE(blocked);
    EXPECT_EQ(blocked->kind, InstallError::Kind::failed);
    EXPECT_TRUE(blocked->text().startsWith(QStringLiteral("Could not make the folder ")));
}

TEST_F(InstallerTest, TheAdministratorsCommandsWorkInAShellWithQuotesInThePaths)
{
    EXPECT_EQ(CommandLineToolInstaller::shellQuoted(QStringLiteral("/Users/o'neil/bin")),
              QStringLiteral("'/Users/o'\\''neil/bin'"));

    const QString oddFolder = root.filePath(QStringLiteral("o'neil's \"bin\" $HOME/bin"));
    tool = root.filePath(QStringLiteral("Tarv `x`/tarv"));
    makeFile(tool, true);
    const CommandLineToolInstaller installer(tool, oddFolder);
    const auto run = [](const QString& command) {
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
        return shell.waitForFinished(10000) && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0;
    };
    EXPECT_TRUE(run(*installer.privilegedCommand(true)));
    EXPECT_EQ(installer.installerStatus(), Status::installed());
    // Over a link elsewhere, as the installer itself replaces one.
    QFile::remove(installer.linkPath());
    QFile::link(QStringLiteral("/elsewhere"), installer.linkPath());
    EXPECT_TRUE(run(*installer.privilegedCommand(true)));
    EXPECT_EQ(installer.installerStatus(), Status::installed());
    EXPECT_TRUE(run(*installer.privilegedCommand(false)));
    EXPECT_EQ(installer.installerStatus(), Status::notInstalled());
}
