#pragma once
// The link through which the `tarv` tool is reachable from any shell: a symbolic link "tarv"
// in a folder on the search path, pointing at the tool beside the application. Reports the
// link's state, makes and removes it, and gives the shell command that does the same with
// administrator rights when the folder needs them.

#include <QString>

#include <memory>
#include <optional>

class CommandLineToolInstaller {
public:
    struct Status {
        enum class Kind { notInstalled, installed, occupied };
        Kind kind = Kind::notInstalled;
        // For occupied: the destination of a link that points elsewhere; none when the item
        // there is no symbolic link.
        std::optional<QString> destination;

        static Status notInstalled() { return {}; }
        static Status installed() { return {Kind::installed, std::nullopt}; }
        static Status occupied(std::optional<QString> destination) { return {Kind::occupied, std::move(destination)}; }
        friend bool operator==(const Status&, const Status&) = default;
    };

    struct InstallError {
        enum class Kind { toolMissing, needsAdministrator, failed };
        Kind kind = Kind::failed;
        QString message;  // for failed

        static InstallError toolMissing() { return {Kind::toolMissing, {}}; }
        static InstallError needsAdministrator() { return {Kind::needsAdministrator, {}}; }
        static InstallError failed(QString message) { return {Kind::failed, std::move(message)}; }
        QString text() const;
        friend bool operator==(const InstallError&, const InstallError&) = default;
    };

    // The file-system calls the installer makes, each giving 0 or an errno value, so a test
    // can make one of them fail as a folder owned by root would (tests run as root).
    class FileSystem {
    public:
        enum class ItemKind { none, symbolicLink, directory, other };
        virtual ~FileSystem() = default;
        // Never follows a link.
        virtual ItemKind itemKind(const QString& path) const;
        virtual std::optional<QString> linkDestination(const QString& path) const;
        virtual bool isExecutableFile(const QString& path) const;
        virtual int makeDirectory(const QString& path);
        virtual int removeItem(const QString& path);
        virtual int makeLink(const QString& destination, const QString& path);
    };

    static QString defaultDirectory() { return QStringLiteral("/usr/local/bin"); }
    static QString missingToolText() { return QStringLiteral("This copy of Tarv has no tarv tool inside it."); }

    explicit CommandLineToolInstaller(std::optional<QString> tool, QString directory = defaultDirectory(),
                                      std::shared_ptr<FileSystem> fileSystem = nullptr);

    const std::optional<QString>& tool() const { return m_tool; }
    const QString& directory() const { return m_directory; }
    QString linkPath() const;

    Status installerStatus() const;
    std::optional<InstallError> install() const;
    std::optional<InstallError> uninstall() const;
    // The command line for a POSIX shell run with administrator rights; none for an install
    // without a tool.
    std::optional<QString> privilegedCommand(bool install) const;

    static bool isPermissionError(int errorNumber);
    // Single-quoting for a POSIX shell.
    static QString shellQuoted(const QString& text);

private:
    InstallError errorFor(int errorNumber, const QString& what) const;
    std::optional<InstallError> refuseFolder() const;

    std::optional<QString> m_tool;
    QString m_directory;
    std::shared_ptr<FileSystem> m_fileSystem;
};
