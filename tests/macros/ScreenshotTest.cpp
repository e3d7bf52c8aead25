#include "macros/DesktopActionRunner.h"
#include "macros/ScreenshotFiles.h"
#include "macros/ScreenshotPortal.h"
#include "platform/Settings.h"

#include "support/DesktopTestEnv.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QImage>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Stands in for xdg-desktop-portal: answers Screenshot with a fresh PNG in its own folder.
class FakeScreenshotPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
public:
    FakeScreenshotPortal(QDBusConnection bus, QString folder)
        : m_bus(std::move(bus))
        , m_folder(std::move(folder))
    {
    }

    uint response = 0;
    QList<QVariantMap> calls;
    QString lastFile;

public slots:
    QDBusObjectPath Screenshot(const QString&, const QVariantMap& options, const QDBusMessage& message)
    {
        calls << options;
        QString sender = message.service().mid(1).replace('.', '_');
        const QString path = "/org/freedesktop/portal/desktop/request/" + sender + '/'
            + options.value("handle_token").toString();
        QVariantMap results;
        if (response == 0) {
            lastFile = m_folder + "/portal-" + QString::number(calls.size()) + ".png";
            QImage image(4, 3, QImage::Format_RGB32);
            image.fill(Qt::red);
            image.save(lastFile, "PNG");
            results.insert("uri", QUrl::fromLocalFile(lastFile).toString());
        }
        // The answer comes after the reply, as the real portal sends it.
        QTimer::singleShot(0, this, [this, path, results] {
            QDBusMessage signal = QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response");
            signal << response << results;
            m_bus.send(signal);
        });
        return QDBusObjectPath(path);
    }

private:
    QDBusConnection m_bus;
    QString m_folder;
};

class ScreenshotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testGuiApp();
        ASSERT_TRUE(bus.started()) << "dbus-daemon (Debian package dbus) did not start";
        client = QDBusConnection::connectToBus(bus.address(), "screenshot-client");
        portalSide = QDBusConnection::connectToBus(bus.address(), "screenshot-portal");
        ASSERT_TRUE(client.isConnected());
        QDir().mkpath(xdg.root() + "/portal");
        portal = std::make_unique<FakeScreenshotPortal>(portalSide, xdg.root() + "/portal");
        runner.bus = [this] { return client; };
        runner.screenshotLocation = [] { return std::optional<QString>("~/shots"); };
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus("screenshot-client");
        QDBusConnection::disconnectFromBus("screenshot-portal");
    }
    void servePortal()
    {
        ASSERT_TRUE(portalSide.registerObject("/org/freedesktop/portal/desktop", portal.get(),
                                              QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(portalSide.registerService("org.freedesktop.portal.Desktop"));
    }
    ProcessResult take(ScreenshotOptions::Mode mode, ScreenshotOptions::Destination destination,
                       std::optional<QString> folder = std::nullopt)
    {
        const auto future = runner.screenshot({mode, destination}, folder);
        EXPECT_TRUE(waitFor(future));
        return future.isFinished() && future.resultCount() ? future.result() : ProcessResult{"", "unfinished"};
    }

    TempXdg xdg;
    PrivateSessionBus bus;
    QDBusConnection client{QString()};
    QDBusConnection portalSide{QString()};
    std::unique_ptr<FakeScreenshotPortal> portal;
    DesktopActionRunner runner;
};

} // namespace

TEST_F(ScreenshotTest, FullScreenToFileGoesToTheConfiguredFolderWithoutADialog)
{
    servePortal();
    EXPECT_EQ(take(ScreenshotOptions::Mode::fullScreen, ScreenshotOptions::Destination::file), ProcessResult{});
    ASSERT_EQ(portal->calls.size(), 1);
    EXPECT_EQ(portal->calls[0].value("interactive"), false);
    EXPECT_FALSE(QFileInfo::exists(portal->lastFile)) << "moved, not copied";
    const QStringList saved = QDir(xdg.path("home") + "/shots").entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(QRegularExpression(R"(^Screenshot \d{4}-\d\d-\d\d at \d\d\.\d\d\.\d\d\.png$)")
                    .match(saved[0]).hasMatch()) << saved[0].toStdString();

    // An explicit folder wins over the setting.
    EXPECT_EQ(take(ScreenshotOptions::Mode::window, ScreenshotOptions::Destination::file, xdg.root() + "/given"),
              ProcessResult{});
    EXPECT_EQ(portal->calls[1].value("interactive"), true);
    EXPECT_EQ(QDir(xdg.root() + "/given").entryList(QDir::Files).size(), 1);
}

TEST_F(ScreenshotTest, SelectionToClipboardLeavesNoFile)
{
    servePortal();
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(take(ScreenshotOptions::Mode::selection, ScreenshotOptions::Destination::clipboard), ProcessResult{});
    EXPECT_EQ(portal->calls[0].value("interactive"), true);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(4, 3));
    EXPECT_FALSE(QFileInfo::exists(portal->lastFile));
    EXPECT_FALSE(QFileInfo::exists(xdg.path("home") + "/shots"));
}

TEST_F(ScreenshotTest, CancelledAndMissingPortalAreClearFailures)
{
    EXPECT_EQ(take(ScreenshotOptions::Mode::fullScreen, ScreenshotOptions::Destination::file).failure,
              ScreenshotPortal::missingPortalMessage());
    servePortal();
    portal->response = 1;
    EXPECT_EQ(take(ScreenshotOptions::Mode::selection, ScreenshotOptions::Destination::file).failure,
              "The screenshot was cancelled");
}

TEST(ScreenshotFiles, FolderNameAndNeverOverwriting)
{
    TempXdg xdg;
    const QString home = xdg.path("home");
    EXPECT_EQ(ScreenshotFiles::folder(std::nullopt), home + "/Pictures/Screenshots");
    EXPECT_EQ(ScreenshotFiles::folder(QString()), home + "/Pictures/Screenshots");
    EXPECT_EQ(ScreenshotFiles::folder(QString("~/Shots/")), home + "/Shots");
    EXPECT_EQ(ScreenshotFiles::folder(QString("~")), home);
    EXPECT_EQ(ScreenshotFiles::folder(QString("/srv/shots")), "/srv/shots");
    EXPECT_EQ(ScreenshotFiles::folder(QString("~other/x")), home + "/~other/x");

    // The runner reads the Tarv setting from the user's settings file.
    DesktopActionRunner runner;
    EXPECT_EQ(runner.screenshotFolder(), home + "/Pictures/Screenshots");
    Settings(Settings::userSettingsPath()).setText("screenshot.location", "~/Desk");
    EXPECT_EQ(runner.screenshotFolder(), home + "/Desk");

    EXPECT_EQ(ScreenshotFiles::fileName(QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53))),
              "Screenshot 2026-03-14 at 09.26.53.png");

    const QString folder = xdg.root() + "/new/folder";
    QString first, second;
    TempXdg::write(xdg.root() + "/a.png", "first");
    TempXdg::write(xdg.root() + "/b.png", "second");
    EXPECT_EQ(ScreenshotFiles::moveInto(xdg.root() + "/a.png", folder, "Shot.png", &first), std::nullopt);
    EXPECT_EQ(ScreenshotFiles::moveInto(xdg.root() + "/b.png", folder, "Shot.png", &second), std::nullopt);
    EXPECT_EQ(first, folder + "/Shot.png");
    EXPECT_EQ(second, folder + "/Shot 2.png");
    QFile kept(first);
    kept.open(QIODevice::ReadOnly);
    EXPECT_EQ(kept.readAll(), "first");
}

#include "ScreenshotTest.moc"
