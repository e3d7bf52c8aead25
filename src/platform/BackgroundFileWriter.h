#pragma once
// Writes whole files atomically on a thread of its own, so that the thread that asks never
// waits on the disk. When a file is asked for again before its last bytes went out, only the
// newest bytes are written. The destructor finishes every write still waiting.

#include <QByteArray>
#include <QFuture>
#include <QPromise>
#include <QString>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class BackgroundFileWriter {
public:
    // Called on the writer's thread with the file's path and what went wrong.
    using FailureHandler = std::function<void(const QString& path, const QString& reason)>;

    explicit BackgroundFileWriter(FailureHandler onFailure = {});
    ~BackgroundFileWriter();
    BackgroundFileWriter(const BackgroundFileWriter&) = delete;
    BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

    // The file's folder is created when missing. The result is none once the file holds these
    // bytes (or newer ones asked for before they went out), else what went wrong.
    QFuture<std::optional<QString>> write(const QString& path, QByteArray bytes);
    // Returns once every write asked for so far has ended.
    void waitUntilIdle();

private:
    struct Waiting {
        QByteArray bytes;
        std::vector<QPromise<std::optional<QString>>> answers;
    };

    void run();

    FailureHandler m_onFailure;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::map<QString, Waiting> m_waiting;
    bool m_writing = false;
    bool m_stopping = false;
    std::thread m_thread;
};
