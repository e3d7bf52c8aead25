#pragma once
// The command channel between the `tarv` tool and the application: where its socket lives
// and the shape of one request and its reply (JSON objects).

#include <QJsonObject>
#include <QString>

namespace NotifyChannel {

using Request = QJsonObject;
using Reply = QJsonObject;

// "tarv.sock" in the application folder (~/.local/share/Tarv).
QString socketPath();

}  // namespace NotifyChannel
