#include "screens/runtime/ScreenDataSources.h"

ScreenDataSources::ScreenDataSources(PushedValues& pushed, ScreenDataFetcher fetcher)
    : m_pushed(pushed), m_fetcher(fetcher)
{
    // A pushed value would refresh the screens that show it; no source reads one yet.
    m_pushed.onChange = [](const QString&) {};
}

QHash<QString, QString> ScreenDataSources::valuesForScreen(const QString&) const
{
    return {};
}

void ScreenDataSources::pruneScreens(const QSet<QString>&) {}

void ScreenDataSources::stopAll() {}
