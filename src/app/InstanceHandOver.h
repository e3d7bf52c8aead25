#pragma once
// What a second start of Tarv does instead of running beside the first: it asks the running
// copy, over a local socket beside the single-instance lock, to show its main window, handing
// over the tokens its launcher gave it, and leaves once the running copy answers whether the
// window came forward. The running copy listens for that request.

#include "app/ActivationTokens.h"
#include "control/SocketNotifyServer.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

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

    // What the running copy answers: its window came forward (it is active now), or it asked
    // the desktop to show it and the desktop decides (it may mark the window as wanting
    // attention instead).
    enum class Answer { broughtForward, askedDesktop };

    // The longest request line taken, tokens included.
    static constexpr qsizetype maxRequestBytes = 2 * ActivationTokens::maxTokenBytes + 64;

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

    // A second copy: asks the running one to show its window with the launcher's tokens. The
    // running copy's answer once it has taken the request (a copy that closes without one
    // asked the desktop); none, with what failed in `failure`, when none listens at the socket
    // or answers within the time given.
    static std::optional<Answer> askRunningCopyToShow(const QString& socketPath, const ActivationTokens& tokens,
                                                      int timeoutMs = answerTimeoutMs, QString* failure = nullptr);

    // The running copy: answers the request of that number, once; a request whose second
    // start has gone, or that was answered already, is left alone.
    void answer(quint64 request, Answer answer);

signals:
    // A second start asks for the window: `request` is answered through answer(), within the
    // connection's time limit, after which the connection closes unanswered.
    void showRequested(const ActivationTokens& tokens, quint64 request);

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
    // The requests taken and not yet answered, by number.
    QHash<quint64, QPointer<QLocalSocket>> m_waiting;
    quint64 m_requests = 0;
};
