// The data sources of the shown screen on a clock and a fetcher the test controls.

#include "screens/runtime/ScreenDataSources.h"

#include <QPointer>

#include <gtest/gtest.h>

namespace {

using Failure = ScreenDataFetcher::Failure;
using Values = ScreenDataFetcher::Values;
using namespace std::chrono_literals;

// Records each fetch; the test answers them.
class FakeFetcher : public ScreenDataFetcher {
public:
    struct Call {
        QString key;
        QSet<QString> paths;
        bool whole;
        QPointer<QObject> context;
        Done done;
    };

    void fetch(const CustomScreen::DataSource& source, const QSet<QString>& paths, bool whole, QObject* context,
               Done done, Redirected) override
    {
        calls.append(Call{source.key, paths, whole, context, std::move(done)});
    }

    // Answers the oldest open fetch of that source, as the event loop would deliver it.
    bool answer(const QString& key, const Result& result)
    {
        // A fetch whose loop is gone would deliver nothing.
        calls.removeIf([](const Call& c) { return c.context.isNull(); });
        for (qsizetype i = 0; i < calls.size(); ++i) {
            if (calls[i].key != key)
                continue;
            Call call = calls.takeAt(i);
            call.done(result);
            return true;
        }
        return false;
    }

    int count(const QString& key) const
    {
        return int(std::count_if(calls.begin(), calls.end(),
                                 [&](const Call& c) { return c.key == key && !c.context.isNull(); }));
    }

    QList<Call> calls;
};

// Timers that fire only when the test moves the clock on.
class FakeClock {
public:
    class Timer : public SourceTimer {
    public:
        explicit Timer(FakeClock& clock) : m_clock(clock) { m_clock.m_timers.append(this); }
        ~Timer() override { m_clock.m_timers.removeOne(this); }
        void start(std::chrono::milliseconds delay, std::function<void()> wake) override
        {
            due = m_clock.m_elapsed + delay;
            this->wake = std::move(wake);
        }
        std::chrono::milliseconds due{};
        std::function<void()> wake;

    private:
        FakeClock& m_clock;
    };

    ScreenSourceClock clock()
    {
        return ScreenSourceClock{[this] { return now; }, [this] { return std::make_unique<Timer>(*this); }};
    }

    void advance(std::chrono::milliseconds by)
    {
        const auto end = m_elapsed + by;
        for (;;) {
            Timer* next = nullptr;
            for (Timer* timer : std::as_const(m_timers)) {
                if (timer->wake && timer->due <= end && (!next || timer->due < next->due))
                    next = timer;
            }
            if (!next)
                break;
            now = now.addMSecs((next->due - m_elapsed).count());
            m_elapsed = next->due;
            // Taken out first: the callback may start the timer again or destroy it.
            const auto wake = std::move(next->wake);
            next->wake = nullptr;
            wake();
        }
        now = now.addMSecs((end - m_elapsed).count());
        m_elapsed = end;
    }

    int pending() const
    {
        return int(std::count_if(m_timers.begin(), m_timers.end(), [](const Timer* t) { return bool(t->wake); }));
    }

    QDateTime now = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

private:
    QList<Timer*> m_timers;
    std::chrono::milliseconds m_elapsed{0};
};

CustomScreen screen(const QByteArray& json, const QString& id = QStringLiteral("s1"))
{
    QList<ScreenIssue> issues;
    auto parsed = CustomScreen::parse(json, id, id + QStringLiteral(".json"), issues);
    EXPECT_TRUE(parsed);
    for (const ScreenIssue& issue : issues)
        if (issue.severity == ScreenIssue::Severity::error)
            ADD_FAILURE() << issue.path.toStdString() << ": " << issue.message.toStdString();
    return parsed.value_or(CustomScreen{});
}

QByteArray textWidget(const char* text, int y = 40)
{
    return R"({"type": "text", "x": 8, "y": )" + QByteArray::number(y) + R"(, "text": ")" + text + R"("})";
}

const QByteArray twoFetched = R"({"sources": {"cpu": {"shell": "c", "every": 5},
                                            "net": {"url": "http://x/y", "every": 30},
                                            "idle": {"shell": "i"}},
                               "widgets": [)" + textWidget("{{cpu}} {{net.rx}}") + "]}";

Values values(std::initializer_list<std::pair<const char*, ScreenDataFetcher::Entry>> entries)
{
    Values result;
    for (const auto& [key, entry] : entries)
        result.insert(QString::fromUtf8(key), entry);
    return result;
}

struct Sources : ::testing::Test {
    PushedValues pushed;
    FakeClock time;
    FakeFetcher* fetcher = new FakeFetcher;
    ScreenDataSources sources{pushed, std::unique_ptr<ScreenDataFetcher>(fetcher), time.clock()};
    QStringList changes;

    Sources()
    {
        sources.onChange = [this](const QString& id) { changes.append(id); };
    }

    QString value(const char* key, const QString& id = QStringLiteral("s1")) const
    {
        return sources.values().value(id).value(QString::fromUtf8(key));
    }

    QString failure(const char* key, const QString& id = QStringLiteral("s1")) const
    {
        return sources.failures().value(id).value(QString::fromUtf8(key));
    }
};

} // namespace

TEST_F(Sources, OnlyUsedSourcesRunAndFetchAtOnceThenAfterEachPause)
{
    sources.startSources(screen(twoFetched));
    EXPECT_EQ(sources.runningLoops(), 2);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 1);
    EXPECT_EQ(fetcher->count(QStringLiteral("idle")), 0);
    EXPECT_EQ(fetcher->calls.value(1).paths, QSet<QString>{QStringLiteral("rx")});
    EXPECT_FALSE(fetcher->calls.value(1).whole);

    // The pause runs from the end of a fetch, however long the fetch took.
    time.advance(60s);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 1);
    ASSERT_TRUE(fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("12 %")}})));
    EXPECT_EQ(value("cpu"), QStringLiteral("12 %"));
    EXPECT_EQ(changes, QStringList{QStringLiteral("s1")});
    time.advance(4999ms);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 0);
    time.advance(1ms);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 1);
    // A failure keeps the same pause.
    fetcher->answer(QStringLiteral("cpu"), Failure{QStringLiteral("exit status 1")});
    time.advance(5s);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 1);
}

TEST_F(Sources, FailureKeepsTheLastValueUntilTheNextSuccess)
{
    sources.startSources(screen(twoFetched));
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("5")}}));
    changes.clear();
    int failureSignals = 0;
    QObject::connect(&sources, &ScreenDataSources::failuresChanged, [&] { ++failureSignals; });

    time.advance(5s);
    fetcher->answer(QStringLiteral("cpu"), Failure{QStringLiteral("exit status 1")});
    EXPECT_EQ(value("cpu"), QStringLiteral("5"));
    EXPECT_EQ(failure("cpu"), QStringLiteral("exit status 1"));
    EXPECT_TRUE(changes.isEmpty());
    time.advance(5s);
    fetcher->answer(QStringLiteral("cpu"), Failure{QStringLiteral("exit status 1")});
    EXPECT_EQ(failureSignals, 1);

    time.advance(5s);
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("5")}}));
    EXPECT_TRUE(sources.failures().value(QStringLiteral("s1")).isEmpty());
    EXPECT_EQ(failureSignals, 2);
    EXPECT_TRUE(changes.isEmpty()) << "an unchanged text is no change";
}

TEST_F(Sources, PathFailuresAndEmptyTexts)
{
    sources.startSources(screen(twoFetched));
    fetcher->answer(QStringLiteral("net"), values({{"net.rx", QStringLiteral("3 MB")}}));
    EXPECT_EQ(value("net.rx"), QStringLiteral("3 MB"));
    time.advance(30s);
    fetcher->answer(QStringLiteral("net"),
                    values({{"net.rx", Failure{QStringLiteral("no \"rx\" at the top of the JSON")}}}));
    EXPECT_EQ(value("net.rx"), QStringLiteral("3 MB"));
    EXPECT_EQ(failure("net.rx"), QStringLiteral("no \"rx\" at the top of the JSON"));
    changes.clear();
    time.advance(30s);
    fetcher->answer(QStringLiteral("net"), values({{"net.rx", QString()}}));
    EXPECT_FALSE(sources.values().value(QStringLiteral("s1")).contains(QStringLiteral("net.rx")));
    EXPECT_EQ(failure("net.rx"), QString());
    EXPECT_EQ(changes.size(), 1);
}

TEST_F(Sources, SparklineHistoryKeepsTheLast24Numbers)
{
    sources.startSources(screen(R"({"sources": {"cpu": {"shell": "c", "every": 1}},
        "widgets": [{"type": "sparkline", "x": 8, "y": 40, "w": 60, "h": 20, "value": "{{cpu}}"}]})"));
    for (int i = 1; i <= 30; ++i) {
        changes.clear();
        fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("load 7")}}));
        EXPECT_EQ(changes.size(), 1) << "every successful fetch adds a sample";
        time.advance(1s);
    }
    EXPECT_EQ(sources.histories().value(QStringLiteral("s1")).value(QStringLiteral("cpu")), QList<double>(24, 7.0));
    changes.clear();
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("n/a")}}));
    EXPECT_EQ(sources.histories().value(QStringLiteral("s1")).value(QStringLiteral("cpu")).size(), 24);
    EXPECT_EQ(value("cpu"), QStringLiteral("n/a"));
}

TEST_F(Sources, ValuesForScreenAddHistories)
{
    sources.startSources(screen(R"({"sources": {"cpu": {"shell": "c", "every": 1}},
        "widgets": [{"type": "sparkline", "x": 8, "y": 40, "w": 60, "h": 20, "value": "{{cpu}}"}]})"));
    for (const char* sample : {"1", "2.5", "3.14159"}) {
        fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QString::fromUtf8(sample)}}));
        time.advance(1s);
    }
    const DisplayValues display = sources.valuesForScreen(QStringLiteral("s1"));
    EXPECT_EQ(display.value(QStringLiteral("cpu")), QStringLiteral("3.14159"));
    EXPECT_EQ(display.value(historyKey(QStringLiteral("cpu"))), QStringLiteral("1 2.5 3.1416"));
    EXPECT_EQ(display.size(), 2);
    EXPECT_TRUE(sources.valuesForScreen(QStringLiteral("other")).isEmpty());
}

TEST_F(Sources, SameScreenKeepsItsLoopsAndAnEditRestartsThem)
{
    sources.startSources(screen(twoFetched));
    sources.startSources(screen(twoFetched));
    EXPECT_EQ(fetcher->calls.size(), 2) << "no refetch";
    EXPECT_EQ(sources.runningLoops(), 2);
    QPointer<QObject> firstLoop = fetcher->calls.value(0).context;

    QByteArray edited = twoFetched;
    edited.replace(R"("every": 5)", R"("every": 6)");
    sources.startSources(screen(edited));
    EXPECT_FALSE(firstLoop);
    EXPECT_EQ(sources.runningLoops(), 2);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 1) << "the cancelled fetch answers nobody";
}

TEST_F(Sources, KeptLoopsFollowANewSparkline)
{
    const QByteArray text = R"({"sources": {"cpu": {"shell": "c", "every": 1}}, "widgets": [)"
                            + textWidget("{{cpu}}") + "]}";
    sources.startSources(screen(text));
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("1")}}));
    sources.startSources(screen(R"({"sources": {"cpu": {"shell": "c", "every": 1}},
        "widgets": [{"type": "sparkline", "x": 8, "y": 40, "w": 60, "h": 20, "value": "{{cpu}}"}]})"));
    EXPECT_EQ(sources.runningLoops(), 1);
    time.advance(1s);
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("2")}}));
    EXPECT_EQ(sources.histories().value(QStringLiteral("s1")).value(QStringLiteral("cpu")), QList<double>{2.0});
}

TEST_F(Sources, StartKeepsOnlyStoredEntriesTheScreenStillUses)
{
    sources.startSources(screen(twoFetched));
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("1")}}));
    fetcher->answer(QStringLiteral("net"), values({{"net.rx", Failure{QStringLiteral("gone")}}}));
    sources.stopSources();
    EXPECT_EQ(sources.runningLoops(), 0);
    EXPECT_EQ(value("cpu"), QStringLiteral("1")) << "stopping keeps what is stored";

    sources.startSources(screen(R"({"sources": {"cpu": {"shell": "c"}, "net": {"url": "http://x/y"}},
                                    "widgets": [)" + textWidget("{{net}}") + "]}"));
    EXPECT_EQ(value("cpu"), QString());
    EXPECT_EQ(failure("net.rx"), QString());
}

TEST_F(Sources, PruneDropsGoneScreensAndStopsTheActiveOne)
{
    sources.startSources(screen(twoFetched));
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("1")}}));
    sources.stopSources();
    sources.startSources(screen(twoFetched, QStringLiteral("s2")));
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("2")}}));

    sources.pruneScreens({QStringLiteral("s2")});
    EXPECT_EQ(sources.runningLoops(), 2);
    EXPECT_FALSE(sources.values().contains(QStringLiteral("s1")));
    sources.pruneScreens({});
    EXPECT_EQ(sources.runningLoops(), 0);
    EXPECT_FALSE(sources.activeScreen());
    EXPECT_EQ(time.pending(), 0);
    EXPECT_TRUE(sources.values().isEmpty());
}

TEST_F(Sources, ObserverStoppingTheSourcesFromACallbackIsSafe)
{
    sources.startSources(screen(twoFetched));
    sources.onChange = [this](const QString&) { sources.stopSources(); };
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("1")}}));
    EXPECT_EQ(sources.runningLoops(), 0);
    EXPECT_EQ(time.pending(), 0);
}

TEST_F(Sources, AnIntervalOverADayIsWaitedWholeInClampedWaits)
{
    sources.startSources(screen(R"({"sources": {"cpu": {"shell": "c", "every": 200000}},
                                    "widgets": [)" + textWidget("{{cpu}}") + "]}"));
    fetcher->answer(QStringLiteral("cpu"), values({{"cpu", QStringLiteral("1")}}));
    EXPECT_EQ(time.pending(), 1);
    time.advance(48h);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 0) << "each day's wait looks again and waits on";
    EXPECT_EQ(time.pending(), 1);
    time.advance(200000s - 48h - 1ms);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 0);
    time.advance(1ms);
    EXPECT_EQ(fetcher->count(QStringLiteral("cpu")), 1);
    EXPECT_EQ(ScreenSourceClock::delay(std::numeric_limits<double>::infinity()), 86400000ms);
    EXPECT_EQ(ScreenSourceClock::delay(std::nan("")), 0ms);
    EXPECT_EQ(ScreenSourceClock::delay(0.0501), 51ms);
}

TEST_F(Sources, PushSourceLiveThenExpired)
{
    const QByteArray json = R"({"sources": {"load": {"push": "cpu", "expires": 60}},
                                "widgets": [)" + textWidget("{{load}} {{load.a}}") + "]}";
    pushed.setValue(QStringLiteral("cpu"), QStringLiteral("{\"a\": 2.5}"), time.now.addMSecs(-59500));
    sources.startSources(screen(json));
    EXPECT_EQ(value("load"), QStringLiteral("{\"a\": 2.5}"));
    EXPECT_EQ(value("load.a"), QStringLiteral("2.5"));
    EXPECT_TRUE(fetcher->calls.isEmpty());
    EXPECT_EQ(sources.runningLoops(), 0);

    changes.clear();
    time.advance(549ms);
    EXPECT_EQ(value("load.a"), QStringLiteral("2.5"));
    time.advance(1ms);
    EXPECT_EQ(failure("load"), QStringLiteral("last pushed 60 s ago, which is past its 60 s"));
    EXPECT_TRUE(sources.values().value(QStringLiteral("s1")).isEmpty());
    EXPECT_EQ(changes, QStringList{QStringLiteral("s1")});
    EXPECT_EQ(time.pending(), 0);

    // A new push brings the value back and clears the failure.
    pushed.setValue(QStringLiteral("cpu"), QStringLiteral("3"), time.now);
    EXPECT_EQ(value("load"), QStringLiteral("3"));
    EXPECT_EQ(failure("load"), QString());
    EXPECT_EQ(time.pending(), 1);
}

TEST_F(Sources, ExpiryRemovesOnlyItsOwnValues)
{
    // {{load.x}} reads the source named load.x, not a path of load.
    sources.startSources(screen(R"({"sources": {"load": {"push": "cpu", "expires": 10}, "load.x": {"shell": "c"}},
                                    "widgets": [)" + textWidget("{{load}} {{load.x}} {{load.y}}") + "]}"));
    pushed.setValue(QStringLiteral("cpu"), QStringLiteral("{\"y\": 1}"), time.now);
    fetcher->answer(QStringLiteral("load.x"), values({{"load.x", QStringLiteral("9")}}));
    EXPECT_EQ(value("load.y"), QStringLiteral("1"));
    time.advance(11s);
    EXPECT_EQ(value("load"), QString());
    EXPECT_EQ(value("load.y"), QString());
    EXPECT_EQ(value("load.x"), QStringLiteral("9"));
}

TEST_F(Sources, NewerPushReplacesTheExpiry)
{
    sources.startSources(screen(R"({"sources": {"load": {"push": "cpu", "expires": 10}},
                                    "widgets": [)" + textWidget("{{load}}") + "]}"));
    pushed.setValue(QStringLiteral("cpu"), QStringLiteral("1"), time.now);
    time.advance(8s);
    pushed.setValue(QStringLiteral("cpu"), QStringLiteral("2"), time.now);
    EXPECT_EQ(time.pending(), 1);
    time.advance(8s);
    EXPECT_EQ(value("load"), QStringLiteral("2"));
    time.advance(3s);
    EXPECT_EQ(value("load"), QString());
}

TEST_F(Sources, PushSourceNeverPushedAndScreensNotShown)
{
    const QByteArray json = R"({"sources": {"load": {"push": "cpu.1m"}}, "widgets": [)" + textWidget("{{load}}") + "]}";
    sources.startSources(screen(json));
    EXPECT_EQ(failure("load"), QStringLiteral("nothing pushed yet; use `tarv set cpu.1m <value>`"));

    sources.stopSources();
    pushed.setValue(QStringLiteral("cpu.1m"), QStringLiteral("4"), time.now);
    EXPECT_EQ(value("load"), QString()) << "a screen not shown reads the store when it starts";
    sources.startSources(screen(json));
    EXPECT_EQ(value("load"), QStringLiteral("4"));
    EXPECT_EQ(time.pending(), 0) << "no expiry, no task";
}

TEST_F(Sources, ExpiryFarAwayIsClamped)
{
    sources.startSources(screen(R"({"sources": {"load": {"push": "cpu", "expires": 1e308}},
                                    "widgets": [)" + textWidget("{{load}}") + "]}"));
    pushed.setValue(QStringLiteral("cpu"), QStringLiteral("1"), time.now);
    time.advance(24h);
    EXPECT_EQ(value("load"), QStringLiteral("1"));
    EXPECT_EQ(time.pending(), 1) << "woken early, the value is still live and waits again";
}
