#pragma once
// Which node a port's path names at one moment. A path can be handed to another owner once its
// node goes away (a pseudo-terminal's number is given to the next terminal opened), so a port
// named by hand is opened again only while its path still names the node first opened there.

#include <QString>

#include <ctime>
#include <optional>
#include <sys/types.h>

namespace TarvUSB {

struct PortNode {
    dev_t fileSystem = 0;
    ino_t inode = 0;
    dev_t device = 0;
    // A node made anew under the same number differs here even where its inode number does
    // not (devpts reuses them); so does one whose owner or mode changed, which is the next
    // terminal's too.
    timespec statusChanged{};

    struct Lookup;
    static Lookup at(const QString& path);
    static std::optional<PortNode> of(int fileDescriptor);
    // Whether the path leads, once its links are followed (the last one may point at nothing
    // yet), to a name among the pseudo-terminals, however it is spelled.
    static bool leadsToPseudoTerminal(const QString& path);

    friend bool operator==(const PortNode& a, const PortNode& b);
};

// What a path names now; no node with the errno of the failure.
struct PortNode::Lookup {
    std::optional<PortNode> node;
    int error = 0;
    // Nothing is there any more: ENOENT, ENOTDIR, ENODEV, ENXIO.
    bool isGone() const;
};

}  // namespace TarvUSB
