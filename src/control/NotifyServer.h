#pragma once
// The local socket server of the command channel, as the hub starts and stops it. The
// server answers on its own thread and hands every request to the handler.

#include "control/NotifyChannel.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class NotifyServer {
public:
    // The handler answers through the reply callback, possibly later.
    using ReplyCallback = std::function<void(const NotifyChannel::Reply&)>;
    using Handler = std::function<void(const NotifyChannel::Request&, ReplyCallback)>;
    // Builds a server for a socket path and a handler; nothing listens yet.
    using Factory = std::function<std::unique_ptr<NotifyServer>(const QString& socketPath, Handler)>;

    struct StartError {
        enum class Kind { alreadyServed, failed };
        Kind kind = Kind::failed;
        QString message;  // failed only
    };

    virtual ~NotifyServer() = default;
    // Nothing on success.
    virtual std::optional<StartError> start() = 0;
    // Stops listening and removes the socket file; harmless when not running.
    virtual void stop() = 0;
};

// Stands in until the command channel is built: it never listens, and says so.
class UnavailableNotifyServer final : public NotifyServer {
public:
    std::optional<StartError> start() override
    {
        return StartError{StartError::Kind::failed, QStringLiteral("the command channel is not part of this build")};
    }
    void stop() override {}

    static Factory factory()
    {
        return [](const QString&, Handler) { return std::make_unique<UnavailableNotifyServer>(); };
    }
};
