#pragma once
// The command channel's server on a Unix socket: one thread accepts, and each connection is
// read, answered and closed on a thread of its own, so a silent client holds up nobody.
// Only peers of the same user are served, and only so many at once: the others are told that
// Tarv is busy.

#include "control/NotifyServer.h"

#include <memory>
#include <thread>

class SocketNotifyServer final : public NotifyServer {
public:
    struct Limits {
        // How long a connection may take to send its whole request, and again to take the
        // whole reply, however slowly its bytes trickle.
        double connection = 2.0;
        // How long the copy that holds the socket already has to answer the start-up ping.
        double probe = 1.0;
        // Connections served at once; each holds a thread and a descriptor.
        int connections = 32;
    };

    SocketNotifyServer(QString socketPath, Handler handler);
    SocketNotifyServer(QString socketPath, Handler handler, Limits limits);
    ~SocketNotifyServer() override;
    SocketNotifyServer(const SocketNotifyServer&) = delete;
    SocketNotifyServer& operator=(const SocketNotifyServer&) = delete;

    std::optional<StartError> start() override;
    void stop() override;

    static Factory factory();

    struct Shared;

private:
    QString m_socketPath;
    Limits m_limits;
    std::shared_ptr<Shared> m_shared;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_acceptThread;
};
