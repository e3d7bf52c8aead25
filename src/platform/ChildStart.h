#pragma once
// How every program Tarv starts begins: with the limit on open files the session gave Tarv,
// not the one Tarv raised for itself. Tarv waits for thousands of children, three descriptors
// each, and raises its own soft limit for them; a program given that limit opens descriptors
// past 1024 once it has that many, which select() cannot take, so it would break where it
// works when started from the desktop. The limit goes back in the child itself, before the
// program runs, whichever way it is started:
// - spawn() (key programs, shell sources) starts it as posix_spawn does, the limit included;
// - a child Qt forks (QProcess::startDetached, and the programs Qt opens URLs with) gets it
//   back in a fork handler;
// - a QProcess started to be waited for gets it back through restoreInChild() as part of its
//   child process modifier (Qt starts those without fork()).

#include <sys/resource.h>
#include <sys/types.h>

#include <csignal>

namespace ChildStart {

// Raises this process's soft limit on open files to `wanted` (at most the hard limit), keeping
// the one it had for its children. Call it before any thread starts.
void raiseFileLimit(rlim_t wanted);
// Gives this process the soft limit it had before raiseFileLimit().
void lowerFileLimit();
// In a child between fork and exec: gives it the soft limit this process had before it raised
// its own. Async-signal-safe.
void restoreInChild();

struct Plan {
    const char* path = nullptr;
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    // Standard input from /dev/null; else from `in`, or inherited when that is -1.
    bool nullInput = false;
    int in = -1;
    // Descriptors that become standard output and error; -1 to inherit.
    int out = -1;
    int err = -1;
    // A process group of its own, numbered as the child.
    bool ownGroup = false;
    // Signals that start at their default action; those with a handler here do anyway. No
    // signal starts blocked.
    sigset_t defaults{};
};

// Starts `plan.path` (no shell, no search of PATH) as posix_spawn would: 0 with its id in
// `pid`, or the errno of the failed start, the child then reaped.
int spawn(pid_t& pid, const Plan& plan);

}  // namespace ChildStart
