#pragma once
// Where the profile's "Add App" menu learns which applications run now: one entry per
// application window, in the desktop's window order, already mapped to desktop entries.

#include <QFuture>
#include <QList>
#include <QString>

struct RunningApp {
    QString bundleID; // desktop file id
    QString name;     // the entry's Name; may be empty
    QString icon;     // the entry's Icon value (theme name or path); may be empty

    bool operator==(const RunningApp&) const = default;
};

class RunningAppsSource {
public:
    virtual ~RunningAppsSource() = default;
    // Read away from the GUI thread; windows of no known application are left out.
    virtual QFuture<QList<RunningApp>> runningApps() = 0;
};
