// tarv-app: the application entry. One copy at a time (a second start shows the first's
// window); the model is built once, then the main window opens.

#include "app/ClipboardHandOver.h"
#include "app/InstanceHandOver.h"
#include "app/LockedElsewhereDialog.h"
#include "app/MainWindow.h"
#include "app/StartOptions.h"
#include "app/TarvApp.h"
#include "app/TrayIcon.h"
#include "app/TrayMenu.h"
#include "app/WindowActivation.h"
#include "hub/DeviceManager.h"
#include "platform/OrphanReaper.h"
#include "platform/PictureDecoders.h"
#include "platform/SavingPool.h"
#include "platform/SingleInstanceLock.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QThreadPool>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <unistd.h>

namespace {

// Tarv once it may run: the model, then the windows and the tray that show it.
struct RunningTarv {
    TarvApp model;
    MainWindow window{model.deviceManager(), model.settings()};
    TrayMenu trayMenu{model.deviceManager(), window};
    TrayIcon trayIcon{trayMenu.menu()};
};

// The exit status of --show-running when no copy runs.
constexpr int notRunningStatus = 3;
// The exit status of a mistyped command line.
constexpr int usageStatus = 2;

// Everything a start decides before the GUI is made, so that --help, a mistyped option and a
// second start need no display: the options are read, and the lock is taken or the copy that
// holds it is asked to show its window. Returns the exit status when the start ends here.
std::optional<int> startWithoutGui(int& argc, char** argv, SingleInstanceLock& lock)
{
    const QCoreApplication reading(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("The desktop companion of the Tarv touch screen.\nQt's own options, written with one dash as "
                       "Qt writes them (-platform offscreen, -style fusion, -nograb …), go to Qt."));
    // One dash or two name the same option, as Qt reads its own: "-help" is "--help", not "-h -e …".
    options.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QStringList tarvOptionNames = options.addHelpOption().names() + options.addVersionOption().names();
    // For scripts, such as scripts/run, which starts a fake device only for a Tarv that it
    // starts: shows the running copy's window as a second start does, and otherwise starts
    // nothing.
    const QCommandLineOption showRunning(
        QStringLiteral("show-running"),
        QStringLiteral("Show the window of the Tarv that runs, and start none: exit status 3 when none runs."));
    options.addOption(showRunning);
    tarvOptionNames << showRunning.names() << QStringLiteral("help-all");
    // The toolkit's options are left to the GUI application, whatever its platform takes.
    const QStringList arguments = StartOptions::tarvArguments(QCoreApplication::arguments(), tarvOptionNames);
    // A mistyped option is a usage error, as for the tarv tool; the parser's own process()
    // would end with status 1.
    if (!options.parse(arguments)) {
        std::fprintf(stderr, "%s\nTry 'tarv-app --help' for more information.\n", qPrintable(options.errorText()));
        return usageStatus;
    }
    // Help and version, which end the start here.
    options.process(arguments);

    const QString handOverPath = InstanceHandOver::socketPathForLock(lock.path());
    if (lock.tryAcquire()) {
        if (options.isSet(showRunning))
            return notRunningStatus;
        // Without a display the GUI application would abort at once with Qt's own words.
        if (!StartOptions::canShowWindows(QCoreApplication::arguments(), QProcessEnvironment::systemEnvironment())) {
            std::fputs("Tarv needs a graphical session: the display it would use is not set "
                       "(DISPLAY for X11, WAYLAND_DISPLAY for Wayland).\n",
                       stderr);
            return 1;
        }
        return std::nullopt;
    }
    if (!lock.isHeldElsewhere()) {
        std::fprintf(stderr, "Tarv cannot make its lock file (%s).\n",
                     lock.path().isEmpty() ? "no private runtime folder" : qPrintable(lock.path()));
        return 1;
    }
    QString failure;
    // The launcher's tokens are for the window that comes forward, the running copy's.
    const std::optional<InstanceHandOver::Answer> answer = InstanceHandOver::askRunningCopyToShow(
        handOverPath, ActivationTokens::fromEnvironment(QProcessEnvironment::systemEnvironment()),
        InstanceHandOver::answerTimeoutMs, &failure);
    if (!answer) {
        std::fprintf(stderr, "Tarv is already running, but its window could not be shown: %s.\n",
                     qPrintable(failure));
        return 1;
    }
    std::puts(*answer == InstanceHandOver::Answer::broughtForward
                  ? "Tarv is already running; its window is brought forward."
                  : "Tarv is already running; it asked the desktop to show its window.");
    return 0;
}

// Tarv from its start to its quit, with the lock taken; what it holds is let go on return,
// the settings and the files it writes saved.
int run(QApplication& app, std::unique_ptr<SingleInstanceLock> lock)
{
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
    // Quit waits for no picture being decoded: its process is killed, and the work that waited
    // for it ends at once, before the model it works for goes.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] { PictureDecoders::shared().stop(); });
    const QString handOverPath = InstanceHandOver::socketPathForLock(lock->path());
    // The launcher's token is for the first window; a program that Tarv starts later must not
    // inherit it.
    const QString launcherToken = ActivationTokens::fromEnvironment(QProcessEnvironment::systemEnvironment())
                                      .xdgActivationToken;
    qunsetenv("XDG_ACTIVATION_TOKEN");

    // A copy of another session has another runtime folder, but would share the settings.
    SingleInstanceLock settingsLock(SingleInstanceLock::besideSettingsPath());
    std::optional<SingleInstanceLock::Holder> otherMachine;
    if (!settingsLock.tryAcquire()) {
        if (settingsLock.isHeldElsewhere()) {
            otherMachine = settingsLock.holder();
            if (!otherMachine || !otherMachine->onAnotherMachine) {
                std::fprintf(stderr, "Tarv is already running with these settings in another session (%s).\n",
                             qPrintable(settingsLock.path()));
                return 1;
            }
        } else {
            // The settings cannot be written there either; Tarv says so in its window.
            std::fprintf(stderr, "Tarv cannot make its lock file beside its settings (%s).\n",
                         qPrintable(settingsLock.path()));
        }
    }

    InstanceHandOver handOver(handOverPath);
    if (!handOver.listen())
        std::fprintf(stderr, "Tarv cannot listen for a second start (%s).\n", qPrintable(handOver.errorString()));

    std::unique_ptr<RunningTarv> running;
    const auto start = [&] {
        running = std::make_unique<RunningTarv>();
        QObject::connect(&running->window, &MainWindow::quitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
        QObject::connect(&running->trayMenu, &TrayMenu::quitRequested, &app, &QApplication::quit,
                         Qt::QueuedConnection);
        QObject::connect(&running->trayIcon, &TrayIcon::openRequested, &running->window,
                         &MainWindow::showAndActivate);
        running->trayIcon.watchClosing(&running->window);
        if (launcherToken.isEmpty())
            running->window.show();
        else
            WindowActivation::bringForward(&running->window, launcherToken);
    };

    // A lock that names another machine is asked about in a window, since a start from the
    // desktop shows nothing written to standard error.
    std::unique_ptr<LockedElsewhereDialog> askFirst;
    std::unique_ptr<QMessageBox> takeOverFailed;
    // A second start brings forward the window that shows: the question, until Tarv runs.
    QObject::connect(&handOver, &InstanceHandOver::showRequested, &app,
                     [&](const ActivationTokens& tokens, quint64 request) {
                         QWidget* window = running ? static_cast<QWidget*>(&running->window) : askFirst.get();
                         if (!window) {
                             handOver.answer(request, InstanceHandOver::Answer::askedDesktop);
                             return;
                         }
                         WindowActivation::bringForward(window, tokens.xdgActivationToken,
                                                        [&handOver, request](bool active) {
                                                            handOver.answer(
                                                                request, active
                                                                             ? InstanceHandOver::Answer::broughtForward
                                                                             : InstanceHandOver::Answer::askedDesktop);
                                                        });
                     });
    if (otherMachine) {
        std::fprintf(stderr, "Tarv's settings are in use by Tarv on %s (%s).\n", qPrintable(otherMachine->machine),
                     qPrintable(settingsLock.path()));
        askFirst = std::make_unique<LockedElsewhereDialog>(*otherMachine, settingsLock.path());
        QObject::connect(askFirst.get(), &LockedElsewhereDialog::quitChosen, &app, [] { QApplication::exit(1); },
                         Qt::QueuedConnection);
        QObject::connect(
            askFirst.get(), &LockedElsewhereDialog::startAnywayChosen, &app,
            [&] {
                if (settingsLock.takeOver()) {
                    start();
                    return;
                }
                // Someone holds the old file locked: a copy still running on a shared folder.
                takeOverFailed = std::make_unique<QMessageBox>(
                    QMessageBox::Warning, QStringLiteral("Tarv"),
                    QStringLiteral("Tarv could not take over its lock file %1: a copy of Tarv may still be running "
                                   "with these settings.")
                        .arg(QDir::toNativeSeparators(settingsLock.path())),
                    QMessageBox::Close);
                takeOverFailed->setTextFormat(Qt::PlainText);
                QObject::connect(takeOverFailed.get(), &QDialog::finished, &app, [] { QApplication::exit(1); },
                                 Qt::QueuedConnection);
                takeOverFailed->show();
            },
            Qt::QueuedConnection);
        askFirst->show();
    } else {
        start();
    }
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    int code = 0;
    std::unique_ptr<QApplication> app;
    {
        // Before anything is started: a SIGCHLD ignored by whoever started Tarv would reap its
        // children unseen. Made first, it ends what shell sources left running last.
        OrphanReaper children;
        QCoreApplication::setApplicationName(QStringLiteral("Tarv"));
        QCoreApplication::setApplicationVersion(QStringLiteral(TARV_VERSION));
        auto lock = std::make_unique<SingleInstanceLock>();
        if (const std::optional<int> ended = startWithoutGui(argc, argv, *lock))
            return *ended;
        app = std::make_unique<QApplication>(argc, argv);
        code = run(*app, std::move(lock));
        // What was copied goes to the desktop's clipboard manager now, within a bound, rather
        // than as the application goes, where Qt waits seconds for a manager that is silent.
        ClipboardHandOver::handOver();
        savingPool().waitForDone();
        // Work still running on the shared pool (a folder scan, a look at the X server's
        // windows) cannot be stopped, and nothing wants its result any more: Tarv does not
        // wait for it. Without any, the application ends as usual.
        if (QThreadPool::globalInstance()->waitForDone(0))
            app.reset();
    }
    if (app) {
        qWarning("Tarv ends without its usual teardown: work on the shared thread pool is still running");
        // The application and the statics stay as they are, for the work that still uses
        // them, until the process is gone.
        std::fflush(nullptr);
        _exit(code);
    }
    return code;
}
