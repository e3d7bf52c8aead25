#include "picture-decoder/DecoderLimits.h"

#include <seccomp.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace DecoderLimits {

namespace {

struct ReleaseFilter {
    void operator()(void* filter) const { seccomp_release(filter); }
};

bool allow(scmp_filter_ctx filter, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const int call = seccomp_syscall_resolve_name(name);
        // A call this kernel's architecture does not have needs no rule.
        if (call == __NR_SCMP_ERROR)
            continue;
        if (seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) != 0)
            return false;
    }
    return true;
}

bool refuse(scmp_filter_ctx filter, std::initializer_list<const char*> names, int error)
{
    for (const char* name : names) {
        const int call = seccomp_syscall_resolve_name(name);
        if (call == __NR_SCMP_ERROR)
            continue;
        if (seccomp_rule_add(filter, SCMP_ACT_ERRNO(error), call, 0) != 0)
            return false;
    }
    return true;
}

bool installFilter()
{
    // Anything not named below ends the process: the decoder is then replaced.
    const std::unique_ptr<void, ReleaseFilter> filter(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!filter)
        return false;
    scmp_filter_ctx f = filter.get();
    // Memory, threads and their waits, time, and the one socket with the memfds it carries.
    const bool plain = allow(f, {"read", "write", "readv", "writev", "close", "recvmsg", "sendmsg", "lseek",
                                 "mmap", "munmap", "mremap", "mprotect", "madvise", "brk", "futex",
                                 "set_robust_list", "rseq", "sched_yield", "sched_getaffinity", "getpid", "gettid",
                                 "getrandom", "clock_gettime", "clock_getres", "gettimeofday", "nanosleep",
                                 "clock_nanosleep", "rt_sigreturn", "rt_sigprocmask", "rt_sigaction", "sigaltstack",
                                 "restart_syscall", "exit", "exit_group", "memfd_create", "ftruncate", "fstat",
                                 "getrlimit", "poll", "ppoll", "membarrier", "eventfd2"});
    if (!plain)
        return false;
    // Files are never opened: a library that tries is told no rather than ended.
    if (!refuse(f, {"open", "openat", "openat2", "creat"}, EACCES))
        return false;
    // glibc starts threads with clone3 where it exists, whose flags a filter cannot see: told it
    // does not, it falls back to clone, allowed for threads only (never a new process).
    if (!refuse(f, {"clone3"}, ENOSYS))
        return false;
    const int rules[] = {
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1, SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)),
        // The sizes of memfds, and their seals.
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 1, SCMP_A1(SCMP_CMP_EQ, F_ADD_SEALS)),
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 1, SCMP_A1(SCMP_CMP_EQ, F_GET_SEALS)),
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 1, SCMP_A1(SCMP_CMP_EQ, F_GETFD)),
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 1, SCMP_A1(SCMP_CMP_EQ, F_GETFL)),
        // fstat() of a descriptor, which glibc makes with an empty path: never a path looked up.
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat), 1,
                         SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)),
        // Its own address space, per picture (0: this process).
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), 1, SCMP_A0(SCMP_CMP_EQ, 0)),
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(setrlimit), 0),
        // Threads name themselves.
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1, SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME)),
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1, SCMP_A0(SCMP_CMP_EQ, PR_GET_NAME)),
        // abort() signals its own thread.
        seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(::getpid()))),
    };
    for (const int rule : rules) {
        if (rule != 0)
            return false;
    }
    return seccomp_load(f) == 0;
}

}  // namespace

std::int64_t addressSpaceInUse()
{
    // The first number of statm is the size of the address space in pages.
    FILE* statm = std::fopen("/proc/self/statm", "re");
    if (!statm)
        return -1;
    long long pages = -1;
    if (std::fscanf(statm, "%lld", &pages) != 1)
        pages = -1;
    std::fclose(statm);
    return pages < 0 ? -1 : pages * ::sysconf(_SC_PAGESIZE);
}

bool limitAddressSpace(std::int64_t bytes)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? rlim_t(bytes) : std::min(rlim_t(bytes), limit.rlim_max);
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

bool lockDown(std::int64_t maxAddressSpace)
{
    const rlimit noCore{0, 0};
    const rlimit addressSpace{rlim_t(maxAddressSpace), rlim_t(maxAddressSpace)};
    return ::setrlimit(RLIMIT_CORE, &noCore) == 0 && ::setrlimit(RLIMIT_AS, &addressSpace) == 0 &&
           ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && installFilter();
}

}  // namespace DecoderLimits
