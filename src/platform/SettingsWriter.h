#pragma once
// Writes the stored settings file on a thread of its own, so that no caller waits on the disk.
// Changes are handed over at once; those that arrive while the file is being written go into
// the next write together. A change whose write failed is written again with the next one.

#include "platform/Settings.h"

#include <QFuture>
#include <QList>
#include <QPromise>
#include <QString>
#include <QVariant>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QSettings;
class QThread;

// The settings file opened as QSettings reads it, every section parsed, so that status() tells
// at once whether it is a settings file; writes to it go through QSaveFile.
std::unique_ptr<QSettings> openSettingsFile(const QString& path);

class SettingsWriter {
public:
    using ResultHandler = std::function<void(std::optional<SettingsError>)>;

    // fileUnreadable: the file is not a settings file (and is kept elsewhere); its first write
    // replaces it.
    SettingsWriter(const QString& path, bool fileUnreadable);
    // Writes everything handed over before it returns.
    ~SettingsWriter();
    SettingsWriter(const SettingsWriter&) = delete;
    SettingsWriter& operator=(const SettingsWriter&) = delete;

    void set(const QString& key, const QVariant& value);
    // Removes the key and every key below it, as QSettings does.
    void remove(const QString& key);

    void waitUntilIdle();
    // Finishes once every change handed over so far is in the file (with none), or once a
    // write that held them failed (with its error).
    QFuture<std::optional<SettingsError>> written();
    // The failure of the last write of the file; none once one succeeds.
    std::optional<SettingsError> lastError() const;
    // The system's reason for that failure ("No space left on device"); empty when none or
    // not known.
    QString lastErrorReason() const;
    void setResultHandler(ResultHandler handler);

private:
    struct Change {
        QString key;
        std::optional<QVariant> value; // none: removed
    };
    struct Waiter {
        std::uint64_t through = 0; // the count of changes it waits for
        QPromise<std::optional<SettingsError>> promise;
    };

    void handOver(Change change);
    void run();
    void keep(Change change);
    std::optional<SettingsError> writeFile();
    QString reasonForFailure() const;

    const QString m_path;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    QList<Change> m_handedOver;
    bool m_writing = false;
    bool m_stopping = false;
    std::optional<SettingsError> m_lastError;
    QString m_lastErrorReason;
    ResultHandler m_resultHandler;
    // Changes handed over since the start, and how many of the first of them are in the file.
    std::uint64_t m_handedOverCount = 0;
    std::uint64_t m_writtenThrough = 0;
    std::vector<Waiter> m_waiters;

    // The owner's: the thread starts with the first change.
    std::unique_ptr<QThread> m_thread;

    // The writer thread's own. QSettings is not thread-safe, and it asks for a sync on the
    // thread it lives on, so it is made, used and destroyed there only.
    std::unique_ptr<QSettings> m_settings;
    // Changes not yet known to be in the file, in the order they were made.
    QList<Change> m_unwritten;
    bool m_fileUnreadable;
    bool m_failing = false;
    QString m_failureReason;
};
