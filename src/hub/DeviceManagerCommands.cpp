// The command channel's side of the hub: the server's start, and every command of the `tarv`
// tool. Requests are handled here on the GUI thread; file work and the reply's wait for a
// capture happen elsewhere, so no client ever holds this thread.

#include "hub/DeviceManager.h"

#include "hub/ScreenCheck.h"
#include "hub/SnapshotFiles.h"
#include "platform/ContextContinuation.h"
#include "platform/SavingPool.h"
#include "platform/VisibleText.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/PushedValues.h"
#include "screens/runtime/ScreenTrust.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QString field(const NotifyChannel::Request& request, const char* key)
{
    return request.value(QLatin1String(key)).toString();
}

NotifyChannel::Reply withLines(NotifyChannel::Reply reply, const QStringList& lines)
{
    reply.insert(QStringLiteral("lines"), QJsonArray::fromStringList(lines));
    return reply;
}

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

}  // namespace

void DeviceManager::startNotifyServer()
{
    if (!m_notifyServerFactory)
        return;
    const QPointer<DeviceManager> weak(this);
    NotifyServer::Handler handler = [weak](const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply) {
        // Requests arrive on the server's threads; the hub answers on its own. When the hub
        // is gone the dropped callback tells the client so.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, request, reply = std::move(reply)] {
                if (weak)
                    weak->handleCommand(request, reply);
                else
                    reply(NotifyChannel::reply(false, QStringLiteral("Tarv is shutting down")));
            },
            Qt::QueuedConnection);
    };
    std::shared_ptr<NotifyServer> server = m_notifyServerFactory(NotifyChannel::socketPath(), std::move(handler));
    if (!server)
        return;
    // The start asks a socket left at the path whether a copy still serves it, which may take
    // up to the probe's time-out.
    continueOn(this, QtConcurrent::run([server] { return server->start(); }),
        [this, server](const std::optional<NotifyServer::StartError>& error) {
            if (error) {
                if (error->kind == NotifyServer::StartError::Kind::alreadyServed)
                    log(LogEntry::Direction::system,
                        QStringLiteral("Notifications: another copy of Tarv is already listening for `tarv notify`"));
                else
                    log(LogEntry::Direction::system,
                        QStringLiteral("Notifications: could not listen for `tarv notify`: ") + error->message);
                return;
            }
            m_notifyServer = server;
            if (auto* app = QCoreApplication::instance())
                QObject::connect(app, &QCoreApplication::aboutToQuit, this, [server] { server->stop(); });
        });
}

void DeviceManager::handleCommand(const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply)
{
    const QString command = field(request, "command");
    if (command == QLatin1String("ping"))
        reply(NotifyChannel::reply(true));
    else if (command == QLatin1String("notify"))
        reply(runNotifyCommand(request));
    else if (command == QLatin1String("snapshot"))
        runSnapshotCommand(request, std::move(reply));
    else if (command == QLatin1String("set"))
        runSetCommand(request, std::move(reply));
    else if (command == QLatin1String("screen.show"))
        reply(runShowScreenCommand(request));
    else if (command == QLatin1String("screen.check"))
        runScreenCheck(field(request, "text"), std::move(reply));
    else if (command == QLatin1String("screen.list"))
        reply(withLines(NotifyChannel::reply(true), screenListLines()));
    else
        reply(NotifyChannel::reply(false, QStringLiteral("this version of Tarv does not know ") + quoted(command)));
}

void DeviceManager::runSnapshotCommand(const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply)
{
    const QString requested = field(request, "text");
    captureSnapshot([this, requested, reply = std::move(reply)](const SnapshotResult& result) {
        if (const auto* failure = std::get_if<TarvUSB::SnapshotFailure>(&result)) {
            reply(NotifyChannel::reply(false, failure->message()));
            return;
        }
        // Encoding and writing the file stay off this thread; the answer comes back to it.
        const auto saving =
            QtConcurrent::run(&savingPool(), [snapshot = std::get<TarvUSB::DeviceSnapshot>(result), requested] {
                return saveSnapshotPNG(snapshot, requested);
            });
        continueOn(this, saving, [reply](const std::variant<QString, SnapshotSaveError>& saved) {
            if (const auto* error = std::get_if<SnapshotSaveError>(&saved)) {
                reply(NotifyChannel::reply(false, error->message));
                return;
            }
            NotifyChannel::Reply done = NotifyChannel::reply(true);
            done.insert(QStringLiteral("path"), std::get<QString>(saved));
            reply(done);
        });
    });
}

void DeviceManager::runSetCommand(const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply)
{
    const QString key = field(request, "name");
    if (const std::optional<QString> refusal = m_pushedValues->setValue(key, field(request, "text"), m_clock.now())) {
        reply(NotifyChannel::reply(false, *refusal));
        return;
    }
    NotifyChannel::Reply done = withLines(
        NotifyChannel::reply(true), {QStringLiteral("note: no screen has a \"push\": ") + quoted(key) +
                                     QStringLiteral(" source yet; the value is kept for when one does")});
    for (const CustomScreen& screen : m_customScreens.screens())
        for (const CustomScreen::DataSource& source : screen.sources)
            if (const auto* push = std::get_if<CustomScreen::DataSource::Push>(&source.kind); push && push->name == key)
                done = NotifyChannel::reply(true);
    // Stored means in the file: a value that would be gone after a restart is no success. It
    // stays in use until then, and goes to the file with the next value that can be saved.
    const QString file = m_pushedValues->file().value_or(QString());
    continueOn(this, m_pushedValues->lastSave(),
               [reply = std::move(reply), done, file](const std::optional<QString>& failure) {
                   if (failure)
                       reply(NotifyChannel::reply(
                           false, QStringLiteral("could not save the value to ") + file + QStringLiteral(": ") + *failure));
                   else
                       reply(done);
               });
}

NotifyChannel::Reply DeviceManager::runShowScreenCommand(const NotifyChannel::Request& request)
{
    if (!m_state.isConnected())
        return NotifyChannel::reply(false, QStringLiteral("Tarv is not connected to the device"));
    const QString text = field(request, "text");
    QString name = text;
    if (name.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        name.chop(5);
    const QList<DeviceScreen> pages = availableScreens();
    for (const DeviceScreen& page : pages)
        if (page.id().compare(name, Qt::CaseInsensitive) == 0) {
            showScreen(page);
            return NotifyChannel::reply(true);
        }
    for (const CustomScreen& screen : m_customScreens.screens())
        if (screen.id.compare(name, Qt::CaseInsensitive) == 0)
            return NotifyChannel::reply(
                false, m_customScreens.fileNameOf(screen.id) +
                           QStringLiteral(" is waiting for approval in Custom Screens, and is not shown until it has it"));
    QStringList ids;
    for (const DeviceScreen& page : pages)
        ids.append(page.id());
    return NotifyChannel::reply(false, QStringLiteral("no page named ") + quoted(text) + QStringLiteral("; there are: ") +
                                           ids.join(QStringLiteral(", ")));
}

void DeviceManager::runScreenCheck(const QString& path, NotifyServer::ReplyCallback reply)
{
    continueOn(this, QtConcurrent::run([path] { return checkScreenFile(path); }),
               [reply](const NotifyChannel::Reply& checked) { reply(checked); });
}

QStringList DeviceManager::screenListLines() const
{
    QStringList lines{QStringLiteral("home"), QStringLiteral("stocks"), QStringLiteral("calculator"),
                      QStringLiteral("nowPlaying"), QStringLiteral("screensaver")};
    const QHash<QString, QString>& approved = m_customScreens.trust().approved();
    for (const CustomScreen& screen : m_customScreens.screens()) {
        // A tab within a file name or title would start a column of its own.
        QString line = visibleText(screen.id) + QLatin1Char('\t') + visibleText(screen.title);
        if (const std::optional<QString> fingerprint = screen.fingerprint();
            fingerprint && approved.value(screen.id) != *fingerprint)
            line += QStringLiteral("\twaiting for approval");
        lines.append(line);
    }
    return lines;
}
