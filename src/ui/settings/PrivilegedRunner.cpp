#include "ui/settings/PrivilegedRunner.h"

#include "platform/ProcessSpawn.h"

#include <QProcess>

#include <memory>

PkexecRunner::PkexecRunner(QString program, QObject* parent) : PrivilegedRunner(parent), m_program(std::move(program))
{
}

void PkexecRunner::run(const QString& command, Done done)
{
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // It starts with the session's limit on open files, not Tarv's.
    process->setChildProcessModifier(ProcessSpawn::restoreInChild);
    // Exactly one answer, whichever of the two signals ends the run.
    auto answer = std::make_shared<Done>(std::move(done));
    const auto finish = [process, answer](const std::optional<QString>& failure) {
        if (!*answer)
            return;
        const Done callback = std::move(*answer);
        *answer = nullptr;
        process->deleteLater();
        callback(failure);
    };
    connect(process, &QProcess::errorOccurred, this, [process, finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(QStringLiteral("Could not launch pkexec: ") + process->errorString());
    });
    connect(process, &QProcess::finished, this, [process, finish](int code, QProcess::ExitStatus status) {
        const QString said = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
        if (status != QProcess::NormalExit)
            finish(QStringLiteral("The link could not be made."));
        else if (code == 0 || code == dismissedCode)
            finish(std::nullopt);
        else if (code == pkexecFailedCode)
            finish(QStringLiteral("Could not launch pkexec: ") +
                   (said.isEmpty() ? QStringLiteral("it ended with code %1").arg(code) : said));
        else
            finish(said.isEmpty() ? QStringLiteral("The link could not be made.") : said);
    });
    process->start(m_program, {QStringLiteral("/bin/sh"), QStringLiteral("-c"), command});
}
