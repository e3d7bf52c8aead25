#pragma once
// Tells its owner that something changed inside the folder at one path: a file created,
// deleted, moved in or out, written, closed after writing, or its attributes changed; the
// folder itself going away; a folder appearing at the path again. The first change after a
// quiet spell is told at once; further changes within the coalescing window are told once at
// its end. Built on inotify, read on the GUI thread through a socket notifier; Qt's own
// watcher misses files that are rewritten in place.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QSocketNotifier;
class QTimer;

class FolderWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr int coalesceMs = 200;

    // Watches nothing until start().
    FolderWatcher(QString folder, std::function<void()> onChange, QObject* parent = nullptr);
    ~FolderWatcher() override;

    // A second call does nothing. A folder that is missing, or is deleted or replaced later,
    // is waited for in the nearest folder above it that exists; when a folder appears at the
    // path, it is watched and one change is told. The folders above are watched for being
    // moved, which takes the folder away from its path just as well.
    void start();
    // True while the folder at the path itself is watched, false while it is waited for
    // (or when inotify is not available at all).
    bool isWatching() const { return !m_watches.empty() && m_watches.front() >= 0; }
    const QString& folder() const { return m_folder; }

private:
    void readEvents();
    // Watches the path again from the root down, as far as it exists. True when the folder
    // itself is watched.
    bool rearm();
    int levelOf(int watch) const;
    void windowEnded();
    void deliver();

    QString m_folder;
    std::function<void()> m_onChange;
    // The folder's path, then each folder above it, up to the root; m_watches holds the watch
    // on each (-1 for none).
    QStringList m_chain;
    std::vector<int> m_watches;
    // The deepest folder that exists while the folder is waited for; it is the one told
    // when the next name on the way down appears.
    int m_waitLevel = -1;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_window = nullptr;
    bool m_pending = false;
};
