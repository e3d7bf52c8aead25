#include "platform/OutsideImageDecoder.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

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

TEST(OutsideImageDecoderTest, ReadsOnlyTheRasterFormatsItNamesToldByTheirBytes)
{
    OutsideImageDecoder decoder;
    const OutsideImageDecoder::Limits limits;
    const QImage picture = filled(40, 30, QColor(200, 40, 40));
    for (const char* format : {"png", "jpeg", "bmp", "webp"}) {
        const std::optional<QImage> decoded = decoder.decode(encoded(picture, format), limits);
        ASSERT_TRUE(decoded) << format;
        EXPECT_EQ(decoded->size(), QSize(40, 30)) << format;
        EXPECT_NEAR(qRed(decoded->pixel(20, 15)), 200, 8) << format;
    }
    // Qt writes no GIF: this is the smallest, one transparent pixel.
    const QByteArray gif = QByteArray::fromHex("47494638396101000100800000ffffff00000021f90401000000002c00000000010001000002024401003b");
    ASSERT_TRUE(decoder.decode(gif, limits));
    EXPECT_EQ(decoder.decode(gif, limits)->size(), QSize(1, 1));

    // Formats Qt reads as well, but that no player, server or camera needs.
    for (const char* format : {"tiff", "ppm", "xpm", "xbm", "ico"}) {
        const QByteArray bytes = encoded(picture, format);
        ASSERT_FALSE(bytes.isEmpty()) << format;
        EXPECT_FALSE(decoder.decode(bytes, limits)) << format;
    }
    EXPECT_FALSE(decoder.decode("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"30\"/>", limits));
    EXPECT_FALSE(decoder.decode(QByteArray(), limits));

    // What the bytes say counts, whatever a reader would guess from anything else: a JPEG
    // cut short behind its signature is no picture, not another format's.
    EXPECT_EQ(OutsideImageDecoder::formatOf(encoded(picture, "jpeg").left(3)), OutsideImageDecoder::Format::jpeg);
    EXPECT_FALSE(decoder.decode(encoded(picture, "jpeg").left(3), limits));
}

TEST(OutsideImageDecoderTest, APictureIsBroughtWithinItsLimitsOrRefusedBeforeItIsDecoded)
{
    OutsideImageDecoder decoder;
    OutsideImageDecoder::Limits limits;
    limits.maxSide = 100;
    const QByteArray wide = encoded(filled(400, 200, Qt::blue), "png");
    EXPECT_EQ(decoder.decode(wide, limits)->size(), QSize(100, 50));
    // Its shorter side would fall below a pixel.
    EXPECT_FALSE(decoder.decode(encoded(filled(1000, 2, Qt::blue), "png"), limits));

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
    EXPECT_FALSE(decoder.decode(huge, OutsideImageDecoder::Limits{}));
}

// A progressive JPEG is decoded from all its coefficients at once, which libjpeg holds
// outside the reader's allocation limit: they are kept within it too.
TEST(OutsideImageDecoderTest, AProgressiveJpegsCoefficientsStayWithinTheAllocationLimit)
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
    OutsideImageDecoder decoder;
    OutsideImageDecoder::Limits limits;
    limits.maxSide = 100;
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);
    const std::optional<QImage> streamed = decoder.decode(baseline, limits);
    const std::optional<QImage> buffered = decoder.decode(progressive, limits);
    QImageReader::setAllocationLimit(limit);
    EXPECT_TRUE(streamed);
    EXPECT_FALSE(buffered);
    EXPECT_TRUE(decoder.decode(progressive, limits));
}
