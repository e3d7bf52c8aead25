#pragma once
// The one object that holds the device connection and every store of the application. It
// lives on the GUI thread; work that arrives on other threads (serial data, socket requests)
// is handed to it there. Views read its properties and call its operations.

#include "control/NotifyServer.h"
#include "control/ToastTouchFilter.h"
#include "control/toast/NotificationToast.h"
#include "hub/ConnectionState.h"
#include "hub/DeviceClock.h"
#include "hub/HubClock.h"
#include "hub/LogEntry.h"
#include "hub/TypingTask.h"
#include "link/DeviceSnapshot.h"
#include "link/Frame.h"
#include "link/FrameParser.h"
#include "link/PortNode.h"
#include "link/AssetUpload.h"
#include "link/SnapshotAssembler.h"
#include "link/SnapshotFailure.h"
#include "macros/MacroButton.h"
#include "macros/ScreenshotOptions.h"
#include "media/MediaControl.h"
#include "media/NowPlayingBackdrop.h"
#include "media/NowPlayingState.h"
#include "media/PhotoAdjustment.h"
#include "media/ScreensaverPhotoService.h"
#include "media/ScreensaverState.h"
#include "media/ScreensaverStyle.h"
#include "media/StockQuote.h"
#include "pages/CalculatorState.h"
#include "pages/DeviceScreen.h"
#include "pages/PageIndicator.h"
#include "pages/ScreensaverPhotoLayout.h"
#include "platform/OneThreadWorker.h"
#include "screens/runtime/CustomLayoutCache.h"
#include "screens/runtime/CustomScreenRenderer.h"
#include "screens/runtime/SpriteSheet.h"
#include "screens/runtime/SpriteSheetDecodes.h"

#include <QByteArray>
#include <QCache>
#include <QImage>
#include <QStringList>
#include <QThreadPool>
#include <QUuid>
#include <QHash>
#include <QList>
#include <QObject>
#include <QRect>
#include <QSet>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class CustomScreenStore;
class DesktopActionRunner;
class ArtworkService;
class FrontmostAppSource;
class MediaPlaybackService;
struct MacroAction;
class ProfileAutoSwitcher;
class ProfileStore;
class PushedValues;
class RunningAppsSource;
class QTimer;
class ScreenDataSources;
class Settings;
class StockService;
class StockStore;

namespace TarvUSB {
class DeviceWatcher;
class SerialPort;
}  // namespace TarvUSB

class DeviceManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(ConnectionState state READ state NOTIFY stateChanged)
    Q_PROPERTY(QList<LogEntry> log READ log NOTIFY logChanged)
    Q_PROPERTY(DeviceScreen activeScreen READ activeScreen WRITE setActiveScreen NOTIFY activeScreenChanged)
    Q_PROPERTY(NowPlayingState nowPlaying READ nowPlaying WRITE setNowPlaying NOTIFY nowPlayingChanged)
    Q_PROPERTY(ScreensaverState screensaver READ screensaver WRITE setScreensaver NOTIFY screensaverChanged)
    Q_PROPERTY(std::optional<TarvUSB::DeviceSnapshot> snapshot READ snapshot NOTIFY snapshotChanged)
    Q_PROPERTY(std::optional<double> snapshotProgress READ snapshotProgress NOTIFY snapshotProgressChanged)
    Q_PROPERTY(std::optional<QString> snapshotError READ snapshotError NOTIFY snapshotErrorChanged)
    Q_PROPERTY(int backlightLevel READ backlightLevel NOTIFY backlightLevelChanged)
    Q_PROPERTY(bool isDisplayFlipped READ isDisplayFlipped WRITE setDisplayFlippedField NOTIFY isDisplayFlippedChanged)
    Q_PROPERTY(bool deviceHoldsScreen READ deviceHoldsScreen WRITE setDeviceHoldsScreen NOTIFY deviceHoldsScreenChanged)

public:
    using SnapshotResult = std::variant<TarvUSB::DeviceSnapshot, TarvUSB::SnapshotFailure>;
    using SnapshotWaiter = std::function<void(const SnapshotResult&)>;

    static constexpr int maxLogEntries = 200;
    static constexpr int maxFramesInFlight = 3;
    static constexpr int heartbeatIntervalMs = 1000;
    static constexpr int homeRefreshDelayMs = 300;
    static constexpr int snapshotWatchdogIntervalMs = 250;
    static constexpr std::chrono::milliseconds snapshotStallTimeout{2000};
    static constexpr std::chrono::milliseconds snapshotAnswerTimeout{5000};
    // A queued frame whose ACK has not come by then counts as lost.
    static constexpr std::chrono::milliseconds ackTimeout{5000};
    // Some 270 thumbnails: several screens of the settings list.
    static constexpr qsizetype defaultThumbnailCacheBytes = 4 * 1024 * 1024;

    // What the Linux build supplies beyond the stores: the settings file, the test-run
    // switch, the frontmost-application source, the command channel's server and the clocks.
    struct Environment {
        Settings* settings = nullptr;
        bool isTesting = false;
        FrontmostAppSource* frontmostSource = nullptr;
        // The running applications for a profile's "Add App"; none lists nothing.
        RunningAppsSource* runningAppsSource = nullptr;
        NotifyServer::Factory notifyServerFactory;
        HubClock clock;
        // The music players and their artwork; without them nothing is asked and the Now
        // Playing page keeps what it was given.
        MediaPlaybackService* mediaService = nullptr;
        ArtworkService* artworkService = nullptr;
        // Where pushed values are kept; none means PushedValues::defaultFile(), or memory only
        // under a test run.
        std::optional<QString> pushedValuesFile;
        // The bytes of screensaver thumbnails kept for the settings list.
        qsizetype thumbnailCacheBytes = defaultThumbnailCacheBytes;
    };

    DeviceManager(ProfileStore& profiles, ScreensaverPhotoService& photoService, StockStore& stocks,
                  CustomScreenStore& customScreens, bool startServices, Environment environment,
                  QObject* parent = nullptr);
    ~DeviceManager() override;

    // --- Observed state -------------------------------------------------------------------
    const ConnectionState& state() const { return m_state; }
    const QList<LogEntry>& log() const { return m_log; }
    const DeviceScreen& activeScreen() const { return m_activeScreen; }
    void setActiveScreen(const DeviceScreen& screen);
    const DeviceScreen& lastInteractiveScreen() const { return m_lastInteractiveScreen; }
    void setLastInteractiveScreen(const DeviceScreen& screen);
    const CalculatorState& calculator() const { return m_calculator; }
    const NowPlayingState& nowPlaying() const { return m_nowPlaying; }
    void setNowPlaying(const NowPlayingState& state);
    const ScreensaverState& screensaver() const { return m_screensaver; }
    void setScreensaver(const ScreensaverState& state);
    // The photos in screensaver order, without their frames (ScreensaverPhotoService::readFrame).
    const QList<ScreensaverPhotoService::SavedPhoto>& photoLibrary() const { return m_photoLibrary; }
    int backlightLevel() const { return m_backlightLevel; }
    bool isDisplayFlipped() const { return m_isDisplayFlipped; }
    // Changes only the field; storing and telling the device belong to the settings.
    void setDisplayFlippedField(bool flipped);
    bool deviceHoldsScreen() const { return m_deviceHoldsScreen; }
    void setDeviceHoldsScreen(bool holds);

    // --- Stores and services --------------------------------------------------------------
    ProfileStore& profiles() const { return m_profiles; }
    ProfileAutoSwitcher& autoSwitcher() const { return *m_autoSwitcher; }
    RunningAppsSource* runningAppsSource() const { return m_runningAppsSource; }
    CustomScreenStore& customScreens() const { return m_customScreens; }
    StockStore& stocks() const { return m_stocks; }
    ScreensaverPhotoService& photoService() const { return m_photoService; }
    ScreenDataSources& screenData() const { return *m_screenData; }
    PushedValues& pushedValues() const { return *m_pushedValues; }
    TarvUSB::DeviceWatcher& watcher() const { return *m_watcher; }
    DesktopActionRunner& actionRunner() const { return *m_actionRunner; }
    Settings& settings() const { return m_settings; }
    bool hasNotifyServer() const { return m_notifyServer != nullptr; }

    // --- Log --------------------------------------------------------------------------------
    void log(LogEntry::Direction direction, const QString& text);

    // --- Connection -------------------------------------------------------------------------
    void connect(std::uint64_t registryID, const QString& path);
    void disconnect(std::uint64_t registryID);
    std::uint16_t takeNextSequence();
    bool send(const TarvUSB::Frame& frame);
    // Queues numbered frames behind the send window; false, the frames dropped, without a port
    // (with a log line) or while the device is not reading.
    bool sendDynamicUI(const QList<TarvUSB::Frame>& frames);
    void drainQueue();
    void sendHeartbeat();
    // One turn of the heartbeat timer: lost acknowledgements, then a PING.
    void heartbeatTick();
    // A queued frame unacknowledged for ackTimeout: when bytes wait for the line and none has
    // gone out since the last check, the device has stopped reading and is held back;
    // otherwise the frame counts as lost, and the page is drawn anew.
    void checkAckTimeouts();
    // The device has stopped reading: frames are dropped, not queued, until it reads again.
    bool isDeviceStalled() const { return m_deviceStalled; }
    // Bytes handed to the port that have not reached the line yet.
    qsizetype portBacklog() const;
    // Feeds received bytes to the parser and handles what comes out, in stream order.
    void handleFrame(const QByteArray& bytes);
    // Starts the command channel's server off this thread (its probe of an older socket may
    // wait on another copy); the outcome is logged here.
    void startNotifyServer();
    // One request of the command channel; `reply` is called once, on this thread, possibly
    // after the request's work (a capture, a file read) has ended.
    void handleCommand(const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply);
    void runSnapshotCommand(const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply);
    void runSetCommand(const NotifyChannel::Request& request, NotifyServer::ReplyCallback reply);
    NotifyChannel::Reply runShowScreenCommand(const NotifyChannel::Request& request);
    // Reads and checks the file on a worker.
    void runScreenCheck(const QString& path, NotifyServer::ReplyCallback reply);
    QStringList screenListLines() const;
    static QString describeFrame(const TarvUSB::Frame& frame);
    // The bytes of one frame on the wire: envelope, COBS, delimiter. Throws MsgpackError.
    static QByteArray wireBytes(const TarvUSB::Frame& frame);
    static std::optional<int> storedBacklightLevel(const Settings& settings);

    bool isPortOpen() const { return m_serialPort != nullptr; }
    std::optional<std::uint64_t> activeRegistryID() const { return m_activeRegistryID; }
    std::uint16_t nextSequence() const { return m_nextSequence; }
    const QList<TarvUSB::Frame>& queuedFrames() const { return m_queuedFrames; }
    const QSet<std::uint16_t>& outstandingAcks() const { return m_outstandingAcks; }
    const QSet<std::uint16_t>& heartbeatSequences() const { return m_heartbeatSequences; }
    const QHash<int, QString>& deviceEmojiBySlot() const { return m_deviceEmojiBySlot; }
    const QHash<int, SpriteSheet::FrameKey>& deviceSpriteBySlot() const { return m_deviceSpriteBySlot; }
    const std::optional<QString>& backdropIdentity() const { return m_backdropIdentity; }
    int pageChildCount() const { return m_pageChildCount; }
    bool toastIsOnDevice() const { return m_toastIsOnDevice; }

    // --- Pages (the page driver fills these in) -------------------------------------------
    void renderActivePage();
    void showInitialScreen();
    void handleDeviceEvent(const TarvUSB::TouchPayload& touch);
    void updateScreenDataSources();
    void scheduleHomeRefresh();
    // What the profile's changes bring to the shown home page: labels typed into keys already
    // drawn go as edits of those labels, anything else draws the page anew.
    void refreshHome();
    // Fetches every quote and sends the stocks page again when it shows; a call while a
    // refresh awaits its quotes does nothing.
    void refreshStockQuotes();

    // --- Page lists and switching -----------------------------------------------------------
    QList<DeviceScreen> availableScreens() const;
    QList<DeviceScreen> swipePages() const;
    QString pageTitle(const DeviceScreen& screen) const;
    void showScreen(const DeviceScreen& target);
    void showHome();
    void wakeFromScreensaver();

    // --- Page driving -----------------------------------------------------------------------
    // One PATCH frame per batch of at most 64 operations, numbered from nextSequence.
    QList<TarvUSB::Frame> makePatchFrames(const QList<QList<TarvUSB::PatchOp>>& lists);
    void trackPageNodes(const QList<TarvUSB::Frame>& frames);
    void uploadKeyEmoji();
    // A 480 × 320 RGB565 image into asset slot 2; a buffer of another size is logged and skipped.
    void uploadAsset(const QByteArray& pixels);
    // One pass of the one-second loop, at the given date.
    void tick(const QDateTime& now);
    void enterScreensaver();
    void advanceScreensaverPhoto(const QDateTime& now);
    void showScreensaverPhoto(const QDateTime& now);
    // The shown custom page: value pushes, animation steps and sprite frames.
    void pushCustomValues();
    void scheduleCustomAnimation();
    void uploadSpriteFrames(const CustomScreen& screen);
    bool isCustomUpdatePending() const;
    bool isCustomAnimationPending() const;
    // The sleep before an animation step: just past the frame boundary `delay` seconds away.
    static int animationSleepMs(double delay);
    // Store reactions.
    void screensDidChange();
    void spriteSheetsDidChange(const QSet<QString>& screenIDs);
    void screenValuesDidChange(const QString& screenID);
    const DeviceClock& deviceClock() const { return m_deviceClock; }
    int renderedPageCount() const { return m_renderedPageCount; }
    const QHash<QString, QByteArray>& renderedEmoji() const { return m_renderedEmoji; }
    const std::optional<double>& scrubFraction() const { return m_scrubFraction; }
    void setScrubFraction(const std::optional<double>& fraction) { m_scrubFraction = fraction; }
    int photoIndex() const { return m_photoIndex; }

    // --- Screensaver photos -----------------------------------------------------------------
    // The layout of the shown photo; none without one. The corner is chosen once per photo
    // and style.
    std::optional<ScreensaverPhotoLayout> screensaverLayout();
    // Library edits. Image and file work runs on a worker, one edit at a time; the result is
    // applied here on the GUI thread, followed by photoWorkFinished.
    void importPhotoFiles(const QStringList& paths);
    void importPhotoData(const QList<ScreensaverPhotoService::ImportItem>& items);
    // Takes a photo off the screensaver. Its files are kept aside until
    // restoreScreensaverPhoto lists it again where it stood, or discardRemovedScreensaverPhoto
    // lets them go; the next start lets go of any still kept.
    void removeScreensaverPhoto(const QUuid& id);
    void restoreScreensaverPhoto(const QUuid& id);
    void discardRemovedScreensaverPhoto(const QUuid& id);
    // Moves a photo `offset` places later in the screensaver's order (earlier when negative), no
    // further than either end. The photo on the device stays shown.
    void moveScreensaverPhoto(const QUuid& id, int offset);
    void adjustScreensaverPhoto(const QUuid& id, const PhotoAdjustment& adjustment);
    // The photo's thumbnail for the settings list, at thumbnailSize: the cached one, or none
    // while it is made on a worker, after which screensaverThumbnailReady(id) follows; it also
    // follows when a photo is framed again. Only the photos the list asks for, as their rows
    // come into view, are ever made, and the cache keeps those asked for last (the list's rows
    // keep what they show).
    std::optional<QImage> screensaverThumbnail(const QUuid& id);
    // Twice the list's 54 x 36 points, sharp on a screen of double density.
    static constexpr QSize thumbnailSize{108, 72};
    // What the crop editor opens with: the kept source JPEG, or the stored frame when the
    // photo has none. Decoded on the worker; `done` gets none for an unknown photo.
    struct CropSource {
        QImage image;
        bool fromSourceJPEG = false;
        PhotoAdjustment adjustment;
    };
    void cropSourceImage(const QUuid& id, std::function<void(std::optional<CropSource>)> done);
    int pendingPhotoWork() const { return m_pendingPhotoWork; }

    // --- Touch input ------------------------------------------------------------------------
    struct TouchPoint {
        std::uint16_t x = 0;
        std::uint16_t y = 0;
        friend bool operator==(const TouchPoint&, const TouchPoint&) = default;
    };
    struct PlaybackSample {
        double elapsed = 0;
        QDateTime date;
    };
    // The move and up phases of a drag on the Now Playing progress bar.
    void scrubNowPlaying(const TarvUSB::TouchPayload& touch);
    void handleCalculatorTap(std::uint16_t x, std::uint16_t y);
    // Only while the calculator shows; the two display lines follow the key.
    void pressCalculatorKey(const QString& key);
    // Hands the position in the track of `playing` to its player, then reads the player's
    // real position back.
    void seekPlayer(double seconds, const NowPlayingState& playing);
    // Moves the shown position on between polls, once per displayed second.
    void advanceNowPlayingProgress(const QDateTime& now);
    void sendMediaControl(MediaControl control);
    const std::optional<TouchPoint>& touchStart() const { return m_touchStart; }
    bool suppressTouchUp() const { return m_suppressTouchUp; }
    const ToastTouchFilter& toastTouches() const { return m_toastTouches; }
    const std::optional<NotificationToast>& toast() const { return m_toast; }
    void setToast(const std::optional<NotificationToast>& toast) { m_toast = toast; }

    // --- Notification toasts --------------------------------------------------------------
    // The "notify" command: shows the text as the current toast for its clamped seconds.
    NotifyChannel::Reply runNotifyCommand(const NotifyChannel::Request& request);
    // Puts the card on the device (replacing the one it shows) when a page of ours is there.
    void sendToast(const NotificationToast& toast);
    // Ends the current toast; only the card leaves the device, the page stays as it is.
    void dismissToast();
    // Restarts the toast's timer: it ends the toast once the seconds have passed on the
    // monotonic clock.
    void toastTimer(double seconds);
    // When the running toast timer ends, if one runs.
    std::optional<HubClock::MonotonicTime> toastDue() const { return m_toastDue; }
    // The timer's wake-up: ends the toast when its time has come (its timer runs this).
    void endToastWhenDue();
    const std::optional<CustomScreenRenderer::Layout>& customLayout() const { return m_customLayout; }
    void setCustomLayout(const std::optional<CustomScreenRenderer::Layout>& layout) { m_customLayout = layout; }
    const std::optional<PlaybackSample>& playbackSample() const { return m_playbackSample; }
    void setPlaybackSample(const std::optional<PlaybackSample>& sample) { m_playbackSample = sample; }

    // --- Now Playing ----------------------------------------------------------------------
    // Asks the players once; the answer is applied when it arrives.
    // `finished` runs once the poll's answer has been applied.
    void pollNowPlaying(std::function<void()> finished = {});
    void refreshNowPlaying();
    // Takes a player's answer in: anchoring, scrub protection, page update, artwork request.
    void applyNowPlaying(NowPlayingState fresh, const QDateTime& now);
    // The artwork fetch for `key` has ended, with a backdrop or without.
    void applyArtwork(const QString& key, const std::optional<NowPlayingBackdrop>& backdrop);
    // Puts the cached backdrop on the device unless it holds it already.
    void updateNowPlayingBackdrop();
    // One update frame of the Now Playing page from the current state.
    void refreshNowPlayingPage();
    const QString& failedArtworkIdentity() const { return m_failedArtworkIdentity; }
    const std::optional<NowPlayingBackdrop>& cachedBackdrop() const { return m_cachedBackdrop; }

    // --- Key actions --------------------------------------------------------------------------
    // What became of a fired action: nothing for one that ran (or went to the device), else
    // the failure as the log has it. Called once, at once or when the action has finished.
    using KeyOutcome = std::function<void(const std::optional<QString>& failure)>;
    // A key of the active profile by position; keys without an action are ignored.
    void pressMacroKey(int index, KeyOutcome outcome = {});
    // Logs the firing and carries the action out; failures are logged, and handed to `outcome`.
    void fireMacroKey(const MacroAction& action, const QString& label, KeyOutcome outcome = {});
    // Replaces the running typing, if any, with this text; `outcome` is told once the last
    // character went to the link, or why typing stopped before.
    void typeText(const QString& text, KeyOutcome outcome = {});
    const TypingTask* typingTask() const { return m_typingTask.get(); }
    // Tests pace the typing themselves.
    void setTypingScheduler(TypingTask::Scheduler scheduler) { m_typingScheduler = std::move(scheduler); }
    static std::optional<std::uint16_t> consumerUsage(MediaControl control);

    // --- Device settings --------------------------------------------------------------------
    void setBacklight(int level);
    void setDisplayFlipped(bool flipped);
    // Seconds that are not a finite number above 0 are refused; false then.
    bool setScreensaverTimeout(double seconds);
    bool setScreensaverPhotoInterval(double seconds);
    void setScreensaverEnabled(bool enabled);
    void setScreensaverStyle(ScreensaverStyle style);
    // The idle page's whole minutes for a timeout: at least 1, also for one that is no number.
    static int idleMinutes(double timeoutSeconds);

    // --- Snapshots --------------------------------------------------------------------------
    // The waiter is called once, on this thread, with the capture's result; immediately
    // when there is no connection.
    void captureSnapshot(SnapshotWaiter waiter);
    bool receiveSnapshotPart(const TarvUSB::Frame& frame);
    void finishSnapshot(const SnapshotResult& result);
    // One turn of the capture's watchdog (the timer runs it every 250 ms).
    void checkSnapshotWatchdog();
    const std::optional<TarvUSB::DeviceSnapshot>& snapshot() const { return m_snapshot; }
    const std::optional<double>& snapshotProgress() const { return m_snapshotProgress; }
    const std::optional<QString>& snapshotError() const { return m_snapshotError; }
    bool isCapturing() const { return m_snapshotAssembler.has_value(); }
    std::uint16_t nextSnapshotID() const { return m_nextSnapshotID; }

    // --- For tests ------------------------------------------------------------------------
    void setHeartbeatInterval(int milliseconds);
    HubClock& clock() { return m_clock; }
    void setNextSequenceForTesting(std::uint16_t next) { m_nextSequence = next; }
    void setNextSnapshotIDForTesting(std::uint16_t next) { m_nextSnapshotID = next; }
    // How often a full redraw ran.
    int renderCount() const { return m_renderCount; }

signals:
    void stateChanged();
    void logChanged();
    void activeScreenChanged();
    void lastInteractiveScreenChanged();
    void nowPlayingChanged();
    void screensaverChanged();
    void photoLibraryChanged();
    void screensaverThumbnailReady(const QUuid& id);
    void photoWorkFinished();
    void snapshotChanged();
    void snapshotProgressChanged();
    void snapshotErrorChanged();
    void backlightLevelChanged();
    void isDisplayFlippedChanged();
    void deviceHoldsScreenChanged();
    void calculatorChanged();
    void queueChanged();
    // The page list of availableScreens may differ: screens were loaded, approved or revoked.
    void availableScreensChanged();
    // A touch reached dispatch (the page driver reacts to it).
    void deviceEvent(const TarvUSB::TouchPayload& touch);

private:
    // Construction steps. The photo library arrives later, through the photo worker.
    // At the start, the files of photos removed in an earlier run go first.
    void loadPhotoLibrary(bool atStart = true);
    void readScreensaverSettings();
    void installStoreCallbacks();

    // Connection internals.
    void setState(const ConnectionState& state);
    void handleReceived(std::uint64_t generation, const QByteArray& chunk);
    void handlePortClosed(std::uint64_t generation, const std::optional<QString>& reason);
    void dispatch(const TarvUSB::Frame& frame);
    void handshake(const TarvUSB::HelloPayload& hello);
    void connectionLost();
    void forgetDeviceHoldings();
    void recoverFromFailedQueuedSend();
    void clearSendWindow();
    void enterStall();
    void handlePortDrained(std::uint64_t generation);
    // Queued frames not sent yet give way to a new full redraw of the page.
    void dropSupersededFrames();

    // Reopening a port that failed while its device stays, and the summary of a flood of
    // dropped frames. Both keep time on the monotonic clock; their timers only wake them.
public:
    static constexpr std::chrono::milliseconds dropSummaryInterval{1000};
    // The wait before the given reopen attempt since the last HELLO: 1 s, 2 s, 4 s, then 5 s.
    static std::chrono::milliseconds reopenDelay(int attempt);
    // The back-off of the reopen that waits, if one does.
    std::optional<std::chrono::milliseconds> pendingReopenDelay() const;
    // Tries the failed port again once its back-off has passed (its timer runs this).
    void retryConnection();
    // Logs the count of the drops held back, once their second is over (its timer runs this).
    void flushDroppedFrames();

private:
    std::optional<QString> openPort(const QString& path, const std::optional<TarvUSB::PortNode>& expectedNode = {});
    // A port named by hand is the device only while its path names the node first seen
    // there, at the first look that found one, whether it then opened or not: once that node
    // has gone, or the path names another, the port is let go for good.
    void lookAtPort(std::uint64_t registryID, const QString& path);
    void rememberPortNode(std::uint64_t registryID);
    std::optional<TarvUSB::PortNode> knownPortNode(std::uint64_t registryID) const;
    bool portHasGone(std::uint64_t registryID, const QString& path) const;
    void portWentAway(std::uint64_t registryID, const QString& path);
    void scheduleReopen(std::uint64_t registryID);
    void cancelReopen();
    void resetReopenSeries();
    void logReopenFailure(const QString& text);
    void logDroppedFrame(const QString& reason);
    void wakeAt(QTimer*& timer, HubClock::MonotonicTime due, void (DeviceManager::*slot)());
    QTimer* m_reopenTimer = nullptr;
    std::optional<std::uint64_t> m_reopenID;
    HubClock::MonotonicTime m_reopenDue{};
    std::chrono::milliseconds m_reopenDelay{0};
    // Delays handed out since the last HELLO or attach; above 0 a series of retries runs, in
    // which a failure is logged only when its text differs from the one before.
    int m_reopenAttempts = 0;
    QString m_lastReopenFailure;
    bool m_reopenOpenLogged = false;
    QHash<std::uint64_t, TarvUSB::PortNode> m_portNodes;
    QTimer* m_dropSummaryTimer = nullptr;
    std::optional<HubClock::MonotonicTime> m_dropWindowEnd;
    int m_heldBackDrops = 0;

    // Snapshot internals.
    void requestSnapshot();
    void setSnapshotProgress(const std::optional<double>& progress);
    void setSnapshotError(const std::optional<QString>& error);

    // Stores and services.
    ProfileStore& m_profiles;
    ScreensaverPhotoService& m_photoService;
    StockStore& m_stocks;
    CustomScreenStore& m_customScreens;
    Settings& m_settings;
    bool m_isTesting = false;
    FrontmostAppSource* m_frontmostSource = nullptr;
    RunningAppsSource* m_runningAppsSource = nullptr;
    NotifyServer::Factory m_notifyServerFactory;
    HubClock m_clock;
    std::unique_ptr<StockService> m_stockService;
    std::unique_ptr<PushedValues> m_pushedValues;
    std::unique_ptr<ScreenDataSources> m_screenData;
    std::unique_ptr<TarvUSB::DeviceWatcher> m_watcher;
    std::unique_ptr<ProfileAutoSwitcher> m_autoSwitcher;
    std::unique_ptr<DesktopActionRunner> m_actionRunner;

    // Connection state and log.
    ConnectionState m_state;
    QList<LogEntry> m_log;

    // Pages.
    DeviceScreen m_activeScreen = DeviceScreen::home();
    DeviceScreen m_lastInteractiveScreen = DeviceScreen::home();
    CalculatorState m_calculator;
    NowPlayingState m_nowPlaying;
    ScreensaverState m_screensaver;
    QTimer* m_homeRefreshTimer = nullptr;
    QDateTime m_customShownAt;
    QHash<int, SpriteSheet::FrameKey> m_deviceSpriteBySlot;
    int m_renderedPageCount = 4;
    // The page list while availableScreensChanged is emitted: every menu asks for it then, and
    // with thousands of screens each asking would walk them all again.
    std::optional<QList<DeviceScreen>> m_announcedScreens;
    int m_pageChildCount = 0;
    bool m_toastIsOnDevice = false;
    std::shared_ptr<NotifyServer> m_notifyServer;

    // Snapshots.
    std::optional<TarvUSB::DeviceSnapshot> m_snapshot;
    std::optional<double> m_snapshotProgress;
    std::optional<QString> m_snapshotError;
    std::optional<TarvUSB::SnapshotAssembler> m_snapshotAssembler;
    QList<SnapshotWaiter> m_snapshotWaiters;
    QTimer* m_snapshotWatchdog = nullptr;
    HubClock::MonotonicTime m_snapshotActivity{};
    std::uint16_t m_nextSnapshotID = 1;

    // Device-side caches.
    QHash<int, QString> m_deviceEmojiBySlot;
    QHash<QString, QByteArray> m_renderedEmoji;
    std::optional<QString> m_backdropIdentity;

    // Link and send window. Each opened port gets a new generation; its callbacks carry it
    // and are ignored once another port (or none) is current.
    std::unique_ptr<TarvUSB::SerialPort> m_serialPort;
    std::uint64_t m_portGeneration = 0;
    std::optional<std::uint64_t> m_activeRegistryID;
    TarvUSB::FrameParser m_parser;
    std::uint16_t m_nextSequence = 1;
    QList<TarvUSB::Frame> m_queuedFrames;
    QSet<std::uint16_t> m_outstandingAcks;
    // When each frame of the window went out.
    QHash<std::uint16_t, HubClock::MonotonicTime> m_ackSentAt;
    bool m_ackLossReported = false;
    // The port's count of bytes written at the last check of the window.
    std::uint64_t m_bytesWrittenAtCheck = 0;
    bool m_deviceStalled = false;
    bool m_deviceHoldsScreen = false;
    bool m_recoveringFromFailedSend = false;

    // Periodic work.
    QTimer* m_heartbeatTimer = nullptr;
    QSet<std::uint16_t> m_heartbeatSequences;

    // Settings.
    int m_backlightLevel = 100;
    bool m_isDisplayFlipped = false;

    QList<ScreensaverPhotoService::SavedPhoto> m_photoLibrary;
    int m_renderCount = 0;
    // The keys of the home page the device holds, while it holds it as drawn from them.
    std::optional<QList<MacroButton>> m_shownHomeKeys;

    // Page driving.
    void startPageLoops();
    void installPageCallbacks();
    void presentPage(const QList<TarvUSB::Frame>& frames, std::uint16_t resetSeq);
    // Notes the minute and the page count drawn; where the active page sits among the pages.
    PageIndicator notePageDrawn(const QDateTime& now);
    QList<TarvUSB::Frame> pageFrames(const QDateTime& now, const QString& time, const PageIndicator& indicator);
    bool isShownCustomAvailable() const;
    bool queueAssetUpload(const QByteArray& pixels, const TarvUSB::AssetProperties& asset);
    // `firstFailure` says why the first missing symbol is missing, for the message.
    void finishStockRefresh(const QList<StockQuote>& fetched, qsizetype wanted,
                            const std::optional<QString>& firstFailure);
    DeviceClock m_deviceClock;
    std::optional<double> m_scrubFraction;
    QTimer* m_tickTimer = nullptr;
    QTimer* m_mediaTimer = nullptr;
    bool m_mediaLoopPollInFlight = false;
    QTimer* m_stockTimer = nullptr;
    QTimer* m_customUpdateTimer = nullptr;
    MediaPlaybackService* m_mediaService = nullptr;
    ArtworkService* m_artworkService = nullptr;
    QString m_requestedArtworkIdentity;
    QString m_cachedArtworkIdentity;
    QTimer* m_customAnimationTimer = nullptr;
    // The custom page shown, when it is connected, loaded and approved.
    std::optional<CustomScreen> shownCustomScreen() const;
    QList<TarvUSB::Frame> customPageFrames(const QDateTime& now, const QString& time, const PageIndicator& indicator);
    // Sprite sheets are decoded off this thread; the shown page sends the frames it lacks.
    void sendSpriteFrames(int firstSlot, const QList<SpriteSheet::FrameKey>& keys, const QList<QByteArray>& frames);
    SpriteSheetDecodes m_spriteSheets;
    QString m_failedArtworkIdentity;
    std::optional<NowPlayingBackdrop> m_cachedBackdrop;
    int m_photoIndex = 0;
    QDateTime m_photoShownSince;
    struct PhotoCorner {
        QUuid id;
        ScreensaverStyle style = ScreensaverStyle::corner;
        ScreensaverCorner corner = ScreensaverCorner::bottomLeft;
    };
    std::optional<PhotoCorner> m_photoCorner;
    // The least recently asked for leave first.
    QCache<QUuid, QImage> m_thumbnails;
    QSet<QUuid> m_thumbnailsMaking;
    QSet<QUuid> m_thumbnailsStale;
    OneThreadWorker m_thumbnailWork;
    // The frames in memory: the shown photo's and the next one's. The library's photos carry
    // none; any other frame is read from its file on a worker when it is needed.
    QHash<QUuid, QByteArray> m_frames;
    QSet<QUuid> m_framesReading;
    bool m_showWhenFrameArrives = false;
    QSet<QUuid> framesWanted() const;
    void keepFramesNearShown();
    void keepFrames(const QList<ScreensaverPhotoService::SavedPhoto>& photos);
    void forgetThumbnail(const QUuid& id);
    // One worker, so library edits never overlap on the files.
    std::unique_ptr<QThreadPool> m_photoWork;
    // Raised as the hub goes, before the worker is waited for: an import stops after the
    // photo in hand, keeping what it stored, instead of holding up the quit.
    struct PhotoWorkStop {
        std::shared_ptr<std::atomic_bool> raised = std::make_shared<std::atomic_bool>(false);
        PhotoWorkStop() = default;
        PhotoWorkStop(const PhotoWorkStop&) = delete;
        PhotoWorkStop& operator=(const PhotoWorkStop&) = delete;
        ~PhotoWorkStop() { raised->store(true); }
    };
    PhotoWorkStop m_photoStop;
    int m_pendingPhotoWork = 0;
    void runPhotoImport(QList<ScreensaverPhotoService::ImportItem> items);
    // A removed photo as it was listed, and the photo it stood before, until it is restored or
    // let go.
    struct RemovedPhoto {
        ScreensaverPhotoService::SavedPhoto photo;
        std::optional<QUuid> before;
    };
    QHash<QUuid, RemovedPhoto> m_removedPhotos;
    int photoPlace(const QUuid& id) const;
    void setPhotoIndex(int index);
    void rebuildScreensaverPhotos();
    void finishPhotoWork();
    // Touch input and key actions.
    // False when the report was not handed to the link; hidNotSentReason says why.
    bool sendHidEmit(TarvUSB::HidReport report, std::uint8_t mods, std::uint16_t usage);
    QString hidNotSentReason() const;
    void tapAt(const TouchPoint& start);
    void swipeFrom(int dx, int dy);
    std::optional<QRect> toastTouchRect() const;
    void markInteraction();
    std::optional<TouchPoint> m_touchStart;
    bool m_suppressTouchUp = false;
    std::optional<HubClock::MonotonicTime> m_lastScrubFrame;
    ToastTouchFilter m_toastTouches;
    std::optional<NotificationToast> m_toast;
    QTimer* m_toastTimer = nullptr;
    std::optional<HubClock::MonotonicTime> m_toastDue;
    void cancelToastTimer();
    std::optional<CustomScreenRenderer::Layout> m_customLayout;
    // The shown file's widgets as last evaluated, so a new value re-evaluates only its readers.
    std::optional<CustomScreenRenderer::LayoutCache> m_customLayoutCache;
    std::optional<PlaybackSample> m_playbackSample;
    std::unique_ptr<TypingTask> m_typingTask;
    TypingTask::Scheduler m_typingScheduler = TypingTask::timerScheduler();
};
