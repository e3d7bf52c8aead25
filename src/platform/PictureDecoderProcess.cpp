#include "platform/PictureDecoderProcess.h"

#include "platform/ChildProcesses.h"

#include <mutex>
#include <thread>
#include <unordered_map>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace PictureDecoderProcess {

namespace {
// Never destroyed: a waiting thread may outlive the statics.
std::mutex& liveMutex = *new std::mutex;
std::unordered_map<Ticket, pid_t>& live = *new std::unordered_map<Ticket, pid_t>;
Ticket lastTicket = 0;
}  // namespace

std::optional<Started> start(const QByteArray& path)
{
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    char* argv[] = {const_cast<char*>(path.constData()), nullptr};
    pid_t pid = 0;
    int error;
    {
        const auto starting = ChildProcesses::starting();
        error = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv, environ);
        if (error == 0)
            ChildProcesses::claim(pid);
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (error != 0) {
        ::close(ends[0]);
        return std::nullopt;
    }
    Ticket ticket;
    {
        const std::lock_guard lock(liveMutex);
        ticket = ++lastTicket;
        live[ticket] = pid;
    }
    std::thread([pid, ticket] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        const std::lock_guard lock(liveMutex);
        live.erase(ticket);
    }).detach();
    return Started{ticket, ends[0]};
}

void kill(Ticket ticket)
{
    const std::lock_guard lock(liveMutex);
    const auto it = live.find(ticket);
    if (it != live.end() && it->second > 0)
        ::kill(it->second, SIGKILL);
}

}  // namespace PictureDecoderProcess
