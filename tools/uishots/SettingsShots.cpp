#include "SettingsShots.h"

#include "app/MainWindow.h"
#include "app/SettingsWindow.h"
#include "hub/DeviceManager.h"
#include "support/FakeScreenStore.h"
#include "ui/settings/CommandLineToolSection.h"
#include "ui/settings/LoginItem.h"
#include "ui/settings/PrivilegedRunner.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QScreen>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

void settle()
{
    QTest::qWait(30);
}

CustomScreen commandScreen(const QString& id, const QString& command)
{
    const QByteArray json = QStringLiteral(R"({"title": "%1", "sources": {"value": {"shell": "%2", "every": 60}},)"
                                           R"( "widgets": [{"type": "text", "x": 12, "y": 40, "text": "{{value}}"}]})")
                                .arg(id, command)
                                .toUtf8();
    QList<ScreenIssue> issues;
    return CustomScreen::parse(json, id, id + QStringLiteral(".json"), issues).value_or(CustomScreen{});
}

// The windows where they are on the screen, each in a plain frame, over an empty desktop.
QPixmap onScreen(const QList<QWidget*>& windows)
{
    const QScreen* screen = windows.first()->screen();
    QPixmap image(screen->geometry().size());
    image.fill(QColor(0x3C, 0x4A, 0x5A));
    QPainter painter(&image);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    for (QWidget* window : windows) {
        const QRect frame = window->frameGeometry().translated(-screen->geometry().topLeft());
        painter.fillRect(frame, QColor(0xD0, 0xD0, 0xD0));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.drawPixmap(window->geometry().topLeft() - screen->geometry().topLeft(), window->grab());
    }
    painter.end();
    return image;
}

}  // namespace

bool drawSettings(MainWindow& window, DeviceManager& hub, TarvFake::MemoryScreenStore& screens, const SaveShot& save)
{
    // The window the application opens, on each tab.
    window.showSettings();
    SettingsWindow* settings = window.settingsWindow();
    const QStringList names{QStringLiteral("general"), QStringLiteral("device"), QStringLiteral("auto-switching"),
                            QStringLiteral("advanced")};
    for (int i = 0; i < names.size(); ++i) {
        settings->tabs()->setCurrentIndex(i);
        settle();
        save(QStringLiteral("settings-") + names[i], settings->grab());
    }
    settings->close();

    // The General tab under sway, which opens no autostart entries by itself.
    {
        qputenv("SWAYSOCK", "/run/user/1000/sway-ipc.sock");
        const QTemporaryDir autostart;
        SettingsWindow::Services services;
        services.loginItem = std::make_unique<LoginItem>(autostart.filePath(QStringLiteral("tarv.desktop")),
                                                         QStringLiteral("/usr/bin/tarv-app"));
        SettingsWindow sway(hub, std::move(services));
        qunsetenv("SWAYSOCK");
        sway.tabs()->setCurrentIndex(0);
        sway.show();
        settle();
        save(QStringLiteral("settings-general-sway"), sway.grab());
    }

    // The Advanced tab over a link folder of its own, with screens the user trusts.
    QTemporaryDir folder;
    const QString tool = folder.filePath(QStringLiteral("app/tarv"));
    QDir().mkpath(folder.filePath(QStringLiteral("app")));
    QFile file(tool);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly)) {
        std::fputs("tarv-ui-shots: cannot make a stand-in tool\n", stderr);
        return false;
    }
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QList<std::pair<QString, QString>> trusted{
        {QStringLiteral("forecast"), QStringLiteral("curl -s wttr.in/?format=3")},
        {QStringLiteral("ci-status"), QStringLiteral("gh run list --limit 1")}};
    for (const auto& [id, command] : trusted) {
        const CustomScreen screen = commandScreen(id, command);
        screens.loaded.append(screen);
        screens.trust().approveScreen(screen);
    }


    const auto drawAdvanced = [&](const std::optional<QString>& toolPath, const QString& name, bool press) {
        SettingsWindow::Services services;
        services.loginItem = std::make_unique<LoginItem>(folder.filePath(QStringLiteral("autostart/tarv.desktop")));
        services.installer.emplace(toolPath, folder.filePath(QStringLiteral("bin")));
        services.runner = std::make_unique<PkexecRunner>();
        SettingsWindow advanced(hub, std::move(services));
        advanced.tabs()->setCurrentIndex(3);
        advanced.show();
        // The link is looked at and made on a worker.
        const auto answered = [&] {
            return QTest::qWaitFor([&] { return !advanced.commandLineTool()->isBusy(); }, 5000);
        };
        answered();
        if (press)
            advanced.commandLineTool()->actionButton()->click();
        answered();
        settle();
        save(QStringLiteral("settings-advanced-") + name, advanced.grab());
    };
    drawAdvanced(tool, QStringLiteral("trusted"), false);
    drawAdvanced(tool, QStringLiteral("installed"), true);
    drawAdvanced(folder.filePath(QStringLiteral("nothing/tarv")), QStringLiteral("tool-missing"), true);

    // Thirty trusted screens, one of them fetching an address of 300 characters, on a screen
    // 768 pixels high: the window stays on the screen, centred over the main window, and its
    // tab scrolls; the address wraps inside its row.
    QString address = QStringLiteral("curl -s https://status.example.com/api/v2/components/summary?");
    while (address.size() < 308)
        address += QStringLiteral("region=eu1&service=pipeline&token=8f14e45fceea167a5a36dedd4bea25438f14e45fceea167a5a&");
    address.truncate(308);
    QList<CustomScreen> many{commandScreen(QStringLiteral("build-status"), address)};
    for (int i = 1; many.size() + trusted.size() < 30; ++i)
        many.append(commandScreen(QStringLiteral("screen-%1").arg(i, 2, 10, QLatin1Char('0')),
                                  QStringLiteral("uptime -p")));
    for (const CustomScreen& screen : many) {
        screens.loaded.append(screen);
        screens.trust().approveScreen(screen);
    }
    window.showSettings();
    settings->tabs()->setCurrentIndex(3);
    settle();
    save(QStringLiteral("settings-advanced-30-trusted"), settings->grab());
    save(QStringLiteral("screen-settings-30-trusted"), onScreen({&window, settings}));
    settings->close();
    for (const CustomScreen& screen : many) {
        screens.trust().revokeScreen(screen.id);
        screens.loaded.removeAll(screen);
    }
    return true;
}
