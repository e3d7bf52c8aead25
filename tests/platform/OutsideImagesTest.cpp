#include "platform/OutsideImages.h"
#include "platform/PictureParts.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>

namespace {

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage filled(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QByteArray bigEndian(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

QByteArray littleEndian(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xFF);
    return out;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    const QByteArray typed = type + data;
    const auto crc = quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size())));
    return bigEndian(quint32(data.size()), 4) + typed + bigEndian(crc, 4);
}

QByteArray jpegSegment(int marker, const QByteArray& data)
{
    return QByteArray(1, '\xFF') + char(marker) + bigEndian(quint32(data.size() + 2), 2) + data;
}

QByteArray webpChunk(const QByteArray& fourcc, const QByteArray& data)
{
    return fourcc + littleEndian(quint32(data.size()), 4) + data + QByteArray(data.size() % 2, '\0');
}

// What zlib makes of `text`, as PNG's compressed chunks hold it.
QByteArray deflated(const QByteArray& text)
{
    return qCompress(text).sliced(4);
}

QByteArray progressiveJpeg(const QImage& picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(picture);
    return bytes;
}

// The start of each scan of a JPEG that holds no other segment among its scans.
QList<qsizetype> scanStarts(const QByteArray& jpeg)
{
    QList<qsizetype> starts;
    for (qsizetype at = jpeg.indexOf("\xFF\xDA"); at >= 0; at = jpeg.indexOf("\xFF\xDA", at + 2))
        starts.append(at);
    return starts;
}

}  // namespace

TEST(OutsideImagesTest, ReadsOnlyTheRasterFormatsItNamesToldByTheirBytes)
{
    const OutsideImages::Limits limits;
    const QImage picture = filled(40, 30, QColor(200, 40, 40));
    for (const char* format : {"png", "jpeg", "bmp", "webp"}) {
        const std::optional<QImage> decoded = OutsideImages::decode(encoded(picture, format), limits);
        ASSERT_TRUE(decoded) << format;
        EXPECT_EQ(decoded->size(), QSize(40, 30)) << format;
        EXPECT_NEAR(qRed(decoded->pixel(20, 15)), 200, 8) << format;
    }
    // Qt writes no GIF: this is the smallest, one transparent pixel.
    const QByteArray gif = QByteArray::fromHex("47494638396101000100800000ffffff00000021f904010000"
                                               "00002c00000000010001000002024401003b");
    ASSERT_TRUE(OutsideImages::decode(gif, limits));
    EXPECT_EQ(OutsideImages::decode(gif, limits)->size(), QSize(1, 1));

    // Formats Qt reads as well, which are not among the named ones.
    for (const char* format : {"tiff", "ppm", "xpm", "xbm", "ico"}) {
        const QByteArray bytes = encoded(picture, format);
        ASSERT_FALSE(bytes.isEmpty()) << format;
        EXPECT_FALSE(OutsideImages::decode(bytes, limits)) << format;
    }
    EXPECT_FALSE(OutsideImages::decode(R"(<svg xmlns="http://www.w3.org/2000/svg" width="40" height="30"/>)", limits));
    EXPECT_FALSE(OutsideImages::decode(QByteArray(), limits));

    // What the bytes say counts, whatever a reader would guess from anything else: a JPEG
    // cut short behind its signature is no picture, not another format's.
    EXPECT_EQ(OutsideImages::formatOf(encoded(picture, "jpeg").left(3)), OutsideImages::Format::jpeg);
    EXPECT_FALSE(OutsideImages::decode(encoded(picture, "jpeg").left(3), limits));
}

// A decode that is stopped gives no picture, never the part of one read before the stop.
TEST(OutsideImagesTest, AStoppedDecodeGivesNoPicture)
{
    const OutsideImages::Limits limits;
    const QImage picture = filled(40, 30, QColor(200, 40, 40));
    std::atomic<bool> stop = false;
    for (const char* format : {"png", "jpeg", "bmp", "webp"}) {
        stop = false;
        EXPECT_TRUE(OutsideImages::decode(encoded(picture, format), limits, &stop)) << format;
        stop = true;
        EXPECT_FALSE(OutsideImages::decode(encoded(picture, format), limits, &stop)) << format;
    }
}

TEST(OutsideImagesTest, APictureIsBroughtWithinItsLimitsOrRefusedBeforeItIsDecoded)
{
    OutsideImages::Limits limits;
    limits.maxSide = 100;
    const QByteArray wide = encoded(filled(400, 200, Qt::blue), "png");
    EXPECT_EQ(OutsideImages::decode(wide, limits)->size(), QSize(100, 50));
    // Its shorter side would fall below a pixel.
    EXPECT_FALSE(OutsideImages::decode(encoded(filled(1000, 2, Qt::blue), "png"), limits));
    // A GIF's reader may give the size of its first frame, here one pixel, and draw that frame
    // on the larger screen the GIF names, 2,048 pixels square: what it hands back is held to
    // the limits as well.
    const QByteArray screen = QByteArray::fromHex("474946383961" "00080008" "800000000000ffffff"
                                                  "2c00000000010001000002024401003b");
    const std::optional<QImage> drawn = OutsideImages::decode(screen, limits);
    EXPECT_TRUE(!drawn || std::max(drawn->width(), drawn->height()) <= limits.maxSide);

    // A JPEG whose header claims 40,000 pixels square over the data of a small one: its
    // reader would decode it at an eighth, into 100 MB, within its own allocation limit.
    QByteArray huge = encoded(filled(64, 48, Qt::gray), "jpeg");
    const qsizetype frame = huge.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    huge[frame + 5] = char(0x9C);
    huge[frame + 6] = char(0x40);
    huge[frame + 7] = char(0x9C);
    huge[frame + 8] = char(0x40);
    QBuffer buffer(&huge);
    ASSERT_EQ(QImageReader(&buffer, "jpeg").size(), QSize(40000, 40000));
    EXPECT_FALSE(OutsideImages::decode(huge, OutsideImages::Limits{}));
}

// A progressive JPEG is decoded from all its coefficients at once, which libjpeg holds
// outside the reader's allocation limit: they are kept within it too.
TEST(OutsideImagesTest, AProgressiveJpegsCoefficientsStayWithinTheAllocationLimit)
{
    const QImage picture = filled(800, 600, Qt::darkCyan);
    QByteArray progressive;
    QBuffer buffer(&progressive);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(picture));
    const QByteArray baseline = encoded(picture, "jpeg");

    // At an eighth, the picture itself is 100 x 75: 30 KB. Its coefficients are 1.4 MB.
    OutsideImages::Limits limits;
    limits.maxSide = 100;
    // libjpeg passes over a restart marker before the frame, which has no length: read as one,
    // it would skip the real frame to land on a small baseline one planted behind the picture.
    QByteArray disguised = progressive.left(2) + "\xFF\xD0" + progressive.sliced(2);
    const qsizetype planted = 4 + (uchar(progressive[2]) << 8 | uchar(progressive[3]));
    ASSERT_LT(disguised.size(), planted);
    disguised += QByteArray(planted - disguised.size(), '\0');
    disguised += QByteArray::fromHex("ffc0000b080008000801011100" "ffda0008010100003f00");
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);
    const std::optional<QImage> streamed = OutsideImages::decode(baseline, limits);
    const std::optional<QImage> buffered = OutsideImages::decode(progressive, limits);
    const std::optional<QImage> disguisedBuffered = OutsideImages::decode(disguised, limits);
    QImageReader::setAllocationLimit(limit);
    EXPECT_TRUE(streamed);
    EXPECT_FALSE(buffered);
    EXPECT_FALSE(disguisedBuffered);
    EXPECT_TRUE(OutsideImages::decode(disguised, limits));
    EXPECT_TRUE(OutsideImages::decode(progressive, limits));
}

// An animation is drawn on a canvas of its whole size, which its reader copies several times
// before the picture comes out: a file of a hundred bytes that names a large canvas would
// cost several times the allocation limit.
TEST(OutsideImagesTest, AnAnimatedWebpsCanvasesStayWithinTheAllocationLimit)
{
    const auto le = [](quint32 value, int bytes) {
        QByteArray out;
        for (int i = 0; i < bytes; ++i)
            out += char((value >> (8 * i)) & 0xFF);
        return out;
    };
    // Each chunk is padded to an even size.
    const auto chunk = [&](const char* tag, const QByteArray& data) {
        return QByteArray(tag) + le(quint32(data.size()), 4) + data + QByteArray(data.size() % 2, '\0');
    };
    QByteArray frame;
    QBuffer buffer(&frame);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(filled(2, 2, Qt::red).save(&buffer, "webp"));
    // A canvas of 1,000 pixels square, 4 MB, and one frame of 2 x 2 pixels at its corner.
    const QByteArray body = "WEBP" + chunk("VP8X", QByteArray(1, 0x12) + QByteArray(3, 0) + le(999, 3) + le(999, 3)) +
                            chunk("ANIM", QByteArray(6, 0)) +
                            chunk("ANMF", le(0, 3) + le(0, 3) + le(1, 3) + le(1, 3) + le(100, 3) + QByteArray(1, 0) +
                                              frame.sliced(12));
    const QByteArray animation = "RIFF" + le(quint32(body.size()), 4) + body;

    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(10);
    const std::optional<QImage> withinTen = OutsideImages::decode(animation, OutsideImages::Limits{});
    QImageReader::setAllocationLimit(limit);
    EXPECT_FALSE(withinTen);
    ASSERT_TRUE(OutsideImages::decode(animation, OutsideImages::Limits{}));
    EXPECT_EQ(OutsideImages::decode(animation, OutsideImages::Limits{})->size(), QSize(1000, 1000));
}

// What a picture file holds besides its pixels never reaches the reader, however much of it
// there is: text, comments, thumbnails, other programs' blocks, further frames. The pixels come
// out as they do without it, turned as the EXIF block says; Qt would keep any text it was
// given with the picture.
TEST(OutsideImagesTest, WhateverAPictureHoldsBesidesItsPixelsNeverReachesTheReader)
{
    QImage picture(48, 32, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba(x * 5, y * 7, 90, x < 24 ? 255 : 120));
    const QByteArray gifPicture = QByteArray::fromHex("474946383961" "02000200" "800000" "000000ffffff"
                                                      "21f90401000000" "00" "2c000000000200020000" "0202448401" "00");
    QRandomGenerator random(61);
    const auto text = [&](int bytes) {
        QByteArray out(bytes, '\0');
        for (char& c : out)
            c = char('a' + random.bounded(26));
        return out;
    };

    // Each way of carrying something besides the pixels, placed where its format allows it.
    using Insert = std::function<QByteArray(const QByteArray&)>;
    const auto afterPngHeader = [](const QByteArray& chunk) {
        return Insert([chunk](const QByteArray& png) { return png.left(33) + chunk + png.sliced(33); });
    };
    const auto beforePngEnd = [](const QByteArray& chunk) {
        return Insert([chunk](const QByteArray& png) { return png.left(png.size() - 12) + chunk + png.right(12); });
    };
    const auto afterJpegStart = [](const QByteArray& segment) {
        return Insert([segment](const QByteArray& jpeg) { return jpeg.left(2) + segment + jpeg.sliced(2); });
    };
    const auto gifExtension = [](const QByteArray& extension) {
        return Insert([extension](const QByteArray& gif) { return gif.left(19) + extension + gif.sliced(19); });
    };
    const auto webpChunkAtEnd = [](const QByteArray& chunk) {
        return Insert([chunk](const QByteArray& webp) {
            QByteArray out = webp + chunk;
            out.replace(4, 4, littleEndian(quint32(out.size() - 8), 4));
            return out;
        });
    };
    struct Case {
        QByteArray plain;
        QList<std::function<Insert()>> extras;
    };
    const QList<Case> cases{
        {encoded(picture, "png"),
         {[&] { return afterPngHeader(pngChunk("tEXt", "Comment" + QByteArray(1, '\0') + text(2000))); },
          [&] { return afterPngHeader(pngChunk("zTXt", "Title" + QByteArray(2, '\0') + deflated(text(200000)))); },
          [&] { return afterPngHeader(pngChunk("iTXt", "XML:com.adobe.xmp" + QByteArray(5, '\0') + text(3000))); },
          [&] { return beforePngEnd(pngChunk("tEXt", "Author" + QByteArray(1, '\0') + text(100))); },
          [&] { return afterPngHeader(pngChunk("eXIf", "MM" + QByteArray(1, '\0') + "*" + text(500))); },
          [&] { return afterPngHeader(pngChunk("prVt", text(5000))); }}},
        {encoded(picture.convertToFormat(QImage::Format_RGB32), "jpeg"),
         {[&] { return afterJpegStart(jpegSegment(0xFE, text(30000))); },
          [&] { return afterJpegStart(jpegSegment(0xE1, "http://ns.adobe.com/xap/1.0/" + QByteArray(1, '\0') + text(20000))); },
          [&] { return afterJpegStart(jpegSegment(0xED, "Photoshop 3.0" + QByteArray(1, '\0') + text(9000))); },
          [&] { return afterJpegStart(jpegSegment(0xE0 + int(random.bounded(16)), text(40000))); }}},
        {gifPicture,
         {[&] { return gifExtension("\x21\xFE\x40" + text(64) + QByteArray(1, '\0')); },
          [&] { return gifExtension("\x21\xFF\x0BNETSCAPE2.0\x03\x01" + QByteArray(3, '\0')); },
          [&] { return gifExtension("\x21\x01\x0C" + text(12) + "\x02" + text(2) + QByteArray(1, '\0')); },
          [&] {
              return Insert([](const QByteArray& gif) { return gif.left(gif.size() - 1) + gif.sliced(19); });
          }}},
        {encoded(picture, "webp"),
         {[&] { return webpChunkAtEnd(webpChunk("EXIF", "MM" + QByteArray(1, '\0') + "*" + text(777))); },
          [&] { return webpChunkAtEnd(webpChunk("XMP ", text(4000))); },
          [&] { return webpChunkAtEnd(webpChunk("abcd", text(333))); }}},
    };

    for (const Case& c : cases) {
        const std::optional<QImage> plain = OutsideImages::decode(c.plain, OutsideImages::Limits{});
        ASSERT_TRUE(plain);
        for (int round = 0; round < 12; ++round) {
            QByteArray bytes = c.plain;
            const int count = 1 + int(random.bounded(5));
            for (int i = 0; i < count; ++i)
                bytes = c.extras[int(random.bounded(int(c.extras.size())))]()(bytes);
            const std::optional<QImage> decoded = OutsideImages::decode(bytes, OutsideImages::Limits{});
            ASSERT_TRUE(decoded) << bytes.left(12).toHex().constData();
            EXPECT_EQ(decoded->convertToFormat(QImage::Format_ARGB32), plain->convertToFormat(QImage::Format_ARGB32))
                << bytes.left(12).toHex().constData();
            EXPECT_TRUE(decoded->textKeys().isEmpty()) << decoded->textKeys().join(u',').toStdString();
        }
    }

    // A photo's orientation is kept through all of it, whichever block comes first.
    QByteArray turned;
    QBuffer buffer(&turned);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(picture.convertToFormat(QImage::Format_RGB32)));
    turned = turned.left(2) + jpegSegment(0xFE, text(500)) +
             jpegSegment(0xE1, "http://ns.adobe.com/xap/1.0/" + QByteArray(1, '\0') + text(500)) + turned.sliced(2);
    OutsideImages::Limits upright;
    upright.upright = true;
    EXPECT_EQ(OutsideImages::decode(turned, upright)->size(), QSize(32, 48));
}

// Each scan of a JPEG costs libjpeg a pass over the blocks of the channels it holds, however
// few bytes it takes: past the passes any encoder makes, the picture is refused before anything
// is decoded, whether its scans are repeated, cut short or coded arithmetically.
TEST(OutsideImagesTest, AJpegWhoseScansPassOverItsBlocksMoreOftenThanEncodersIsRefused)
{
    const QByteArray colour = progressiveJpeg(filled(64, 64, Qt::darkGreen));
    ASSERT_GE(scanStarts(colour).size(), 10);
    EXPECT_TRUE(OutsideImages::decode(colour, OutsideImages::Limits{}));
    // A grey picture's scans each pass over all its blocks.
    const QByteArray grey = progressiveJpeg(filled(64, 64, Qt::darkGreen).convertToFormat(QImage::Format_Grayscale8));
    const QList<qsizetype> scans = scanStarts(grey);
    ASSERT_GE(scans.size(), 6);
    ASSERT_LE(scans.size(), OutsideImages::maxJpegPasses);
    // The last scan repeated, which libjpeg only warns about.
    const QByteArray last = grey.sliced(scans.last(), grey.size() - 2 - scans.last());
    const auto withScans = [&](qsizetype count) {
        return grey.left(grey.size() - 2) + last.repeated(count - scans.size()) + "\xFF\xD9";
    };
    EXPECT_TRUE(OutsideImages::decode(withScans(OutsideImages::maxJpegPasses), OutsideImages::Limits{}));
    EXPECT_FALSE(OutsideImages::decode(withScans(OutsideImages::maxJpegPasses + 1), OutsideImages::Limits{}));
    EXPECT_FALSE(OutsideImages::decode(withScans(30000), OutsideImages::Limits{}));

    // A picture of 8,192 pixels square in 27 scans that hold nothing: arithmetic-coded, libjpeg
    // decodes every block of every scan from no data at all.
    QByteArray empty = "\xFF\xD8" + jpegSegment(0xDB, QByteArray(1, '\0') + QByteArray(64, '\1')) +
                       jpegSegment(0xCA, QByteArray::fromHex("0820002000" "01" "011100"));
    empty += jpegSegment(0xDA, QByteArray::fromHex("0101000000" "00"));
    for (int scan = 1; scan < 27; ++scan)
        empty += jpegSegment(0xDA, QByteArray::fromHex("010100013f") + char(scan == 1 ? 0x0D : std::max(1, 14 - scan) << 4 | std::max(0, 13 - scan)));
    empty += "\xFF\xD9";
    EXPECT_FALSE(OutsideImages::decode(empty, OutsideImages::Limits{}));
}

// libpng inflates whatever a PNG's image data holds past its last row before it reads the end,
// and a few megabytes of data can hold gigabytes: image data longer than its rows is refused,
// whatever the picture's size, kind of pixel or interlacing, and image data of exactly its rows
// still decodes.
TEST(OutsideImagesTest, APngWhoseImageDataInflatesPastItsRowsIsRefused)
{
    QRandomGenerator random(64);
    // The chunks of `png` with its image data replaced by `rows`, deflated into one chunk.
    const auto withRows = [](const QByteArray& png, const QByteArray& rows, bool interlaced) {
        QByteArray out = png.left(8);
        for (qsizetype at = 8; at + 12 <= png.size();) {
            const qsizetype length = qsizetype(uchar(png[at])) << 24 | uchar(png[at + 1]) << 16 |
                                     uchar(png[at + 2]) << 8 | uchar(png[at + 3]);
            const QByteArray type = png.sliced(at + 4, 4);
            QByteArray data = png.sliced(at + 8, length);
            if (type == "IHDR")
                data[12] = char(interlaced ? 1 : 0);
            if (type == "IEND")
                out += pngChunk("IDAT", deflated(rows));
            if (type != "IDAT")
                out += pngChunk(type, data);
            at += 12 + length;
        }
        return out;
    };
    const QList<QImage::Format> kinds{QImage::Format_Mono, QImage::Format_Grayscale8, QImage::Format_Grayscale16,
                                      QImage::Format_RGB888, QImage::Format_ARGB32, QImage::Format_RGBA64};
    for (int round = 0; round < 24; ++round) {
        const int width = 1 + int(random.bounded(70));
        const int height = 1 + int(random.bounded(70));
        const QImage picture = filled(width, height, QColor(int(random.bounded(256)), 90, 40))
                                   .convertToFormat(kinds[round % kinds.size()]);
        const QByteArray png = encoded(picture, "png");
        // Rows of zeros: every filter byte says "none", every pixel is the first colour.
        const bool interlaced = round % 2 == 1;
        // The header's bit depth times its channels: grey, -, RGB, palette, grey and alpha, -, RGBA.
        const qsizetype bitsPerPixel = uchar(png[24]) * std::array{1, 0, 3, 1, 2, 0, 4}[uchar(png[25])];
        const auto rowBytes = [&](qsizetype across, qsizetype down) {
            return across > 0 && down > 0 ? down * (1 + (across * bitsPerPixel + 7) / 8) : 0;
        };
        qsizetype size = rowBytes(width, height);
        if (interlaced) {
            size = 0;
            for (const auto& [x, y, dx, dy] : {std::array{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                               {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}})
                size += rowBytes((width - x + dx - 1) / dx, (height - y + dy - 1) / dy);
        }
        const QString what = QStringLiteral("%1x%2 format %3%4")
                                 .arg(width)
                                 .arg(height)
                                 .arg(int(picture.format()))
                                 .arg(interlaced ? " interlaced" : "");
        EXPECT_TRUE(OutsideImages::decode(withRows(png, QByteArray(size, '\0'), interlaced), {})) << what.toStdString();
        // A little past the rows, as some encoders leave, is let be; more than the rows again is not.
        const qsizetype slack = random.bounded(size + 1);
        EXPECT_TRUE(OutsideImages::decode(withRows(png, QByteArray(size + slack, '\0'), interlaced), {}))
            << what.toStdString();
        const qsizetype extra = 1 + random.bounded(100000);
        EXPECT_FALSE(OutsideImages::decode(withRows(png, QByteArray(2 * size + extra, '\0'), interlaced), {}))
            << what.toStdString();
    }
}
