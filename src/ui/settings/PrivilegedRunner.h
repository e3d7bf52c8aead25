#pragma once
// Runs one shell command line with administrator rights, without the caller waiting: the
// result comes back later on the caller's thread. On Linux pkexec asks for the password.

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class PrivilegedRunner : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Nothing on success and when the user dismissed the password prompt; else the failure text.
    using Done = std::function<void(const std::optional<QString>& failure)>;

    virtual void run(const QString& command, Done done) = 0;
};

class PkexecRunner final : public PrivilegedRunner {
    Q_OBJECT
public:
    // pkexec's own exit codes: the prompt was dismissed, or pkexec itself could not go on.
    static constexpr int dismissedCode = 126;
    static constexpr int pkexecFailedCode = 127;

    // The program is found on the search path; tests name a stand-in.
    explicit PkexecRunner(QString program = QStringLiteral("pkexec"), QObject* parent = nullptr);

    void run(const QString& command, Done done) override;

private:
    QString m_program;
};
