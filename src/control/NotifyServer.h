#pragma once
// The local socket server of the command channel, as the hub starts and stops it. The
// server answers on its own threads and hands every request to the handler.

#include "control/NotifyChannel.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class NotifyServer {
public:
    // Takes the reply once; safe to call from any thread. A callback dropped without being
    // called answers "Tarv is shutting down", so no client waits for an owner that is gone.
    using ReplyCallback = std::function<void(const NotifyChannel::Reply&)>;
    // Called on a server thread; it must not block, and answers through the callback, now or
    // later.
    using Handler = std::function<void(const NotifyChannel::Request&, ReplyCallback)>;
    // Builds a server for a socket path and a handler; nothing listens yet.
    using Factory = std::function<std::unique_ptr<NotifyServer>(const QString& socketPath, Handler)>;

    struct StartError {
        enum class Kind { alreadyServed, failed };
        Kind kind = Kind::failed;
        QString message;  // failed only
    };

    virtual ~NotifyServer() = default;
    // Nothing on success. May block for the probe of an existing socket, so callers on the
    // GUI thread run it elsewhere.
    virtual std::optional<StartError> start() = 0;
    // Stops listening and removes the socket file; harmless when not running.
    virtual void stop() = 0;
};
