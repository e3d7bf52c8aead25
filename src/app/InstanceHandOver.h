#pragma once
// What a second start of Tarv does instead of running beside the first: it asks the running
// copy, over a local socket beside the single-instance lock, to show its main window, and
// leaves. The running copy listens for that request.

#include "control/SocketNotifyServer.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QLocalSocket;
class QSocketNotifier;

class InstanceHandOver : public QObject {
    Q_OBJECT
public:
    // As the command socket's: on a desktop without a tray, this socket is the only way back
    // to the window, so no client may hold it.
    struct Limits {
        // How long a connection may take to send its whole request.
        double connection = SocketNotifyServer::Limits{}.connection;
        // Connections held at once; a new one beyond them closes the one held longest.
        int connections = SocketNotifyServer::Limits{}.connections;
    };

    // The socket beside a lock file: "tarv.show" in the lock's folder.
    static QString socketPathForLock(const QString& lockPath);

    explicit InstanceHandOver(QString socketPath, QObject* parent = nullptr);
    InstanceHandOver(QString socketPath, Limits limits, QObject* parent = nullptr);
    ~InstanceHandOver() override;
    InstanceHandOver(const InstanceHandOver&) = delete;
    InstanceHandOver& operator=(const InstanceHandOver&) = delete;

    // The running copy: listens at the socket path, replacing what a copy that ended left
    // there (only the holder of the lock may call this). False when it cannot listen.
    bool listen();
    QString errorString() const;

    // How long a second copy waits for the running one to take its request: a copy that
    // starts may hold the lock a moment before it listens, one that is busy reads a moment late.
    static constexpr int answerTimeoutMs = 5000;

    // A second copy: asks the running one to show its window. True once the running copy has
    // read the request (it then closes the connection); false, with what failed in `failure`,
    // when none listens at the socket or takes the request within the time given.
    static bool askRunningCopyToShow(const QString& socketPath, int timeoutMs = answerTimeoutMs,
                                     QString* failure = nullptr);

signals:
    void showRequested();

private:
    void acceptConnections();
    void pauseAccepting();
    void resumeAccepting();
    void serve(int fd);

    QString m_socketPath;
    Limits m_limits;
    QString m_error;
    int m_listener = -1;
    QSocketNotifier* m_notifier = nullptr;
    // In the order they came.
    QList<QPointer<QLocalSocket>> m_open;
};
