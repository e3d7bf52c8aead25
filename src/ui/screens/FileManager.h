#pragma once
// The desktop's file manager and default applications, asked without waiting on them: a file
// opens in the application the desktop uses for it, and a file is shown selected in the file
// manager (org.freedesktop.FileManager1 on the session bus), or, when no file manager answers
// there, its folder is opened instead.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class FileManager : public QObject {
public:
    using Opener = std::function<bool(const QUrl&)>;

    static constexpr int showItemsTimeoutMs = 5000;

    // The session bus and QDesktopServices.
    explicit FileManager(QObject* parent = nullptr);
    FileManager(const QDBusConnection& bus, Opener opener, QObject* parent = nullptr);

    void open(const QString& path) const;
    void reveal(const QString& filePath);

private:
    QDBusConnection m_bus;
    Opener m_opener;
};
