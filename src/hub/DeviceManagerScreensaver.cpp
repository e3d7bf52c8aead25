// The screensaver's photos: the layout and fade of the shown photo, the advance on the
// tick, and the library edits of the settings views. Decoding, encoding and the files run
// on one worker thread; their results are applied here on the GUI thread.

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
    if (style == ScreensaverStyle::quietCorner)
        corner = quietestCorner(photo.data);
    else if (style == ScreensaverStyle::minimal)
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
    QByteArray frame = m_photoLibrary[m_photoIndex].data;
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
    if (index != m_photoIndex)
        m_photoIndex = index;
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

void DeviceManager::loadPhotoLibrary()
{
    // Hundreds of frames on a slow home folder must not hold up the first window: the library
    // is read on the photo worker, ahead of any edit, and applied like one.
    const ScreensaverPhotoService service = m_photoService;
    ++m_pendingPhotoWork;
    const auto loaded = QtConcurrent::run(m_photoWork.get(), [service] { return service.loadPhotos(); });
    continueOn(this, loaded, [this](const QList<ScreensaverPhotoService::SavedPhoto>& photos) {
        const bool wasEmpty = m_photoLibrary.isEmpty();
        if (photos != m_photoLibrary) {
            m_photoLibrary = photos;
            m_thumbnails.clear();
            m_photoCorner.reset();
            rebuildScreensaverPhotos();
        }
        if (m_activeScreen == DeviceScreen::screensaver() && wasEmpty && !m_photoLibrary.isEmpty())
            renderActivePage();
        finishPhotoWork();
    });
}

void DeviceManager::runPhotoImport(std::function<ScreensaverPhotoService::ImportOutcome()> operation)
{
    ScreensaverState cleared = m_screensaver;
    cleared.photoError.reset();
    setScreensaver(cleared);
    ++m_pendingPhotoWork;
    continueOn(this, QtConcurrent::run(m_photoWork.get(), std::move(operation)),
        [this](const ScreensaverPhotoService::ImportOutcome& outcome) {
            const bool wasEmpty = m_photoLibrary.isEmpty();
            ScreensaverState next = m_screensaver;
            // The photos that could be read are stored and listed even when others could not.
            m_photoLibrary.append(outcome.photos);
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
    const ScreensaverPhotoService service = m_photoService;
    runPhotoImport([service, paths] {
        QList<ScreensaverPhotoService::ImportItem> items;
        for (const QString& path : paths)
            items.append({QFileInfo(path).fileName(), ScreensaverPhotoService::readPhotoFile(path)});
        return service.importPhotos(items);
    });
}

void DeviceManager::importPhotoData(const QList<ScreensaverPhotoService::ImportItem>& items)
{
    const ScreensaverPhotoService service = m_photoService;
    runPhotoImport([service, items] { return service.importPhotos(items); });
}

void DeviceManager::removeScreensaverPhoto(const QUuid& id)
{
    const ScreensaverPhotoService service = m_photoService;
    ++m_pendingPhotoWork;
    continueOn(this, QtConcurrent::run(m_photoWork.get(), [service, id] { return service.removePhoto(id); }),
        [this, id](const std::optional<ScreensaverPhotoService::Failure>& failure) {
            const auto done = qScopeGuard([this] { finishPhotoWork(); });
            ScreensaverState next = m_screensaver;
            if (failure) {
                next.photoError = failure->errorDescription();
                setScreensaver(next);
                return;
            }
            std::optional<int> removed;
            for (int i = 0; i < m_photoLibrary.size(); ++i)
                if (m_photoLibrary[i].id == id) {
                    removed = i;
                    break;
                }
            m_photoLibrary.removeIf([&](const auto& photo) { return photo.id == id; });
            m_thumbnails.remove(id);
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
            if (!removed || *removed > m_photoIndex)
                return;
            const int shifted = *removed < m_photoIndex ? m_photoIndex - 1 : m_photoIndex;
            setPhotoIndex(std::clamp(shifted, 0, int(m_photoLibrary.size()) - 1));
            if (*removed == m_photoIndex && shows)
                showScreensaverPhoto(m_clock.now());
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
        return service.updateAdjustment(photo, adjustment);
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
        m_photoLibrary[index] = *outcome.photo;
        m_thumbnails.remove(id);
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
    if (const auto cached = m_thumbnails.constFind(id); cached != m_thumbnails.cend())
        return *cached;
    for (const auto& photo : m_photoLibrary) {
        if (photo.id != id)
            continue;
        std::optional<QImage> preview =
            PhotoImages::rgb565PreviewImage(photo.data, PhotoImages::frameWidth, PhotoImages::frameHeight);
        if (preview)
            m_thumbnails.insert(id, *preview);
        return preview;
    }
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
        if (auto preview = PhotoImages::rgb565PreviewImage(photo.data, PhotoImages::frameWidth, PhotoImages::frameHeight))
            return CropSource{*preview, false, photo.adjustment};
        return std::nullopt;
    });
    continueOn(this, read, [done = std::move(done)](const std::optional<CropSource>& source) { done(source); });
}
