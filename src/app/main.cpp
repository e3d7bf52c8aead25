// tarv-app: the application entry. One copy at a time (a second start shows the first's
// window); the model is built once, then the main window opens.

#include "app/InstanceHandOver.h"
#include "app/MainWindow.h"
#include "app/TarvApp.h"
#include "app/TrayIcon.h"
#include "app/TrayMenu.h"
#include "hub/DeviceManager.h"
#include "hub/SnapshotFiles.h"
#include "platform/SingleInstanceLock.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QTimer>

#include <cstdio>

namespace {

// Development aid: capture the device screen once after the first handshake and save it in
// the Snapshots folder, as the command channel's snapshot command will.
void captureOnceConnected(DeviceManager& hub)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(&hub, &DeviceManager::stateChanged, &hub, [&hub, connection] {
        if (!hub.state().isConnected())
            return;
        QObject::disconnect(*connection);
        // Once the first page has gone through the send window: the request itself goes
        // straight out, ahead of queued frames.
        QTimer::singleShot(1500, &hub, [&hub] {
            hub.captureSnapshot([&hub](const DeviceManager::SnapshotResult& result) {
                const auto* snapshot = std::get_if<TarvUSB::DeviceSnapshot>(&result);
                if (!snapshot)
                    return;  // the failure is in the log already
                const auto saved = saveSnapshotPNG(*snapshot, TarvUSB::snapshotsFolderPath());
                if (const auto* path = std::get_if<QString>(&saved))
                    hub.log(LogEntry::Direction::system, QStringLiteral("Snapshot saved to ") + *path);
                else
                    hub.log(LogEntry::Direction::system,
                            QStringLiteral("Snapshot not saved: ") + std::get<SnapshotSaveError>(saved).message);
            });
        });
    });
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarv"));
    QApplication::setOrganizationName(QString());
    QApplication::setApplicationDisplayName(QStringLiteral("Tarv"));
    QApplication::setDesktopFileName(QStringLiteral("tarv"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tarv.svg")));
    // The device needs Tarv running: closing its windows ends nothing; "Quit" does.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("The desktop companion of the Tarv touch screen."));
    options.addHelpOption();
    const QCommandLineOption captureSnapshot(QStringLiteral("capture-snapshot"),
                                             QStringLiteral("Save one snapshot of the device screen after connecting."));
    options.addOption(captureSnapshot);
    options.process(app);

    SingleInstanceLock lock;
    const QString handOverPath = InstanceHandOver::socketPathForLock(lock.path());
    if (!lock.tryAcquire()) {
        if (lock.isHeldElsewhere()) {
            if (InstanceHandOver::askRunningCopyToShow(handOverPath))
                return 0;
            std::fputs("Tarv is already running, but its window could not be shown.\n", stderr);
        } else {
            std::fprintf(stderr, "Tarv cannot make its lock file (%s).\n",
                         lock.path().isEmpty() ? "no private runtime folder" : qPrintable(lock.path()));
        }
        return 1;
    }

    InstanceHandOver handOver(handOverPath);
    if (!handOver.listen())
        std::fprintf(stderr, "Tarv cannot listen for a second start (%s).\n", qPrintable(handOver.errorString()));

    TarvApp model;
    MainWindow window(model.deviceManager(), model.settings());
    QObject::connect(&handOver, &InstanceHandOver::showRequested, &window, &MainWindow::showAndActivate);
    QObject::connect(&window, &MainWindow::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
    TrayMenu trayMenu(model.deviceManager(), window);
    QObject::connect(&trayMenu, &TrayMenu::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
    TrayIcon trayIcon(trayMenu.menu());
    if (options.isSet(captureSnapshot))
        captureOnceConnected(model.deviceManager());
    window.show();
    return QApplication::exec();
}
