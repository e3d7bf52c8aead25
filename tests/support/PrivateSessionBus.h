#pragma once
// A D-Bus daemon of the test's own, so that players and their clients never meet the
// user's session bus. The daemon ends with this object.

#include <QProcess>
#include <QString>

namespace TarvFake {

class PrivateSessionBus {
public:
    PrivateSessionBus() = default;
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Starts dbus-daemon and reads the address it prints; false when it cannot.
    bool start();
    const QString& address() const { return m_address; }
    const QString& lastError() const { return m_error; }

private:
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};

}  // namespace TarvFake
