#pragma once
// Ends one shell command early from another thread, as its time limit would: a command
// stopped before it starts never starts, and a running one has its group ended (SIGTERM,
// then SIGKILL after the grace). Used when the screen that asked for the value is gone.

#include <atomic>

class ShellStop {
public:
    ShellStop();
    ~ShellStop();
    ShellStop(const ShellStop&) = delete;
    ShellStop& operator=(const ShellStop&) = delete;

    // Safe from any thread, any number of times.
    void stop();
    bool isStopped() const { return m_stopped.load(); }
    // Becomes readable once stopped, for a wait to wake on; -1 when none could be made, and
    // the waiter then looks at isStopped often.
    int descriptor() const { return m_fd; }

private:
    std::atomic<bool> m_stopped{false};
    int m_fd = -1;
};
