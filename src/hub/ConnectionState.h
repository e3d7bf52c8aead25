#pragma once
// Where the connection with the device stands: nothing, a port being opened, or a device
// that has greeted (its HELLO kept for display).

#include "link/Payloads.h"

#include <QMetaType>
#include <QString>

#include <optional>

struct ConnectionState {
    enum class Kind { disconnected, connecting, connected };

    Kind kind = Kind::disconnected;
    QString path;                                // connecting and connected
    std::optional<TarvUSB::HelloPayload> hello;  // connected only

    static ConnectionState disconnected() { return {}; }
    static ConnectionState connecting(QString path) { return {Kind::connecting, std::move(path), std::nullopt}; }
    static ConnectionState connected(QString path, TarvUSB::HelloPayload hello)
    {
        return {Kind::connected, std::move(path), std::move(hello)};
    }

    bool isConnected() const { return kind == Kind::connected; }

    friend bool operator==(const ConnectionState&, const ConnectionState&) = default;
};

Q_DECLARE_METATYPE(ConnectionState)
