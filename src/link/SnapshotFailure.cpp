#include "link/SnapshotFailure.h"

namespace TarvUSB {

QString SnapshotFailure::message() const
{
    switch (kind) {
    case Kind::corrupt:
        return QStringLiteral("the snapshot arrived damaged: ") + reason;
    case Kind::notConnected:
        return QStringLiteral("Tarv is not connected to the device");
    case Kind::noAnswer:
        return QStringLiteral("the device did not answer; its firmware may predate snapshots");
    case Kind::stalled:
        return QStringLiteral("the device stopped sending part-way");
    case Kind::deviceRefused:
        return QStringLiteral("the device could not capture its screen (busy or out of memory)");
    case Kind::disconnected:
        break;
    }
    return QStringLiteral("the device disconnected");
}

}  // namespace TarvUSB
