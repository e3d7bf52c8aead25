#include "platform/FolderWatcher.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>

FolderWatcher::FolderWatcher(QString folder, std::function<void()> onChange, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_onChange(std::move(onChange))
{
}

FolderWatcher::~FolderWatcher()
{
    // The notifier goes first, so no read reaches a closed descriptor.
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void FolderWatcher::start()
{
    if (m_fd >= 0)
        return;
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return;
    constexpr std::uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                   IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
    if (::inotify_add_watch(fd, QFile::encodeName(m_folder).constData(), mask) < 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_window = new QTimer(this);
    m_window->setSingleShot(true);
    m_window->setInterval(coalesceMs);
    connect(m_window, &QTimer::timeout, this, &FolderWatcher::windowEnded);
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
}

void FolderWatcher::readEvents()
{
    // The events themselves are not looked at: any change means "look again". Reading them
    // all keeps the notifier from firing for events already answered.
    std::array<char, 16 * 1024> buffer{};
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (!any)
        return;
    if (m_window->isActive()) {
        m_pending = true;
        return;
    }
    m_window->start();
    deliver();
}

void FolderWatcher::windowEnded()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_window->start();
    deliver();
}

void FolderWatcher::deliver()
{
    if (m_onChange)
        m_onChange();
}
