#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the handler, read on the GUI thread: a handler may do next to nothing else.
int wakePipe[2] = {-1, -1};

void setAction(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &number, 1);
    // The next one is not caught, whichever it is: a program that does not end in time can
    // still be ended, by Ctrl+C after a logout's SIGTERM as well as by a second SIGTERM.
    for (const int each : handled)
        setAction(each, SIG_DFL);
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Tarv cannot follow termination signals: %s", qPrintable(qt_error_string(errno)));
        wakePipe[0] = wakePipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);
    for (int signal : handled)
        setAction(signal, onSignal);
}

TerminationSignals::~TerminationSignals()
{
    if (wakePipe[0] < 0)
        return;
    for (int signal : handled)
        setAction(signal, SIG_DFL);
    delete m_notifier;
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
}

void TerminationSignals::readSignals()
{
    unsigned char numbers[16];
    ssize_t n;
    while ((n = ::read(wakePipe[0], numbers, sizeof numbers)) > 0 || (n < 0 && errno == EINTR))
        for (ssize_t k = 0; k < n; ++k)
            emit received(numbers[k]);
}
