#include "ui/screens/FileManager.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

FileManager::FileManager(QObject* parent)
    : FileManager(QDBusConnection::sessionBus(), [](const QUrl& url) { return QDesktopServices::openUrl(url); }, parent)
{
}

FileManager::FileManager(const QDBusConnection& bus, Opener opener, QObject* parent)
    : QObject(parent), m_bus(bus), m_opener(std::move(opener))
{
}

void FileManager::open(const QString& path) const { m_opener(QUrl::fromLocalFile(path)); }

void FileManager::reveal(const QString& filePath)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(filePath).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, showItemsTimeoutMs), this);
    const QString folder = QFileInfo(filePath).absolutePath();
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, folder] {
        watcher->deleteLater();
        // No file manager on the bus (or one that failed): the folder is the next best thing.
        if (watcher->isError())
            open(folder);
    });
}
