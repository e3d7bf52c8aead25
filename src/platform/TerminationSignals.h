#pragma once
// Turns the signals that ask a program to end (SIGTERM from a logout or `kill`, SIGINT from
// Ctrl+C, SIGHUP from a closed terminal) into a signal on the GUI thread, so that Tarv ends the
// way Quit ends it: pending writes land and its socket files go. A second such signal while
// it ends ends it at once.

#include <QObject>

class QSocketNotifier;

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one object at a time in a process.
    explicit TerminationSignals(QObject* parent = nullptr);
    // Gives the signals their default action back.
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

signals:
    void received(int signal);

private:
    void readSignals();

    QSocketNotifier* m_notifier = nullptr;
};
