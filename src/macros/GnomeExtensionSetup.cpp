#include "macros/GnomeExtensionSetup.h"

#include "macros/GnomeAppSource.h"
#include "macros/X11WindowFacts.h"
#include "platform/BoundedFile.h"
#include "platform/ProcessSpawn.h"
#include "platform/ContextContinuation.h"
#include "platform/GVariantText.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>

namespace {

using Copy = GnomeExtensionSetup::Copy;
using Facts = GnomeExtensionSetup::Facts;
using Places = GnomeExtensionSetup::Places;
using Situation = GnomeExtensionSetup::Situation;
using State = GnomeExtensionSetup::State;
using Step = GnomeExtensionSetup::Step;

constexpr int shellTimeoutMs = 5000;
constexpr int gsettingsTimeoutMs = 10000;
constexpr qint64 fileLimit = 1 << 20;
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString shellSchema = QStringLiteral("org.gnome.shell");
const QString enabledKey = QStringLiteral("enabled-extensions");
const QString disabledKey = QStringLiteral("disabled-extensions");
const QStringList copiedFiles{QStringLiteral("extension.js"), QStringLiteral("metadata.json")};

// GNOME Shell's numbers for the state of an extension.
enum ShellState { enabled = 1, error = 3, outOfDate = 4 };

QString majorOf(const QString& shellVersion) { return shellVersion.section(u'.', 0, 0); }

// A copy's metadata; a folder whose metadata cannot be read is a copy of no version for no
// GNOME Shell, which GNOME Shell cannot load either.
Copy readCopy(const QString& folder)
{
    Copy copy{folder, 0, {}};
    const auto bytes = readRegularFile(folder + QStringLiteral("/metadata.json"), fileLimit);
    const QJsonObject metadata = bytes ? QJsonDocument::fromJson(*bytes).object() : QJsonObject();
    if (metadata.value(QLatin1String("uuid")).toString() != GnomeExtensionSetup::uuid())
        return copy;
    copy.version = metadata.value(QLatin1String("version")).toInt();
    for (const QJsonValue& version : metadata.value(QLatin1String("shell-version")).toArray())
        copy.shellVersions.append(version.toString());
    return copy;
}

std::optional<Copy> bundledFor(const Facts& facts)
{
    for (const Copy& copy : facts.bundled) {
        if (copy.shellVersions.contains(majorOf(facts.shellVersion)))
            return copy;
    }
    return std::nullopt;
}

QDBusMessage callShell(const QDBusConnection& bus, const QString& interface, const QString& method,
                       const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(GnomeAppSource::shellService, GnomeAppSource::extensionsPath,
                                                       interface, method);
    call.setArguments(arguments);
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, shellTimeoutMs);
}

// The a{sv} a reply holds first; empty for anything else.
QVariantMap mapOf(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    const QVariant first = reply.arguments().value(0);
    if (first.canConvert<QDBusArgument>()) {
        const auto argument = qvariant_cast<QDBusArgument>(first);
        if (argument.currentSignature() == QLatin1String("a{sv}"))
            return qdbus_cast<QVariantMap>(argument);
        return {};
    }
    return first.toMap();
}

QString reasonOf(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

// Runs gsettings and waits for it, on a worker; its output, or why there is none.
struct Ran {
    bool ok = false;
    QString output;
};
Ran gsettings(const QString& program, const QStringList& arguments, QString* failure)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier(ProcessSpawn::restoreInChild);
    process.start(program, arguments);
    if (!process.waitForFinished(gsettingsTimeoutMs)) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(gsettingsTimeoutMs);
        }
        *failure = QStringLiteral("Could not run gsettings: ") + process.errorString();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        *failure = said.isEmpty() ? QStringLiteral("gsettings failed.") : said;
        return {};
    }
    return {true, QString::fromUtf8(process.readAllStandardOutput()).trimmed()};
}

std::optional<QStringList> readList(const QString& program, const QString& key, QString* failure)
{
    const Ran ran = gsettings(program, {QStringLiteral("get"), shellSchema, key}, failure);
    if (!ran.ok)
        return std::nullopt;
    const auto list = GVariantText::parseStringArray(ran.output);
    if (!list)
        *failure = QStringLiteral("gsettings gave %1 as %2.").arg(ran.output, key);
    return list;
}

// Has GNOME Shell switch the extension on at the next login; a failure in words.
std::optional<QString> switchOnAtLogin(const QString& program)
{
    QString failure;
    auto enabledList = readList(program, enabledKey, &failure);
    auto disabledList = enabledList ? readList(program, disabledKey, &failure) : std::nullopt;
    if (!enabledList || !disabledList)
        return QStringLiteral("Tarv could not read GNOME's list of extensions: ") + failure;
    const QString uuid = GnomeExtensionSetup::uuid();
    // The list of switched-off extensions takes precedence.
    if (disabledList->removeAll(uuid) > 0
        && !gsettings(program, {QStringLiteral("set"), shellSchema, disabledKey, GVariantText::formatStringArray(*disabledList)},
                      &failure)
                .ok)
        return QStringLiteral("Tarv could not change GNOME's list of extensions: ") + failure;
    if (!enabledList->contains(uuid)) {
        enabledList->append(uuid);
        if (!gsettings(program, {QStringLiteral("set"), shellSchema, enabledKey, GVariantText::formatStringArray(*enabledList)},
                       &failure)
                 .ok)
            return QStringLiteral("Tarv could not change GNOME's list of extensions: ") + failure;
    }
    return std::nullopt;
}

std::optional<QString> removeAll(const QString& path)
{
    const QFileInfo info(path);
    // A link is taken away, never what it points to.
    const bool removed = info.isSymLink() || !info.isDir() ? QFile::remove(path) : QDir(path).removeRecursively();
    if (!removed)
        return QStringLiteral("Tarv could not remove %1.").arg(path);
    return std::nullopt;
}

// Puts Tarv's copy in the user's folder in one step: GNOME Shell never finds half a copy, and
// an older copy there is swapped out whole.
std::optional<QString> installCopy(const Copy& source, const QString& userExtensions)
{
    const QString target = userExtensions + u'/' + GnomeExtensionSetup::uuid();
    const QString parent = QFileInfo(userExtensions).path();
    if (!QDir().mkpath(userExtensions))
        return QStringLiteral("Tarv could not make the folder %1.").arg(userExtensions);
    // Made beside the extensions folder, where GNOME Shell never takes it for an extension.
    QByteArray pattern = QFile::encodeName(parent + QStringLiteral("/.tarv-extension-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        return QStringLiteral("Tarv could not make a folder in %1: %2").arg(parent, QString::fromLocal8Bit(std::strerror(errno)));
    const QString staging = QFile::decodeName(pattern);
    QFile::setPermissions(staging, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                       | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    for (const QString& name : copiedFiles) {
        const auto bytes = readRegularFile(source.folder + u'/' + name, fileLimit);
        QFile file(staging + u'/' + name);
        if (!bytes || !file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.flush()) {
            removeAll(staging);
            return QStringLiteral("Tarv could not copy its extension's %1 into %2.").arg(name, userExtensions);
        }
    }
    const QByteArray from = QFile::encodeName(staging);
    const QByteArray to = QFile::encodeName(target);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return std::nullopt;
    if (errno != EEXIST
        || ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        removeAll(staging);
        return QStringLiteral("Tarv could not put its extension in %1: %2").arg(target, reason);
    }
    // The older copy is now where the new one was made.
    removeAll(staging);
    return std::nullopt;
}

Facts readFacts(const QDBusConnection& bus, const Places& places)
{
    Facts facts;
    const QDBusMessage properties = callShell(bus, propertiesInterface, QStringLiteral("GetAll"),
                                              {GnomeAppSource::extensionsInterface});
    if (properties.type() != QDBusMessage::ReplyMessage)
        return facts;
    facts.shellAnswered = true;
    const QVariantMap values = mapOf(properties);
    facts.shellVersion = values.value(QStringLiteral("ShellVersion")).toString();
    facts.userExtensionsEnabled = values.value(QStringLiteral("UserExtensionsEnabled"), true).toBool();
    const QDBusMessage info = callShell(bus, GnomeAppSource::extensionsInterface, QStringLiteral("GetExtensionInfo"),
                                        {GnomeExtensionSetup::uuid()});
    facts.info = mapOf(info);

    for (const QString& folder : QStringList{places.userExtensions} + places.systemExtensions) {
        const QString copy = folder + u'/' + GnomeExtensionSetup::uuid();
        if (QFileInfo::exists(copy)) {
            facts.installed = readCopy(copy);
            break;
        }
    }
    const QDir bundled(places.bundled);
    for (const QString& variant : bundled.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        facts.bundled.append(readCopy(bundled.filePath(variant)));

    QString failure;
    const auto enabledList = readList(places.gsettings, enabledKey, &failure);
    const auto disabledList = enabledList ? readList(places.gsettings, disabledKey, &failure) : std::nullopt;
    if (enabledList && disabledList)
        facts.onAtLogin = enabledList->contains(GnomeExtensionSetup::uuid())
                          && !disabledList->contains(GnomeExtensionSetup::uuid());
    return facts;
}

const QString logInAgain = QStringLiteral("Log out and back in once to finish.");

}  // namespace

QString GnomeExtensionSetup::uuid() { return QStringLiteral(TARV_GNOME_EXTENSION_UUID); }

int GnomeExtensionSetup::version() { return TARV_GNOME_EXTENSION_VERSION; }

bool GnomeExtensionSetup::concernsThisSession()
{
    return isWaylandSession()
           && qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':').contains(QStringLiteral("GNOME"), Qt::CaseInsensitive);
}

GnomeExtensionSetup::Places GnomeExtensionSetup::defaultPlaces()
{
    Places places;
    places.bundled = QCoreApplication::applicationDirPath() + QStringLiteral("/" TARV_GNOME_EXTENSION_FROM_BIN);
    // GNOME Shell looks in the XDG data folders, the user's own first.
    places.userExtensions = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                            + QStringLiteral("/gnome-shell/extensions");
    QStringList dirs = qEnvironmentVariable("XDG_DATA_DIRS").split(u':', Qt::SkipEmptyParts);
    if (dirs.isEmpty())
        dirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    for (const QString& dir : dirs)
        places.systemExtensions.append(dir + QStringLiteral("/gnome-shell/extensions"));
    return places;
}

GnomeExtensionSetup::Situation GnomeExtensionSetup::decide(const Facts& facts)
{
    if (!facts.shellAnswered)
        return {State::NoShell, Step::None, {}};
    const QString major = majorOf(facts.shellVersion);
    const std::optional<Copy> bundled = bundledFor(facts);
    const int shellState = facts.info.value(QStringLiteral("state")).toInt();
    if (!facts.installed && facts.info.isEmpty()) {
        if (!bundled)
            return {State::NotInstalled, Step::None,
                    QStringLiteral("Tarv's GNOME Shell extension, which tells Tarv the app in front, is not installed, "
                                   "and this copy of Tarv has none for GNOME Shell %1.")
                        .arg(major)};
        return {State::NotInstalled, Step::Install,
                QStringLiteral("Tarv's GNOME Shell extension, which tells Tarv the app in front, is not installed.")};
    }
    if (facts.installed && !facts.installed->shellVersions.contains(major)) {
        if (!bundled)
            return {State::Failed, Step::None,
                    QStringLiteral("Tarv's GNOME Shell extension does not support GNOME Shell %1.").arg(major)};
        return {State::Outdated, Step::Update,
                QStringLiteral("The copy of Tarv's GNOME Shell extension installed here is made for another version "
                               "of GNOME Shell.")};
    }
    if (facts.installed && bundled && facts.installed->version < bundled->version)
        return {State::Outdated, Step::Update,
                QStringLiteral("The copy of Tarv's GNOME Shell extension installed here is older than this Tarv's.")};
    if (!facts.userExtensionsEnabled)
        return {State::ExtensionsOff, Step::SwitchOnExtensions,
                QStringLiteral("Extensions are switched off in GNOME as a whole, Tarv's among them.")};
    // GNOME Shell reads the extension folders at login: a copy it has not seen, or one newer
    // than the copy it read, waits for the next login.
    const bool shellHasOlder = facts.installed && !facts.info.isEmpty()
                               && facts.info.value(QStringLiteral("version")).toInt() < facts.installed->version;
    if (facts.info.isEmpty() || shellHasOlder) {
        if (facts.onAtLogin == false)
            return {State::AtNextLogin, Step::SwitchOnAtLogin,
                    QStringLiteral("Tarv's GNOME Shell extension is installed. GNOME Shell reads it at login, but "
                                   "will not switch it on there yet.")};
        return {State::AtNextLogin, Step::None,
                QStringLiteral("Tarv's GNOME Shell extension is installed, and GNOME Shell reads it at login. ")
                    + logInAgain};
    }
    if (shellState == enabled)
        return {State::On, Step::None, {}};
    if (shellState == error) {
        const QString why = facts.info.value(QStringLiteral("error")).toString();
        return {State::Failed, Step::None,
                QStringLiteral("GNOME Shell could not start Tarv's extension") + (why.isEmpty() ? u'.' : u':')
                    + (why.isEmpty() ? QString() : u' ' + why)};
    }
    if (shellState == outOfDate)
        return {State::Failed, Step::None,
                QStringLiteral("Tarv's GNOME Shell extension does not support GNOME Shell %1.").arg(major)};
    return {State::Off, Step::SwitchOn, QStringLiteral("Tarv's GNOME Shell extension is installed but switched off.")};
}

GnomeExtensionSetup::GnomeExtensionSetup(QDBusConnection bus, Places places, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_places(std::move(places))
{
    // Any change GNOME Shell reports may change the state; a report from another program at
    // worst has it read again.
    m_bus.connect(GnomeAppSource::shellService, GnomeAppSource::extensionsPath, GnomeAppSource::extensionsInterface,
                  QStringLiteral("ExtensionStateChanged"), this, SLOT(shellChanged(QDBusMessage)));
    m_bus.connect(GnomeAppSource::shellService, GnomeAppSource::extensionsPath, propertiesInterface,
                  QStringLiteral("PropertiesChanged"), this, SLOT(shellChanged(QDBusMessage)));
    auto* watcher = new QDBusServiceWatcher(GnomeAppSource::shellService, m_bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &GnomeExtensionSetup::refresh);
    refresh();
}

void GnomeExtensionSetup::shellChanged(const QDBusMessage& message)
{
    if (message.member() == QLatin1String("ExtensionStateChanged")
        && message.arguments().value(0).toString() != uuid())
        return;
    refresh();
}

QString GnomeExtensionSetup::stepTitle() const
{
    switch (m_situation.step) {
    case Step::None: return {};
    case Step::Install: return QStringLiteral("Install Extension");
    case Step::Update: return QStringLiteral("Update Extension");
    case Step::SwitchOnExtensions: return QStringLiteral("Switch On Extensions");
    case Step::SwitchOnAtLogin: return QStringLiteral("Switch On at Login");
    case Step::SwitchOn: return QStringLiteral("Switch On");
    }
    return {};
}

void GnomeExtensionSetup::refresh()
{
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    m_reading = true;
    m_readAgain = false;
    emit changed();
    continueOn(this, QtConcurrent::run(readFacts, m_bus, m_places), [this](const Facts& facts) {
        m_reading = false;
        if (m_readAgain) {
            refresh();
            return;
        }
        m_facts = facts;
        m_situation = decide(facts);
        emit changed();
    });
}

void GnomeExtensionSetup::takeStep()
{
    if (isBusy() || m_situation.step == Step::None)
        return;
    const Step step = m_situation.step;
    const std::optional<Copy> bundled = bundledFor(m_facts);
    m_stepping = true;
    m_failure.clear();
    emit changed();
    auto work = [step, bundled, bus = m_bus, places = m_places]() -> std::optional<QString> {
        switch (step) {
        case Step::None:
            return std::nullopt;
        case Step::Install:
        case Step::Update: {
            if (!bundled)
                return QStringLiteral("This copy of Tarv has no GNOME Shell extension for this GNOME Shell.");
            if (auto failure = installCopy(*bundled, places.userExtensions))
                return failure;
            return switchOnAtLogin(places.gsettings);
        }
        case Step::SwitchOnAtLogin:
            return switchOnAtLogin(places.gsettings);
        case Step::SwitchOnExtensions: {
            const QDBusMessage reply = callShell(
                bus, propertiesInterface, QStringLiteral("Set"),
                {GnomeAppSource::extensionsInterface, QStringLiteral("UserExtensionsEnabled"),
                 QVariant::fromValue(QDBusVariant(true))});
            if (reply.type() == QDBusMessage::ErrorMessage)
                return QStringLiteral("GNOME Shell did not switch extensions on: ") + reasonOf(reply);
            return std::nullopt;
        }
        case Step::SwitchOn: {
            const QDBusMessage reply = callShell(bus, GnomeAppSource::extensionsInterface,
                                                 QStringLiteral("EnableExtension"), {uuid()});
            if (reply.type() == QDBusMessage::ErrorMessage)
                return QStringLiteral("GNOME Shell did not switch Tarv's extension on: ") + reasonOf(reply);
            if (!reply.arguments().value(0).toBool())
                return QStringLiteral("GNOME Shell did not switch Tarv's extension on.");
            return std::nullopt;
        }
        }
        return std::nullopt;
    };
    continueOn(this, QtConcurrent::run(work), [this](const std::optional<QString>& failure) {
        m_stepping = false;
        m_failure = failure.value_or(QString());
        refresh();
    });
}
