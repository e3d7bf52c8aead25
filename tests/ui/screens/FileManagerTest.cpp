// Showing a file in the file manager over a private session bus: the file manager's own
// interface when one is there, the folder otherwise.

#include "support/PrivateSessionBus.h"
#include "support/WaitUntil.h"
#include "ui/screens/FileManager.h"

#include <QDBusConnection>
#include <QObject>

#include <gtest/gtest.h>

namespace {

class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        shown.append(uris);
    }
};

TEST(FileManagerTest, RevealAsksTheFileManagerAndOpensTheFolderWhenNoneAnswers)
{
    TarvFake::PrivateSessionBus bus;
    ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
    const QString clientName = QStringLiteral("tarv-file-manager-client");
    const QString serverName = QStringLiteral("tarv-file-manager-server");
    {
        QList<QUrl> opened;
        FileManager files(QDBusConnection::connectToBus(bus.address(), clientName),
                          [&](const QUrl& url, const FileManager::Done& done) {
                              opened.append(url);
                              done(std::nullopt);
                          });

        files.reveal(QStringLiteral("/tmp/Screens/clock.json"));
        ASSERT_TRUE(waitUntil([&] { return !opened.isEmpty(); }));
        EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/Screens"))});

        FakeFileManager manager;
        QDBusConnection server = QDBusConnection::connectToBus(bus.address(), serverName);
        ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                          QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        files.reveal(QStringLiteral("/tmp/Screens/clock.json"));
        ASSERT_TRUE(waitUntil([&] { return !manager.shown.isEmpty(); }));
        EXPECT_EQ(manager.shown.first(), QStringList{QStringLiteral("file:///tmp/Screens/clock.json")});
        // Let a wrongful fallback show itself before looking.
        (void)waitUntil([] { return false; }, 100);
        EXPECT_EQ(opened.size(), 1);
        server.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    }
    QDBusConnection::disconnectFromBus(clientName);
    QDBusConnection::disconnectFromBus(serverName);
}

}  // namespace

#include "FileManagerTest.moc"
