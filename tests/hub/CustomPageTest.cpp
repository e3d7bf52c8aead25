// Custom pages end to end: screen files in the test's Screens folder, the hub, and the fake
// device on a pseudo-terminal.

#include "HubFixture.h"
#include "support/ScreenStoreWait.h"

#include "screens/runtime/ScreenDataSources.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QScopeGuard>
#include <QSemaphore>
#include <QThreadPool>

namespace {

using TarvUSB::Frame;
using TarvUSB::PatchOp;
using TarvUSB::PatchPayload;

// Refresh pauses that pass only when the test says so.
struct ManualTimers {
    struct Timer : SourceTimer {
        explicit Timer(ManualTimers& owner) : owner(owner) { owner.timers.append(this); }
        ~Timer() override { owner.timers.removeOne(this); }
        void start(std::chrono::milliseconds delay, std::function<void()> wake) override
        {
            this->delay = delay;
            this->wake = std::move(wake);
        }
        ManualTimers& owner;
        std::chrono::milliseconds delay{};
        std::function<void()> wake;
    };

    QList<Timer*> pending() const
    {
        QList<Timer*> out;
        for (Timer* timer : timers)
            if (timer->wake)
                out.append(timer);
        return out;
    }
    void fireAll()
    {
        for (Timer* timer : pending())
            std::exchange(timer->wake, nullptr)();
    }

    QList<Timer*> timers;
};

class CustomPageTest : public HubTest {
protected:
    ManualTimers sourceTimers;

    // The hub's source timers point back at sourceTimers, which goes before the base's hub.
    ~CustomPageTest() override { hub.reset(); }

    QString folder() const { return screens.folder(); }

    void write(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(folder());
        QFile file(QDir(folder()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    // The hub as the application builds it: the store starts from the hub's construction,
    // after the hub has set its callbacks.
    // `name` as if saved anew, and the folder read again.
    void markChanged(const QString& name)
    {
        QFile file(QDir(folder()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
        file.close();
        screens.reload();
        ASSERT_TRUE(waitUntilLoaded(screens));
    }

    void start()
    {
        buildHub();
        screens.start();
        ASSERT_TRUE(waitUntilLoaded(screens));
        connectAndGreet();
    }

    void buildHub()
    {
        profiles = std::make_unique<ProfileStore>(*settings);
        DeviceManager::Environment environment;
        environment.settings = settings.get();
        environment.isTesting = true;
        environment.clock.now = [this] { return wallNow; };
        environment.clock.monotonic = [this] { return monotonicNow; };
        environment.clock.makeSourceTimer = [this] { return std::make_unique<ManualTimers::Timer>(sourceTimers); };
        hub = std::make_unique<DeviceManager>(*profiles, photos, stocks, screens, false, std::move(environment));
    }

    void show(const QString& id)
    {
        hub->showScreen(DeviceScreen::custom(id));
        ASSERT_EQ(hub->activeScreen(), DeviceScreen::custom(id));
        ASSERT_TRUE(waitUntil([&] { return hub->queuedFrames().isEmpty() && hub->outstandingAcks().isEmpty(); }));
    }

    // The text of the first widget of a custom page as the device shows it.
    QString firstWidgetText() const
    {
        const TarvFake::FakeWidget* node = device.widgets().find(CustomScreenRenderer::widgetNode(0));
        return node ? node->text : QString();
    }

    static QList<PatchOp> opsOf(const Frame& frame) { return frame.get<PatchPayload>()->ops; }

    qsizetype assetUploads() const { return count<TarvUSB::AssetBeginPayload>(); }
};

QByteArray textScreen(const QString& sources, const QString& text)
{
    return QStringLiteral(R"({"title": "Live", "sources": {%1},
                             "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300, "text": "%2"}]})")
        .arg(sources, text)
        .toUtf8();
}

// The folder is read on a worker: a device that greets before the first reading is in still
// starts on the custom page the settings name.
TEST_F(CustomPageTest, ACustomStartPageWaitsForTheFirstReadingOfTheFolder)
{
    write(QStringLiteral("live.json"), textScreen(QString(), QStringLiteral("Hello")));
    settings->setText(QStringLiteral("initialScreen"), QStringLiteral("live"));
    // The only worker stays busy until the device has greeted.
    QThreadPool& pool = *QThreadPool::globalInstance();
    const int threads = pool.maxThreadCount();
    pool.setMaxThreadCount(1);
    QSemaphore busy;
    pool.start([&busy] { busy.acquire(); });
    const auto freeWorker = qScopeGuard([&] {
        busy.release();
        pool.setMaxThreadCount(threads);
    });
    buildHub();
    screens.start();
    attach();
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected(); }));
    EXPECT_TRUE(screens.isLoading());

    busy.release();
    ASSERT_TRUE(waitUntil([&] { return firstWidgetText() == QStringLiteral("Hello"); }));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::custom(QStringLiteral("live")));
    EXPECT_EQ(hub->lastInteractiveScreen(), DeviceScreen::custom(QStringLiteral("live")));
}

TEST_F(CustomPageTest, AScreenFileWriteThatFailsDuringTheGreetingLeavesNoBlankDevice)
{
    start();
    settings->setText(QStringLiteral("initialScreen"), QStringLiteral("gone"));
    hub->showScreen(DeviceScreen::stocks());
    roundTrip();
    // A copy of a file that is not there: the write fails and no reading follows it.
    screens.duplicateScreenFile(QStringLiteral("missing.json"), {});
    // No reading of the folder runs either, which the device would wait for.
    ASSERT_FALSE(screens.isScanning());
    hub->handleFrame(DeviceManager::wireBytes(
        Frame{1, TarvUSB::HelloPayload{QStringLiteral("1.2"), TarvUSB::protocolVersion, 480, 320, 0}}));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    ASSERT_TRUE(waitUntil([&] { return !screens.isLoading(); }));
}

TEST_F(CustomPageTest, OnFirstStartTheSampleIsWrittenAndDrawnWhenItsPageIsShown)
{
    start();
    EXPECT_TRUE(QFileInfo::exists(QDir(folder()).filePath(QStringLiteral("system.json"))));
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Screens: 1 loaded from 1 file")));
    // A test run keeps no approvals: the sample, which runs commands, waits for one.
    EXPECT_EQ(hub->swipePages().size(), 4);
    const std::optional<CustomScreen> sample = screens.screenWithID(QStringLiteral("system"));
    ASSERT_TRUE(sample);
    screens.trust().approveScreen(*sample);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Screens: system approved")));

    ASSERT_EQ(hub->swipePages().size(), 5);

    // Swiped to from the Now Playing page, the last built-in one.
    hub->showScreen(DeviceScreen::nowPlaying());
    device.swipe(400, 160, 100, 160);
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == DeviceScreen::custom(QStringLiteral("system")); }));
    // Every widget of the sample is on the device.
    ASSERT_TRUE(waitUntil([&] {
        return device.widgets().find(CustomScreenRenderer::widgetNode(sample->widgets.size() - 1)) != nullptr;
    }));
    EXPECT_TRUE(hub->customLayout().has_value());
    EXPECT_EQ(hub->screenData().activeScreen()->id, QStringLiteral("system"));
    EXPECT_TRUE(device.problems().isEmpty()) << device.problems().join(u'\n').toStdString();

    // Revoked while shown: the page goes, and so do its sources.
    screens.trust().revokeScreen(QStringLiteral("system"));
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Screens: system no longer approved")));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    EXPECT_EQ(hub->screenData().runningLoops(), 0);
}

TEST_F(CustomPageTest, AShellSourceUpdatesItsTextOncePerIntervalByATextChangeOnly)
{
    write(QStringLiteral("live.json"),
          textScreen(QStringLiteral(R"("n": {"shell": "cat count 2>/dev/null; echo $$", "every": 1})"),
                     QStringLiteral("PID {{n}}")));
    start();
    screens.trust().approveScreen(*screens.screenWithID(QStringLiteral("live")));
    show(QStringLiteral("live"));
    ASSERT_TRUE(waitUntil([&] { return firstWidgetText().startsWith(QStringLiteral("PID ")) &&
                                       firstWidgetText().size() > 4; }));
    const QString first = firstWidgetText();

    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(waitUntil([&] { return !sourceTimers.pending().isEmpty(); }));
        EXPECT_EQ(sourceTimers.pending().first()->delay, std::chrono::milliseconds(1000));
        ASSERT_TRUE(waitUntil([&] { return hub->queuedFrames().isEmpty() && hub->outstandingAcks().isEmpty(); }));
        const qsizetype before = count<PatchPayload>();
        const QString shown = firstWidgetText();
        sourceTimers.fireAll();
        ASSERT_TRUE(waitUntil([&] { return firstWidgetText() != shown; }));
        ASSERT_EQ(count<PatchPayload>(), before + 1);
        const QList<PatchOp> ops = opsOf(framesOf<PatchPayload>().last());
        ASSERT_EQ(ops.size(), 1);
        const auto* setText = std::get_if<PatchOp::SetText>(&ops[0].op);
        ASSERT_TRUE(setText);
        EXPECT_EQ(setText->id, CustomScreenRenderer::widgetNode(0));
    }
    EXPECT_NE(firstWidgetText(), first);

    // Leaving the page stops its sources.
    hub->showScreen(DeviceScreen::home());
    EXPECT_EQ(hub->screenData().runningLoops(), 0);
    EXPECT_FALSE(hub->screenData().activeScreen().has_value());
}

TEST_F(CustomPageTest, TenPushedValuesWithinTheWindowGoOutAsOnePatch)
{
    write(QStringLiteral("pushed.json"), textScreen(QStringLiteral(R"("p": {"push": "build.status"})"),
                                                    QStringLiteral("Build {{p}}")));
    start();
    // Nothing to approve: a page of pushed values runs at once.
    show(QStringLiteral("pushed"));
    const qsizetype before = count<PatchPayload>();
    for (int i = 1; i <= 10; ++i)
        hub->pushedValues().setValue(QStringLiteral("build.status"), QString::number(i), wallNow);
    EXPECT_TRUE(hub->isCustomUpdatePending());
    ASSERT_TRUE(waitUntil([&] { return firstWidgetText() == QStringLiteral("Build 10"); }));
    QTest::qWait(100);
    EXPECT_EQ(count<PatchPayload>(), before + 1);

    // The same value again changes nothing the page shows, and sends nothing.
    hub->pushedValues().setValue(QStringLiteral("build.status"), QStringLiteral("10"), wallNow);
    EXPECT_FALSE(hub->isCustomUpdatePending());

    // A value for a page that is not shown sends nothing.
    hub->showScreen(DeviceScreen::home());
    ASSERT_TRUE(waitUntil([&] { return hub->queuedFrames().isEmpty(); }));
    hub->pushedValues().setValue(QStringLiteral("build.status"), QStringLiteral("11"), wallNow);
    EXPECT_FALSE(hub->isCustomUpdatePending());
}

TEST_F(CustomPageTest, SpriteFramesGoOncePerConnectionAndAgainAfterTheSheetChanges)
{
    write(QStringLiteral("cat.json"),
          QByteArray(R"({"title": "Cat",
                         "widgets": [{"type": "sprite", "x": 8, "y": 40, "sheet": "cat.png", "count": 4}]})"));
    QImage sheet(80, 20, QImage::Format_ARGB32);
    sheet.fill(Qt::blue);
    ASSERT_TRUE(sheet.save(QDir(folder()).filePath(QStringLiteral("cat.png"))));
    start();
    const qsizetype before = device.received().size();
    show(QStringLiteral("cat"));
    // Decoded off the GUI thread, then sent.
    ASSERT_TRUE(waitUntil([&] {
        return assetUploads() == 4 && hub->queuedFrames().isEmpty() && hub->outstandingAcks().isEmpty();
    }));
    EXPECT_EQ(logCount(QStringLiteral("Sent 4 sprite frames from cat.png")), 1);
    qsizetype assetFrames = 0;
    for (qsizetype i = before; i < device.received().size(); ++i) {
        const Frame& frame = device.received()[i];
        assetFrames += frame.get<TarvUSB::AssetBeginPayload>() || frame.get<TarvUSB::AssetChunkPayload>() ||
                       frame.get<TarvUSB::AssetEndPayload>();
    }
    EXPECT_EQ(assetFrames, 48);
    for (std::uint32_t asset = 32; asset < 36; ++asset)
        EXPECT_TRUE(device.assets().contains(asset)) << asset;

    // Away and back on the same connection: the slots still hold the frames.
    hub->showScreen(DeviceScreen::home());
    show(QStringLiteral("cat"));
    QTest::qWait(100);
    EXPECT_EQ(assetUploads(), 4);

    // The sheet is saved anew: the store notices, the page is drawn again with new frames.
    ASSERT_NO_FATAL_FAILURE(markChanged(QStringLiteral("cat.png")));
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Screens: cat.png changed")));
    ASSERT_TRUE(waitUntil([&] { return assetUploads() == 8; }));

    // A new connection starts with no slot filled.
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return assetUploads() == 8 + (hub->activeScreen().isCustom() ? 4 : 0); }));
    show(QStringLiteral("cat"));
    EXPECT_TRUE(waitUntil([&] { return assetUploads() == 12; }));
}

TEST_F(CustomPageTest, AMissingSheetIsLoggedAndSendsNothing)
{
    write(QStringLiteral("cat.json"),
          QByteArray(R"({"title": "Cat",
                         "widgets": [{"type": "sprite", "x": 8, "y": 40, "sheet": "gone.png", "count": 2}]})"));
    start();
    show(QStringLiteral("cat"));
    EXPECT_TRUE(waitUntil(
        [&] { return logTexts().contains(QStringLiteral("Could not read sprite sheet gone.png for cat")); }));
    EXPECT_EQ(assetUploads(), 0);
}

// A sheet is decoded once per version of its file: showing its page again, however often,
// asks for no other decode, even of a sheet that could not be read.
TEST_F(CustomPageTest, ASheetIsDecodedOncePerVersionHoweverOftenItsPageShows)
{
    write(QStringLiteral("cat.json"),
          QByteArray(R"({"title": "Cat",
                         "widgets": [{"type": "sprite", "x": 8, "y": 40, "sheet": "cat.png", "count": 2}]})"));
    write(QStringLiteral("cat.png"), QByteArray("not a picture"));
    start();
    const QString failed = QStringLiteral("Could not read sprite sheet cat.png for cat");
    for (int showing = 0; showing < 3; ++showing) {
        show(QStringLiteral("cat"));
        ASSERT_TRUE(waitUntil([&] { return logTexts().contains(failed); }));
        hub->showScreen(DeviceScreen::home());
        QTest::qWait(50);
    }
    EXPECT_EQ(logCount(failed), 1);
    EXPECT_EQ(assetUploads(), 0);

    // Saved again as a picture: a new version, decoded and sent.
    QImage sheet(40, 20, QImage::Format_ARGB32);
    sheet.fill(Qt::red);
    ASSERT_TRUE(sheet.save(QDir(folder()).filePath(QStringLiteral("cat.png"))));
    ASSERT_NO_FATAL_FAILURE(markChanged(QStringLiteral("cat.png")));
    show(QStringLiteral("cat"));
    EXPECT_TRUE(waitUntil([&] { return assetUploads() == 2; }));
    EXPECT_EQ(logCount(failed), 1);
}

TEST_F(CustomPageTest, AnAnimationStepSleepsJustPastTheFrameBoundary)
{
    EXPECT_EQ(DeviceManager::animationSleepMs(0.25), 255);
    EXPECT_EQ(DeviceManager::animationSleepMs(0.0004), 5);

    write(QStringLiteral("blink.json"), QByteArray(R"({"title": "Blink", "widgets": [{"type": "sprite", "x": 8,
        "y": 40, "sheet": "blink.png", "count": 2, "for": 0.25}]})"));
    start();
    show(QStringLiteral("blink"));
    EXPECT_TRUE(hub->isCustomAnimationPending());
    hub->showScreen(DeviceScreen::home());
    EXPECT_FALSE(hub->isCustomAnimationPending());
}

TEST_F(CustomPageTest, AFileSavedWhileItsPageShowsIsDrawnAgain)
{
    write(QStringLiteral("note.json"), textScreen(QString(), QStringLiteral("First")));
    start();
    show(QStringLiteral("note"));
    EXPECT_EQ(firstWidgetText(), QStringLiteral("First"));
    write(QStringLiteral("note.json"), textScreen(QString(), QStringLiteral("Second")));
    ASSERT_TRUE(waitUntil([&] { return firstWidgetText() == QStringLiteral("Second"); }));
}

}  // namespace
