#pragma once
// Carries out the macro actions that run on the desktop rather than through the device:
// open an application or a URL, run a shortcut, take a screenshot. Every failure becomes
// one short message for the key's log line.

#include "macros/AppTarget.h"
#include "macros/ProcessRunner.h"
#include "macros/ScreenshotOptions.h"

#include <QDBusConnection>
#include <QFuture>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class DesktopActionRunner {
public:
    using UrlOpener = std::function<bool(const QUrl&)>;
    using SettingReader = std::function<std::optional<QString>()>;

    // The desktop's own services: QDesktopServices, the user's shortcuts folder, the
    // "screenshot.location" setting and the session bus.
    DesktopActionRunner();

    std::optional<QString> openApp(const AppTarget& target) const;
    // A macro key's own address, read here as the key's editor reads it.
    std::optional<QString> openURL(const QString& text) const;
    // An address read once already: exactly this opens.
    std::optional<QString> openURL(const QUrl& address) const;

    // "run" NAME starts the executable file NAME of the shortcuts folder; "list" prints the
    // folder's executable files, one per line. Messages name the tool "shortcuts".
    QFuture<ProcessResult> runShortcutsTool(const QStringList& arguments) const;

    // Finishes on the calling (main) thread once the portal has answered.
    QFuture<ProcessResult> screenshot(const ScreenshotOptions& options,
                                      const std::optional<QString>& folder = std::nullopt) const;

    QFuture<ProcessResult> runProcess(const QString& path, const QStringList& arguments) const;

    QString screenshotFolder() const;

    // ~/.local/share/Tarv/Shortcuts
    static QString defaultShortcutsFolder();

    // What the runner reaches the desktop through; tests replace them.
    UrlOpener urlOpener;
    QString shortcutsFolder;
    SettingReader screenshotLocation;
    std::function<QDBusConnection()> bus;

private:
    static ProcessResult listShortcuts(const QString& folder);

    // Shared by copies; the last one to go stops the waits still under way.
    std::shared_ptr<ProcessRunner> m_programs = std::make_shared<ProcessRunner>();
};
