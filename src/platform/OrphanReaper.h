#pragma once
// The processes Tarv starts and what they leave behind. Tarv adopts the orphans of its
// children (a command's `setsid` leaves the reach of its process group, not Tarv's), reaps
// them as they end, and at quit ends those that came from a shell source. Children that Tarv
// waits for itself are claimed, so that their status stays theirs to read.

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <thread>

class OrphanReaper {
public:
    // In the environment of a shell source, and so of all it starts: what marks a leftover
    // that Tarv ends at quit. Anything else adopted (an application a key opened) lives on.
    static constexpr const char* sourceMarker = "TARV_SHELL_SOURCE=1";
    // How long a leftover has at quit to end on SIGTERM, and how long its end is awaited
    // after SIGKILL.
    static constexpr std::chrono::milliseconds leftoverGrace{300};
    static constexpr std::chrono::milliseconds killedGrace{200};

    // Gives SIGCHLD its default action (an ignored SIGCHLD, inherited through exec, reaps
    // children behind their owners' backs), makes this process the reaper of its orphans and
    // starts reaping them. One object at a time in a process.
    OrphanReaper();
    // Ends what shell sources left running (SIGTERM, then SIGKILL after leftoverGrace), reaps
    // what ended within killedGrace after that, and adopts no more. Never waits longer.
    ~OrphanReaper();
    OrphanReaper(const OrphanReaper&) = delete;
    OrphanReaper& operator=(const OrphanReaper&) = delete;

    // Held while a child is started and claimed, so the reaper never sees it unclaimed.
    static std::unique_lock<std::mutex> starting();
    // A child whose owner waits for it; released once the owner reaped it.
    static void claim(pid_t pid);
    static void release(pid_t pid);

private:
    void reapUntilStopped();

    // The reaper's wake: readable once it is to stop.
    int m_stop[2] = {-1, -1};
    std::thread m_reaper;
};
