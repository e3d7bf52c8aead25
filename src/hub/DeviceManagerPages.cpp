// The device pages: the page lists and titles, switching between pages, the initial page
// after the handshake, and the full redraw of the shown page with the images it needs.

#include "hub/DeviceManager.h"
#include "hub/DeviceSettingsKeys.h"

#include "device/EmojiIconRenderer.h"
#include "macros/ProfileStore.h"
#include "media/StockService.h"
#include "media/StockStore.h"
#include "pages/CalculatorKeys.h"
#include "pages/CalculatorPage.h"
#include "pages/ClockText.h"
#include "pages/HomePage.h"
#include "pages/NowPlayingPage.h"
#include "pages/PageFrames.h"
#include "pages/PatchBatching.h"
#include "pages/ScreensaverPages.h"
#include "pages/StocksPage.h"
#include "platform/OneLineText.h"
#include "platform/Settings.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenDataSources.h"

#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <utility>

using namespace TarvUSB;

namespace {

// The most operations one PATCH frame of a page carries before the batching cuts the list.
constexpr qsizetype maxOpsPerPageFrame = 64;
// Key emoji go to asset 16 + key position, in small chunks: they are small and many.
constexpr std::uint32_t firstEmojiAsset = 16;
constexpr int emojiChunkBytes = 1024;
// Full-screen images (photo, backdrop) share asset 2.
constexpr std::uint32_t fullScreenAsset = 2;
constexpr int fullScreenChunkBytes = 4096;
constexpr int screenWidth = 480;
constexpr int screenHeight = 320;
constexpr int calculatorKeysPerList = 50;

QList<DeviceScreen> builtInSwipePages()
{
    return {DeviceScreen::home(), DeviceScreen::stocks(), DeviceScreen::calculator(), DeviceScreen::nowPlaying()};
}

}  // namespace

// --- Page lists and titles -----------------------------------------------------------------

QList<DeviceScreen> DeviceManager::swipePages() const
{
    Q_ASSERT(QThread::currentThread() == thread());
    QList<DeviceScreen> pages = builtInSwipePages();
    for (const QString& id : m_customScreens.approvedScreenIDs())
        pages.append(DeviceScreen::custom(id));
    return pages;
}

QList<DeviceScreen> DeviceManager::availableScreens() const
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_announcedScreens)
        return *m_announcedScreens;
    QList<DeviceScreen> pages = builtInSwipePages();
    pages.append(DeviceScreen::screensaver());
    for (const QString& id : m_customScreens.approvedScreenIDs())
        pages.append(DeviceScreen::custom(id));
    return pages;
}

QString DeviceManager::pageTitle(const DeviceScreen& screen) const
{
    if (!screen.isCustom())
        return screen.title();
    const std::optional<CustomScreen> found = m_customScreens.screenWithID(screen.customID());
    if (found && m_customScreens.trust().isScreenApproved(*found))
        return oneLineText(found->title);
    return oneLineText(screen.customID());
}

bool DeviceManager::isShownCustomAvailable() const
{
    if (!m_activeScreen.isCustom())
        return false;
    const std::optional<CustomScreen> found = m_customScreens.screenWithID(m_activeScreen.customID());
    return found && m_customScreens.trust().isScreenApproved(*found);
}

// --- Switching -----------------------------------------------------------------------------

void DeviceManager::showScreen(const DeviceScreen& target)
{
    if (target == m_activeScreen)
        return;
    if (target == DeviceScreen::screensaver()) {
        // The page it covers and the idle clock stay: waking returns there.
        setActiveScreen(target);
        renderActivePage();
        return;
    }
    if (target.isCustom()) {
        const std::optional<CustomScreen> found = m_customScreens.screenWithID(target.customID());
        if (!found || !m_customScreens.trust().isScreenApproved(*found))
            return;
    }
    setLastInteractiveScreen(target);
    ScreensaverState next = m_screensaver;
    next.lastInteraction = m_clock.now();
    setScreensaver(next);
    setActiveScreen(target);
    renderActivePage();
}

void DeviceManager::showHome()
{
    setActiveScreen(DeviceScreen::home());
    setLastInteractiveScreen(DeviceScreen::home());
    ScreensaverState next = m_screensaver;
    next.lastInteraction = m_clock.now();
    setScreensaver(next);
    renderActivePage();
}

void DeviceManager::wakeFromScreensaver()
{
    if (m_activeScreen != DeviceScreen::screensaver())
        return;
    setActiveScreen(m_lastInteractiveScreen);
    ScreensaverState next = m_screensaver;
    next.lastInteraction = m_clock.now();
    setScreensaver(next);
    renderActivePage();
}

void DeviceManager::showInitialScreen()
{
    const std::optional<QString> stored = m_settings.text(DeviceSettingsKeys::initialScreen);
    DeviceScreen initial = DeviceScreen::home();
    if (stored) {
        const QList<DeviceScreen> pages = swipePages();
        const auto match = std::find_if(pages.cbegin(), pages.cend(), [&](const DeviceScreen& page) {
            return page.id().compare(*stored, Qt::CaseInsensitive) == 0;
        });
        if (match != pages.cend()) {
            initial = *match;
        } else if (m_customScreens.isScanning()) {
            // The Screens folder is read on a worker: the start page may be a custom page of a
            // reading not yet in. The device waits for it, for this connection only; never for
            // a new file being written, which may fail and bring no reading.
            const std::uint64_t generation = m_portGeneration;
            QObject::connect(
                &m_customScreens, &CustomScreenStore::loaded, this,
                [this, generation] {
                    if (generation == m_portGeneration && m_state.isConnected())
                        showInitialScreen();
                },
                Qt::SingleShotConnection);
            return;
        }
    }
    setActiveScreen(initial);
    setLastInteractiveScreen(initial);
    ScreensaverState next = m_screensaver;
    next.lastInteraction = m_clock.now();
    setScreensaver(next);
    // The screensaver is in no swipe list: waking from it leads to the page chosen above.
    if (stored && stored->compare(QStringLiteral("screensaver"), Qt::CaseInsensitive) == 0)
        setActiveScreen(DeviceScreen::screensaver());
    renderActivePage();
}

// --- Full redraw ---------------------------------------------------------------------------

void DeviceManager::renderActivePage()
{
    ++m_renderCount;
    dropSupersededFrames();
    m_scrubFraction.reset();
    if (m_activeScreen.isCustom() && !isShownCustomAvailable()) {
        setActiveScreen(DeviceScreen::home());
        setLastInteractiveScreen(DeviceScreen::home());
    }
    const std::uint16_t resetSeq = takeNextSequence();
    const QDateTime now = m_clock.now();
    const QString time = DynamicUIDemo::timeText(now);
    const PageIndicator indicator = notePageDrawn(now);
    m_shownHomeKeys.reset();
    presentPage(pageFrames(now, time, indicator), resetSeq);
    // This drawing holds every profile change so far: a refresh still due would only draw
    // the same page again and cut short the images it is sending.
    if (m_activeScreen == DeviceScreen::home())
        m_homeRefreshTimer->stop();
    if (m_activeScreen == DeviceScreen::home() && m_deviceHoldsScreen)
        m_shownHomeKeys = m_profiles.activeProfile().buttons;

    switch (m_activeScreen.kind()) {
    case DeviceScreen::Kind::nowPlaying: {
        const QString key = m_nowPlaying.artworkKey();
        if (!key.isEmpty() && key != m_failedArtworkIdentity)
            updateNowPlayingBackdrop();
        break;
    }
    case DeviceScreen::Kind::screensaver:
        if (!m_photoLibrary.isEmpty())
            showScreensaverPhoto(now);
        break;
    case DeviceScreen::Kind::home:
        uploadKeyEmoji();
        break;
    default:
        break;
    }
    // Leaving a custom page stops its animation; showing one arms it and fills its sprite slots.
    if (!m_activeScreen.isCustom()) {
        m_customLayout.reset();
        m_customLayoutCache.reset();
    }
    scheduleCustomAnimation();
    if (const std::optional<CustomScreen> shown = shownCustomScreen())
        uploadSpriteFrames(*shown);
    updateScreenDataSources();
}

PageIndicator DeviceManager::notePageDrawn(const QDateTime& now)
{
    // The tick sends no time patch for the minute just drawn.
    m_deviceClock.renderedMinute = DynamicUIDemo::minuteText(now);
    const QList<DeviceScreen> pages = swipePages();
    m_renderedPageCount = int(pages.size());
    const qsizetype position = pages.indexOf(m_activeScreen);
    return PageIndicator{int(pages.size()), position >= 0 ? std::optional<int>(int(position)) : std::nullopt};
}

QList<Frame> DeviceManager::pageFrames(const QDateTime& now, const QString& time, const PageIndicator& indicator)
{
    const QPointer<DeviceManager> weak(this);
    switch (m_activeScreen.kind()) {
    case DeviceScreen::Kind::home:
        return makePatchFrames(DynamicUIDemo::homePageOps(m_profiles.activeProfile(), time, indicator));
    case DeviceScreen::Kind::stocks: {
        QTimer::singleShot(0, this, [weak] {
            if (weak)
                weak->refreshStockQuotes();
        });
        return makePatchFrames(DynamicUIDemo::stocksPageOps(m_stocks.slotQuotes(), time, indicator));
    }
    case DeviceScreen::Kind::calculator: {
        QList<QList<PatchOp>> lists{DynamicUIDemo::calculatorPageOps(m_calculator, time, indicator)};
        const QList<PatchOp> keys = DynamicUIDemo::calculatorKeyOps();
        for (qsizetype from = 0; from < keys.size(); from += calculatorKeysPerList)
            lists.append(keys.mid(from, calculatorKeysPerList));
        return makePatchFrames(lists);
    }
    case DeviceScreen::Kind::nowPlaying: {
        NowPlayingState next = m_nowPlaying;
        const QString key = next.artworkKey();
        next.hasArtwork = m_backdropIdentity.has_value() && !key.isEmpty() && key != m_failedArtworkIdentity;
        setNowPlaying(next);
        QTimer::singleShot(0, this, [weak] {
            if (weak)
                weak->refreshNowPlaying();
        });
        return makePatchFrames(DynamicUIDemo::nowPlayingPageOps(m_nowPlaying, time, indicator));
    }
    case DeviceScreen::Kind::screensaver:
        // With a current photo, the photo under its overlay; without, the idle page.
        if (const std::optional<ScreensaverPhotoLayout> layout = screensaverLayout())
            return {ScreensaverPhotoLayout::makeNodes(takeNextSequence(), now, *layout)};
        return {DynamicUIDemo::idlePageFrame(takeNextSequence(), now, idleMinutes(m_screensaver.timeout))};
    case DeviceScreen::Kind::custom:
        return customPageFrames(now, time, indicator);
    }
    return {};
}

void DeviceManager::presentPage(const QList<Frame>& frames, std::uint16_t resetSeq)
{
    const QList<Frame> withReset = DynamicUIDemo::withRootReset(frames, resetSeq, m_deviceHoldsScreen);
    // Counted before sending: a send that fails on the way forgets the page again.
    if (m_serialPort && !m_deviceStalled)
        setDeviceHoldsScreen(true);
    sendDynamicUI(withReset);
    // The new page's children came after the card went with the old root: the card goes
    // back on top of them.
    if (m_toast)
        sendToast(*m_toast);
}

QList<Frame> DeviceManager::makePatchFrames(const QList<QList<PatchOp>>& lists)
{
    QList<Frame> frames;
    for (const QList<PatchOp>& list : lists) {
        const QList<QList<PatchOp>> batches =
            list.size() <= maxOpsPerPageFrame ? QList<QList<PatchOp>>{list} : DynamicUIDemo::batchPatchOps(list);
        for (const QList<PatchOp>& batch : batches)
            if (!batch.isEmpty())
                frames.append(Frame{takeNextSequence(), PatchPayload{batch}});
    }
    return frames;
}

void DeviceManager::trackPageNodes(const QList<Frame>& frames)
{
    constexpr std::uint32_t pageNode = 100;
    constexpr std::uint32_t toastNode = 9000;
    for (const Frame& frame : frames) {
        const auto* patch = frame.get<PatchPayload>();
        if (!patch)
            continue;
        for (const PatchOp& op : patch->ops) {
            if (const auto* create = std::get_if<PatchOp::Create>(&op.op)) {
                if (create->parentId == pageNode) {
                    ++m_pageChildCount;
                    if (create->id == toastNode)
                        m_toastIsOnDevice = true;
                }
            } else if (const auto* remove = std::get_if<PatchOp::Remove>(&op.op)) {
                if (remove->id == pageNode) {
                    m_pageChildCount = 0;
                    m_toastIsOnDevice = false;
                } else if (remove->id == toastNode && m_toastIsOnDevice) {
                    --m_pageChildCount;
                    m_toastIsOnDevice = false;
                }
            }
        }
    }
}

// --- Images --------------------------------------------------------------------------------

void DeviceManager::uploadKeyEmoji()
{
    const QList<MacroButton>& keys = m_profiles.activeProfile().buttons;
    for (int k = 0; k < keys.size(); ++k) {
        const MacroButton& key = keys[k];
        if (!key.emoji || key.emoji->isEmpty() || key.action.kind() == MacroAction::Kind::unassigned)
            continue;
        const QString& emoji = *key.emoji;
        if (const auto held = m_deviceEmojiBySlot.constFind(k); held != m_deviceEmojiBySlot.cend() && *held == emoji)
            continue;
        QByteArray bitmap = m_renderedEmoji.value(emoji);
        if (bitmap.isEmpty()) {
            const std::optional<QByteArray> rendered = EmojiIconRenderer::render(emoji);
            if (!rendered) {
                log(LogEntry::Direction::system, QStringLiteral("Could not render emoji ") + emoji +
                                                     QStringLiteral(" for key ") + QString::number(k + 1));
                continue;
            }
            bitmap = *rendered;
            m_renderedEmoji.insert(emoji, bitmap);
        }
        AssetProperties asset;
        asset.assetId = firstEmojiAsset + std::uint32_t(k);
        asset.width = EmojiIconRenderer::side;
        asset.height = EmojiIconRenderer::side;
        asset.chunkSize = emojiChunkBytes;
        asset.hasAlpha = true;
        if (!queueAssetUpload(bitmap, asset))
            continue;
        m_deviceEmojiBySlot.insert(k, emoji);
    }
}

void DeviceManager::uploadAsset(const QByteArray& pixels)
{
    AssetProperties asset;
    asset.assetId = fullScreenAsset;
    asset.width = screenWidth;
    asset.height = screenHeight;
    asset.chunkSize = fullScreenChunkBytes;
    asset.hasAlpha = false;
    queueAssetUpload(pixels, asset);
}

bool DeviceManager::queueAssetUpload(const QByteArray& pixels, const AssetProperties& asset)
{
    // The upload builder treats a buffer of the wrong size as a programming error; an image
    // from a damaged file must not end the program, so it is refused here with a log line.
    const qsizetype expected = qsizetype(asset.width) * asset.height * (asset.hasAlpha ? 3 : 2);
    if (pixels.size() != expected) {
        log(LogEntry::Direction::system, QStringLiteral("Skipped image asset %1: %2 bytes instead of %3")
                                             .arg(asset.assetId)
                                             .arg(pixels.size())
                                             .arg(expected));
        return false;
    }
    const qsizetype count = assetChunkCount(pixels.size(), asset.chunkSize) + 2;
    QList<std::uint16_t> seqs;
    seqs.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        seqs.append(takeNextSequence());
    return sendDynamicUI(makeAssetUpload(pixels, asset, seqs));
}

void DeviceManager::dropSupersededFrames()
{
    if (m_queuedFrames.isEmpty())
        return;
    // Whatever has not gone out belongs to the page being replaced: its patches, and images
    // the new page uploads again if it still shows them. An image cut short is forgotten.
    const bool imagesCut = std::any_of(m_queuedFrames.cbegin(), m_queuedFrames.cend(), [](const Frame& frame) {
        return frame.get<AssetBeginPayload>() || frame.get<AssetChunkPayload>() || frame.get<AssetEndPayload>();
    });
    m_queuedFrames.clear();
    emit queueChanged();
    if (imagesCut) {
        m_deviceEmojiBySlot.clear();
        m_deviceSpriteBySlot.clear();
        m_backdropIdentity.reset();
    }
}

// --- Seams of the other page services ------------------------------------------------------

void DeviceManager::scheduleHomeRefresh()
{
    // A burst of profile changes redraws the device once.
    m_homeRefreshTimer->start();
}

void DeviceManager::refreshHome()
{
    if (!m_state.isConnected() || m_activeScreen != DeviceScreen::home())
        return;
    const QList<MacroButton>& keys = m_profiles.activeProfile().buttons;
    const std::optional<QList<PatchOp>> edits =
        m_shownHomeKeys && m_deviceHoldsScreen && !m_deviceStalled && m_serialPort
            ? DynamicUIDemo::keyLabelEdits(*m_shownHomeKeys, keys)
            : std::nullopt;
    // A change that shows nothing new draws the page anew, as any other change does.
    if (!edits || edits->isEmpty()) {
        renderActivePage();
        return;
    }
    // Frames still queued carry the page these edits change: they go first, in order.
    m_shownHomeKeys = keys;
    if (!sendDynamicUI(makePatchFrames({*edits})))
        m_shownHomeKeys.reset();
}

void DeviceManager::refreshStockQuotes()
{
    if (!m_stocks.beginRefresh())
        return;
    const QStringList symbols = m_stocks.symbols();
    const qsizetype wanted =
        std::count_if(symbols.cbegin(), symbols.cend(), [](const QString& s) { return !s.isEmpty(); });
    const QPointer<DeviceManager> weak(this);
    m_stockService->fetchQuotes(symbols, [weak, wanted](const QList<StockQuote>& fetched,
                                                        const std::optional<QString>& firstFailure) {
        if (weak)
            weak->finishStockRefresh(fetched, wanted, firstFailure);
    });
}

void DeviceManager::finishStockRefresh(const QList<StockQuote>& fetched, qsizetype wanted,
                                       const std::optional<QString>& firstFailure)
{
    std::optional<QString> message;
    if (fetched.size() != wanted)
        message = StockStore::refreshFailedMessage +
                  (firstFailure ? QStringLiteral(" (") + *firstFailure + u')' : QString());
    const QDateTime now = m_clock.now();
    m_stocks.applyRefresh(fetched, message, now);
    // Without a connection there is nobody to tell: the next handshake draws the page anew.
    if (!m_state.isConnected() || m_activeScreen != DeviceScreen::stocks())
        return;
    // The whole page again, but not through renderActivePage: that would start the next refresh.
    dropSupersededFrames();
    const std::uint16_t resetSeq = takeNextSequence();
    const QString time = DynamicUIDemo::timeText(now);
    const PageIndicator indicator = notePageDrawn(now);
    presentPage(makePatchFrames(DynamicUIDemo::stocksPageOps(m_stocks.slotQuotes(), time, indicator)), resetSeq);
}
