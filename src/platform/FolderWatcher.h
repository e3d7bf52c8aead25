#pragma once
// Tells its owner that something changed inside one folder: a file created, deleted, moved in
// or out, written, closed after writing, or its attributes changed. The first change after a
// quiet spell is told at once; further changes within the coalescing window are told once at
// its end. Built on inotify, read on the GUI thread through a socket notifier; Qt's own
// watcher misses files that are rewritten in place.

#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;
class QTimer;

class FolderWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr int coalesceMs = 200;

    // Watches nothing until start().
    FolderWatcher(QString folder, std::function<void()> onChange, QObject* parent = nullptr);
    ~FolderWatcher() override;

    // A second call does nothing. A folder that cannot be watched leaves the watcher inert
    // without a message: its owner still has its own reloads.
    void start();
    bool isWatching() const { return m_fd >= 0; }
    const QString& folder() const { return m_folder; }

private:
    void readEvents();
    void windowEnded();
    void deliver();

    QString m_folder;
    std::function<void()> m_onChange;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_window = nullptr;
    bool m_pending = false;
};
