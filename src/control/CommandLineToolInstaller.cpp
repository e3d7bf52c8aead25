#include "control/CommandLineToolInstaller.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

}  // namespace

QString CommandLineToolInstaller::InstallError::text() const
{
    switch (kind) {
    case Kind::toolMissing:
        return missingToolText();
    case Kind::needsAdministrator:
        return QStringLiteral("The folder can only be changed by an administrator.");
    case Kind::failed:
        break;
    }
    return message;
}

CommandLineToolInstaller::FileSystem::ItemKind CommandLineToolInstaller::FileSystem::itemKind(const QString& path) const
{
    struct stat info {};
    if (::lstat(nativePath(path).constData(), &info) != 0)
        return ItemKind::none;
    if (S_ISLNK(info.st_mode))
        return ItemKind::symbolicLink;
    return S_ISDIR(info.st_mode) ? ItemKind::directory : ItemKind::other;
}

std::optional<QString> CommandLineToolInstaller::FileSystem::linkDestination(const QString& path) const
{
    QByteArray buffer(PATH_MAX + 1, Qt::Uninitialized);
    const ssize_t length = ::readlink(nativePath(path).constData(), buffer.data(), std::size_t(buffer.size()));
    if (length < 0)
        return std::nullopt;
    return QFile::decodeName(buffer.left(length));
}

bool CommandLineToolInstaller::FileSystem::isExecutableFile(const QString& path) const
{
    struct stat info {};
    const QByteArray native = nativePath(path);
    return ::stat(native.constData(), &info) == 0 && S_ISREG(info.st_mode) && ::access(native.constData(), X_OK) == 0;
}

int CommandLineToolInstaller::FileSystem::makeDirectory(const QString& path)
{
    // Every missing folder on the way, as "mkdir -p" makes them.
    const QString clean = QDir::cleanPath(path);
    qsizetype next = clean.startsWith(u'/') ? 1 : 0;
    while (next <= clean.size()) {
        qsizetype end = clean.indexOf(u'/', next);
        if (end < 0)
            end = clean.size();
        const QByteArray prefix = nativePath(clean.left(end));
        next = end + 1;
        if (prefix.isEmpty() || ::mkdir(prefix.constData(), 0755) == 0)
            continue;
        const int error = errno;
        struct stat info {};
        if (error == EEXIST && ::stat(prefix.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        return error == EEXIST ? ENOTDIR : error;
    }
    return 0;
}

int CommandLineToolInstaller::FileSystem::removeItem(const QString& path)
{
    return ::unlink(nativePath(path).constData()) == 0 ? 0 : errno;
}

int CommandLineToolInstaller::FileSystem::makeLink(const QString& destination, const QString& path)
{
    return ::symlink(nativePath(destination).constData(), nativePath(path).constData()) == 0 ? 0 : errno;
}

CommandLineToolInstaller::CommandLineToolInstaller(std::optional<QString> tool, QString directory,
                                                   std::shared_ptr<FileSystem> fileSystem)
    : m_tool(std::move(tool)), m_directory(std::move(directory)),
      m_fileSystem(fileSystem ? std::move(fileSystem) : std::make_shared<FileSystem>())
{
}

QString CommandLineToolInstaller::linkPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("tarv"));
}

CommandLineToolInstaller::Status CommandLineToolInstaller::installerStatus() const
{
    const QString link = linkPath();
    if (m_fileSystem->itemKind(link) == FileSystem::ItemKind::none)
        return Status::notInstalled();
    const std::optional<QString> destination = m_fileSystem->linkDestination(link);
    if (!destination)
        return Status::occupied(std::nullopt);
    if (m_tool && *destination == *m_tool)
        return Status::installed();
    return Status::occupied(destination);
}

std::optional<CommandLineToolInstaller::InstallError> CommandLineToolInstaller::install() const
{
    if (!m_tool || !m_fileSystem->isExecutableFile(*m_tool))
        return InstallError::toolMissing();
    if (const int error = m_fileSystem->makeDirectory(m_directory))
        return errorFor(error, QStringLiteral("Could not make the folder %1").arg(m_directory));
    if (installerStatus() != Status::notInstalled()) {
        if (auto refused = refuseFolder())
            return refused;
        if (const int error = m_fileSystem->removeItem(linkPath()))
            return errorFor(error, QStringLiteral("Could not remove %1").arg(linkPath()));
    }
    if (const int error = m_fileSystem->makeLink(*m_tool, linkPath()))
        return errorFor(error, QStringLiteral("Could not make the link %1").arg(linkPath()));
    return std::nullopt;
}

std::optional<CommandLineToolInstaller::InstallError> CommandLineToolInstaller::uninstall() const
{
    if (installerStatus() == Status::notInstalled())
        return std::nullopt;
    if (auto refused = refuseFolder())
        return refused;
    if (const int error = m_fileSystem->removeItem(linkPath()))
        return errorFor(error, QStringLiteral("Could not remove %1").arg(linkPath()));
    return std::nullopt;
}

// A folder at the link's place may hold anything of the user's: it is never removed, and the
// administrator's "ln -sfn" would quietly put the link inside it.
std::optional<CommandLineToolInstaller::InstallError> CommandLineToolInstaller::refuseFolder() const
{
    if (m_fileSystem->itemKind(linkPath()) != FileSystem::ItemKind::directory)
        return std::nullopt;
    return InstallError::failed(
        QStringLiteral("%1 is a folder, not a link. Tarv leaves it alone; move it away and try again.")
            .arg(linkPath()));
}

std::optional<QString> CommandLineToolInstaller::privilegedCommand(bool install) const
{
    if (!install)
        return QStringLiteral("rm -f ") + shellQuoted(linkPath());
    if (!m_tool)
        return std::nullopt;
    return QStringLiteral("mkdir -p ") + shellQuoted(m_directory) + QStringLiteral(" && ln -sfn ") +
           shellQuoted(*m_tool) + u' ' + shellQuoted(linkPath());
}

bool CommandLineToolInstaller::isPermissionError(int errorNumber)
{
    return errorNumber == EACCES || errorNumber == EPERM;
}

QString CommandLineToolInstaller::shellQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

CommandLineToolInstaller::InstallError CommandLineToolInstaller::errorFor(int errorNumber, const QString& what) const
{
    if (isPermissionError(errorNumber))
        return InstallError::needsAdministrator();
    return InstallError::failed(what + QStringLiteral(": ") + qt_error_string(errorNumber));
}
