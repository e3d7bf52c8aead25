#pragma once
// Runs the data sources of the one custom screen the device shows and keeps what they
// produced: display texts by value key, the recent numbers of sparkline values, and the
// failure of each source or value. Lives on the GUI thread; fetches run elsewhere.

#include "screens/format/CustomScreen.h"
#include "screens/runtime/PushedValues.h"
#include "screens/runtime/ScreenDataFetcher.h"
#include "screens/runtime/ScreenSourceClock.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class ScreenDataSources : public QObject {
    Q_OBJECT

public:
    using ScreenMap = QHash<QString, QString>;

    static constexpr qsizetype historyLength = 24;

    // Takes over the pushed values store's change callback.
    ScreenDataSources(PushedValues& pushed, std::unique_ptr<ScreenDataFetcher> fetcher,
                      ScreenSourceClock clock = {});
    ~ScreenDataSources() override;

    // Makes the screen the active one and runs the sources it shows. The same screen with
    // the same sources and placeholders keeps its running loops.
    void startSources(const CustomScreen& screen);
    // Cancels every loop and expiry and ends the commands still running; what is stored stays.
    void stopSources();
    // Drops what is stored for screens not in the set, and stops the active one if it left.
    void pruneScreens(const QSet<QString>& screenIDs);
    // The same, asking only about the screens something is stored for: a folder may hold
    // thousands of screens, and only a few show values.
    void keepScreensWhere(const std::function<bool(const QString& screenID)>& isKept);
    // Value key → text, plus each sparkline history under its history key.
    DisplayValues valuesForScreen(const QString& screenID) const;

    // A pushed value of that name was stored.
    void pushedValueChanged(const QString& name);

    const QHash<QString, ScreenMap>& values() const { return m_values; }
    const QHash<QString, QHash<QString, QList<double>>>& histories() const { return m_histories; }
    const QHash<QString, ScreenMap>& failures() const { return m_failures; }
    // Source key → the address a server last redirected the source to, by screen id.
    const QHash<QString, ScreenMap>& redirects() const { return m_redirects; }
    const std::optional<CustomScreen>& activeScreen() const { return m_activeScreen; }
    PushedValues& pushed() const { return m_pushed; }
    ScreenDataFetcher& fetcher() const { return *m_fetcher; }
    // How many refresh loops run: one per fetched source the active screen shows.
    qsizetype runningLoops() const { return qsizetype(m_tasks.size()); }

    // Called with a screen id after its values or histories changed.
    std::function<void(const QString&)> onChange;
    // Called with a line for the connection log.
    std::function<void(const QString&)> onLog;

signals:
    void valuesChanged(const QString& screenID);
    // The failures or the redirects of a screen's sources changed.
    void failuresChanged(const QString& screenID);

private:
    class RefreshLoop;

    void applyResult(const ScreenDataFetcher::Result& result, const QString& sourceKey, const QString& screenID);
    void setFailure(const std::optional<QString>& message, const QString& key, const QString& screenID);
    void noteRedirect(const QUrl& redirectedTo, const QString& sourceKey, const QString& screenID);
    void evaluatePushSource(const CustomScreen::DataSource& source, const CustomScreen::SourceUse& use,
                            const QString& screenID);
    void changed(const QString& screenID);
    bool isActive(const QString& screenID) const { return m_activeScreen && m_activeScreen->id == screenID; }

    PushedValues& m_pushed;
    std::unique_ptr<ScreenDataFetcher> m_fetcher;
    ScreenSourceClock m_clock;

    QHash<QString, ScreenMap> m_values;
    QHash<QString, QHash<QString, QList<double>>> m_histories;
    QHash<QString, ScreenMap> m_failures;
    QHash<QString, ScreenMap> m_redirects;

    std::optional<CustomScreen> m_activeScreen;
    // Worked out once per start: every result of the active screen consults them.
    QSet<QString> m_activeUsedKeys;
    QSet<QString> m_activeSparklineKeys;
    QHash<QString, CustomScreen::SourceUse> m_activeUses;

    std::vector<std::unique_ptr<RefreshLoop>> m_tasks;
    std::map<QString, std::unique_ptr<SourceTimer>> m_expiryTasks;
};
