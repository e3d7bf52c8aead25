#include "support/FootWindow.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <sys/stat.h>

namespace TarvFake {

namespace {

QString logPath(const QString& folder, const QString& appId)
{
    return QDir(folder).filePath(QStringLiteral("foot-%1.log").arg(appId));
}

}  // namespace

std::unique_ptr<QProcess> startFootWindow(const QString& waylandDisplay, const QString& folder,
                                          const QString& appId, int timeoutMs, QString& error)
{
    auto terminal = std::make_unique<QProcess>();
    const QString clients = QDir(folder).filePath(QStringLiteral("clients"));
    QDir().mkpath(clients);
    ::chmod(QFile::encodeName(clients).constData(), 0700);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), clients);
    environment.remove(QStringLiteral("DISPLAY"));
    terminal->setProcessEnvironment(environment);
    terminal->setStandardOutputFile(QProcess::nullDevice());
    terminal->setStandardErrorFile(logPath(folder, appId));
    terminal->start(QStringLiteral("foot"), {QStringLiteral("--app-id=") + appId, QStringLiteral("cat")});
    if (!terminal->waitForStarted(timeoutMs)) {
        error = QStringLiteral("foot did not start: %1 (Debian package foot)").arg(terminal->errorString());
        return nullptr;
    }
    return terminal;
}

QString footWindowFailure(const QString& folder, const QString& appId)
{
    QFile log(logPath(folder, appId));
    log.open(QIODevice::ReadOnly);
    return QStringLiteral("the window %1 did not show:\n").arg(appId) + QString::fromUtf8(log.readAll().right(2000));
}

}  // namespace TarvFake
