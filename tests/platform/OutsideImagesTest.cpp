#include "platform/OutsideImages.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <algorithm>

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
