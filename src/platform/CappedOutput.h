#pragma once
// One output stream of a child, read as it comes: the first maxKeptBytes are kept, the rest is
// moved from the pipe to /dev/null inside the kernel, never copied through this process.

#include <QByteArray>

struct CappedOutput {
    static constexpr qsizetype maxKeptBytes = 65536;

    // The read end of the pipe, non-blocking, until the end of the stream.
    int fd = -1;
    QByteArray kept;
    // Off once nobody wants what comes: all of it is dropped.
    bool keep = true;
    // The epoll that watches the descriptor, if one does: close() takes it out of it first,
    // since a copy of the descriptor in a process forked meanwhile would keep it watched.
    int watchedBy = -1;
    // Taken off its epoll for a while (see ChildWaiter): it is drained on a timer instead.
    bool resting = false;

    // Takes what the pipe holds now, at most `rounds` system calls, so that a writer faster
    // than us cannot keep the caller's loop going; what is not kept goes to `discard`, an open
    // /dev/null. Closes the stream at its end. True when there was something to take.
    bool drain(int discard, int rounds = 64);
    // What comes from now on is dropped.
    bool pastKept() const { return !keep || kept.size() >= maxKeptBytes; }
    void close();
};
