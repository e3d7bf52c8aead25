#include "screens/runtime/SpriteSheet.h"
#include "screens/runtime/SpriteSheetDecodes.h"

#include "support/WaitUntil.h"

#include <QColor>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QPainter>
#include <QSemaphore>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include <sys/stat.h>

namespace {

struct SpriteSheetTest : ::testing::Test {
    QTemporaryDir dir;

    // A sheet painted column by column: `color(x)` gives each column's colour.
    QString sheet(int width, int height, const std::function<QColor(int)>& color)
    {
        QImage image(width, height, QImage::Format_ARGB32);
        for (int x = 0; x < width; ++x) {
            for (int y = 0; y < height; ++y)
                image.setPixelColor(x, y, color(x));
        }
        const QString path = dir.filePath(QStringLiteral("sheet%1x%2.png").arg(width).arg(height));
        EXPECT_TRUE(image.save(path));
        return path;
    }
};

// The device pixel at (x, y) of a frame: its RGB565 word and its alpha.
std::pair<std::uint16_t, std::uint8_t> pixel(const QByteArray& frame, int x, int y)
{
    const int i = y * SpriteSheet::frameWidth + x;
    const auto byte = [&](qsizetype at) { return std::uint8_t(frame.at(at)); };
    return {std::uint16_t(byte(2 * i) | byte(2 * i + 1) << 8), byte(SpriteSheet::colorPlaneBytes + i)};
}

std::uint16_t rgb565(QRgb c)
{
    return std::uint16_t((qRed(c) & 0xF8) << 8 | (qGreen(c) & 0xFC) << 3 | qBlue(c) >> 3);
}

TEST_F(SpriteSheetTest, CellsOfTheFrameSizeAreCopiedAsTheyAre)
{
    const QList<QRgb> colors{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF808080};
    const auto frames = SpriteSheet::frames(sheet(480, 112, [&](int x) { return QColor(colors[x / 120]); }), 4);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->size(), 4);
    for (int c = 0; c < 4; ++c) {
        const QByteArray& frame = (*frames)[c];
        ASSERT_EQ(frame.size(), 40320);
        for (const auto& [x, y] : {std::pair{0, 0}, {119, 0}, {0, 111}, {119, 111}, {60, 56}})
            EXPECT_EQ(pixel(frame, x, y), std::pair(rgb565(colors[c]), std::uint8_t(255))) << c << " " << x << "," << y;
    }
}

TEST_F(SpriteSheetTest, SmallCellsAreEnlargedAndCentred)
{
    // Cells of 50 × 50 drawn at 2.24 as 112 × 112 at x 4.
    const auto frames = SpriteSheet::frames(sheet(100, 50, [](int) { return QColor(Qt::white); }), 2);
    ASSERT_TRUE(frames);
    const QByteArray& frame = frames->first();
    for (int y : {0, 56, 111}) {
        EXPECT_EQ(pixel(frame, 3, y).second, 0) << y;
        EXPECT_EQ(pixel(frame, 4, y), std::pair(std::uint16_t(0xFFFF), std::uint8_t(255))) << y;
        EXPECT_EQ(pixel(frame, 115, y).second, 255) << y;
        EXPECT_EQ(pixel(frame, 116, y), std::pair(std::uint16_t(0), std::uint8_t(0))) << y;
    }
}

TEST_F(SpriteSheetTest, WideCellsAreReducedAndRestOnTheBottomEdge)
{
    // Cells of 200 × 40 drawn at 0.6 as 120 × 24.
    const auto frames = SpriteSheet::frames(sheet(400, 40, [](int) { return QColor(Qt::blue); }), 2);
    ASSERT_TRUE(frames);
    const QByteArray& frame = (*frames)[1];
    for (int x : {0, 60, 119}) {
        EXPECT_EQ(pixel(frame, x, 0).second, 0);
        EXPECT_EQ(pixel(frame, x, 87).second, 0) << "the top 88 rows stay transparent";
        EXPECT_EQ(pixel(frame, x, 88).second, 255);
        EXPECT_EQ(pixel(frame, x, 111), std::pair(rgb565(0xFF0000FF), std::uint8_t(255)));
    }
}

TEST_F(SpriteSheetTest, UnevenCellsShareTheirBorderColumn)
{
    // Cells 3.33 px wide are cut outward: [0, 4), [3, 7), [6, 10), each drawn 112 px wide.
    const auto frames = SpriteSheet::frames(sheet(10, 4, [](int x) { return QColor(x == 3 ? Qt::red : Qt::blue); }), 3);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->size(), 3);
    const std::uint16_t red = rgb565(0xFFFF0000);
    EXPECT_EQ(pixel((*frames)[0], 112, 56).first, red) << "the last column of cell 0";
    EXPECT_EQ(pixel((*frames)[1], 8, 56).first, red) << "the first column of cell 1";
    EXPECT_NE(pixel((*frames)[2], 8, 56).first, red);
}

TEST_F(SpriteSheetTest, BadSheetsGiveNoFramesAtAll)
{
    const QString wide = sheet(480, 112, [](int) { return QColor(Qt::red); });
    EXPECT_FALSE(SpriteSheet::frames(wide, 0));
    EXPECT_FALSE(SpriteSheet::frames(wide, 9));
    EXPECT_TRUE(SpriteSheet::frames(wide, 8));
    EXPECT_FALSE(SpriteSheet::frames(sheet(7, 10, [](int) { return QColor(Qt::red); }), 8)) << "cells under 1 px";
    EXPECT_TRUE(SpriteSheet::frames(sheet(8, 10, [](int) { return QColor(Qt::red); }), 8));

    EXPECT_FALSE(SpriteSheet::frames(dir.filePath(QStringLiteral("missing.png")), 1));
    QFile text(dir.filePath(QStringLiteral("notes.png")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not an image");
    text.close();
    EXPECT_FALSE(SpriteSheet::frames(text.fileName(), 1));

    // A drawing is no sheet, whatever its name says.
    QFile drawing(dir.filePath(QStringLiteral("drawing.png")));
    ASSERT_TRUE(drawing.open(QIODevice::WriteOnly));
    drawing.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="240" height="112">)"
                  R"(<rect width="240" height="112"/></svg>)");
    drawing.close();
    EXPECT_FALSE(SpriteSheet::frames(drawing.fileName(), 2));
}

// The reader's allocation limit is one for the whole process: a sheet leaves it as it was,
// for the photos and artwork decoded on other threads.
TEST_F(SpriteSheetTest, DecodingASheetLeavesTheReadersOwnLimitAlone)
{
    const int limit = QImageReader::allocationLimit();
    ASSERT_TRUE(SpriteSheet::frames(sheet(240, 112, [](int) { return QColor(Qt::red); }), 2));
    EXPECT_EQ(QImageReader::allocationLimit(), limit);
}

// A sheet name may point at anything in the folder; none of it may block or exhaust the app.
TEST_F(SpriteSheetTest, FifosDevicesAndOversizedFilesAreNotRead)
{
    const QString fifo = dir.filePath(QStringLiteral("fifo.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(SpriteSheet::frames(fifo, 1));
    EXPECT_FALSE(SpriteSheet::frames(QStringLiteral("/dev/zero"), 1));

    const QString big = sheet(120, 112, [](int) { return QColor(Qt::red); });
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_TRUE(file.resize(SpriteSheet::maxFileBytes + 1));
    file.close();
    EXPECT_FALSE(SpriteSheet::frames(big, 1));
}

TEST(SpriteSheetPacking, PremultipliedPixelsPackToRgb565AndAlpha)
{
    const QByteArray rgba = QByteArray::fromHex("00000000"   // transparent
                                                "FF0000FF"   // opaque red
                                                "80808080"   // half-transparent white
                                                "20FF0010"   // a channel above its alpha
                                                "12345600"); // channels without coverage
    QByteArray color("c");
    QByteArray alpha("a");
    SpriteSheet::packPixels(rgba, color, alpha);
    EXPECT_EQ(color, QByteArray("c") + QByteArray::fromHex("0000" "00F8" "FFFF" "E0FF" "0000"));
    EXPECT_EQ(alpha, QByteArray("a") + QByteArray::fromHex("00FF801000"));
}

TEST(SpriteSheetFrameKey, DatesMustBothBeMissingOrBothEqual)
{
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1'700'000'000);
    const SpriteSheet::FrameKey dated{QStringLiteral("cat.png"), 0, when};
    EXPECT_EQ(dated, (SpriteSheet::FrameKey{QStringLiteral("cat.png"), 0, when}));
    EXPECT_NE(dated, (SpriteSheet::FrameKey{QStringLiteral("cat.png"), 0, std::nullopt}));
    EXPECT_EQ((SpriteSheet::FrameKey{QStringLiteral("cat.png"), 0, std::nullopt}),
              (SpriteSheet::FrameKey{QStringLiteral("cat.png"), 0, std::nullopt}));
    EXPECT_NE(dated, (SpriteSheet::FrameKey{QStringLiteral("cat.png"), 1, when}));
    EXPECT_NE(dated, (SpriteSheet::FrameKey{QStringLiteral("dog.png"), 0, when}));
    EXPECT_NE(dated, (SpriteSheet::FrameKey{QStringLiteral("cat.png"), 0, when.addSecs(1)}));
}

}  // namespace

// Showing a page again, or another page and back, asks for no decode of a sheet already under
// way, waiting or done: each version of a file is decoded once, and of the sheets waiting only
// the newest asked for. Going away waits for the decode under way alone.
TEST(SpriteSheetDecodesTest, EachVersionIsDecodedOnceAndOnlyTheNewestWaitingSheet)
{
    QObject owner;
    QSemaphore started;
    QSemaphore release;
    QMutex mutex;
    QStringList decodedPaths;
    QStringList answered;
    const auto sheet = [](const char* name) {
        return SpriteSheetDecodes::Sheet{QString::fromLatin1(name), QDateTime::fromSecsSinceEpoch(1), 2};
    };
    {
        SpriteSheetDecodes decodes([&](const QString& path, qint64, const std::atomic<bool>&) -> SpriteSheetDecodes::Frames {
            {
                const QMutexLocker lock(&mutex);
                decodedPaths.append(path);
            }
            started.release();
            release.acquire();
            if (path == QStringLiteral("broken"))
                return std::nullopt;
            return QList<QByteArray>{path.toUtf8(), path.toUtf8()};
        });
        const auto ask = [&](const char* name) {
            decodes.decode(&owner, sheet(name), [&answered, name](const SpriteSheetDecodes::Frames&) {
                answered.append(QString::fromLatin1(name));
            });
        };
        ask("a");
        started.acquire();
        ask("a");
        ask("b");
        ask("a");
        ask("broken");
        ask("b");
        ask("broken");
        release.release(2);
        ASSERT_TRUE(waitUntil([&] { return answered.size() == 2; }));
        started.acquire();
        EXPECT_EQ(answered, (QStringList{QStringLiteral("a"), QStringLiteral("broken")}));
        ASSERT_TRUE(decodes.decoded(sheet("a")));
        EXPECT_EQ(*decodes.decoded(sheet("a")), (QList<QByteArray>{"a", "a"}));
        ASSERT_TRUE(decodes.decoded(sheet("broken")));
        EXPECT_FALSE(*decodes.decoded(sheet("broken")));
        EXPECT_FALSE(decodes.decoded(sheet("b")));
        // Remembered, failures too: asked again, nothing is decoded.
        ask("a");
        ask("broken");
        // A new version of the file is another sheet.
        SpriteSheetDecodes::Sheet saved = sheet("a");
        saved.modified = QDateTime::fromSecsSinceEpoch(2);
        decodes.decode(&owner, saved, [](const SpriteSheetDecodes::Frames&) {});
        started.acquire();
        // Gone with one under way and two asked after it: the newer took the older's place, and
        // the worker may have taken it up before it was gone, but nothing more.
        ask("c");
        ask("d");
        release.release(2);
    }
    ASSERT_GE(decodedPaths.size(), 3);
    EXPECT_EQ(decodedPaths.first(3), (QStringList{QStringLiteral("a"), QStringLiteral("broken"), QStringLiteral("a")}));
    EXPECT_TRUE(decodedPaths.size() == 3 || decodedPaths.last() == QStringLiteral("d")) << decodedPaths.join(u',').toStdString();
    EXPECT_LE(decodedPaths.size(), 4);
}

// A large sheet takes a second or more to decode: going away stops the decode under way, which
// ends as soon as it sees that, rather than waiting for it to finish.
TEST(SpriteSheetDecodesTest, GoingAwayStopsTheDecodeUnderWay)
{
    QObject owner;
    QSemaphore started;
    std::atomic<bool> stopped = false;
    {
        SpriteSheetDecodes decodes([&](const QString&, qint64, const std::atomic<bool>& stop) -> SpriteSheetDecodes::Frames {
            started.release();
            // Only a failing test waits this long.
            QDeadlineTimer deadline(10000);
            while (!stop && !deadline.hasExpired())
                QThread::msleep(1);
            stopped = stop.load();
            return std::nullopt;
        });
        decodes.decode(&owner, {QStringLiteral("large"), std::nullopt, 2}, [](const SpriteSheetDecodes::Frames&) {});
        started.acquire();
    }
    EXPECT_TRUE(stopped);
}
