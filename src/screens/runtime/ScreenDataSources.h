#pragma once
// Runs the data sources of the custom screen the device shows. Until the screen runtime
// exists it runs none: it knows no value and reports no change.

#include "screens/runtime/PushedValues.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>

// How data sources are fetched; the shell command time-out in seconds.
struct ScreenDataFetcher {
    double shellTimeout = 10.0;
};

class ScreenDataSources {
public:
    // Takes over the pushed values store's change callback.
    ScreenDataSources(PushedValues& pushed, ScreenDataFetcher fetcher);

    // Source name to display text for one screen; empty when nothing is known.
    QHash<QString, QString> valuesForScreen(const QString& screenID) const;
    // Keeps what is known only for these screens.
    void pruneScreens(const QSet<QString>& screenIDs);
    // Stops every running source.
    void stopAll();

    const ScreenDataFetcher& fetcher() const { return m_fetcher; }

    // Called with a screen id when a value or failure of that screen changed.
    std::function<void(const QString&)> onChange;

private:
    PushedValues& m_pushed;
    ScreenDataFetcher m_fetcher;
};
