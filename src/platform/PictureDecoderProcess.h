#pragma once
// How a picture decoder process starts and ends: through the one child waiter, with its end of
// a socket pair as its standard input and its output thrown away.

#include <QByteArray>

#include <optional>

namespace PictureDecoderProcess {

using Ticket = quint64;

struct Started {
    Ticket ticket = 0;
    // Tarv's end of the socket (close-on-exec), owned by the caller.
    int socket = -1;
};

// Starts the program at `path`. None when it could not be started; one that starts and fails
// at once shows as the end of the socket.
std::optional<Started> start(const QByteArray& path);
// Kills it at once; nothing once it ended.
void kill(Ticket ticket);

}  // namespace PictureDecoderProcess
