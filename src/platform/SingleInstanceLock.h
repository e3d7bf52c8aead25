#pragma once
// Keeps a second copy of the application from running beside the first: two copies must
// never share the device's serial port. The lock is a file in the user's runtime folder,
// released when the holder ends, even by a crash.

#include <QLockFile>
#include <QString>

#include <memory>

class SingleInstanceLock {
public:
    // "tarv.lock" in XDG_RUNTIME_DIR (Qt's runtime location).
    static QString defaultPath();

    explicit SingleInstanceLock(QString path = defaultPath());

    // True when this process now holds the lock; false at once when another one does.
    bool tryAcquire();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
