#include "macros/WlrAppSource.h"

#include <QtConcurrent/QtConcurrentRun>

WlrAppSource::WlrAppSource(QString ownId, QString ownName, QObject* parent)
    : FrontmostAppSource(parent)
    , m_list(std::make_unique<WlrToplevelList>())
    , m_matcher(std::move(ownId), std::move(ownName))
{
    connect(m_list.get(), &WlrToplevelList::stateChanged, this, [this] {
        emit availabilityChanged();
        reportActivated();
    });
    connect(m_list.get(), &WlrToplevelList::toplevelsChanged, this, &WlrAppSource::reportActivated);
}

WlrAppSource::~WlrAppSource() = default;

bool WlrAppSource::isAvailable() const { return m_list->state() == WlrToplevelList::State::Listing; }

QString WlrAppSource::unavailableReason() const
{
    if (m_list->state() != WlrToplevelList::State::Lost)
        return {};
    return m_list->failure() + QStringLiteral(" The application in front is no longer followed.");
}

QString WlrAppSource::description() const
{
    if (!isAvailable())
        return {};
    return QStringLiteral("Apps are followed through the window list of this Wayland compositor "
                          "(wlroots foreign-toplevel protocol).");
}

FrontmostApp WlrAppSource::appOf(const WlrToplevelList::Toplevel& toplevel)
{
    if (toplevel.appId.isEmpty())
        return FrontmostApp{}; // a window that says nothing about itself: an unnamed app
    return m_matcher.match(m_matcher.waylandFacts(toplevel.appId), m_index.entries());
}

void WlrAppSource::reportActivated()
{
    const auto toplevel = m_list->activated();
    if (!toplevel)
        return; // nothing has the focus: keep the profile
    const FrontmostApp app = appOf(*toplevel);
    if (app == m_lastReported)
        return; // another window of the same application is no change of application
    m_lastReported = app;
    emit activated(app);
}

std::optional<FrontmostApp> WlrAppSource::frontmostApp()
{
    const auto toplevel = m_list->activated();
    if (!toplevel)
        return std::nullopt;
    m_lastReported = appOf(*toplevel);
    return m_lastReported;
}

QFuture<QList<RunningApp>> WlrAppSource::runningApps()
{
    QList<WindowFacts> windows;
    for (const WlrToplevelList::Toplevel& toplevel : m_list->toplevels())
        windows.append(m_matcher.waylandFacts(toplevel.appId));
    // The entries are read on a worker, as for the X11 list.
    return QtConcurrent::run(
        [matcher = m_matcher, windows, dirs = DesktopEntries::applicationDirs()] {
            return matcher.runningApps(windows, DesktopEntries::all(dirs));
        });
}
