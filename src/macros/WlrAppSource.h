#pragma once
// The application in front and the running applications on a wlroots compositor (sway,
// Hyprland, river, labwc, Wayfire): its list of windows, each named by its app id.

#include "macros/FrontmostAppSource.h"
#include "macros/RunningAppsSource.h"
#include "macros/WindowAppMatcher.h"
#include "macros/WlrToplevelList.h"
#include "platform/DesktopEntries.h"

#include <memory>

class WlrAppSource final : public FrontmostAppSource, public RunningAppsSource {
    Q_OBJECT
public:
    // Connects at once; whether the compositor lists its windows shows in state().
    explicit WlrAppSource(QString ownId = QStringLiteral("tarv"), QString ownName = QStringLiteral("Tarv"),
                          QObject* parent = nullptr);
    ~WlrAppSource() override;

    WlrToplevelList::State state() const { return m_list->state(); }
    // Why the list is not there, as the list says it.
    QString failure() const { return m_list->failure(); }

    bool isAvailable() const override;
    QString unavailableReason() const override;
    QString description() const override;
    std::optional<FrontmostApp> frontmostApp() override;
    QFuture<QList<RunningApp>> runningApps() override;

private:
    void reportActivated();
    FrontmostApp appOf(const WlrToplevelList::Toplevel& toplevel);

    std::unique_ptr<WlrToplevelList> m_list;
    WindowAppMatcher m_matcher;
    DesktopEntryIndex m_index;
    std::optional<FrontmostApp> m_lastReported;
};
