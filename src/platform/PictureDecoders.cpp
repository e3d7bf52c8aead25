#include "platform/PictureDecoders.h"

#include "platform/PictureDecoderProcess.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

using namespace PictureDecoderMessages;

namespace {

constexpr const char* programName = "tarv-picture-decoder";
// How often a decode looks at its caller's stop flag, which nothing signals.
constexpr int stopLookMs = 20;

QByteArray ownFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0)
        return {};
    const QByteArray exe(path, length);
    return exe.left(exe.lastIndexOf('/'));
}

}  // namespace

PictureDecoders::PictureDecoders(QByteArray program) : m_program(std::move(program))
{
    m_stopped = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

PictureDecoders::~PictureDecoders()
{
    stop();
    if (m_stopped >= 0)
        ::close(m_stopped);
}

PictureDecoders& PictureDecoders::shared()
{
    static auto* decoders = new PictureDecoders(installedProgram());
    return *decoders;
}

QByteArray PictureDecoders::installedProgram()
{
    const QByteArray folder = ownFolder();
    for (const QByteArray& candidate :
         {folder + '/' + programName, folder + "/../libexec/tarv/" + programName,
          QByteArray("/usr/libexec/tarv/") + programName}) {
        if (::access(candidate.constData(), X_OK) == 0)
            return candidate;
    }
    return QByteArray("/usr/libexec/tarv/") + programName;
}

PictureDecoders::Result PictureDecoders::decode(const QByteArray& bytes, Request request,
                                                std::chrono::milliseconds deadline, const std::atomic<bool>* stop)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point due = Clock::now() + deadline;
    if (stop && stop->load())
        return {std::nullopt, Failure::stopped};
    const std::optional<Process> process = take();
    if (!process) {
        const std::lock_guard lock(m_mutex);
        return {std::nullopt, m_stopping ? Failure::stopped : Failure::decoderFailed};
    }
    const auto fail = [&](Failure failure) -> Result {
        end(*process);
        return {std::nullopt, failure};
    };

    request.version = version;
    request.byteCount = bytes.size();
    bool sent = false;
    if (bytes.size() <= maxInlineBytes) {
        sent = send(process->socket, &request, sizeof(request), bytes);
    } else if (const int fd = sealedCopy(bytes); fd >= 0) {
        sent = send(process->socket, &request, sizeof(request), {}, fd);
        ::close(fd);
    }
    if (!sent)
        return fail(Failure::decoderFailed);

    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
        if (left <= 0)
            return fail(Failure::tookTooLong);
        int timeout = int(std::min<qint64>(left, INT_MAX));
        if (stop)
            timeout = std::min(timeout, stopLookMs);
        pollfd waits[2] = {{process->socket, POLLIN, 0}, {m_stopped, POLLIN, 0}};
        const int ready = ::poll(waits, 2, timeout);
        if (ready < 0 && errno != EINTR)
            return fail(Failure::decoderFailed);
        if ((stop && stop->load()) || (ready > 0 && waits[1].revents != 0))
            return fail(Failure::stopped);
        if (ready > 0 && waits[0].revents != 0)
            break;
    }

    std::optional<Received> received = receive(process->socket, sizeof(Reply));
    if (!received || received->bytes.size() != qsizetype(sizeof(Reply))) {
        if (received && received->fd >= 0)
            ::close(received->fd);
        return fail(Failure::decoderFailed);
    }
    Reply reply;
    std::memcpy(&reply, received->bytes.constData(), sizeof(reply));
    if (reply.status == Status::decoded && received->fd >= 0) {
        std::optional<QImage> image = mappedImage(reply, received->fd);
        if (!image)
            return fail(Failure::decoderFailed);
        keep(*process);
        return {std::move(image), Failure::none};
    }
    if (received->fd >= 0)
        ::close(received->fd);
    // One that ran out of memory may have left its readers in any state.
    if (reply.status != Status::failed)
        return fail(reply.status == Status::tooLarge ? Failure::tooLarge : Failure::decoderFailed);
    keep(*process);
    return {std::nullopt, Failure::decoderFailed};
}

void PictureDecoders::stop()
{
    const std::lock_guard lock(m_mutex);
    m_stopping = true;
    if (m_stopped >= 0) {
        const eventfd_t one = 1;
        ::eventfd_write(m_stopped, one);
    }
    for (const quint64 ticket : m_working)
        PictureDecoderProcess::kill(ticket);
    for (const Process& process : m_idle) {
        PictureDecoderProcess::kill(process.ticket);
        ::close(process.socket);
    }
    m_idle.clear();
}

std::optional<PictureDecoders::Process> PictureDecoders::take()
{
    const std::lock_guard lock(m_mutex);
    if (m_stopping)
        return std::nullopt;
    Process process;
    if (!m_idle.empty()) {
        process = m_idle.back();
        m_idle.pop_back();
    } else {
        const std::optional<PictureDecoderProcess::Started> started = PictureDecoderProcess::start(m_program);
        if (!started)
            return std::nullopt;
        process = {started->ticket, started->socket};
    }
    m_working.push_back(process.ticket);
    return process;
}

void PictureDecoders::keep(Process process)
{
    const std::lock_guard lock(m_mutex);
    std::erase(m_working, process.ticket);
    if (!m_stopping && m_idle.size() < size_t(kept)) {
        m_idle.push_back(process);
        return;
    }
    PictureDecoderProcess::kill(process.ticket);
    ::close(process.socket);
}

void PictureDecoders::end(Process process)
{
    const std::lock_guard lock(m_mutex);
    std::erase(m_working, process.ticket);
    PictureDecoderProcess::kill(process.ticket);
    ::close(process.socket);
}
