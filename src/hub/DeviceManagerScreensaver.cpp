// The screensaver's photos: the layout and fade of the shown photo, the advance on the
// tick, and the library edits of the settings views. Decoding, encoding and the files run
// on one worker thread; their results are applied here on the GUI thread. The library holds
// no frames: only the shown photo's and the next one's are kept in memory, read ahead on the
// worker, so memory does not grow with the number of photos.

#include "hub/DeviceManager.h"

#include "pages/ScreensaverPhotoLayout.h"
#include "media/PhotoImages.h"
#include "platform/ContextContinuation.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QtConcurrent/QtConcurrentRun>

namespace {

double secondsFrom(const QDateTime& from, const QDateTime& to)
{
    return double(from.msecsTo(to)) / 1000.0;
}

ScreensaverPhotoService::SavedPhoto withoutFrame(ScreensaverPhotoService::SavedPhoto photo)
{
    photo.data = QByteArray();
    return photo;
}

}  // namespace

std::optional<ScreensaverPhotoLayout> DeviceManager::screensaverLayout()
{
    if (m_photoIndex < 0 || m_photoIndex >= m_photoLibrary.size())
        return std::nullopt;
    const ScreensaverPhotoService::SavedPhoto& photo = m_photoLibrary[m_photoIndex];
    const ScreensaverStyle style = m_screensaver.style;
    if (m_photoCorner && m_photoCorner->id == photo.id && m_photoCorner->style == style)
        return ScreensaverPhotoLayout{style, m_photoCorner->corner};
    ScreensaverCorner corner = ScreensaverCorner::bottomLeft;
    if (style == ScreensaverStyle::quietCorner) {
        const QByteArray frame = m_frames.value(photo.id);
        // Not known before the frame is read; the page is drawn again when it is.
        if (frame.isEmpty())
            return ScreensaverPhotoLayout{style, corner};
        corner = quietestCorner(frame);
    } else if (style == ScreensaverStyle::minimal)
        corner = ScreensaverCorner::bottomRight;
    m_photoCorner = PhotoCorner{photo.id, style, corner};
    return ScreensaverPhotoLayout{style, corner};
}

void DeviceManager::advanceScreensaverPhoto(const QDateTime& now)
{
    if (m_activeScreen != DeviceScreen::screensaver() || m_photoLibrary.size() < 2)
        return;
    if (secondsFrom(m_photoShownSince, now) < m_screensaver.photoInterval)
        return;
    setPhotoIndex((m_photoIndex + 1) % int(m_photoLibrary.size()));
    showScreensaverPhoto(now);
}

void DeviceManager::showScreensaverPhoto(const QDateTime& now)
{
    const std::optional<ScreensaverPhotoLayout> layout = screensaverLayout();
    if (!layout)
        return;
    QByteArray frame = m_frames.value(m_photoLibrary[m_photoIndex].id);
    if (frame.isEmpty()) {
        m_showWhenFrameArrives = true;
        keepFramesNearShown();
        return;
    }
    const ScreensaverPhotoLayout::FadeSpec fade = ScreensaverPhotoLayout::fadeSpec(*layout);
    if (fade.edge != ScreensaverPhotoLayout::FadeEdge::none)
        frame = ScreensaverPhotoLayout::fadedFrame(fade.edge, fade.rows, frame, fade.strength);
    // The photo takes the backdrop's place in the device's picture slot.
    m_backdropIdentity.reset();
    uploadAsset(frame);
    if (auto patch = ScreensaverPhotoLayout::overlayPatch(takeNextSequence(), now, *layout))
        sendDynamicUI({*patch});
    m_photoShownSince = now;
}

void DeviceManager::setPhotoIndex(int index)
{
    if (index == m_photoIndex)
        return;
    m_photoIndex = index;
    keepFramesNearShown();
}

QSet<QUuid> DeviceManager::framesWanted() const
{
    QSet<QUuid> wanted;
    const int count = int(m_photoLibrary.size());
    if (count == 0)
        return wanted;
    const int shown = std::clamp(m_photoIndex, 0, count - 1);
    wanted.insert(m_photoLibrary[shown].id);
    wanted.insert(m_photoLibrary[(shown + 1) % count].id);
    return wanted;
}

void DeviceManager::keepFramesNearShown()
{
    const QSet<QUuid> wanted = framesWanted();
    for (auto it = m_frames.begin(); it != m_frames.end();)
        it = wanted.contains(it.key()) ? std::next(it) : m_frames.erase(it);
    for (const QUuid& id : wanted) {
        if (m_frames.contains(id) || m_framesReading.contains(id))
            continue;
        m_framesReading.insert(id);
        ++m_pendingPhotoWork;
        const ScreensaverPhotoService service = m_photoService;
        // On the photo worker, after any edit of this photo that was asked for before.
        const auto read = QtConcurrent::run(m_photoWork.get(), [service, id] { return service.readFrame(id); });
        continueOn(this, read, [this, id](const std::optional<QByteArray>& frame) {
            m_framesReading.remove(id);
            if (frame && !m_frames.contains(id) && framesWanted().contains(id))
                m_frames.insert(id, *frame);
            const bool isShown = m_photoIndex >= 0 && m_photoIndex < m_photoLibrary.size() &&
                                 m_photoLibrary[m_photoIndex].id == id;
            if (m_showWhenFrameArrives && isShown && m_frames.contains(id)) {
                m_showWhenFrameArrives = false;
                // Drawn whole again: its corner may only now be known.
                if (m_activeScreen == DeviceScreen::screensaver())
                    renderActivePage();
            }
            finishPhotoWork();
        });
    }
}

void DeviceManager::keepFrames(const QList<ScreensaverPhotoService::SavedPhoto>& photos)
{
    const QSet<QUuid> wanted = framesWanted();
    for (const auto& photo : photos)
        if (wanted.contains(photo.id) && photo.data.size() == PhotoImages::frameBytes)
            m_frames.insert(photo.id, photo.data);
    keepFramesNearShown();
}

void DeviceManager::forgetThumbnail(const QUuid& id)
{
    m_thumbnails.remove(id);
    // One being made now is of the old frame; otherwise the list asks again now.
    if (m_thumbnailsMaking.contains(id))
        m_thumbnailsStale.insert(id);
    else
        emit screensaverThumbnailReady(id);
}

void DeviceManager::rebuildScreensaverPhotos()
{
    ScreensaverState next = m_screensaver;
    next.photos.clear();
    for (const auto& photo : m_photoLibrary)
        next.photos.append({photo.id, photo.displayName});
    setScreensaver(next);
    emit photoLibraryChanged();
}

void DeviceManager::finishPhotoWork()
{
    --m_pendingPhotoWork;
    emit photoWorkFinished();
}

// --- Library edits -------------------------------------------------------------------------

void DeviceManager::loadPhotoLibrary(bool atStart)
{
    // Hundreds of frames on a slow home folder must not hold up the first window: the library
    // is read on the photo worker, ahead of any edit, and applied like one.
    const ScreensaverPhotoService service = m_photoService;
    ++m_pendingPhotoWork;
    // The first two frames come with it: the screensaver starts with them.
    const auto loaded = QtConcurrent::run(m_photoWork.get(), [service, atStart] {
        // Photos removed in an earlier run can no longer be brought back.
        if (atStart)
            service.discardRemovedPhotos();
        ScreensaverPhotoService::LoadOutcome outcome = service.loadLibrary(false);
        for (int i = 0; i < std::min<qsizetype>(2, outcome.photos.size()); ++i)
            outcome.photos[i].data = service.readFrame(outcome.photos[i].id).value_or(QByteArray());
        return outcome;
    });
    continueOn(this, loaded, [this](const ScreensaverPhotoService::LoadOutcome& outcome) {
        QList<ScreensaverPhotoService::SavedPhoto> photos;
        for (const auto& photo : outcome.photos)
            photos.append(withoutFrame(photo));
        const bool wasEmpty = m_photoLibrary.isEmpty();
        // A list that cannot be read is not an empty one: the page says so.
        if (outcome.indexProblem) {
            ScreensaverState next = m_screensaver;
            next.photoError = outcome.indexProblem;
            setScreensaver(next);
        }
        if (photos != m_photoLibrary) {
            m_photoLibrary = photos;
            m_thumbnails.clear();
            m_thumbnailsStale.unite(m_thumbnailsMaking);
            m_frames.clear();
            m_photoCorner.reset();
            keepFrames(outcome.photos);
            rebuildScreensaverPhotos();
        }
        if (m_activeScreen == DeviceScreen::screensaver() && wasEmpty && !m_photoLibrary.isEmpty())
            renderActivePage();
        finishPhotoWork();
    });
}

void DeviceManager::runPhotoImport(QList<ScreensaverPhotoService::ImportItem> items)
{
    ScreensaverState cleared = m_screensaver;
    cleared.photoError.reset();
    setScreensaver(cleared);
    ++m_pendingPhotoWork;
    const ScreensaverPhotoService service = m_photoService;
    const std::shared_ptr<std::atomic_bool> stop = m_photoStop.raised;
    // Whatever goes wrong, an answer comes back: the page's progress ends and the user learns.
    const auto operation = [service, items = std::move(items), stop]() -> ScreensaverPhotoService::ImportOutcome {
        try {
            return service.importPhotos(items, [stop] { return stop->load(); });
        } catch (const std::bad_alloc&) {
            return {{}, ScreensaverPhotoService::Failure{{}, QStringLiteral("Not enough memory to import the photos"), {}}};
        } catch (...) {
            return {{}, ScreensaverPhotoService::Failure{{}, QStringLiteral("The photos could not be imported"), {}}};
        }
    };
    continueOn(this, QtConcurrent::run(m_photoWork.get(), operation),
        [this](const ScreensaverPhotoService::ImportOutcome& outcome) {
            const bool wasEmpty = m_photoLibrary.isEmpty();
            ScreensaverState next = m_screensaver;
            // The photos that could be read are stored and listed even when others could not.
            // They come without frames: those near the shown photo are read from their files.
            m_photoLibrary.append(outcome.photos);
            keepFramesNearShown();
            if (outcome.failure)
                next.photoError = outcome.failure->errorDescription();
            setScreensaver(next);
            rebuildScreensaverPhotos();
            if (m_activeScreen == DeviceScreen::screensaver() && wasEmpty && !m_photoLibrary.isEmpty())
                renderActivePage();
            finishPhotoWork();
        });
}

void DeviceManager::importPhotoFiles(const QStringList& paths)
{
    // Each file is read when its turn comes, not all before the first is decoded.
    QList<ScreensaverPhotoService::ImportItem> items;
    for (const QString& path : paths)
        items.append({QFileInfo(path).fileName(), std::nullopt, path});
    runPhotoImport(std::move(items));
}

void DeviceManager::importPhotoData(const QList<ScreensaverPhotoService::ImportItem>& items)
{
    runPhotoImport(items);
}

int DeviceManager::photoPlace(const QUuid& id) const
{
    for (int i = 0; i < m_photoLibrary.size(); ++i)
        if (m_photoLibrary[i].id == id)
            return i;
    return -1;
}

void DeviceManager::removeScreensaverPhoto(const QUuid& id)
{
    // Noted as it is listed now: an undo puts it back there.
    if (const int place = photoPlace(id); place >= 0) {
        std::optional<QUuid> before;
        if (place + 1 < m_photoLibrary.size())
            before = m_photoLibrary[place + 1].id;
        m_removedPhotos.insert(id, {m_photoLibrary[place], before});
    }
    const ScreensaverPhotoService service = m_photoService;
    ++m_pendingPhotoWork;
    continueOn(this, QtConcurrent::run(m_photoWork.get(), [service, id] { return service.removePhoto(id); }),
        [this, id](const std::optional<ScreensaverPhotoService::Failure>& failure) {
            // Last: the frames near the shown photo are read ahead once its place is settled.
            const auto done = qScopeGuard([this] {
                keepFramesNearShown();
                finishPhotoWork();
            });
            ScreensaverState next = m_screensaver;
            if (failure) {
                m_removedPhotos.remove(id);
                next.photoError = failure->errorDescription();
                setScreensaver(next);
                return;
            }
            const int removed = photoPlace(id);
            m_photoLibrary.removeIf([&](const auto& photo) { return photo.id == id; });
            forgetThumbnail(id);
            m_frames.remove(id);
            next.photoError.reset();
            setScreensaver(next);
            rebuildScreensaverPhotos();
            const bool shows = m_activeScreen == DeviceScreen::screensaver();
            if (m_photoLibrary.isEmpty()) {
                setPhotoIndex(0);
                if (shows)
                    renderActivePage();
                return;
            }
            if (removed < 0 || removed > m_photoIndex)
                return;
            const int shifted = removed < m_photoIndex ? m_photoIndex - 1 : m_photoIndex;
            setPhotoIndex(std::clamp(shifted, 0, int(m_photoLibrary.size()) - 1));
            if (removed == m_photoIndex && shows)
                showScreensaverPhoto(m_clock.now());
        });
}

void DeviceManager::restoreScreensaverPhoto(const QUuid& id)
{
    const auto found = m_removedPhotos.constFind(id);
    if (found == m_removedPhotos.cend())
        return;
    const RemovedPhoto removed = *found;
    m_removedPhotos.erase(found);
    const ScreensaverPhotoService::Entry entry{
        id, removed.photo.displayName,
        removed.photo.adjustment == PhotoAdjustment{} ? std::nullopt : std::optional(removed.photo.adjustment)};
    const ScreensaverPhotoService service = m_photoService;
    ++m_pendingPhotoWork;
    const auto restored = QtConcurrent::run(m_photoWork.get(), [service, entry, before = removed.before] {
        return service.restorePhoto(entry, before);
    });
    continueOn(this, restored, [this, removed](const std::optional<ScreensaverPhotoService::Failure>& failure) {
        const auto done = qScopeGuard([this] {
            keepFramesNearShown();
            finishPhotoWork();
        });
        ScreensaverState next = m_screensaver;
        // Still listed: its removal failed, and the library never lost it.
        if (photoPlace(removed.photo.id) >= 0)
            return;
        if (failure) {
            next.photoError = failure->errorDescription();
            setScreensaver(next);
            return;
        }
        const bool wasEmpty = m_photoLibrary.isEmpty();
        const int found = removed.before ? photoPlace(*removed.before) : -1;
        const int place = found >= 0 ? found : int(m_photoLibrary.size());
        m_photoLibrary.insert(place, removed.photo);
        // The photo on the device stays shown.
        if (!wasEmpty && place <= m_photoIndex)
            setPhotoIndex(m_photoIndex + 1);
        next.photoError.reset();
        setScreensaver(next);
        rebuildScreensaverPhotos();
        if (m_activeScreen == DeviceScreen::screensaver() && wasEmpty)
            renderActivePage();
    });
}

void DeviceManager::discardRemovedScreensaverPhoto(const QUuid& id)
{
    m_removedPhotos.remove(id);
    const ScreensaverPhotoService service = m_photoService;
    ++m_pendingPhotoWork;
    continueOn(this, QtConcurrent::run(m_photoWork.get(), [service, id] { service.discardRemovedPhoto(id); }),
               [this] { finishPhotoWork(); });
}

void DeviceManager::moveScreensaverPhoto(const QUuid& id, int offset)
{
    const int from = photoPlace(id);
    if (from < 0)
        return;
    const int to = std::clamp(from + offset, 0, int(m_photoLibrary.size()) - 1);
    if (to == from)
        return;
    // The list follows at once, so a key held down moves the photo step by step; the index is
    // written after, in the same order as the other edits.
    const QUuid shown = m_photoLibrary.value(m_photoIndex).id;
    m_photoLibrary.move(from, to);
    if (const int place = photoPlace(shown); place >= 0)
        setPhotoIndex(place);
    keepFramesNearShown();
    rebuildScreensaverPhotos();
    QList<QUuid> order;
    order.reserve(m_photoLibrary.size());
    for (const auto& photo : m_photoLibrary)
        order.append(photo.id);
    const ScreensaverPhotoService service = m_photoService;
    ++m_pendingPhotoWork;
    continueOn(this, QtConcurrent::run(m_photoWork.get(), [service, order] { return service.reorderPhotos(order); }),
        [this](const std::optional<ScreensaverPhotoService::Failure>& failure) {
            const auto done = qScopeGuard([this] { finishPhotoWork(); });
            if (!failure)
                return;
            ScreensaverState next = m_screensaver;
            next.photoError = failure->errorDescription();
            setScreensaver(next);
            // The list shows the stored order again.
            loadPhotoLibrary(false);
        });
}

void DeviceManager::adjustScreensaverPhoto(const QUuid& id, const PhotoAdjustment& adjustment)
{
    const auto found = std::find_if(m_photoLibrary.cbegin(), m_photoLibrary.cend(),
                                    [&](const auto& photo) { return photo.id == id; });
    if (found == m_photoLibrary.cend() || found->adjustment == adjustment)
        return;
    const ScreensaverPhotoService service = m_photoService;
    const ScreensaverPhotoService::SavedPhoto photo = *found;
    ++m_pendingPhotoWork;
    const auto updated = QtConcurrent::run(m_photoWork.get(), [service, photo, adjustment] {
        ScreensaverPhotoService::SavedPhoto framed = photo;
        framed.data = service.readFrame(photo.id).value_or(QByteArray());
        return service.updateAdjustment(framed, adjustment);
    });
    continueOn(this, updated, [this, id](const ScreensaverPhotoService::UpdateOutcome& outcome) {
        const auto done = qScopeGuard([this] { finishPhotoWork(); });
        ScreensaverState next = m_screensaver;
        if (outcome.failure || !outcome.photo) {
            next.photoError = outcome.failure ? outcome.failure->errorDescription() : QString();
            setScreensaver(next);
            return;
        }
        int index = -1;
        for (int i = 0; i < m_photoLibrary.size(); ++i)
            if (m_photoLibrary[i].id == id) {
                index = i;
                break;
            }
        // Removed while the new frame was made: its files are gone with it.
        if (index < 0)
            return;
        m_photoLibrary[index] = withoutFrame(*outcome.photo);
        m_frames.remove(id);
        keepFrames({*outcome.photo});
        // Last: the list asks for the new thumbnail at once, made from the frame kept here.
        forgetThumbnail(id);
        // A new frame may have another quiet corner.
        m_photoCorner.reset();
        next.photoError.reset();
        setScreensaver(next);
        emit photoLibraryChanged();
        if (m_activeScreen == DeviceScreen::screensaver() && index == m_photoIndex)
            showScreensaverPhoto(m_clock.now());
    });
}

std::optional<QImage> DeviceManager::screensaverThumbnail(const QUuid& id)
{
    if (const QImage* cached = m_thumbnails.object(id))
        return *cached;
    if (m_thumbnailsMaking.contains(id))
        return std::nullopt;
    const auto found = std::find_if(m_photoLibrary.cbegin(), m_photoLibrary.cend(),
                                    [&](const auto& photo) { return photo.id == id; });
    if (found == m_photoLibrary.cend())
        return std::nullopt;
    m_thumbnailsMaking.insert(id);
    const ScreensaverPhotoService service = m_photoService;
    const QByteArray inMemory = m_frames.value(id);
    const auto make = [service, id, inMemory]() -> std::optional<QImage> {
        const std::optional<QByteArray> frame = inMemory.isEmpty() ? service.readFrame(id) : inMemory;
        return frame ? PhotoImages::frameThumbnail(*frame, thumbnailSize) : std::nullopt;
    };
    m_thumbnailWork.run(this, make, [this, id](const std::optional<QImage>& thumbnail) {
        m_thumbnailsMaking.remove(id);
        const bool stale = m_thumbnailsStale.remove(id);
        const bool listed = std::any_of(m_photoLibrary.cbegin(), m_photoLibrary.cend(),
                                        [&](const auto& photo) { return photo.id == id; });
        if (!listed)
            return;
        // Framed again meanwhile: the list asks again and gets one of the new frame.
        if (!stale && thumbnail)
            m_thumbnails.insert(id, new QImage(*thumbnail), thumbnail->sizeInBytes());
        if (stale || thumbnail)
            emit screensaverThumbnailReady(id);
    });
    return std::nullopt;
}

void DeviceManager::cropSourceImage(const QUuid& id, std::function<void(std::optional<CropSource>)> done)
{
    const auto found = std::find_if(m_photoLibrary.cbegin(), m_photoLibrary.cend(),
                                    [&](const auto& photo) { return photo.id == id; });
    if (found == m_photoLibrary.cend()) {
        done(std::nullopt);
        return;
    }
    const ScreensaverPhotoService service = m_photoService;
    const ScreensaverPhotoService::SavedPhoto photo = *found;
    const auto read = QtConcurrent::run(m_photoWork.get(), [service, photo]() -> std::optional<CropSource> {
        if (const auto jpeg = ScreensaverPhotoService::readPhotoFile(service.sourcePath(photo.id)))
            if (auto image = PhotoImages::downsampledImage(*jpeg, ScreensaverPhotoService::sourceMaxPixels))
                return CropSource{*image, true, photo.adjustment};
        if (const auto frame = service.readFrame(photo.id))
            if (auto preview = PhotoImages::rgb565PreviewImage(*frame, PhotoImages::frameWidth, PhotoImages::frameHeight))
                return CropSource{*preview, false, photo.adjustment};
        return std::nullopt;
    });
    continueOn(this, read, [done = std::move(done)](const std::optional<CropSource>& source) { done(source); });
}
