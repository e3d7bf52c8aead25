#pragma once
// DeviceManager and the fake device in one process on a pseudo-terminal, with empty stores (the
// stock store is real), settings in a temporary file, private XDG folders and clocks the test
// moves.

#include "hub/DeviceManager.h"
#include "link/DeviceWatcher.h"
#include "macros/ProfileStore.h"
#include "media/MediaPlaybackService.h"
#include "media/ScreensaverPhotoService.h"
#include "media/StockService.h"
#include "media/StockStore.h"
#include "platform/Settings.h"
#include "screens/runtime/PushedValues.h"
#include "screens/runtime/CustomScreenStore.h"
#include "support/FakeDevice.h"
#include "support/WaitUntil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

class HubTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    // The user's folders are never touched: every XDG folder lies in the test's own.
    bool foldersMoved = [this] {
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
            qputenv(name, dir.filePath(QString::fromLatin1(name)).toLocal8Bit());
        return true;
    }();
    std::unique_ptr<Settings> settings = std::make_unique<Settings>(dir.filePath(QStringLiteral("Tarv.conf")));
    // No test reaches the real quote service: nothing listens on port 0, so a refresh fails
    // at once. Tests of the quotes point the setting at a server of their own.
    bool quotesStayLocal = [this] {
        settings->setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
        return true;
    }();
    std::unique_ptr<ProfileStore> profiles;
    ScreensaverPhotoService photos{dir.path()};
    StockStore stocks{*settings};
    // The real store over a folder of the test's own; approvals only in memory.
    CustomScreenStore screens{dir.filePath(QStringLiteral("Screens")), std::make_unique<ScreenTrust>()};
    TarvFake::FakeDevice device;
    std::unique_ptr<DeviceManager> hub;
    // The players and artwork the hub asks; none unless a test sets them before makeHub.
    MediaPlaybackService* mediaService = nullptr;
    ArtworkService* artworkService = nullptr;
    // Pushed values stay in memory unless a test names a file before makeHub.
    std::optional<QString> pushedValuesFile;
    qsizetype thumbnailCacheBytes = DeviceManager::defaultThumbnailCacheBytes;

    QDateTime wallNow = QDateTime(QDate(2025, 3, 14), QTime(9, 41, 0));
    HubClock::MonotonicTime monotonicNow = HubClock::MonotonicTime(std::chrono::hours(1));

    // Builds the hub as a test run: no service starts.
    void makeHub(NotifyServer::Factory factory = {}, bool startServices = false)
    {
        profiles = std::make_unique<ProfileStore>(*settings);
        DeviceManager::Environment environment;
        environment.settings = settings.get();
        environment.isTesting = true;
        environment.notifyServerFactory = std::move(factory);
        environment.clock.now = [this] { return wallNow; };
        environment.clock.monotonic = [this] { return monotonicNow; };
        environment.mediaService = mediaService;
        environment.artworkService = artworkService;
        environment.pushedValuesFile = pushedValuesFile;
        environment.thumbnailCacheBytes = thumbnailCacheBytes;
        hub = std::make_unique<DeviceManager>(*profiles, photos, stocks, screens, startServices, std::move(environment));
        // The photo library is read on the photo worker.
        ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    }

    void advance(std::chrono::milliseconds by)
    {
        monotonicNow += by;
        wallNow = wallNow.addMSecs(by.count());
    }

    // Opens the fake device's port; the device has not greeted yet.
    void attach(std::uint64_t registryID = 7)
    {
        if (!hub)
            makeHub();
        ASSERT_TRUE(device.start()) << device.lastError().toStdString();
        hub->connect(registryID, device.portPath());
        ASSERT_TRUE(hub->isPortOpen());
    }

    // Attaches, greets, and waits until the device has the home page.
    void connectAndGreet()
    {
        attach();
        device.sendHello();
        ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected() && count<TarvUSB::PatchPayload>() >= 3; }));
        ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty(); }));
    }

    template <class P>
    qsizetype count() const
    {
        return std::count_if(device.received().cbegin(), device.received().cend(),
                             [](const TarvUSB::Frame& f) { return f.get<P>() != nullptr; });
    }

    template <class P>
    QList<TarvUSB::Frame> framesOf() const
    {
        QList<TarvUSB::Frame> out;
        for (const TarvUSB::Frame& frame : device.received())
            if (frame.get<P>())
                out.append(frame);
        return out;
    }

    QStringList logTexts() const
    {
        QStringList out;
        for (const LogEntry& entry : hub->log())
            out.append(entry.text);
        return out;
    }

    qsizetype logCount(const QString& prefix) const
    {
        const QStringList texts = logTexts();
        return std::count_if(texts.cbegin(), texts.cend(), [&](const QString& t) { return t.startsWith(prefix); });
    }

    // Lets queued hand-overs run: a frame sent by the device now is handled after this.
    void roundTrip()
    {
        const QString marker = QStringLiteral("marker %1").arg(++markers);
        device.sendLog(TarvUSB::LogLevel::info, marker);
        ASSERT_TRUE(waitUntil([&] { return logTexts().contains(QStringLiteral("DEVICE warning: ") + marker); }));
    }

    bool linkIsQuiet() const { return hub->queuedFrames().isEmpty() && hub->outstandingAcks().isEmpty(); }

    // Waits until the device has read every frame sent so far. A frame that a timer or a
    // finished worker sends during the round trip may still be on its way when the round trip
    // ends, so the wait holds only once a round trip ends with nothing unacknowledged.
    void waitForQuiet()
    {
        for (int round = 0; round < 50; ++round) {
            ASSERT_TRUE(waitUntil([&] { return linkIsQuiet(); }));
            roundTrip();
            if (linkIsQuiet())
                return;
        }
        FAIL() << "the link never fell quiet";
    }

    int markers = 0;
};
