// The photo adjustment and image helpers, and the photo library on real files in a
// temporary folder.

#include "media/PhotoImages.h"
#include "media/ScreensaverPhotoService.h"
#include "support/HeifSample.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using PhotoImages::frameBytes;
using Rect = PhotoAdjustment::Rect;

namespace {

QByteArray jpegOf(const QImage& image, QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setTransformation(transformation);
    writer.write(image);
    return bytes;
}

QImage filled(int w, int h, QColor color)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Left half one colour, right half another, so a turn or a mirror shows.
QImage halves(int w, int h, QColor left, QColor right)
{
    QImage image = filled(w, h, right);
    QPainter(&image).fillRect(0, 0, w / 2, h, left);
    return image;
}

bool near(QRgb pixel, QColor color)
{
    return std::abs(qRed(pixel) - color.red()) < 40 && std::abs(qGreen(pixel) - color.green()) < 40 &&
           std::abs(qBlue(pixel) - color.blue()) < 40;
}

quint16 pixelAt(const QByteArray& frame, int x, int y)
{
    const auto* p = reinterpret_cast<const uchar*>(frame.constData()) + (y * 480 + x) * 2;
    return quint16(p[0] | (p[1] << 8));
}

quint32 bigEndianAt(const QByteArray& bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | uchar(bytes[at + i]);
    return value;
}

void putBigEndian(QByteArray& bytes, qsizetype at, quint32 value, int size)
{
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[at + i] = char(value & 0xFF);
}

// libheif writes a small picture as a grid of one 64-pixel tile cut to the picture's size: here
// the grid names that tile rows x columns times, for a picture that stays as small.
QByteArray withTileRepeated(QByteArray heic, int rows, int columns)
{
    const qsizetype idat = heic.indexOf("idat") + 4;
    heic[idat + 2] = char(rows - 1);
    heic[idat + 3] = char(columns - 1);
    // The grid's references: from the grid to its tile, once per cell.
    const qsizetype iref = heic.indexOf("iref") - 4;
    const quint32 irefSize = bigEndianAt(heic, iref, 4);
    const qsizetype dimg = heic.indexOf("dimg", iref) + 4;
    const QByteArray from = heic.sliced(dimg, 2);
    const QByteArray tile = heic.sliced(dimg + 4, 2);
    QByteArray references = QByteArray(4, '\0') + "dimg" + from + QByteArray(2, '\0') + tile.repeated(rows * columns);
    putBigEndian(references, 0, quint32(references.size()), 4);
    putBigEndian(references, 10, quint32(rows * columns), 2);
    QByteArray box = QByteArray(4, '\0') + "iref" + QByteArray(4, '\0') + references;
    putBigEndian(box, 0, quint32(box.size()), 4);
    heic.replace(iref, irefSize, box);
    const qint64 grown = box.size() - qint64(irefSize);
    const qsizetype meta = heic.indexOf("meta") - 4;
    putBigEndian(heic, meta, quint32(bigEndianAt(heic, meta, 4) + grown), 4);
    // The data behind the metadata moved: the locations of the items stored there follow.
    const qsizetype iloc = heic.indexOf("iloc") + 4;
    const int version = uchar(heic[iloc]);
    const int offsetSize = uchar(heic[iloc + 4]) >> 4;
    const int lengthSize = uchar(heic[iloc + 4]) & 0x0F;
    const int baseSize = uchar(heic[iloc + 5]) >> 4;
    const int indexSize = version >= 1 ? uchar(heic[iloc + 5]) & 0x0F : 0;
    qsizetype at = iloc + 8;
    for (quint32 item = bigEndianAt(heic, iloc + 6, 2); item > 0; --item) {
        at += 2;
        const bool inFile = version == 0 || (bigEndianAt(heic, at, 2) & 0x0F) == 0;
        at += (version >= 1 ? 2 : 0) + 2 + baseSize;
        quint32 extents = bigEndianAt(heic, at, 2);
        for (at += 2; extents > 0; --extents) {
            at += indexSize;
            if (inFile)
                putBigEndian(heic, at, quint32(bigEndianAt(heic, at, offsetSize) + grown), offsetSize);
            at += offsetSize + lengthSize;
        }
    }
    return heic;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

TEST(PhotoAdjustmentTest, CropRectanglesClampZoomCentreAndEdges)
{
    const PhotoAdjustment identity;
    EXPECT_EQ(identity.cropRect(3000, 4000, 1.5), (Rect{0, 1000, 3000, 2000}));
    // 4:3 keeps the full width and a centred band.
    EXPECT_EQ(identity.cropRect(4000, 3000, 1.5), (Rect{0, (3000 - 4000 / 1.5) / 2, 4000, 4000 / 1.5}));
    for (const double zoom : {0.5, 0.0})
        EXPECT_EQ((PhotoAdjustment{zoom}).cropRect(3000, 4000, 1.5), identity.cropRect(3000, 4000, 1.5));
    EXPECT_EQ((PhotoAdjustment{10}).cropRect(3000, 2000, 1.5), (PhotoAdjustment{4}).cropRect(3000, 2000, 1.5));
    EXPECT_EQ((PhotoAdjustment{2, 0, 0.5}).cropRect(3000, 2000, 1.5), (Rect{0, 500, 1500, 1000}));
    EXPECT_EQ((PhotoAdjustment{2, 1, 1}).cropRect(3000, 2000, 1.5), (Rect{1500, 1000, 1500, 1000}));
}

TEST(PhotoAdjustmentTest, JsonNeedsEveryKeyWithItsType)
{
    const PhotoAdjustment adjustment{2.5, 0.25, 0.75, -1, true};
    EXPECT_EQ(PhotoAdjustment::fromJson(adjustment.toJson()), adjustment);
    QJsonObject missing = adjustment.toJson();
    missing.remove(QStringLiteral("mirrored"));
    EXPECT_FALSE(PhotoAdjustment::fromJson(missing));
    QJsonObject wrong = adjustment.toJson();
    wrong.insert(QStringLiteral("quarterTurns"), QStringLiteral("1"));
    EXPECT_FALSE(PhotoAdjustment::fromJson(wrong));
}

TEST(PhotoImagesTest, TurnsClockwiseThenMirrors)
{
    // A 2 x 1 picture: red on the left, blue on the right.
    QImage source(2, 1, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(255, 0, 0));
    source.setPixel(1, 0, qRgb(0, 0, 255));

    const QImage same = *PhotoImages::orientedImage(source, 0, false);
    EXPECT_EQ(same.constBits(), source.constBits()) << "no turn and no mirror returns the picture itself";

    // Clockwise: the left end goes to the top.
    const QImage turned = *PhotoImages::orientedImage(source, 1, false);
    ASSERT_EQ(turned.size(), QSize(1, 2));
    EXPECT_EQ(turned.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(*PhotoImages::orientedImage(source, 5, false), turned);
    const QImage three = *PhotoImages::orientedImage(source, -1, false);
    EXPECT_EQ(three.pixel(0, 0), qRgb(0, 0, 255));

    // Turned and then mirrored: mirroring a 2 x 2 turned picture swaps its columns.
    QImage square(2, 2, QImage::Format_RGB32);
    square.setPixel(0, 0, qRgb(255, 0, 0));
    square.setPixel(1, 0, qRgb(0, 255, 0));
    square.setPixel(0, 1, qRgb(0, 0, 255));
    square.setPixel(1, 1, qRgb(255, 255, 255));
    const QImage both = *PhotoImages::orientedImage(square, 1, true);
    const QImage turnedSquare = *PhotoImages::orientedImage(square, 1, false);
    EXPECT_EQ(both.pixel(0, 0), turnedSquare.pixel(1, 0));
    EXPECT_EQ(both.pixel(1, 1), turnedSquare.pixel(0, 1));
}

TEST(PhotoImagesTest, FramesArePackedByTruncationAndTransparencyIsBlack)
{
    QImage clear(300, 200, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    EXPECT_EQ(PhotoImages::renderPhotoFrame(clear, {}), QByteArray(frameBytes, '\0'));

    const QByteArray frame = *PhotoImages::renderPhotoFrame(filled(600, 400, QColor(0xFF, 0x87, 0x0F)), {});
    ASSERT_EQ(frame.size(), frameBytes);
    EXPECT_EQ(pixelAt(frame, 0, 0), PhotoImages::packRGB565(0xFF, 0x87, 0x0F));
    EXPECT_EQ(pixelAt(frame, 479, 319), quint16((31 << 11) | (33 << 5) | 1));

    // A 3000 x 4000 picture is cut to its centre band: the top quarter never shows.
    QImage tall = filled(300, 400, Qt::red);
    for (int y = 100; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            tall.setPixel(x, y, qRgb(0, 0, 255));
    const QByteArray band = *PhotoImages::renderPhotoFrame(tall, {});
    EXPECT_EQ(pixelAt(band, 240, 0), PhotoImages::packRGB565(0, 0, 255));
    EXPECT_EQ(pixelAt(band, 240, 319), PhotoImages::packRGB565(0, 0, 255));
}

TEST(PhotoImagesTest, DecodingAppliesTheOrientationMarkerAndTheSizeLimit)
{
    // Stored landscape with a marker that turns it upright: decoded as a portrait.
    const QByteArray jpeg = jpegOf(filled(4000, 3000, Qt::gray), QImageIOHandler::TransformationRotate90);
    const QImage decoded = *PhotoImages::downsampledImage(jpeg, 2048);
    EXPECT_EQ(decoded.size(), QSize(1536, 2048));
    EXPECT_EQ(PhotoImages::downsampledImage(jpegOf(filled(40, 30, Qt::gray)), 2048)->size(), QSize(40, 30));
    EXPECT_FALSE(PhotoImages::downsampledImage("not a picture", 2048));

    const QByteArray frame(frameBytes, '\xFF');
    const QImage preview = *PhotoImages::rgb565PreviewImage(frame, 480, 320);
    EXPECT_EQ(preview.pixel(5, 5), qRgb(248, 252, 248)) << "widened by shifting only";
    EXPECT_FALSE(PhotoImages::rgb565PreviewImage(frame.left(frameBytes - 1), 480, 320));
}

TEST(PhotoImagesTest, HeicDecodesUprightWithinTheSizeAndMemoryLimits)
{
    const std::optional<QByteArray> turned = heicOf(halves(96, 64, Qt::red, Qt::blue), heif_orientation_rotate_90_cw);
    if (!turned)
        GTEST_SKIP() << "this libheif has no HEVC encoder";
    // Stored landscape, turned clockwise when shown: the left half ends on top.
    const QImage upright = *PhotoImages::downsampledImage(*turned, 2048);
    ASSERT_EQ(upright.size(), QSize(64, 96));
    EXPECT_TRUE(near(upright.pixel(32, 10), Qt::red));
    EXPECT_TRUE(near(upright.pixel(32, 85), Qt::blue));
    EXPECT_EQ(PhotoImages::downsampledImage(*turned, 48)->size(), QSize(32, 48));

    const QImage mirrored =
        *PhotoImages::downsampledImage(*heicOf(halves(96, 64, Qt::red, Qt::blue), heif_orientation_flip_horizontally), 2048);
    ASSERT_EQ(mirrored.size(), QSize(96, 64));
    EXPECT_TRUE(near(mirrored.pixel(10, 32), Qt::blue));
    EXPECT_TRUE(near(mirrored.pixel(85, 32), Qt::red));

    const QByteArray large = *heicOf(filled(640, 480, Qt::gray));
    EXPECT_EQ(PhotoImages::downsampledImage(large, 2048)->size(), QSize(640, 480));

    // Damaged files are unreadable, never a crash: cut short, a declared size of 40,000
    // pixels square over a tiny picture, and garbage behind a valid start.
    EXPECT_FALSE(PhotoImages::downsampledImage(turned->left(turned->size() / 2), 2048));
    QByteArray giant = *turned;
    const qsizetype ispe = giant.indexOf("ispe");
    ASSERT_GT(ispe, 0);
    const char side[] = {0, 0, char(0x9C), 0x40};
    giant.replace(ispe + 8, 4, side, 4).replace(ispe + 12, 4, side, 4);
    EXPECT_FALSE(PhotoImages::downsampledImage(giant, 2048));
    EXPECT_FALSE(PhotoImages::downsampledImage(turned->left(32) + QByteArray(4096, '\x5A'), 2048));
}

// A grid's tiles make up its picture.
TEST(PhotoImagesTest, AHeicGridDecodesWhole)
{
    const std::optional<QByteArray> small = heicOf(filled(16, 16, Qt::red));
    if (!small)
        GTEST_SKIP() << "this libheif has no HEVC encoder";
    ASSERT_TRUE(small->contains("grid"));
    const std::optional<QImage> one = PhotoImages::downsampledImage(*small, 2048);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->size(), QSize(16, 16));
    // A 128-pixel picture may be made of four tiles.
    QByteArray fourTiles = withTileRepeated(*small, 2, 2);
    fourTiles.replace(fourTiles.lastIndexOf("ispe") + 8, 8, QByteArray::fromHex("0000008000000080"));
    fourTiles.replace(fourTiles.indexOf("idat") + 8, 4, QByteArray::fromHex("00800080"));
    const std::optional<QImage> four = PhotoImages::downsampledImage(fourTiles, 2048);
    ASSERT_TRUE(four);
    EXPECT_EQ(four->size(), QSize(128, 128));
}

// AVIF is not among the formats a photo may be in.
TEST(PhotoImagesTest, AnAvifPictureIsRefused)
{
    const std::optional<QByteArray> avif = avifOf(filled(64, 48, Qt::red));
    if (!avif)
        GTEST_SKIP() << "this libheif has no AV1 encoder";
    EXPECT_FALSE(PhotoImages::downsampledImage(*avif, 2048));
    EXPECT_FALSE(PhotoImages::readablePatterns().contains(QStringLiteral("*.avif")));
}

class PhotoLibraryTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ScreensaverPhotoService service{dir.path()};

    QString index() const { return dir.filePath(QStringLiteral("photos.json")); }
    QJsonArray indexArray() const { return QJsonDocument::fromJson(readAll(index())).array(); }
};

TEST_F(PhotoLibraryTest, ImportKeepsTheReadableItemsAndNamesTheOthers)
{
    const QByteArray jpeg = jpegOf(filled(900, 600, Qt::blue));
    const auto first = service.importPhotos({{QStringLiteral("old.jpg"), jpeg}});
    ASSERT_FALSE(first.failure);
    const auto outcome = service.importPhotos({{QStringLiteral("one.jpg"), jpeg},
                                               {QStringLiteral("a.png"), std::nullopt},
                                               {QStringLiteral("b.heic"), QByteArray("garbage")},
                                               {QStringLiteral("three.jpg"), jpeg}});
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->errorDescription(), QStringLiteral("Could not read a.png, b.heic"));
    ASSERT_EQ(outcome.photos.size(), 2);

    const QList<ScreensaverPhotoService::SavedPhoto> loaded = service.loadPhotos();
    ASSERT_EQ(loaded.size(), 3);
    EXPECT_EQ(loaded[0].displayName, QStringLiteral("old.jpg"));
    EXPECT_EQ(loaded[1].displayName, QStringLiteral("one.jpg"));
    EXPECT_EQ(loaded[2].displayName, QStringLiteral("three.jpg"));
    EXPECT_EQ(service.loadLibrary(false).photos[1], outcome.photos[0]);
    EXPECT_EQ(pixelAt(loaded[1].data, 10, 10), PhotoImages::packRGB565(0, 0, 255));
    // Ids in upper case text name both files; the source JPEG is kept.
    const QString id = indexArray()[1].toObject().value(QStringLiteral("id")).toString();
    EXPECT_EQ(id, id.toUpper());
    EXPECT_EQ(readAll(service.framePath(loaded[1].id)).size(), frameBytes);
    EXPECT_TRUE(QFile::exists(service.sourcePath(loaded[1].id)));

    // An empty import rewrites the same index.
    const QByteArray before = readAll(index());
    EXPECT_FALSE(service.importPhotos({}).failure);
    EXPECT_EQ(readAll(index()), before);
}

TEST_F(PhotoLibraryTest, AHeicIsStoredUprightAndADamagedOneIsNamed)
{
    const std::optional<QByteArray> heic = heicOf(halves(300, 200, Qt::red, Qt::blue), heif_orientation_rotate_90_cw);
    if (!heic)
        GTEST_SKIP() << "this libheif has no HEVC encoder";
    const auto outcome = service.importPhotos({{QStringLiteral("IMG_0001.HEIC"), *heic},
                                               {QStringLiteral("cut.heic"), heic->left(heic->size() - 200)}});
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->errorDescription(), QStringLiteral("Could not read cut.heic"));
    ASSERT_EQ(outcome.photos.size(), 1);
    const QImage kept(service.sourcePath(outcome.photos[0].id));
    ASSERT_EQ(kept.size(), QSize(200, 300));
    EXPECT_TRUE(near(kept.pixel(100, 20), Qt::red));
    EXPECT_TRUE(near(kept.pixel(100, 280), Qt::blue));
}

TEST_F(PhotoLibraryTest, ALargeSourceIsKeptUprightAtMost2048Pixels)
{
    const QByteArray jpeg = jpegOf(filled(4000, 3000, Qt::green), QImageIOHandler::TransformationRotate90);
    const auto outcome = service.importPhotos({{QStringLiteral("portrait.jpg"), jpeg}});
    ASSERT_EQ(outcome.photos.size(), 1);
    const QImage kept(service.sourcePath(outcome.photos[0].id));
    EXPECT_EQ(kept.size(), QSize(1536, 2048));
}

TEST_F(PhotoLibraryTest, ShortFramesAndBadEntriesAreLeftOutAloneAndABadEntryIsKeptAside)
{
    const QByteArray jpeg = jpegOf(filled(300, 200, Qt::white));
    const auto outcome = service.importPhotos({{QStringLiteral("a.jpg"), jpeg}, {QStringLiteral("b.jpg"), jpeg}});
    ASSERT_EQ(outcome.photos.size(), 2);
    writeAll(service.framePath(outcome.photos[0].id), QByteArray(frameBytes - 1, '\0'));
    const QList<ScreensaverPhotoService::SavedPhoto> loaded = service.loadPhotos();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0].displayName, QStringLiteral("b.jpg"));
    EXPECT_EQ(service.readIndex().size(), 2) << "the entry stays";

    // One entry with an adjustment lacking a key costs that entry only.
    QJsonArray array = indexArray();
    QJsonObject broken = array[0].toObject();
    broken.insert(QStringLiteral("adjustment"), QJsonObject{{QStringLiteral("zoom"), 2}});
    array[0] = broken;
    const QByteArray damaged = QJsonDocument(array).toJson();
    writeAll(index(), damaged);
    ASSERT_EQ(service.readIndex().size(), 1);
    EXPECT_EQ(service.readIndex()[0].name, QStringLiteral("b.jpg"));

    // The first write that drops it keeps the index as it was read aside; the next one has
    // nothing left to keep.
    EXPECT_FALSE(service.removePhoto(outcome.photos[1].id));
    QStringList aside = QDir(dir.path()).entryList({QStringLiteral("photos.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(dir.filePath(aside[0])), damaged);
    EXPECT_TRUE(service.readIndex().isEmpty());
    EXPECT_FALSE(service.importPhotos({}).failure);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("photos.json.unreadable-*")}).size(), 1);
}

TEST_F(PhotoLibraryTest, ADamagedIndexIsKeptAsideBeforeANewOneIsWritten)
{
    writeAll(index(), "{ not json");
    EXPECT_TRUE(service.loadPhotos().isEmpty());
    EXPECT_EQ(readAll(index()), QByteArray("{ not json")) << "loading never writes";
    const auto outcome = service.importPhotos({{QStringLiteral("a.jpg"), jpegOf(filled(30, 20, Qt::red))}});
    ASSERT_FALSE(outcome.failure);
    const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("photos.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(dir.filePath(aside[0])), QByteArray("{ not json"));
    EXPECT_EQ(service.loadPhotos().size(), 1);
}

TEST_F(PhotoLibraryTest, RemovalAndRecropRewriteFilesAndIndex)
{
    const QByteArray jpeg = jpegOf(filled(600, 400, Qt::red));
    const auto outcome = service.importPhotos({{QStringLiteral("a.jpg"), jpeg}, {QStringLiteral("b.jpg"), jpeg}});
    ASSERT_EQ(outcome.photos.size(), 2);
    const auto a = outcome.photos[0];

    const PhotoAdjustment turned{1, 0.5, 0.5, 1, false};
    const auto updated = service.updateAdjustment(a, turned);
    ASSERT_TRUE(updated.photo);
    EXPECT_EQ(updated.photo->adjustment, turned);
    EXPECT_EQ(service.loadPhotos()[0], *updated.photo);

    EXPECT_FALSE(service.removePhoto(a.id));
    EXPECT_FALSE(QFile::exists(service.framePath(a.id)));
    EXPECT_FALSE(QFile::exists(service.sourcePath(a.id)));
    ASSERT_EQ(service.loadPhotos().size(), 1);
    EXPECT_FALSE(service.removePhoto(a.id)) << "files already gone";
}

// A removed photo's files wait in the removed folder: restored, the photo is listed again
// before the one it stood before, with its name and framing; let go, its files are gone.
TEST_F(PhotoLibraryTest, ARemovedPhotoComesBackWhereItStoodUntilItIsLetGo)
{
    const QByteArray jpeg = jpegOf(filled(600, 400, Qt::red));
    const auto outcome = service.importPhotos(
        {{QStringLiteral("a.jpg"), jpeg}, {QStringLiteral("b.jpg"), jpeg}, {QStringLiteral("c.jpg"), jpeg}});
    ASSERT_EQ(outcome.photos.size(), 3);
    const QUuid a = outcome.photos[0].id;
    const QUuid b = outcome.photos[1].id;
    const PhotoAdjustment turned{2, 0.4, 0.5, 1, true};
    ASSERT_TRUE(service.updateAdjustment(service.loadPhotos()[1], turned).photo);
    const QByteArray frame = readAll(service.framePath(b));
    const QByteArray source = readAll(service.sourcePath(b));

    ASSERT_FALSE(service.removePhoto(b));
    EXPECT_FALSE(QFile::exists(service.framePath(b)));
    EXPECT_EQ(QDir(service.removedFolder()).entryList(QDir::Files).size(), 2);
    ASSERT_FALSE(service.restorePhoto({b, QStringLiteral("b.jpg"), turned}, outcome.photos[2].id));
    const QList<ScreensaverPhotoService::SavedPhoto> loaded = service.loadPhotos();
    ASSERT_EQ(loaded.size(), 3);
    EXPECT_EQ(loaded[1].id, b);
    EXPECT_EQ(loaded[1].displayName, QStringLiteral("b.jpg"));
    EXPECT_EQ(loaded[1].adjustment, turned);
    EXPECT_EQ(loaded[1].data, frame);
    EXPECT_EQ(readAll(service.sourcePath(b)), source);
    EXPECT_TRUE(QDir(service.removedFolder()).entryList(QDir::Files).isEmpty());

    // The one it stood before is gone too: it comes back last.
    ASSERT_FALSE(service.removePhoto(b));
    ASSERT_FALSE(service.removePhoto(outcome.photos[2].id));
    ASSERT_FALSE(service.restorePhoto({b, QStringLiteral("b.jpg"), turned}, outcome.photos[2].id));
    EXPECT_EQ(service.readIndex().last().id, b);

    ASSERT_FALSE(service.removePhoto(a));
    service.discardRemovedPhoto(a);
    EXPECT_FALSE(QFile::exists(QDir(service.removedFolder()).filePath(QFileInfo(service.framePath(a)).fileName())));
    const auto gone = service.restorePhoto({a, QStringLiteral("a.jpg"), std::nullopt}, std::nullopt);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->errorDescription(), QStringLiteral("Could not bring back a.jpg: its files are no longer kept"));
    EXPECT_EQ(service.readIndex().size(), 1);

    // The next start lets go of every photo still kept.
    EXPECT_FALSE(QDir(service.removedFolder()).entryList(QDir::Files).isEmpty());
    service.discardRemovedPhotos();
    EXPECT_TRUE(QDir(service.removedFolder()).entryList(QDir::Files).isEmpty());
}

// Any order of any photos: those named follow it in the places they held between them, every
// other entry stays in its place, and an id the index lacks changes nothing.
TEST_F(PhotoLibraryTest, ReorderingMovesOnlyThePhotosNamed)
{
    QList<ScreensaverPhotoService::Entry> entries;
    QJsonArray array;
    for (int i = 0; i < 8; ++i) {
        const QUuid id = QUuid::createUuid();
        entries.append({id, QString::number(i), std::nullopt});
        array.append(QJsonObject{{QStringLiteral("id"), id.toString(QUuid::WithoutBraces)},
                                 {QStringLiteral("name"), QString::number(i)}});
    }
    writeAll(index(), QJsonDocument(array).toJson());
    std::mt19937 rng(63);
    for (int round = 0; round < 200; ++round) {
        const QList<ScreensaverPhotoService::Entry> before = service.readIndex();
        QList<QUuid> order;
        QList<qsizetype> places;
        for (qsizetype i = 0; i < before.size(); ++i)
            if (rng() % 2) {
                order.append(before[i].id);
                places.append(i);
            }
        std::shuffle(order.begin(), order.end(), rng);
        QList<QUuid> asked = order;
        asked.insert(qsizetype(rng() % (asked.size() + 1)), QUuid::createUuid());
        ASSERT_FALSE(service.reorderPhotos(asked));
        const QList<ScreensaverPhotoService::Entry> after = service.readIndex();
        ASSERT_EQ(after.size(), before.size());
        for (qsizetype i = 0, k = 0; i < after.size(); ++i) {
            if (k < places.size() && places[k] == i)
                EXPECT_EQ(after[i].id, order[k++]);
            else
                EXPECT_EQ(after[i], before[i]);
        }
    }
}

TEST_F(PhotoLibraryTest, TheOlderSinglePhotoMovesInFirstAndGetsASourceOnItsFirstRecrop)
{
    ASSERT_FALSE(service.importPhotos({{QStringLiteral("new.jpg"), jpegOf(filled(30, 20, Qt::red))}}).failure);
    QByteArray old(frameBytes, '\0');
    writeAll(dir.filePath(QStringLiteral("screensaver.rgb565")), old);
    writeAll(dir.filePath(QStringLiteral("screensaver-name.txt")), "Beach");
    const QList<ScreensaverPhotoService::SavedPhoto> loaded = service.loadPhotos();
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(loaded[0].displayName, QStringLiteral("Beach"));
    EXPECT_EQ(loaded[0].data, old);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("screensaver.rgb565"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("screensaver-name.txt"))));
    EXPECT_FALSE(QFile::exists(service.sourcePath(loaded[0].id)));

    writeAll(dir.filePath(QStringLiteral("screensaver.rgb565")), old);
    EXPECT_EQ(service.loadPhotos()[0].displayName, QStringLiteral("Photo"));

    const auto recropped = service.updateAdjustment(loaded[0], PhotoAdjustment{2});
    ASSERT_TRUE(recropped.photo);
    EXPECT_TRUE(QFile::exists(service.sourcePath(loaded[0].id)));
    const QByteArray source = readAll(service.sourcePath(loaded[0].id));
    ASSERT_TRUE(service.updateAdjustment(*recropped.photo, PhotoAdjustment{3}).photo);
    EXPECT_EQ(readAll(service.sourcePath(loaded[0].id)), source) << "the second re-crop starts from that JPEG";
}

TEST_F(PhotoLibraryTest, ChosenFilesAreReadOnlyWhenTheirTurnComes)
{
    // Each file is read as its photo is made: one picture in memory, whatever the batch.
    QList<ScreensaverPhotoService::ImportItem> items;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        writeAll(dir.filePath(QLatin1String(name)), jpegOf(filled(600, 400, Qt::red)));
        items.append({QLatin1String(name), std::nullopt, dir.filePath(QLatin1String(name))});
    }
    int asked = 0;
    const auto outcome = service.importPhotos(items, [&] {
        if (++asked == 2)
            writeAll(dir.filePath(QStringLiteral("b.jpg")), jpegOf(filled(600, 400, Qt::blue)));
        return false;
    });
    ASSERT_FALSE(outcome.failure);
    ASSERT_EQ(outcome.photos.size(), 3);
    EXPECT_EQ(pixelAt(*service.readFrame(outcome.photos[0].id), 10, 10), PhotoImages::packRGB565(255, 0, 0));
    EXPECT_EQ(pixelAt(*service.readFrame(outcome.photos[1].id), 10, 10), PhotoImages::packRGB565(0, 0, 255));
}

TEST_F(PhotoLibraryTest, AnImportHandsItsPhotosBackWithoutTheirFrames)
{
    // What a batch hands back holds no frame, so a batch of thousands costs one photo's work;
    // each frame is in its file.
    const QByteArray jpeg = jpegOf(filled(600, 400, Qt::red));
    const auto outcome = service.importPhotos(
        {{QStringLiteral("1.jpg"), jpeg}, {QStringLiteral("2.jpg"), jpeg}, {QStringLiteral("3.jpg"), jpeg}});
    ASSERT_FALSE(outcome.failure);
    ASSERT_EQ(outcome.photos.size(), 3);
    qsizetype held = 0;
    for (const ScreensaverPhotoService::SavedPhoto& photo : outcome.photos) {
        held += photo.data.size();
        const std::optional<QByteArray> frame = service.readFrame(photo.id);
        ASSERT_TRUE(frame);
        EXPECT_EQ(pixelAt(*frame, 10, 10), PhotoImages::packRGB565(255, 0, 0));
    }
    EXPECT_EQ(held, 0);
}

TEST_F(PhotoLibraryTest, AStoppedImportKeepsWhatItStoredAndListsEachPhotoAsItIsDone)
{
    // Quitting mid-import, or a kill: every photo done is listed, and no file is left unlisted.
    const QByteArray jpeg = jpegOf(filled(600, 400, Qt::green));
    qsizetype listedBeforeTheSecond = -1;
    int asked = 0;
    const auto outcome = service.importPhotos({{QStringLiteral("1.jpg"), jpeg}, {QStringLiteral("2.jpg"), jpeg},
                                               {QStringLiteral("3.jpg"), jpeg}},
                                              [&] {
                                                  if (++asked < 2)
                                                      return false;
                                                  listedBeforeTheSecond = indexArray().size();
                                                  return true;
                                              });
    EXPECT_EQ(listedBeforeTheSecond, 1);
    EXPECT_FALSE(outcome.failure);
    ASSERT_EQ(outcome.photos.size(), 1);
    ASSERT_EQ(service.loadLibrary(false).photos, outcome.photos);
    EXPECT_EQ(QDir(service.photosFolder()).entryList(QDir::Files).size(), 2);
}

TEST_F(PhotoLibraryTest, AnIndexOverTheReadLimitIsKeptAsideNotOverwritten)
{
    const auto first = service.importPhotos({{QStringLiteral("kept.jpg"), jpegOf(filled(30, 20, Qt::red))}});
    ASSERT_EQ(first.photos.size(), 1);
    const QByteArray entry = readAll(index());
    QFile big(index());
    ASSERT_TRUE(big.resize(qint64(210) * 1024 * 1024));  // sparse: costs no disk

    const ScreensaverPhotoService::LoadOutcome loaded = service.loadLibrary();
    EXPECT_TRUE(loaded.photos.isEmpty());
    ASSERT_TRUE(loaded.indexProblem);
    EXPECT_TRUE(loaded.indexProblem->contains(QStringLiteral("larger than 200 MB"))) << loaded.indexProblem->toStdString();

    ASSERT_FALSE(service.importPhotos({{QStringLiteral("new.jpg"), jpegOf(filled(30, 20, Qt::blue))}}).failure);
    const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("photos.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
    QFile keptAside(dir.filePath(aside[0]));
    EXPECT_EQ(keptAside.size(), qint64(210) * 1024 * 1024);
    ASSERT_TRUE(keptAside.open(QIODevice::ReadOnly));
    EXPECT_EQ(keptAside.read(entry.size()), entry);
    ASSERT_EQ(service.readIndex().size(), 1);
    EXPECT_EQ(service.readIndex()[0].name, QStringLiteral("new.jpg"));
}
