#include "screens/runtime/ScreenDataSources.h"

#include "screens/format/ValueEvaluators.h"

#include <QPointer>

#include <cmath>

// The refresh loop of one fetched source: fetch, apply, pause `interval`, again. Destroying it
// cancels it; a fetch still under way then delivers nothing (the loop is its context).
class ScreenDataSources::RefreshLoop : public QObject {
public:
    RefreshLoop(ScreenDataSources& owner, CustomScreen::DataSource source, CustomScreen::SourceUse use,
                QString screenID)
        : m_owner(owner), m_source(std::move(source)), m_use(std::move(use)), m_screenID(std::move(screenID)),
          m_pause(owner.m_clock.makeTimer())
    {
    }

    void fetchNow()
    {
        m_owner.m_fetcher->fetch(
            m_source, m_use.paths, m_use.whole, this,
            [this](const ScreenDataFetcher::Result& result) { fetched(result); },
            [this](const QUrl& redirectedTo) { m_owner.noteRedirect(redirectedTo, m_source.key, m_screenID); });
    }

private:
    void fetched(const ScreenDataFetcher::Result& result)
    {
        const QPointer<RefreshLoop> alive(this);
        m_owner.applyResult(result, m_source.key, m_screenID);
        // An observer of the change may have stopped the sources, and with them this loop.
        if (!alive)
            return;
        pause(m_source.interval);
    }

    // A timer waits a day at most: a longer pause is a chain of waits.
    void pause(double seconds)
    {
        const bool last = !(seconds > ScreenSourceClock::maxDelaySeconds);
        m_pause->start(ScreenSourceClock::delay(seconds), [this, seconds, last] {
            if (last)
                fetchNow();
            else
                pause(seconds - ScreenSourceClock::maxDelaySeconds);
        });
    }

    ScreenDataSources& m_owner;
    const CustomScreen::DataSource m_source;
    const CustomScreen::SourceUse m_use;
    const QString m_screenID;
    const std::unique_ptr<SourceTimer> m_pause;
};

ScreenDataSources::ScreenDataSources(PushedValues& pushed, std::unique_ptr<ScreenDataFetcher> fetcher,
                                     ScreenSourceClock clock)
    : m_pushed(pushed), m_fetcher(std::move(fetcher)), m_clock(std::move(clock))
{
    m_pushed.onChange = [weak = QPointer<ScreenDataSources>(this)](const QString& name) {
        if (weak)
            weak->pushedValueChanged(name);
    };
}

ScreenDataSources::~ScreenDataSources()
{
    m_pushed.onChange = nullptr;
    // The loops are the fetcher's contexts: they go first, so nothing is delivered to them.
    m_expiryTasks.clear();
    m_tasks.clear();
}

void ScreenDataSources::startSources(const CustomScreen& screen)
{
    QSet<QString> usedKeys = screen.usedKeys();
    if (m_activeScreen && m_activeScreen->id == screen.id && m_activeScreen->sources == screen.sources
        && m_activeUsedKeys == usedKeys) {
        // The loops run on; the widgets may still have changed, and with them which values
        // keep a history.
        m_activeSparklineKeys = screen.sparklineKeys();
        m_activeScreen = screen;
        return;
    }
    stopSources();
    m_activeScreen = screen;
    m_activeUsedKeys = std::move(usedKeys);
    m_activeSparklineKeys = screen.sparklineKeys();
    m_activeUses = screen.sourceUses();

    QSet<QString> keep = m_activeUsedKeys;
    for (auto it = m_activeUses.cbegin(); it != m_activeUses.cend(); ++it)
        keep.insert(it.key());
    const auto keepOnly = [&keep](ScreenMap& map) {
        return map.removeIf([&keep](ScreenMap::iterator entry) { return !keep.contains(entry.key()); }) > 0;
    };
    if (const auto it = m_values.find(screen.id); it != m_values.end() && keepOnly(*it))
        emit valuesChanged(screen.id);
    const auto failures = m_failures.find(screen.id);
    const auto redirects = m_redirects.find(screen.id);
    const bool failuresKept = failures != m_failures.end() && keepOnly(*failures);
    if ((redirects != m_redirects.end() && keepOnly(*redirects)) || failuresKept)
        emit failuresChanged(screen.id);

    const QString screenID = screen.id;
    const QList<CustomScreen::DataSource> sources = screen.sources;
    for (const CustomScreen::DataSource& source : sources) {
        // An observer of a push result may have moved on to another screen meanwhile.
        if (!isActive(screenID))
            return;
        const auto use = m_activeUses.constFind(source.key);
        if (use == m_activeUses.constEnd())
            continue;
        if (std::holds_alternative<CustomScreen::DataSource::Push>(source.kind)) {
            evaluatePushSource(source, *use, screenID);
            continue;
        }
        m_tasks.push_back(std::make_unique<RefreshLoop>(*this, source, *use, screenID));
        m_tasks.back()->fetchNow();
    }
}

void ScreenDataSources::stopSources()
{
    // Moved out first: a loop being destroyed must not find itself in a list being cleared.
    // Destroying a loop also ends the command it still runs, and whatever that command started.
    auto tasks = std::move(m_tasks);
    auto expiryTasks = std::move(m_expiryTasks);
    m_tasks.clear();
    m_expiryTasks.clear();
    m_activeScreen.reset();
    m_activeUsedKeys.clear();
    m_activeSparklineKeys.clear();
    m_activeUses.clear();
}

void ScreenDataSources::pruneScreens(const QSet<QString>& screenIDs)
{
    keepScreensWhere([&screenIDs](const QString& screenID) { return screenIDs.contains(screenID); });
}

void ScreenDataSources::keepScreensWhere(const std::function<bool(const QString& screenID)>& isKept)
{
    const auto gone = [&isKept](const QString& screenID) { return !isKept(screenID); };
    m_values.removeIf([&gone](QHash<QString, ScreenMap>::iterator it) { return gone(it.key()); });
    m_histories.removeIf(
        [&gone](QHash<QString, QHash<QString, QList<double>>>::iterator it) { return gone(it.key()); });
    m_failures.removeIf([&gone](QHash<QString, ScreenMap>::iterator it) { return gone(it.key()); });
    m_redirects.removeIf([&gone](QHash<QString, ScreenMap>::iterator it) { return gone(it.key()); });
    if (m_activeScreen && !isKept(m_activeScreen->id))
        stopSources();
}

DisplayValues ScreenDataSources::valuesForScreen(const QString& screenID) const
{
    DisplayValues display = m_values.value(screenID);
    const auto histories = m_histories.constFind(screenID);
    if (histories == m_histories.constEnd())
        return display;
    for (auto it = histories->cbegin(); it != histories->cend(); ++it) {
        QStringList numbers;
        numbers.reserve(it->size());
        for (const double number : *it)
            numbers.append(ScreenDataFetcher::formatSourceNumber(number));
        display.insert(historyKey(it.key()), numbers.join(u' '));
    }
    return display;
}

void ScreenDataSources::pushedValueChanged(const QString& name)
{
    if (!m_activeScreen)
        return;
    const QString screenID = m_activeScreen->id;
    const QList<CustomScreen::DataSource> sources = m_activeScreen->sources;
    for (const CustomScreen::DataSource& source : sources) {
        if (!isActive(screenID))
            return;
        const auto* push = std::get_if<CustomScreen::DataSource::Push>(&source.kind);
        const auto use = m_activeUses.constFind(source.key);
        if (push && push->name == name && use != m_activeUses.constEnd())
            evaluatePushSource(source, *use, screenID);
    }
}

void ScreenDataSources::applyResult(const ScreenDataFetcher::Result& result, const QString& sourceKey,
                                    const QString& screenID)
{
    if (const auto* failure = std::get_if<ScreenDataFetcher::Failure>(&result)) {
        setFailure(failure->message, sourceKey, screenID);
        return;
    }
    setFailure(std::nullopt, sourceKey, screenID);
    bool anyChange = false;
    const auto& values = std::get<ScreenDataFetcher::Values>(result);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString& key = it.key();
        if (const auto* failure = std::get_if<ScreenDataFetcher::Failure>(&*it)) {
            setFailure(failure->message, key, screenID);
            continue;
        }
        const QString& text = std::get<QString>(*it);
        setFailure(std::nullopt, key, screenID);
        if (m_activeScreen && m_activeSparklineKeys.contains(key)) {
            if (const auto number = firstNumber(text)) {
                QList<double>& history = m_histories[screenID][key];
                history.append(*number);
                if (history.size() > historyLength)
                    history.remove(0, history.size() - historyLength);
                anyChange = true;
            }
        }
        ScreenMap& screenValues = m_values[screenID];
        if (text.isEmpty()) {
            anyChange = screenValues.remove(key) > 0 || anyChange;
        } else if (const auto stored = screenValues.constFind(key);
                   stored == screenValues.constEnd() || *stored != text) {
            screenValues.insert(key, text);
            anyChange = true;
        }
    }
    if (anyChange)
        changed(screenID);
}

void ScreenDataSources::setFailure(const std::optional<QString>& message, const QString& key,
                                   const QString& screenID)
{
    if (!message) {
        const auto screen = m_failures.find(screenID);
        if (screen != m_failures.end() && screen->remove(key) > 0)
            emit failuresChanged(screenID);
        return;
    }
    ScreenMap& failures = m_failures[screenID];
    if (const auto stored = failures.constFind(key); stored != failures.constEnd() && *stored == *message)
        return;
    failures.insert(key, *message);
    emit failuresChanged(screenID);
}

void ScreenDataSources::noteRedirect(const QUrl& redirectedTo, const QString& sourceKey, const QString& screenID)
{
    // Noted once when it starts or moves, not at every refresh.
    if (redirectedTo.isEmpty()) {
        const auto screen = m_redirects.find(screenID);
        if (screen != m_redirects.end() && screen->remove(sourceKey) > 0)
            emit failuresChanged(screenID);
        return;
    }
    const QString address = redirectedTo.toString(QUrl::RemoveUserInfo);
    ScreenMap& redirects = m_redirects[screenID];
    if (const auto stored = redirects.constFind(sourceKey); stored != redirects.constEnd() && *stored == address)
        return;
    redirects.insert(sourceKey, address);
    if (onLog)
        onLog(QStringLiteral("Screens: the source ") + sourceKey + QStringLiteral(" of ") + screenID
              + QStringLiteral(" was redirected to ") + address);
    emit failuresChanged(screenID);
}

void ScreenDataSources::evaluatePushSource(const CustomScreen::DataSource& source,
                                           const CustomScreen::SourceUse& use, const QString& screenID)
{
    const auto* push = std::get_if<CustomScreen::DataSource::Push>(&source.kind);
    if (!push)
        return;
    const auto entry = m_pushed.entry(push->name);
    const double age = entry ? double(entry->date.msecsTo(m_clock.now())) / 1000.0 : 0.0;

    if (entry && (!push->expires || age < *push->expires)) {
        applyResult(ScreenDataFetcher::buildSourceValues(source, entry->text.toUtf8(), std::nullopt, use.paths,
                                                         use.whole),
                    source.key, screenID);
        // The observer of that change may have stopped this screen: then no task may start.
        if (!isActive(screenID))
            return;
        m_expiryTasks.erase(source.key);
        if (push->expires) {
            auto task = m_clock.makeTimer();
            task->start(ScreenSourceClock::delay(*push->expires - age + 0.05),
                        [this, source, use, screenID] { evaluatePushSource(source, use, screenID); });
            m_expiryTasks[source.key] = std::move(task);
        }
        return;
    }

    QString message;
    if (!entry) {
        message = QStringLiteral("nothing pushed yet; use `tarv set ") + push->name + QStringLiteral(" <value>`");
    } else {
        message = QStringLiteral("last pushed ") + QString::number(qint64(std::trunc(std::min(age, 1.0e15))))
                  + QStringLiteral(" s ago, which is past its ") + ScreenDataFetcher::formatSourceNumber(*push->expires)
                  + QStringLiteral(" s");
    }
    // A fired expiry has done its work; dropping it here keeps the tasks to live values.
    m_expiryTasks.erase(source.key);
    setFailure(message, source.key, screenID);
    const auto screen = m_values.find(screenID);
    if (screen == m_values.end())
        return;
    // A key that starts with this source's name and a dot may still belong to another
    // source: "load.x" is the whole value of a source named load.x, not a path of load.
    QSet<QString> names;
    if (m_activeScreen) {
        for (const CustomScreen::DataSource& other : m_activeScreen->sources)
            names.insert(other.key);
    }
    const QString prefix = source.key + u'.';
    const bool removed = screen->removeIf([&](ScreenMap::iterator value) {
        if (value.key() == source.key)
            return true;
        if (!value.key().startsWith(prefix))
            return false;
        const auto owner = CustomScreen::resolveKey(value.key(), names);
        return !owner || owner->source == source.key;
    }) > 0;
    if (removed)
        changed(screenID);
}

void ScreenDataSources::changed(const QString& screenID)
{
    emit valuesChanged(screenID);
    if (onChange)
        onChange(screenID);
}
