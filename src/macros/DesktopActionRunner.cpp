#include "macros/DesktopActionRunner.h"

#include "macros/ScreenshotFiles.h"
#include "macros/ScreenshotPortal.h"
#include "macros/ShortcutName.h"
#include "platform/ContextContinuation.h"
#include "platform/DesktopEntries.h"
#include "platform/DesktopLaunch.h"
#include "platform/Settings.h"

#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPromise>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString shortcutsTool = QStringLiteral("shortcuts");

QFuture<ProcessResult> finished(ProcessResult result)
{
    QPromise<ProcessResult> promise;
    promise.start();
    promise.addResult(std::move(result));
    promise.finish();
    return promise.future();
}

ProcessResult failure(QString message) { return {QString(), std::move(message)}; }

} // namespace

DesktopActionRunner::DesktopActionRunner()
    : urlOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); })
    , shortcutsFolder(defaultShortcutsFolder())
    , screenshotLocation([] {
        const Settings settings(Settings::userSettingsPath());
        return settings.text(QStringLiteral("screenshot.location"));
    })
    , bus([] { return QDBusConnection::sessionBus(); })
{
}

QString DesktopActionRunner::defaultShortcutsFolder()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/Tarv/Shortcuts");
}

std::optional<QString> DesktopActionRunner::openApp(const AppTarget& target) const
{
    const auto entry = DesktopEntries::find(target.bundleID);
    if (!entry)
        return (target.name.isEmpty() ? target.bundleID : target.name) + QStringLiteral(" is not installed");
    return DesktopLaunch::launch(*entry);
}

std::optional<QString> DesktopActionRunner::openURL(const QString& text) const
{
    // The same reading as the one that decides whether the key is set up at all.
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return QStringLiteral("Not a valid URL: ") + text;
    if (!urlOpener || !urlOpener(url))
        return QStringLiteral("Nothing could open ") + text;
    return std::nullopt;
}

std::optional<QString> DesktopActionRunner::openURL(const QUrl& address) const
{
    if (!urlOpener || !urlOpener(address))
        return QStringLiteral("Nothing could open ") + address.toString(QUrl::FullyEncoded);
    return std::nullopt;
}

QFuture<ProcessResult> DesktopActionRunner::runProcess(const QString& path, const QStringList& arguments) const
{
    return m_programs->runAsync(path, arguments, QFileInfo(path).fileName());
}

QFuture<ProcessResult> DesktopActionRunner::runShortcutsTool(const QStringList& arguments) const
{
    if (arguments == QStringList{QStringLiteral("list")}) {
        const QString folder = shortcutsFolder;
        return QtConcurrent::run([folder] { return listShortcuts(folder); });
    }
    if (arguments.size() == 2 && arguments.first() == u"run") {
        const QString& name = arguments.at(1);
        if (!isShortcutName(name))
            return finished(failure(ProcessRunner::launchFailure(
                shortcutsTool, QStringLiteral("no shortcut can be named ") + name)));
        return m_programs->runAsync(shortcutsFolder + u'/' + name, {}, shortcutsTool);
    }
    return finished(failure(ProcessRunner::launchFailure(
        shortcutsTool, QStringLiteral("unknown command ") + arguments.join(u' '))));
}

ProcessResult DesktopActionRunner::listShortcuts(const QString& path)
{
    const QDir folder(path);
    QString output;
    const QFileInfoList files = folder.entryInfoList(QDir::Files | QDir::Executable, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString name = file.fileName();
        // Hidden files are editors' leftovers; a line feed would split one name in two.
        if (!isShortcutName(name) || name.contains(u'\n'))
            continue;
        output += name + u'\n';
    }
    return {output, std::nullopt};
}

QString DesktopActionRunner::screenshotFolder() const
{
    return ScreenshotFiles::folder(screenshotLocation ? screenshotLocation() : std::nullopt);
}

QFuture<ProcessResult> DesktopActionRunner::screenshot(const ScreenshotOptions& options,
                                                       const std::optional<QString>& folder) const
{
    const bool interactive = options.mode != ScreenshotOptions::Mode::fullScreen;
    const bool toClipboard = options.destination == ScreenshotOptions::Destination::clipboard;
    // The name is taken when the key is pressed, not when the portal answers.
    const QString name = ScreenshotFiles::fileName(QDateTime::currentDateTime());
    const QString targetFolder = toClipboard ? QString() : folder.value_or(screenshotFolder());

    auto* portal = new ScreenshotPortal(bus ? bus() : QDBusConnection::sessionBus());
    return continueOn(portal, portal->capture(interactive), [=](const PortalCapture& capture) {
        portal->deleteLater();
        if (capture.error)
            return failure(*capture.error);
        if (!toClipboard) {
            if (auto error = ScreenshotFiles::moveInto(capture.filePath, targetFolder, name))
                return failure(*error);
            return ProcessResult{};
        }
        const QImage image(capture.filePath);
        if (image.isNull())
            return failure(QStringLiteral("The screenshot could not be read"));
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return failure(QStringLiteral("The screenshot could not be put on the clipboard"));
        QGuiApplication::clipboard()->setImage(image);
        // A clipboard screenshot leaves no file behind.
        QFile::remove(capture.filePath);
        return ProcessResult{};
    });
}
