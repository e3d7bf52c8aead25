#include "platform/FolderWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t folderMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                     IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The deepest folder that exists, while the ones below it are missing.
constexpr std::uint32_t waitMask = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// A folder above one that exists only matters when it leaves the path.
constexpr std::uint32_t guardMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The watch no longer stands for the folder at its path: removed, unmounted, or moved
// elsewhere (a moved folder keeps its watch, so the watch follows the wrong folder).
constexpr std::uint32_t goneMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

}  // namespace

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
    m_fd = fd;
    for (QString path = QDir::cleanPath(QFileInfo(m_folder).absoluteFilePath());;) {
        m_chain.append(path);
        const QString up = QFileInfo(path).path();
        if (up == path)
            break;
        path = up;
    }
    m_window = new QTimer(this);
    m_window->setSingleShot(true);
    m_window->setInterval(coalesceMs);
    connect(m_window, &QTimer::timeout, this, &FolderWatcher::windowEnded);
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
    m_watches.assign(static_cast<std::size_t>(m_chain.size()), -1);
    rearm();
}

bool FolderWatcher::rearm()
{
    // Every watch is set anew: one kept from before may follow a folder that moved away.
    for (int& watch : m_watches) {
        if (watch >= 0)
            ::inotify_rm_watch(m_fd, watch);
        watch = -1;
    }
    m_waitLevel = -1;
    // From the root down, each folder is tried only once the one above it is watched for new
    // names, so a folder made in between is not missed.
    const int top = static_cast<int>(m_chain.size()) - 1;
    for (int level = top; level >= 0; --level) {
        const int watch = ::inotify_add_watch(m_fd, QFile::encodeName(m_chain[level]).constData(),
                                              level == 0 ? folderMask : waitMask);
        if (watch < 0) {
            if (level < top)
                m_waitLevel = level + 1;
            break;
        }
        m_watches[level] = watch;
        if (level == top)
            continue;
        // Watching the same folder again narrows its watch. Another folder there means the
        // one watched moved away since, and its own event is on the way.
        const int above = ::inotify_add_watch(m_fd, QFile::encodeName(m_chain[level + 1]).constData(), guardMask);
        if (above >= 0 && levelOf(above) < 0)
            ::inotify_rm_watch(m_fd, above);
    }
    return isWatching();
}

int FolderWatcher::levelOf(int watch) const
{
    if (watch < 0)
        return -1;
    const auto found = std::find(m_watches.cbegin(), m_watches.cend(), watch);
    return found == m_watches.cend() ? -1 : static_cast<int>(found - m_watches.cbegin());
}

void FolderWatcher::readEvents()
{
    // Changes inside the folder are not looked at: any change means "look again". Reading
    // all events keeps the notifier from firing for events already answered.
    alignas(inotify_event) std::array<char, 16 * 1024> buffer{};
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + at, sizeof event);
            const char* name = buffer.data() + at + sizeof event;
            at += static_cast<ssize_t>(sizeof event + event.len);
            const int level = levelOf(event.wd);
            const bool gone = (event.mask & goneMask) != 0;
            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                // Lost events may have said the folder went away.
                rearm();
                any = true;
            } else if (level == 0) {
                if (gone)
                    rearm();
                any = true;
            } else if (level > 0 && gone) {
                const bool wasWatching = isWatching();
                if (rearm() || wasWatching)
                    any = true;
            } else if (level > 0 && level == m_waitLevel && (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0 &&
                       QFile::encodeName(QFileInfo(m_chain[level - 1]).fileName()) ==
                           QByteArray(name, static_cast<qsizetype>(::strnlen(name, event.len)))) {
                if (rearm())
                    any = true;
            }
            // Anything else is another name appearing above, or belongs to a watch given up.
        }
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
