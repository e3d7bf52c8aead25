#include "link/PortNode.h"

#include <cerrno>
#include <sys/stat.h>

namespace TarvUSB {

namespace {

PortNode nodeOf(const struct stat& info)
{
    return PortNode{info.st_dev, info.st_ino, info.st_rdev, info.st_ctim};
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
