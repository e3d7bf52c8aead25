// The shown custom page between full redraws: its values pushed as small edits, its animation
// stepped on time, its sprite frames put into the device's image slots, and exactly its data
// sources running.

#include "hub/DeviceManager.h"

#include "pages/PatchBatching.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenDataSources.h"

#include <QDir>
#include <QTimer>

#include <cmath>

using namespace TarvUSB;

namespace {

constexpr int spriteSlots = 8;
constexpr int spriteChunkBytes = 4096;

double secondsSince(const QDateTime& since, const QDateTime& now)
{
    return double(since.msecsTo(now)) / 1000.0;
}

}  // namespace

std::optional<CustomScreen> DeviceManager::shownCustomScreen() const
{
    if (!m_state.isConnected() || !m_activeScreen.isCustom())
        return std::nullopt;
    std::optional<CustomScreen> screen = m_customScreens.screenWithID(m_activeScreen.customID());
    if (!screen || !m_customScreens.trust().isScreenApproved(*screen))
        return std::nullopt;
    return screen;
}

QList<Frame> DeviceManager::customPageFrames(const QDateTime& now, const QString& time, const PageIndicator& indicator)
{
    const std::optional<CustomScreen> screen = m_customScreens.screenWithID(m_activeScreen.customID());
    if (!screen)
        return {};
    const DisplayValues values = m_screenData->valuesForScreen(screen->id);
    const QList<PatchOp> ops = CustomScreenRenderer::renderPage(*screen, values, indicator, time);
    m_customLayoutCache.emplace(screen->widgets, screen->conditions);
    m_customLayout = m_customLayoutCache->layout(values, 0);
    m_customShownAt = now;
    // Always cut by size: a page of large texts fills a frame with far fewer than 64 edits.
    return makePatchFrames(DynamicUIDemo::batchPatchOps(ops));
}

bool DeviceManager::isCustomUpdatePending() const
{
    return m_customUpdateTimer && m_customUpdateTimer->isActive();
}

bool DeviceManager::isCustomAnimationPending() const
{
    return m_customAnimationTimer && m_customAnimationTimer->isActive();
}

int DeviceManager::animationSleepMs(double delay)
{
    // Truncated, then 5 ms past the boundary, so the step sees the new frame.
    return int(std::trunc(delay * 1000.0)) + 5;
}

void DeviceManager::pushCustomValues()
{
    const std::optional<CustomScreen> screen = shownCustomScreen();
    if (!screen || !m_customLayout)
        return;
    const DisplayValues values = m_screenData->valuesForScreen(screen->id);
    // A file changed since the page was drawn is read afresh.
    if (!m_customLayoutCache || !m_customLayoutCache->isFor(*screen))
        m_customLayoutCache.emplace(screen->widgets, screen->conditions);
    CustomScreenRenderer::Layout next =
        m_customLayoutCache->layout(values, secondsSince(m_customShownAt, m_clock.now()));
    const QList<PatchOp> ops = CustomScreenRenderer::updateOps(*m_customLayout, next);
    m_customLayout = next;
    if (ops.isEmpty())
        return;
    sendDynamicUI(makePatchFrames(DynamicUIDemo::batchPatchOps(ops)));
}

void DeviceManager::scheduleCustomAnimation()
{
    // The timer is made with the page loops, after the stores' first reports.
    if (!m_customAnimationTimer)
        return;
    m_customAnimationTimer->stop();
    const std::optional<CustomScreen> screen = shownCustomScreen();
    if (!screen)
        return;
    const std::optional<double> delay = screen->nextFrameChange(secondsSince(m_customShownAt, m_clock.now()));
    if (!delay)
        return;
    m_customAnimationTimer->start(animationSleepMs(*delay));
}

namespace {

// What a sprite widget of the page wants in its slots: the sheet as the store's last reading of
// the folder found it, so that drawing a page never waits on the disk.
QList<SpriteSheet::FrameKey> spriteKeys(const CustomScreenStore& store, const CustomScreen::SpriteWidget& sprite)
{
    const QDateTime date = store.sheetDates().value(sprite.sheet);
    const std::optional<QDateTime> modified = date.isValid() ? std::optional(date) : std::nullopt;
    QList<SpriteSheet::FrameKey> keys;
    for (int c = 0; c < int(sprite.count); ++c)
        keys.append(SpriteSheet::FrameKey{sprite.sheet, c, modified});
    return keys;
}

}  // namespace

void DeviceManager::uploadSpriteFrames(const CustomScreen& screen)
{
    const QDir folder(m_customScreens.folder());
    int firstSlot = 0;
    std::optional<std::pair<SpriteSheetDecodes::Sheet, QString>> undecoded;
    for (const CustomScreen::SpriteWidget& sprite : screen.spriteWidgets()) {
        const int count = int(sprite.count);
        const int slotBase = firstSlot;
        // Slots follow the page order whether or not this widget is sent, so they match the
        // asset ids the page's image nodes show.
        firstSlot += count;
        if (slotBase + count > spriteSlots)
            continue;
        const QList<SpriteSheet::FrameKey> keys = spriteKeys(m_customScreens, sprite);
        bool held = true;
        for (int c = 0; c < count; ++c) {
            const auto slot = m_deviceSpriteBySlot.constFind(slotBase + c);
            held = held && slot != m_deviceSpriteBySlot.cend() && *slot == keys[c];
        }
        if (held)
            continue;
        const SpriteSheetDecodes::Sheet sheet{folder.filePath(sprite.sheet), keys.first().modified, count};
        if (const SpriteSheetDecodes::Frames* frames = m_spriteSheets.decoded(sheet)) {
            if (*frames)
                sendSpriteFrames(slotBase, keys, **frames);
        } else if (!undecoded) {
            undecoded.emplace(sheet, sprite.sheet);
        }
    }
    // Decoding a large sheet takes long enough to stall touches and the heartbeat, and a sheet
    // comes from outside: it is decoded on a worker of its own, one at a time. Once it is done,
    // the page then shown takes its frames and asks for its next sheet.
    if (undecoded) {
        m_spriteSheets.decode(this, undecoded->first,
                              [this, name = undecoded->second, screenID = screen.id](
                                  const SpriteSheetDecodes::Frames& frames) {
                                  if (!frames)
                                      log(LogEntry::Direction::system, QStringLiteral("Could not read sprite sheet ") +
                                                                           name + QStringLiteral(" for ") + screenID);
                                  if (const std::optional<CustomScreen> shown = shownCustomScreen())
                                      uploadSpriteFrames(*shown);
                              });
    }
}

void DeviceManager::sendSpriteFrames(int firstSlot, const QList<SpriteSheet::FrameKey>& keys,
                                     const QList<QByteArray>& frames)
{
    for (int c = 0; c < keys.size(); ++c) {
        AssetProperties asset;
        asset.assetId = CustomScreenRenderer::firstSpriteAsset + std::uint32_t(firstSlot + c);
        asset.width = SpriteSheet::frameWidth;
        asset.height = SpriteSheet::frameHeight;
        asset.chunkSize = spriteChunkBytes;
        asset.hasAlpha = true;
        // A frame that did not go out is not recorded, so the next render sends it.
        if (queueAssetUpload(frames.at(c), asset))
            m_deviceSpriteBySlot.insert(firstSlot + c, keys[c]);
    }
    log(LogEntry::Direction::system, QStringLiteral("Sent ") + QString::number(keys.size()) +
                                         QStringLiteral(" sprite frames from ") + keys.first().file);
}

void DeviceManager::updateScreenDataSources()
{
    if (const std::optional<CustomScreen> screen = shownCustomScreen())
        m_screenData->startSources(*screen);
    else
        m_screenData->stopSources();
}
