#pragma once
// The client's side of one exchange on the command channel: connect, send one request line,
// read one reply line. Used by the `tarv` tool and by the server's start-up probe.

#include "control/NotifyChannel.h"

#include <QString>

#include <variant>

namespace NotifyClient {

struct Failure {
    enum class Kind {
        failed,      // the message says why
        notRunning,  // nothing listens at the socket path
        timedOut,    // something listens but did not answer in time
    };
    Kind kind = Kind::failed;
    QString message;

    friend bool operator==(const Failure&, const Failure&) = default;
};

// Blocks the calling thread for at most about the time-out per step (connect, write, read);
// the whole reply must come within the time-out.
std::variant<NotifyChannel::Reply, Failure> sendRequest(const NotifyChannel::Request& request,
                                                        const QString& socketPath, double timeoutSeconds);

}  // namespace NotifyClient
