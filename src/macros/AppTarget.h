#pragma once
// An application to open or to link to a profile. On Linux `bundleID` is a desktop file id
// without ".desktop" (empty: none chosen); `name` is the entry's display name.

#include <QString>

struct AppTarget {
    QString bundleID;
    QString name;

    friend bool operator==(const AppTarget&, const AppTarget&) = default;
};
