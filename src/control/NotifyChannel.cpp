#include "control/NotifyChannel.h"

#include <QStandardPaths>

QString NotifyChannel::socketPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Tarv/tarv.sock");
}
