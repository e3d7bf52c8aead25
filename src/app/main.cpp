// tarv-app: the application entry. One copy at a time (a second start shows the first's
// window); the model is built once, then the main window opens.

#include "app/InstanceHandOver.h"
#include "app/MainWindow.h"
#include "app/TarvApp.h"
#include "app/TrayIcon.h"
#include "app/TrayMenu.h"
#include "hub/DeviceManager.h"
#include "platform/ChildProcesses.h"
#include "platform/SingleInstanceLock.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Before anything is started: a SIGCHLD ignored by whoever started Tarv would reap its
    // children unseen. Declared first, it ends what shell sources left running last.
    ChildProcesses children;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarv"));
    QApplication::setOrganizationName(QString());
    QApplication::setApplicationDisplayName(QStringLiteral("Tarv"));
    QApplication::setDesktopFileName(QStringLiteral("tarv"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tarv.svg")));
    // The device needs Tarv running: closing its windows ends nothing; "Quit" does.
    QApplication::setQuitOnLastWindowClosed(false);
    // A logout, `kill` or Ctrl+C ends Tarv as Quit does.
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &app, [](int signal) {
        qInfo("Tarv ends on SIG%s", sigabbrev_np(signal));
        QApplication::quit();
    });

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("The desktop companion of the Tarv touch screen."));
    options.addHelpOption();
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

    // A copy of another session has another runtime folder, but would share the settings.
    SingleInstanceLock settingsLock(SingleInstanceLock::besideSettingsPath());
    if (!settingsLock.tryAcquire()) {
        if (settingsLock.isHeldElsewhere()) {
            std::fprintf(stderr, "Tarv is already running with these settings in another session (%s).\n",
                         qPrintable(settingsLock.path()));
            return 1;
        }
        // The settings cannot be written there either; Tarv says so in its window.
        std::fprintf(stderr, "Tarv cannot make its lock file beside its settings (%s).\n",
                     qPrintable(settingsLock.path()));
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
    window.show();
    return QApplication::exec();
}
