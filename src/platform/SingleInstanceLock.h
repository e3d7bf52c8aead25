#pragma once
// Keeps a second copy of the application from running beside the first: two copies must
// never share the device's serial port, nor write the same settings. The lock is a file in
// the user's runtime folder, and another beside the settings, released when the holder ends,
// even by a crash.

#include <QDateTime>
#include <QLockFile>
#include <QString>

#include <memory>
#include <optional>

class SingleInstanceLock {
public:
    // "tarv.lock" in XDG_RUNTIME_DIR (Qt's runtime location). Without XDG_RUNTIME_DIR, in
    // "tarv-<uid>" of the temporary folder, a folder only this user may enter; empty when that
    // folder cannot be made or is not such a folder.
    static QString defaultPath();
    // "tarv.lock" beside the settings file: a copy started in another session (another
    // runtime folder) on the same settings finds it taken.
    static QString besideSettingsPath();

    explicit SingleInstanceLock(QString path = defaultPath());

    // True when this process now holds the lock; false at once when another one does or the
    // lock file cannot be made. The lock's folder is made when missing.
    bool tryAcquire();
    // After a failed tryAcquire: whether another process holds the lock.
    bool isHeldElsewhere() const;

    // The copy that the lock file names: on which machine, and since when.
    struct Holder {
        QString machine;
        QDateTime since;
        // Its machine is not this one: whether it still runs cannot be found out from here.
        bool onAnotherMachine = false;
    };
    // After a failed tryAcquire because another process holds the lock: the holder its file
    // names; none when the file cannot be read.
    std::optional<Holder> holder() const;
    // Takes the lock from a holder on another machine that the user says no longer runs Tarv.
    // The old lock file goes only when no process holds it locked (a copy still running on a
    // shared file system may), and the lock is then taken as tryAcquire does.
    bool takeOver();
    QString path() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
