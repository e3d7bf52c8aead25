#pragma once
// Standard input read in whole lines through a notifier, for the programs that the scripts
// drive by commands: the event loop keeps running while no command comes.

#include <QByteArray>
#include <QSocketNotifier>

#include <functional>
#include <unistd.h>

class StdinLines {
public:
    // `onLine` gets each line that is not blank, without its end or surrounding blanks; false
    // from it stops the reading, as the end of the input does.
    explicit StdinLines(std::function<bool(const QByteArray&)> onLine) : m_onLine(std::move(onLine))
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier, [this] { readAvailable(); });
    }

private:
    void readAvailable()
    {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            m_notifier.setEnabled(false);
            return;
        }
        m_pending.append(buffer, qsizetype(n));
        qsizetype end = 0;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QByteArray line = m_pending.left(end).trimmed();
            m_pending.remove(0, end + 1);
            if (!line.isEmpty() && !m_onLine(line)) {
                m_notifier.setEnabled(false);
                return;
            }
        }
    }

    QSocketNotifier m_notifier{STDIN_FILENO, QSocketNotifier::Read};
    QByteArray m_pending;
    std::function<bool(const QByteArray&)> m_onLine;
};
