#pragma once
// The desktop's file manager and default applications, asked without waiting on them: a file
// opens in the application the desktop uses for it (through xdg-open, whose outcome is
// reported), and a file is shown selected in the file manager (org.freedesktop.FileManager1 on
// the session bus), or, when no file manager answers there, its folder is opened instead.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class FileManager : public QObject {
public:
    // The outcome of one request: none once it went through, else why not, for the user.
    using Done = std::function<void(const std::optional<QString>& failure)>;
    // Opens a location with the desktop's default application; `done` gets the reason it
    // could not, worded to follow "Could not open “/its/path”: ".
    using Opener = std::function<void(const QUrl& url, Done done)>;

    static constexpr int showItemsTimeoutMs = 5000;

    // The session bus and xdg-open.
    explicit FileManager(QObject* parent = nullptr);
    // xdg-open, and the file manager on `bus`.
    FileManager(const QDBusConnection& bus, QObject* parent);
    FileManager(const QDBusConnection& bus, Opener opener, QObject* parent = nullptr);
    ~FileManager() override;

    // `done` runs once, later, with the whole sentence a failure shows.
    void open(const QString& path, Done done = {});
    void reveal(const QString& filePath, Done done = {});

    // The reason xdg-open's exit status stands for (its documented codes 1 to 4).
    static QString xdgOpenFailure(int exitCode);

private:
    void openWithXdgOpen(const QUrl& url, Done done);
    void launchXdgOpen(const QString& program, const QUrl& url, const Done& done);

    QDBusConnection m_bus;
    Opener m_opener;
};
