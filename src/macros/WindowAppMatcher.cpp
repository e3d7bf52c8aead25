#include "macros/WindowAppMatcher.h"

#include "platform/DesktopLaunch.h"

#include <QFileInfo>

#include <functional>
#include <variant>

namespace {

const DesktopEntry* firstWhere(const QList<DesktopEntry>& entries,
                               const std::function<bool(const DesktopEntry&)>& test)
{
    for (const DesktopEntry& entry : entries) {
        if (test(entry))
            return &entry;
    }
    return nullptr;
}

bool sameText(const QString& a, const QString& b)
{
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

QString programName(const DesktopEntry& entry)
{
    const auto argv = DesktopLaunch::expandExec(entry);
    if (const auto* list = std::get_if<QStringList>(&argv))
        return QFileInfo(list->first()).fileName();
    return {};
}

} // namespace

WindowAppMatcher::WindowAppMatcher(QString ownId, QString ownName)
    : m_ownId(std::move(ownId))
    , m_ownName(std::move(ownName))
{
}

FrontmostApp WindowAppMatcher::match(const WindowFacts& facts, const QList<DesktopEntry>& entries) const
{
    if (facts.ownProcess)
        return {m_ownId, m_ownName};

    const DesktopEntry* found = nullptr;
    for (const QString& id : {facts.desktopId, facts.gtkApplicationId, facts.sandboxedAppId}) {
        if (found)
            break;
        if (!id.isEmpty())
            found = firstWhere(entries, [&](const DesktopEntry& e) { return e.id == id; });
    }
    for (const QString& wm : {facts.wmClass, facts.wmInstance}) {
        if (found)
            break;
        if (wm.isEmpty())
            continue;
        found = firstWhere(entries, [&](const DesktopEntry& e) { return e.startupWMClass == wm; });
    }
    for (const QString& wm : {facts.wmClass, facts.wmInstance}) {
        if (found)
            break;
        if (wm.isEmpty())
            continue;
        found = firstWhere(entries, [&](const DesktopEntry& e) { return sameText(e.startupWMClass, wm); });
    }
    for (const QString& wm : {facts.wmClass, facts.wmInstance}) {
        if (found)
            break;
        if (wm.isEmpty())
            continue;
        found = firstWhere(entries, [&](const DesktopEntry& e) {
            // Reverse-domain ids ("org.gimp.GIMP") end in the class the program sets.
            return sameText(e.id, wm) || e.id.endsWith(u'.' + wm, Qt::CaseInsensitive);
        });
    }
    if (!found && !facts.executable.isEmpty()) {
        found = firstWhere(entries, [&](const DesktopEntry& e) {
            return programName(e) == facts.executable
                || (!e.tryExec.isEmpty() && QFileInfo(e.tryExec).fileName() == facts.executable);
        });
    }
    if (found)
        return {found->id, found->name};
    if (!facts.waylandAppId.isEmpty())
        return {facts.waylandAppId, facts.waylandAppId};

    FrontmostApp app;
    if (!facts.wmClass.isEmpty())
        app.name = facts.wmClass;
    else if (!facts.executable.isEmpty())
        app.name = facts.executable;
    return app;
}


WindowFacts WindowAppMatcher::waylandFacts(const QString& appId) const
{
    WindowFacts facts;
    facts.gtkApplicationId = appId;
    facts.wmClass = appId;
    facts.waylandAppId = appId;
    facts.ownProcess = sameText(appId, m_ownId) || sameText(appId, m_ownName);
    return facts;
}

QList<RunningApp> WindowAppMatcher::runningApps(const QList<WindowFacts>& windows,
                                                const QList<DesktopEntry>& entries) const
{
    QList<RunningApp> apps;
    for (const WindowFacts& facts : windows) {
        const FrontmostApp app = match(facts, entries);
        if (!app.bundleID || app.bundleID->isEmpty())
            continue;
        RunningApp running{*app.bundleID, app.name.value_or(QString()), {}};
        const DesktopEntry* entry = firstWhere(entries, [&](const DesktopEntry& e) { return e.id == running.bundleID; });
        if (entry)
            running.icon = entry->icon;
        apps.append(running);
    }
    return apps;
}
