#include "platform/ChildStart.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ChildStart {

namespace {

// The soft limit to give children, once this process raised its own; read in children.
std::atomic<bool> raised{false};
std::atomic<rlim_t> sessionSoftLimit{0};

// The code that runs in the child of spawn() shares this process's memory: the address
// sanitizer's stack of its own for locals would keep frames there that never return.
#define TARV_IN_SHARED_CHILD __attribute__((no_sanitize("address")))

// What the child of spawn() reads, and where it leaves why it could not start: it shares this
// process's memory until it runs the program.
struct Shared {
    const Plan* plan;
    int error;
};

TARV_IN_SHARED_CHILD bool becomes(int fd, int target)
{
    if (fd < 0)
        return true;
    // A descriptor that is already in place keeps its close-on-exec flag through dup2().
    if (fd == target)
        return ::fcntl(fd, F_SETFD, 0) == 0;
    return ::dup2(fd, target) == target;
}

// Runs on a stack of its own in the child, whose parent's thread waits until it runs the
// program or ends. Only system calls from here: other threads of the parent run on.
TARV_IN_SHARED_CHILD int child(void* argument)
{
    auto* shared = static_cast<Shared*>(argument);
    const Plan& plan = *shared->plan;
    // A handler of the parent's would run here, in the parent's memory: every signal with one
    // goes back to its default before any is unblocked, as do those the plan names.
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) != 0)
            continue;
        const bool handled = action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
        if (handled || (action.sa_handler == SIG_IGN && sigismember(&plan.defaults, signal) == 1)) {
            struct sigaction initial {};
            initial.sa_handler = SIG_DFL;
            ::sigaction(signal, &initial, nullptr);
        }
    }
    restoreInChild();
    bool ready = !plan.ownGroup || ::setpgid(0, 0) == 0;
    if (ready && plan.nullInput) {
        const int null = ::open("/dev/null", O_RDONLY);
        ready = null >= 0 && becomes(null, STDIN_FILENO);
        if (null > STDIN_FILENO)
            ::close(null);
    }
    ready = ready && (plan.nullInput || becomes(plan.in, STDIN_FILENO));
    ready = ready && becomes(plan.out, STDOUT_FILENO) && becomes(plan.err, STDERR_FILENO);
    if (ready) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(plan.path, plan.argv, plan.envp);
    }
    shared->error = errno != 0 ? errno : ENOEXEC;
    ::_exit(127);
}

void restoreInForkedChild()
{
    restoreInChild();
}

}  // namespace

void raiseFileLimit(rlim_t wanted)
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= wanted)
        return;
    const rlim_t session = files.rlim_cur;
    files.rlim_cur = files.rlim_max == RLIM_INFINITY ? wanted : std::min(files.rlim_max, wanted);
    if (files.rlim_cur <= session || ::setrlimit(RLIMIT_NOFILE, &files) != 0)
        return;
    sessionSoftLimit = session;
    raised = true;
    // Qt forks its detached children (QProcess::startDetached, the programs that open URLs).
    static const bool handlerSet = ::pthread_atfork(nullptr, nullptr, restoreInForkedChild) == 0;
    (void)handlerSet;
}

TARV_IN_SHARED_CHILD void setSessionSoftLimit()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return;
    files.rlim_cur = sessionSoftLimit;
    ::setrlimit(RLIMIT_NOFILE, &files);
}

void lowerFileLimit()
{
    if (raised.exchange(false))
        setSessionSoftLimit();
}

TARV_IN_SHARED_CHILD void restoreInChild()
{
    if (raised)
        setSessionSoftLimit();
}

int spawn(pid_t& pid, const Plan& plan)
{
    // The child's own stack: with the parent's memory, it must not run on the parent's.
    constexpr std::size_t stackBytes = 64 * 1024;
    const std::unique_ptr<char[]> stack(new (std::nothrow) char[stackBytes]);
    if (!stack)
        return ENOMEM;
    Shared shared{&plan, 0};
    // No handler of this thread may run in the child before it set its signals up.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    const int savedErrno = errno;
    const pid_t started =
        ::clone(child, stack.get() + stackBytes, CLONE_VM | CLONE_VFORK | SIGCHLD, &shared);
    const int cloneError = errno;
    errno = savedErrno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (started < 0)
        return cloneError;
    if (shared.error != 0) {
        while (::waitpid(started, nullptr, 0) < 0 && errno == EINTR) {
        }
        return shared.error;
    }
    pid = started;
    return 0;
}

}  // namespace ChildStart
