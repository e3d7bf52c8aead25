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
// A folder above the watched one only matters for the next name on the way down.
constexpr std::uint32_t ancestorMask = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
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
    arm();
}

int FolderWatcher::addWatch(int level)
{
    return ::inotify_add_watch(m_fd, QFile::encodeName(m_chain[level]).constData(),
                               level == 0 ? folderMask : ancestorMask);
}

void FolderWatcher::dropWatch(int& watch)
{
    // A watch the kernel already ended fails here harmlessly.
    if (watch >= 0)
        ::inotify_rm_watch(m_fd, watch);
    watch = -1;
}

bool FolderWatcher::arm()
{
    // Up to the nearest folder that can be watched, then down again: each folder below is
    // tried once more after the one above it is watched, so one made in between is not missed.
    std::vector<int> added;
    int level = 0;
    int watch = -1;
    while (level < m_chain.size() && (watch = addWatch(level)) < 0)
        ++level;
    if (watch >= 0)
        added.push_back(watch);
    while (watch >= 0 && level > 0) {
        const int below = addWatch(level - 1);
        if (below < 0)
            break;
        added.push_back(below);
        watch = below;
        --level;
    }
    // Watching a folder that is watched already gives back its watch, so the old watch on a
    // folder above may be the one kept.
    added.push_back(m_ancestorWatch);
    std::sort(added.begin(), added.end());
    added.erase(std::unique(added.begin(), added.end()), added.end());
    for (int old : added)
        if (old != watch)
            dropWatch(old);
    m_ancestorWatch = -1;
    if (watch < 0)
        return false;
    if (level == 0) {
        m_folderWatch = watch;
        return true;
    }
    m_ancestorWatch = watch;
    m_level = level;
    return false;
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
            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                // Lost events may have said the folder went away: start over.
                dropWatch(m_folderWatch);
                arm();
                any = true;
            } else if (event.wd == m_folderWatch) {
                if ((event.mask & goneMask) != 0) {
                    dropWatch(m_folderWatch);
                    arm();
                }
                any = true;
            } else if (event.wd == m_ancestorWatch) {
                const bool awaited = (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0 && event.len > 0 &&
                                     QFile::encodeName(QFileInfo(m_chain[m_level - 1]).fileName()) ==
                                         QByteArray(name, static_cast<qsizetype>(::strnlen(name, event.len)));
                if ((event.mask & goneMask) != 0)
                    dropWatch(m_ancestorWatch);
                if ((awaited || m_ancestorWatch < 0) && arm())
                    any = true;
            }
            // Anything else belongs to a watch already given up.
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
