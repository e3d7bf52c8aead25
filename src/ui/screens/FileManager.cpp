#include "ui/screens/FileManager.h"

#include "platform/ProcessSpawn.h"
#include "platform/ContextContinuation.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <fcntl.h>
#include <unistd.h>

FileManager::FileManager(QObject* parent) : FileManager(QDBusConnection::sessionBus(), parent) {}

FileManager::FileManager(const QDBusConnection& bus, QObject* parent) : FileManager(bus, Opener{}, parent)
{
    m_opener = [this](const QUrl& url, Done done) { openWithXdgOpen(url, std::move(done)); };
}

FileManager::FileManager(const QDBusConnection& bus, Opener opener, QObject* parent)
    : QObject(parent), m_bus(bus), m_opener(std::move(opener))
{
}

FileManager::~FileManager()
{
    // An opener still running only waits for the application it started (xdg-open may, on a
    // desktop of its own kind); the application goes on without it.
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(1000);
        }
    }
}

QString FileManager::xdgOpenFailure(int exitCode)
{
    switch (exitCode) {
    case 1:
        return QStringLiteral("xdg-open did not understand the request");
    case 2:
        return QStringLiteral("it is not there");
    case 3:
        return QStringLiteral("no application is set up to open it");
    case 4:
        return QStringLiteral("the application for it could not open it");
    default:
        return QStringLiteral("xdg-open stopped with status ") + QString::number(exitCode);
    }
}

void FileManager::open(const QString& path, Done done)
{
    // The whole path, so that the user can open it some other way.
    const QString name = QDir::toNativeSeparators(path);
    m_opener(QUrl::fromLocalFile(path), [name, done = std::move(done)](const std::optional<QString>& reason) {
        if (!done)
            return;
        if (reason)
            done(QStringLiteral("Could not open \u201C") + name + QStringLiteral("\u201D: ") + *reason +
                 QStringLiteral("."));
        else
            done(std::nullopt);
    });
}

void FileManager::reveal(const QString& filePath, Done done)
{
    const QString folder = QFileInfo(filePath).absolutePath();
    // Without a session bus a call never answers at all: the folder at once.
    if (!m_bus.isConnected()) {
        open(folder, std::move(done));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(filePath).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, showItemsTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, folder, done = std::move(done)] {
        watcher->deleteLater();
        // No file manager on the bus (or one that failed): the folder is the next best thing.
        if (watcher->isError())
            open(folder, done);
        else if (done)
            done(std::nullopt);
    });
}

void FileManager::openWithXdgOpen(const QUrl& url, Done done)
{
    // Looking xdg-open up reads every folder of PATH: a worker does it, so a slow or network
    // folder there never holds up the window.
    const auto found = QtConcurrent::run([] { return QStandardPaths::findExecutable(QStringLiteral("xdg-open")); });
    continueOn(this, found, [this, url, done = std::move(done)](const QString& program) {
        if (program.isEmpty()) {
            done(QStringLiteral("xdg-open, which opens files with their applications, is not installed"));
            return;
        }
        launchXdgOpen(program, url, done);
    });
}

void FileManager::launchXdgOpen(const QString& program, const QUrl& url, const Done& done)
{
    auto* process = new QProcess(this);
    // An absolute path: starting it looks nothing up.
    process->setProgram(program);
    // A local path is absolute, so it can never be read as an option.
    process->setArguments({url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString()});
    // Nothing to read: the child opens /dev/null for itself, so the window's thread opens no file.
    // It starts with the session's limit on open files, not Tarv's.
    process->setChildProcessModifier([] {
        ProcessSpawn::restoreInChild();
        const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::close(null);
        }
    });
    // Its messages go where Tarv's own go; no pipe ties the application it starts to Tarv.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(process, &QProcess::errorOccurred, this, [process, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        done(QStringLiteral("xdg-open could not be started (") + process->errorString() + QStringLiteral(")"));
        process->deleteLater();
    });
    connect(process, &QProcess::finished, this, [process, done](int exitCode, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && exitCode == 0)
            done(std::nullopt);
        else
            done(status == QProcess::CrashExit ? QStringLiteral("xdg-open stopped unexpectedly")
                                               : xdgOpenFailure(exitCode));
        process->deleteLater();
    });
    process->start();
}
