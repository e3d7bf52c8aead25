#include "link/PortNode.h"

#include <QByteArray>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <linux/magic.h>
#include <optional>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace TarvUSB {

namespace {

PortNode nodeOf(const struct stat& info)
{
    return PortNode{info.st_dev, info.st_ino, info.st_rdev, info.st_ctim};
}

std::optional<QByteArray> realPath(const QByteArray& path)
{
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return std::nullopt;
    QByteArray out(resolved);
    std::free(resolved);
    return out;
}

// The folder that the path's last name would sit in, with every link followed, even where
// that name is a link to nothing, or nothing at all; none when no folder is there.
std::optional<QByteArray> resolvedFolder(QByteArray path)
{
    // As many links as the system itself follows before it gives up with ELOOP.
    constexpr int maxLinks = 40;
    for (int links = 0; links <= maxLinks; ++links) {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
        const QByteArray name = path.mid(slash + 1);
        std::optional<QByteArray> realFolder = realPath(folder);
        if (!realFolder)
            return std::nullopt;
        if (name.isEmpty() || name == "." || name == "..")
            return realPath(path).value_or(*realFolder);
        const QByteArray at = (realFolder->endsWith('/') ? *realFolder : *realFolder + '/') + name;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(at.constData(), target, sizeof target);
        if (n < 0 || n >= ssize_t(sizeof target))
            return realFolder;
        const QByteArray link(target, qsizetype(n));
        path = link.startsWith('/') ? link : *realFolder + '/' + link;
    }
    return std::nullopt;
}

}  // namespace

bool PortNode::Lookup::isGone() const
{
    return !node && (error == ENOENT || error == ENOTDIR || error == ENODEV || error == ENXIO);
}

PortNode::Lookup PortNode::at(const QString& path)
{
    struct stat info {};
    if (::stat(path.toLocal8Bit().constData(), &info) != 0)
        return Lookup{std::nullopt, errno};
    return Lookup{nodeOf(info), 0};
}

bool PortNode::leadsToPseudoTerminal(const QString& path)
{
    // Asked of the file system itself, so that neither a link nor a spelling such as
    // "/dev//pts/3" or "/dev/./pts/3" hides where the name lies.
    const std::optional<QByteArray> folder = resolvedFolder(path.toLocal8Bit());
    if (!folder)
        return false;
    struct statfs info {};
    return ::statfs(folder->constData(), &info) == 0 && info.f_type == DEVPTS_SUPER_MAGIC;
}

std::optional<PortNode> PortNode::of(int fileDescriptor)
{
    struct stat info {};
    if (::fstat(fileDescriptor, &info) != 0)
        return std::nullopt;
    return nodeOf(info);
}

bool operator==(const PortNode& a, const PortNode& b)
{
    return a.fileSystem == b.fileSystem && a.inode == b.inode && a.device == b.device
        && a.statusChanged.tv_sec == b.statusChanged.tv_sec
        && a.statusChanged.tv_nsec == b.statusChanged.tv_nsec;
}

}  // namespace TarvUSB
