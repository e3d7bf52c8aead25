#include "GnomeShots.h"

#include "app/SettingsWindow.h"
#include "hub/DeviceManager.h"
#include "macros/GnomeExtensionSetup.h"
#include "support/FakeGnomeShell.h"
#include "support/PrivateSessionBus.h"
#include "ui/settings/LoginItem.h"
#include "ui/settings/PrivilegedRunner.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

bool drawGnomeExtensionStates(DeviceManager& hub, const QString& folder, const SaveShot& save)
{
    TarvFake::PrivateSessionBus bus;
    if (!bus.start()) {
        std::fprintf(stderr, "tarv-ui-shots: %s\n", qPrintable(bus.lastError()));
        return false;
    }
    TarvFake::FakeGnomeShell shell(bus.address());
    // GNOME's settings in a file under the pictures' own HOME.
    qputenv("GSETTINGS_BACKEND", "keyfile");
    GnomeExtensionSetup::Places places = GnomeExtensionSetup::defaultPlaces();
    places.userExtensions = folder + QStringLiteral("/user");
    places.systemExtensions = {folder + QStringLiteral("/system")};
    const QString connection = QStringLiteral("shots-gnome");
    SettingsWindow::Services services;
    services.gnomeExtension =
        std::make_unique<GnomeExtensionSetup>(QDBusConnection::connectToBus(bus.address(), connection), places);
    GnomeExtensionSetup& setup = *services.gnomeExtension;
    auto window = std::make_unique<SettingsWindow>(hub, std::move(services));
    window->tabs()->setCurrentIndex(2);
    window->show();
    const auto shoot = [&](const char* state) {
        const bool read = QTest::qWaitFor([&] { return !setup.isBusy(); }, 10000);
        QTest::qWait(30);
        if (!read)
            std::fprintf(stderr, "tarv-ui-shots: the extension's state was not read for %s\n", state);
        save(QStringLiteral("settings-auto-switching-gnome-") + QLatin1String(state), window->grab());
        return read;
    };

    bool drawn = shoot("not-installed");
    window->findChild<QPushButton*>(QStringLiteral("gnomeExtensionButton"))->click();
    drawn = shoot("at-next-login") && drawn;

    // The copy of a package, which GNOME Shell knows and keeps switched off.
    const QString uuid = GnomeExtensionSetup::uuid();
    QDir(places.userExtensions + u'/' + uuid).removeRecursively();
    QDir().mkpath(places.systemExtensions.first() + u'/' + uuid);
    QFile::copy(places.bundled + QStringLiteral("/legacy/metadata.json"),
                places.systemExtensions.first() + u'/' + uuid + QStringLiteral("/metadata.json"));
    shell.setExtension(uuid, {{"state", 2.0}, {"version", double(GnomeExtensionSetup::version())}});
    setup.refresh();
    drawn = shoot("off") && drawn;
    shell.allowUserExtensions(false);
    setup.refresh();
    drawn = shoot("extensions-off") && drawn;

    window.reset();
    QDBusConnection::disconnectFromBus(connection);
    qunsetenv("GSETTINGS_BACKEND");
    return drawn;
}
