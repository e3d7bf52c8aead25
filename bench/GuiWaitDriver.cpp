// tarv-gui-wait-driver: the application as tarv-app builds it (the model, the main window and
// the tray menu), driven by commands on standard input, one per line, so that
// scripts/measure-gui-waits can run each scenario while it probes the GUI thread from outside.
//
//   start                 builds the model and shows the main window (nothing is built before,
//                         so a tracer can attach first); prints "painted" once the window is
//                         drawn
//   newscreen TEMPLATE    Custom Screens, New Screen, the template with that id
//   duplicate FILE        Custom Screens, the file's Duplicate
//   settings              opens the Settings window
//   login                 Settings, General: flips "Open Tarv at login"
//   install               Settings, Advanced: presses the tool's button (Install…, Remove)
//   stocks                refreshes the stock quotes
//   reconnect             ends the connection and opens the port again, as a plug-in does
//   quit
//
// Each command answers "ok COMMAND" once it has been given to the window (its work may go
// on). The tool's link goes to $TARV_MEASURE_LINK_FOLDER, never to a system folder.

#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "app/TarvApp.h"
#include "app/TrayMenu.h"
#include "hub/DeviceManager.h"
#include "support/StdinLines.h"
#include "ui/screens/CustomScreenFilesSection.h"
#include "ui/screens/ScreenFileRow.h"
#include "ui/settings/CommandLineToolSection.h"
#include "ui/settings/LoginItem.h"
#include "ui/settings/PrivilegedRunner.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace {

void say(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Driver : public QObject {
public:
    void run(const QList<QByteArray>& words)
    {
        const QByteArray& command = words.value(0);
        const QByteArray argument = words.value(1);
        if (command == "start")
            start();
        else if (command == "newscreen")
            trigger(QStringLiteral("newScreen:") + QString::fromUtf8(argument));
        else if (command == "duplicate")
            duplicate(QString::fromUtf8(argument));
        else if (command == "settings")
            settingsWindow();
        else if (command == "login")
            press(0, "openAtLoginSwitch");
        else if (command == "install")
            press(3, "toolActionButton");
        else if (command == "stocks")
            m_model->deviceManager().refreshStockQuotes();
        else if (command == "reconnect")
            reconnect();
        else if (command == "quit")
            QCoreApplication::quit();
        else {
            say("unknown " + command);
            return;
        }
        say("ok " + command);
    }

private:
    void start()
    {
        if (m_model)
            return;
        m_model = std::make_unique<TarvApp>();
        m_window = std::make_unique<MainWindow>(m_model->deviceManager(), m_model->settings());
        m_tray = std::make_unique<TrayMenu>(m_model->deviceManager(), *m_window);
        m_window->show();
        m_window->windowHandle()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && !m_painted) {
            m_painted = true;
            // The window's first frame is drawn once the exposure has been handled.
            QTimer::singleShot(0, this, [] { say("painted"); });
        }
        return QObject::eventFilter(watched, event);
    }

    void showScreensPage() { m_window->select(SidebarItem::customScreens); }

    void trigger(const QString& actionName)
    {
        showScreensPage();
        if (auto* action = m_window->findChild<QAction*>(actionName))
            action->trigger();
        else
            say("missing " + actionName.toUtf8());
    }

    void duplicate(const QString& fileName)
    {
        showScreensPage();
        auto* files = m_window->findChild<CustomScreenFilesSection*>(QStringLiteral("filesSection"));
        if (ScreenFileRow* row = files ? files->row(fileName) : nullptr)
            row->duplicateAction()->trigger();
        else
            say("missing " + fileName.toUtf8());
    }

    SettingsWindow& settingsWindow()
    {
        if (!m_settings) {
            SettingsWindow::Services services;
            services.installer.emplace(CommandLineToolSection::bundledToolPath(),
                                       qEnvironmentVariable("TARV_MEASURE_LINK_FOLDER", QStringLiteral("/nonexistent")));
            services.runner = std::make_unique<PkexecRunner>(QStringLiteral("/nonexistent/pkexec"));
            m_settings = std::make_unique<SettingsWindow>(m_model->deviceManager(), std::move(services));
        }
        m_settings->show();
        return *m_settings;
    }

    void press(int tab, const char* buttonName)
    {
        SettingsWindow& window = settingsWindow();
        window.tabs()->setCurrentIndex(tab);
        if (auto* button = window.findChild<QAbstractButton*>(QLatin1String(buttonName)))
            button->click();
        else
            say(QByteArray("missing ") + buttonName);
    }

    void reconnect()
    {
        DeviceManager& hub = m_model->deviceManager();
        const std::optional<std::uint64_t> id = hub.activeRegistryID();
        if (!id) {
            say("not connected");
            return;
        }
        hub.disconnect(*id);
        hub.connect(*id, qEnvironmentVariable("TARV_SERIAL_PORT"));
    }

    std::unique_ptr<TarvApp> m_model;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<TrayMenu> m_tray;
    std::unique_ptr<SettingsWindow> m_settings;
    bool m_painted = false;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarv"));
    QApplication::setOrganizationName(QString());
    QApplication::setDesktopFileName(QStringLiteral("tarv"));
    QApplication::setQuitOnLastWindowClosed(false);

    Driver driver;
    const StdinLines input([&driver](const QByteArray& line) {
        driver.run(line.split(' '));
        return true;
    });
    say("waiting");
    return QApplication::exec();
}
