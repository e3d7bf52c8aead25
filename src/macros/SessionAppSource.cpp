#include "macros/SessionAppSource.h"

#include "macros/GnomeAppSource.h"
#include "macros/KWinAppSource.h"
#include "macros/WlrAppSource.h"
#include "macros/X11FrontmostAppSource.h"
#include "macros/X11RunningAppsSource.h"
#include "macros/X11WindowFacts.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

SessionAppSource::SessionAppSource(QDBusConnection bus, QString kwinScriptPath, QString ownId, QString ownName,
                                   QObject* parent)
    : FrontmostAppSource(parent)
    , m_bus(std::move(bus))
    , m_kwinScriptPath(std::move(kwinScriptPath))
    , m_ownId(std::move(ownId))
    , m_ownName(std::move(ownName))
{
    if (!isWaylandSession()) {
        m_x11Running = std::make_unique<X11RunningAppsSource>(m_ownId, m_ownName);
        use(Kind::X11, std::make_unique<X11FrontmostAppSource>(m_ownId, m_ownName), m_x11Running.get());
        return;
    }
    auto wlr = std::make_unique<WlrAppSource>(m_ownId, m_ownName);
    if (wlr->state() != WlrToplevelList::State::Connecting) {
        m_noneReason = wlr->failure() + QStringLiteral(" The application in front cannot be followed.");
        askForKWin();
        return;
    }
    connect(wlr.get(), &FrontmostAppSource::availabilityChanged, this, &SessionAppSource::wlrAnswered);
    m_source = std::move(wlr);
}

SessionAppSource::~SessionAppSource() = default;

void SessionAppSource::wlrAnswered()
{
    auto* wlr = static_cast<WlrAppSource*>(m_source.get());
    disconnect(wlr, &FrontmostAppSource::availabilityChanged, this, &SessionAppSource::wlrAnswered);
    if (wlr->isAvailable()) {
        // The window in front is reported right after this, through the connection made here.
        std::unique_ptr<FrontmostAppSource> chosen = std::move(m_source);
        use(Kind::Wlr, std::move(chosen), wlr);
        return;
    }
    if (wlr->state() == WlrToplevelList::State::Unreachable || wlr->state() == WlrToplevelList::State::Lost)
        m_noneReason = wlr->failure() + QStringLiteral(" The application in front cannot be followed.");
    // Its signal is still being delivered.
    m_source.release()->deleteLater();
    askForKWin();
}

void SessionAppSource::askForOwner(const QString& service, void (SessionAppSource::*answered)(const QString& owner))
{
    QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("/org/freedesktop/DBus"),
                                                      QStringLiteral("org.freedesktop.DBus"),
                                                      QStringLiteral("GetNameOwner"));
    ask << service;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, answered](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        (this->*answered)(reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toString()
                                                                     : QString());
    });
}

void SessionAppSource::askForKWin() { askForOwner(KWinAppSource::kwinService, &SessionAppSource::kwinAnswered); }

void SessionAppSource::kwinAnswered(const QString& owner)
{
    if (owner.isEmpty()) {
        askForOwner(GnomeAppSource::shellService, &SessionAppSource::gnomeAnswered);
        return;
    }
    auto kwin = std::make_unique<KWinAppSource>(m_bus, owner, m_kwinScriptPath, m_ownId, m_ownName);
    RunningAppsSource* running = kwin.get();
    use(Kind::KWin, std::move(kwin), running);
}

void SessionAppSource::gnomeAnswered(const QString& owner)
{
    if (owner.isEmpty()) {
        m_kind = Kind::None;
        if (m_noneReason.isEmpty())
            m_noneReason = noWaylandSourceReason(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
        emit availabilityChanged();
        return;
    }
    auto gnome = std::make_unique<GnomeAppSource>(m_bus, owner, m_ownId, m_ownName);
    RunningAppsSource* running = gnome.get();
    use(Kind::Gnome, std::move(gnome), running);
}

void SessionAppSource::use(Kind kind, std::unique_ptr<FrontmostAppSource> source, RunningAppsSource* running)
{
    m_kind = kind;
    m_source = std::move(source);
    m_running = running;
    m_noneReason.clear();
    connect(m_source.get(), &FrontmostAppSource::activated, this, &FrontmostAppSource::activated);
    connect(m_source.get(), &FrontmostAppSource::availabilityChanged, this, &FrontmostAppSource::availabilityChanged);
    emit availabilityChanged();
}

QString SessionAppSource::noWaylandSourceReason(const QString& currentDesktop)
{
    if (currentDesktop.split(u':').contains(QStringLiteral("GNOME"), Qt::CaseInsensitive))
        return QStringLiteral("GNOME on Wayland tells other programs which app is in front only through a GNOME Shell "
                              "extension, and GNOME Shell is not on this session bus. Tarv cannot follow the app in "
                              "front or list the running apps here.");
    return QStringLiteral("This Wayland desktop offers other programs neither its list of windows (as wlroots "
                          "compositors do) nor scripts (as KWin does). Tarv cannot follow the app in front or list "
                          "the running apps here.");
}

bool SessionAppSource::isAvailable() const
{
    return m_kind != Kind::Choosing && m_kind != Kind::None && m_source->isAvailable();
}

QString SessionAppSource::unavailableReason() const
{
    if (m_kind == Kind::None)
        return m_noneReason;
    if (m_kind == Kind::Choosing)
        return {};
    return m_source->unavailableReason();
}

QString SessionAppSource::description() const
{
    if (m_kind == Kind::Choosing || m_kind == Kind::None)
        return {};
    return m_source->description();
}

std::optional<FrontmostApp> SessionAppSource::frontmostApp()
{
    if (m_kind == Kind::Choosing || m_kind == Kind::None)
        return std::nullopt;
    return m_source->frontmostApp();
}

QFuture<QList<RunningApp>> SessionAppSource::runningApps()
{
    if (!m_running || !isAvailable())
        return QtFuture::makeReadyFuture(QList<RunningApp>());
    return m_running->runningApps();
}
