// The photo screensaver end to end against the fake device, on the tick's date: entering
// after the idle time, the advance, the minute overlay, the wake and library edits while
// the screensaver shows.

#include "HubFixture.h"
#include "media/PhotoImages.h"
#include "pages/ClockText.h"
#include "pages/ScreensaverPhotoLayout.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <sys/stat.h>

using namespace TarvUSB;

namespace {

QByteArray jpegOf(QColor color)
{
    QImage image(600, 400, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

}  // namespace

class ScreensaverPhotosTest : public HubTest {
protected:
    // The heartbeat runs on its own clock, whatever the test does.
    qsizetype framesBesidesPings() const { return device.received().size() - count<TarvUSB::PingPayload>(); }

    QByteArray shownAsset() const
    {
        const auto found = device.assets().constFind(2);
        return found != device.assets().cend() && found->complete ? found->data : QByteArray();
    }

    QByteArray faded(const ScreensaverPhotoService::SavedPhoto& photo, ScreensaverPhotoLayout layout) const
    {
        const auto fade = ScreensaverPhotoLayout::fadeSpec(layout);
        // The hub keeps frames in their files, not in its library.
        return ScreensaverPhotoLayout::fadedFrame(fade.edge, fade.rows, photos.readFrame(photo.id).value_or(QByteArray()),
                                                  fade.strength);
    }

    QString labelText(std::uint32_t id) const
    {
        const auto* node = device.widgets().find(id);
        return node ? node->text : QString();
    }
};

TEST_F(ScreensaverPhotosTest, EntersAdvancesKeepsTheClockAndWakesOnTheTicksDate)
{
    ASSERT_EQ(photos.importPhotos({{QStringLiteral("red.jpg"), jpegOf(Qt::red)},
                                   {QStringLiteral("blue.jpg"), jpegOf(Qt::blue)}})
                  .photos.size(),
              2);
    connectAndGreet();
    ASSERT_EQ(hub->photoLibrary().size(), 2);
    ASSERT_TRUE(hub->setScreensaverTimeout(5));
    hub->showScreen(DeviceScreen::calculator());
    // The hub's clock follows the ticks, as it does in the running program.
    const QDateTime start = hub->screensaver().lastInteraction;
    const auto tickAt = [&](int seconds) {
        advance(std::chrono::milliseconds(wallNow.msecsTo(start.addSecs(seconds))));
        hub->tick(wallNow);
    };
    const ScreensaverPhotoLayout corner{ScreensaverStyle::corner, ScreensaverCorner::bottomLeft};

    tickAt(5);
    ASSERT_EQ(hub->activeScreen(), DeviceScreen::screensaver());
    waitForQuiet();
    EXPECT_EQ(shownAsset(), faded(hub->photoLibrary()[0], corner));
    EXPECT_NE(device.widgets().find(706), nullptr);
    EXPECT_EQ(labelText(701), DynamicUIDemo::timeText(start.addSecs(5)));

    // The photo stays for its interval, then the next one goes out on the first tick after.
    tickAt(64);
    EXPECT_EQ(hub->photoIndex(), 0);
    tickAt(65);
    EXPECT_EQ(hub->photoIndex(), 1);
    waitForQuiet();
    EXPECT_EQ(shownAsset(), faded(hub->photoLibrary()[1], corner));
    // A new minute re-texts the overlay between photos.
    tickAt(124);
    waitForQuiet();
    EXPECT_EQ(hub->photoIndex(), 1);
    EXPECT_EQ(labelText(701), DynamicUIDemo::timeText(start.addSecs(124)));

    device.tap(240, 160);
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == DeviceScreen::calculator(); }));
    EXPECT_EQ(hub->photoIndex(), 1) << "the next visit resumes with the same photo";
}

TEST_F(ScreensaverPhotosTest, EditsWhileShownReachTheDevice)
{
    connectAndGreet();
    hub->setScreensaverStyle(ScreensaverStyle::quietCorner);
    hub->enterScreensaver();
    waitForQuiet();
    EXPECT_NE(device.widgets().find(704), nullptr) << "the idle page without photos";

    // The first import replaces the idle page at once and names what it could not read.
    const QString good = dir.filePath(QStringLiteral("white.jpg"));
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(jpegOf(Qt::white));
    file.close();
    hub->importPhotoFiles({good, dir.filePath(QStringLiteral("missing.jpg"))});
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    EXPECT_EQ(hub->screensaver().photoError, QStringLiteral("Could not read missing.jpg"));
    ASSERT_EQ(hub->photoLibrary().size(), 1);
    EXPECT_EQ(hub->screensaver().photos.size(), 1);
    waitForQuiet();
    EXPECT_EQ(device.widgets().find(704), nullptr);
    EXPECT_EQ(shownAsset(), faded(hub->photoLibrary()[0], *hub->screensaverLayout()));

    // A second import changes nothing on the device until the next advance.
    const qsizetype before = framesBesidesPings();
    hub->importPhotoData({{QStringLiteral("black.jpg"), jpegOf(Qt::black)}});
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    EXPECT_FALSE(hub->screensaver().photoError);
    EXPECT_EQ(hub->photoLibrary().size(), 2);
    roundTrip();
    EXPECT_EQ(framesBesidesPings(), before);

    // The crop editor opens the kept source, upright and at most 2,048 pixels.
    const QUuid shown = hub->photoLibrary()[0].id;
    std::optional<DeviceManager::CropSource> source;
    bool answered = false;
    hub->cropSourceImage(shown, [&](std::optional<DeviceManager::CropSource> s) {
        source = std::move(s);
        answered = true;
    });
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->fromSourceJPEG);
    EXPECT_EQ(source->image.size(), QSize(600, 400));

    // A new crop of the shown photo is sent again; an unchanged one does nothing.
    hub->adjustScreensaverPhoto(shown, hub->photoLibrary()[0].adjustment);
    EXPECT_EQ(hub->pendingPhotoWork(), 0);
    hub->adjustScreensaverPhoto(shown, PhotoAdjustment{2});
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    EXPECT_EQ(hub->photoLibrary()[0].adjustment, PhotoAdjustment{2});
    waitForQuiet();
    EXPECT_EQ(shownAsset(), faded(hub->photoLibrary()[0], *hub->screensaverLayout()));

    // Removing the shown photo puts the next one on the device; removing the last brings
    // back the idle page.
    hub->removeScreensaverPhoto(shown);
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    ASSERT_EQ(hub->photoLibrary().size(), 1);
    waitForQuiet();
    EXPECT_EQ(shownAsset(), faded(hub->photoLibrary()[0], *hub->screensaverLayout()));
    hub->removeScreensaverPhoto(hub->photoLibrary()[0].id);
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    waitForQuiet();
    EXPECT_NE(device.widgets().find(704), nullptr);
    EXPECT_TRUE(photos.loadPhotos().isEmpty());
}

// Undoing a removal lists the photo where it stood, and moving a photo changes the order on
// disk: neither changes the photo on the device, whose place follows it. Photos still kept
// when the program ends are let go at the next start.
TEST_F(ScreensaverPhotosTest, RestoredAndMovedPhotosLeaveTheShownPhotoOnTheDevice)
{
    const auto imported = photos.importPhotos({{QStringLiteral("red.jpg"), jpegOf(Qt::red)},
                                               {QStringLiteral("blue.jpg"), jpegOf(Qt::blue)},
                                               {QStringLiteral("green.jpg"), jpegOf(Qt::green)}});
    ASSERT_EQ(imported.photos.size(), 3);
    const QUuid red = imported.photos[0].id;
    const QUuid blue = imported.photos[1].id;
    const QUuid green = imported.photos[2].id;
    connectAndGreet();
    hub->enterScreensaver();
    waitForQuiet();
    const auto order = [&] {
        QList<QUuid> ids;
        for (const auto& photo : hub->photoLibrary())
            ids.append(photo.id);
        return ids;
    };
    const auto stored = [&] {
        QList<QUuid> ids;
        for (const auto& entry : photos.readIndex())
            ids.append(entry.id);
        return ids;
    };
    const auto settle = [&] {
        ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
        waitForQuiet();
    };
    const QByteArray shown = shownAsset();
    ASSERT_EQ(shown, faded(hub->photoLibrary()[0], *hub->screensaverLayout()));

    hub->removeScreensaverPhoto(blue);
    settle();
    hub->restoreScreensaverPhoto(blue);
    settle();
    EXPECT_EQ(order(), (QList<QUuid>{red, blue, green}));
    EXPECT_EQ(stored(), order());

    // The shown photo moves down: it stays shown at its new place.
    const qsizetype sent = framesBesidesPings();
    hub->moveScreensaverPhoto(red, 1);
    EXPECT_EQ(order(), (QList<QUuid>{blue, red, green}));
    EXPECT_EQ(hub->photoIndex(), 1);
    settle();
    EXPECT_EQ(stored(), order());
    hub->moveScreensaverPhoto(green, -5);
    EXPECT_EQ(order(), (QList<QUuid>{green, blue, red})) << "no further than the top";
    EXPECT_EQ(hub->photoIndex(), 2);
    settle();
    EXPECT_EQ(stored(), order());
    EXPECT_EQ(framesBesidesPings(), sent);

    // The shown photo removed: the next one shows; restored before it, the next one stays.
    hub->removeScreensaverPhoto(blue);
    hub->restoreScreensaverPhoto(blue);
    settle();
    EXPECT_EQ(order(), (QList<QUuid>{green, blue, red}));
    EXPECT_EQ(hub->photoLibrary()[hub->photoIndex()].id, red);
    EXPECT_EQ(shownAsset(), shown);

    hub->moveScreensaverPhoto(red, -1);
    settle();
    hub->removeScreensaverPhoto(red);
    settle();
    const QByteArray next = shownAsset();
    EXPECT_NE(next, shown);
    hub->restoreScreensaverPhoto(red);
    settle();
    EXPECT_EQ(order(), (QList<QUuid>{green, red, blue}));
    EXPECT_EQ(hub->photoLibrary()[hub->photoIndex()].id, blue);
    EXPECT_EQ(shownAsset(), next) << "what shows now stays";

    hub->removeScreensaverPhoto(green);
    settle();
    EXPECT_FALSE(QDir(photos.removedFolder()).entryList(QDir::Files).isEmpty());
    hub.reset();
    makeHub();
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    EXPECT_TRUE(QDir(photos.removedFolder()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(order(), (QList<QUuid>{red, blue}));
}

TEST_F(ScreensaverPhotosTest, ThumbnailsKeptStayWithinTheirBytesAndTheLeastRecentlyAskedForLeaveFirst)
{
    const auto imported = photos.importPhotos({{QStringLiteral("red.jpg"), jpegOf(Qt::red)},
                                               {QStringLiteral("blue.jpg"), jpegOf(Qt::blue)},
                                               {QStringLiteral("green.jpg"), jpegOf(Qt::green)}});
    ASSERT_EQ(imported.photos.size(), 3);
    // Room for two thumbnails of 16-bit pixels, not three.
    const qsizetype one = qsizetype(DeviceManager::thumbnailSize.width()) * DeviceManager::thumbnailSize.height() * 2;
    thumbnailCacheBytes = one * 5 / 2;
    makeHub();
    const auto made = [&](const QUuid& id) {
        return waitUntil([&] { return hub->screensaverThumbnail(id).has_value(); });
    };
    const QUuid red = imported.photos[0].id;
    const QUuid blue = imported.photos[1].id;
    const QUuid green = imported.photos[2].id;
    ASSERT_TRUE(made(red));
    ASSERT_TRUE(made(blue));
    // Asked for again, red is kept over blue when green comes.
    ASSERT_TRUE(hub->screensaverThumbnail(red));
    ASSERT_TRUE(made(green));
    EXPECT_TRUE(hub->screensaverThumbnail(red));
    EXPECT_TRUE(hub->screensaverThumbnail(green));
    EXPECT_FALSE(hub->screensaverThumbnail(blue));
    // Asked for again, it is made again.
    EXPECT_TRUE(made(blue));
}

TEST_F(ScreensaverPhotosTest, FilesThatAreNoPhotoFilesFailAtOnce)
{
    // A pipe would wait for a writer, a device never ends, and a file past the cap would be
    // read whole: each is named as unreadable at once, and the next import goes through.
    makeHub();
    const QString pipe = dir.filePath(QStringLiteral("pipe.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero.jpg"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    QFile huge(dir.filePath(QStringLiteral("huge.jpg")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(ScreensaverPhotoService::maxPhotoFileBytes + 1));  // sparse: costs no disk
    huge.close();

    hub->importPhotoFiles({pipe, zero, huge.fileName()});
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    EXPECT_EQ(hub->screensaver().photoError, QStringLiteral("Could not read pipe.jpg, zero.jpg, huge.jpg"));
    hub->importPhotoData({{QStringLiteral("white.jpg"), jpegOf(Qt::white)}});
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    ASSERT_EQ(hub->photoLibrary().size(), 1);
    EXPECT_EQ(hub->photoLibrary()[0].displayName, QStringLiteral("white.jpg"));
}

TEST_F(ScreensaverPhotosTest, AnIndexThatCannotBeReadOrWrittenIsToldAndLeavesNoFiles)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("photos.json")));
    makeHub();
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    const QString notice = hub->screensaver().photoError.value_or(QString());
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Could not read the photo list"))) << notice.toStdString();

    hub->importPhotoData({{QStringLiteral("white.jpg"), jpegOf(Qt::white)}});
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    const QString error = hub->screensaver().photoError.value_or(QString());
    EXPECT_TRUE(error.endsWith(QStringLiteral("photos.json: it is not a file"))) << error.toStdString();
    EXPECT_TRUE(hub->photoLibrary().isEmpty());
    EXPECT_TRUE(QDir(photos.photosFolder()).entryList(QDir::Files).isEmpty());
}
