#pragma once
// What a second start of Tarv does instead of running beside the first: it asks the running
// copy, over a local socket beside the single-instance lock, to show its main window, and
// leaves. The running copy listens for that request.

#include <QObject>
#include <QString>

class QLocalServer;

class InstanceHandOver : public QObject {
    Q_OBJECT
public:
    // The socket beside a lock file: "tarv.show" in the lock's folder.
    static QString socketPathForLock(const QString& lockPath);

    explicit InstanceHandOver(QString socketPath, QObject* parent = nullptr);
    ~InstanceHandOver() override;

    // The running copy: listens at the socket path, replacing what a copy that ended left
    // there (only the holder of the lock may call this). False when it cannot listen.
    bool listen();
    QString errorString() const;

    // A second copy: asks the running one to show its window. False when none answers at
    // the socket within the time given.
    static bool askRunningCopyToShow(const QString& socketPath, int timeoutMs = 2000);

signals:
    void showRequested();

private:
    void acceptConnections();

    QString m_socketPath;
    QLocalServer* m_server = nullptr;
};
