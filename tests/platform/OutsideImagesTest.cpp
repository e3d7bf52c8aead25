#include "platform/OutsideImages.h"
#include "platform/PictureDecoderMessages.h"
#include "platform/PictureDecoders.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <thread>

#include <sys/mman.h>
#include <unistd.h>

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

QByteArray jpegSegment(int marker, const QByteArray& data)
{
    return QByteArray(1, '\xFF') + char(marker) + bigEndian(quint32(data.size() + 2), 2) + data;
}

// A picture of 8,192 pixels square in 27 scans that hold nothing: arithmetic-coded, libjpeg
// decodes every block of every scan from no data at all, and holds all their coefficients.
QByteArray emptyArithmeticScans()
{
    QByteArray empty = "\xFF\xD8" + jpegSegment(0xDB, QByteArray(1, '\0') + QByteArray(64, '\1')) +
                       jpegSegment(0xCA, QByteArray::fromHex("0820002000" "01" "011100"));
    empty += jpegSegment(0xDA, QByteArray::fromHex("0101000000" "00"));
    for (int scan = 1; scan < 27; ++scan)
        empty += jpegSegment(0xDA, QByteArray::fromHex("010100013f") +
                                       char(scan == 1 ? 0x0D : std::max(1, 14 - scan) << 4 | std::max(0, 13 - scan)));
    return empty + "\xFF\xD9";
}

PictureDecoderMessages::Request requestFor(OutsideImages::Format format, const OutsideImages::Limits& limits,
                                           qint64 fileBytes)
{
    PictureDecoderMessages::Request request;
    request.format = std::uint32_t(format);
    request.maxSide = limits.maxSide;
    request.maxStoredPixels = limits.maxStoredPixels;
    request.memoryBytes = OutsideImages::decoderMemory(limits, fileBytes);
    return request;
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

// A photo comes out upright as its EXIF block says, whatever comes before that block.
TEST(OutsideImagesTest, APhotoComesOutTurnedAsItIsMarked)
{
    QRandomGenerator random(61);
    const auto text = [&](int bytes) {
        QByteArray out(bytes, '\0');
        for (char& c : out)
            c = char('a' + random.bounded(26));
        return out;
    };
    QImage picture(48, 32, QImage::Format_RGB32);
    picture.fill(Qt::darkYellow);
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

// HEIF is told by the brands of its first box: HEVC pictures only, never an AVIF, which names
// its own brand among the others.
TEST(OutsideImagesTest, HeifIsToldByItsBrands)
{
    const auto ftyp = [](const QList<QByteArray>& brands) {
        QByteArray box = brands.first() + QByteArray(4, '\0');
        for (qsizetype i = 1; i < brands.size(); ++i)
            box += brands[i];
        return bigEndian(quint32(box.size() + 8), 4) + "ftyp" + box + QByteArray(64, '\0');
    };
    using OutsideImages::Format;
    EXPECT_EQ(OutsideImages::formatOf(ftyp({"heic", "mif1", "heic"})), Format::heif);
    EXPECT_EQ(OutsideImages::formatOf(ftyp({"mif1", "mif1", "heic"})), Format::heif);
    EXPECT_FALSE(OutsideImages::formatOf(ftyp({"mif1", "mif1", "avif", "heic"})));
    EXPECT_FALSE(OutsideImages::formatOf(ftyp({"avif", "mif1"})));
    EXPECT_FALSE(OutsideImages::formatOf(ftyp({"mif1", "mif1"})));
    // A first box that claims more than the file holds.
    QByteArray cut = ftyp({"heic", "mif1"});
    cut[3] = char(200);
    EXPECT_FALSE(OutsideImages::formatOf(cut));
    // Off unless asked for.
    EXPECT_FALSE(OutsideImages::decode(ftyp({"heic", "mif1"}), OutsideImages::Limits{}));
}

// A picture that would take its decoder past its memory or its deadline costs that process,
// which is replaced: the next picture decodes as usual.
TEST(OutsideImagesTest, APictureBeyondItsDecodersMemoryOrDeadlineCostsOnlyThatProcess)
{
    PictureDecoders decoders(PictureDecoders::installedProgram());
    const QByteArray hostile = emptyArithmeticScans();
    const QByteArray plain = encoded(filled(40, 30, Qt::darkRed), "png");
    OutsideImages::Limits limits;
    limits.maxSide = 256;
    const auto plainDecodes = [&] {
        const PictureDecoders::Result result = decoders.decode(
            plain, requestFor(OutsideImages::Format::png, limits, plain.size()), std::chrono::seconds(30));
        return result.image && result.image->size() == QSize(40, 30);
    };
    ASSERT_TRUE(plainDecodes());

    // Its coefficients alone are 128 MB.
    PictureDecoderMessages::Request small = requestFor(OutsideImages::Format::jpeg, limits, hostile.size());
    small.memoryBytes = 32 << 20;
    const PictureDecoders::Result outOfMemory = decoders.decode(hostile, small, std::chrono::seconds(30));
    EXPECT_FALSE(outOfMemory.image);
    EXPECT_EQ(outOfMemory.failure, PictureDecoders::Failure::tooLarge);
    EXPECT_TRUE(plainDecodes());

    const PictureDecoders::Result late = decoders.decode(
        hostile, requestFor(OutsideImages::Format::jpeg, limits, hostile.size()), std::chrono::milliseconds(1));
    EXPECT_FALSE(late.image);
    EXPECT_EQ(late.failure, PictureDecoders::Failure::tookTooLong);
    EXPECT_TRUE(plainDecodes());
}

// Quit, or a caller's stop flag, ends a decode under way at once, its process killed.
TEST(OutsideImagesTest, StoppingEndsADecodeUnderWay)
{
    const QByteArray hostile = emptyArithmeticScans();
    OutsideImages::Limits limits;
    limits.maxSide = 256;
    const PictureDecoderMessages::Request request = requestFor(OutsideImages::Format::jpeg, limits, hostile.size());
    // Far past the test's own time-out: only the stop ends it in time.
    constexpr std::chrono::minutes never{10};
    {
        PictureDecoders decoders(PictureDecoders::installedProgram());
        std::thread quit([&] { decoders.stop(); });
        const PictureDecoders::Result result = decoders.decode(hostile, request, never);
        quit.join();
        EXPECT_EQ(result.failure, PictureDecoders::Failure::stopped);
        EXPECT_FALSE(decoders.decode(hostile, request, never).image);
    }
    PictureDecoders decoders(PictureDecoders::installedProgram());
    std::atomic<bool> stop = false;
    std::thread stopper([&] { stop = true; });
    const PictureDecoders::Result result = decoders.decode(hostile, request, never, &stop);
    stopper.join();
    EXPECT_EQ(result.failure, PictureDecoders::Failure::stopped);
}

// A decoder that ends without answering, or cannot start, fails the picture and nothing else.
TEST(OutsideImagesTest, ADecoderThatEndsWithoutAnAnswerFailsOnlyThePicture)
{
    const QByteArray plain = encoded(filled(40, 30, Qt::darkRed), "png");
    const PictureDecoderMessages::Request request =
        requestFor(OutsideImages::Format::png, OutsideImages::Limits{}, plain.size());
    for (const char* program : {"/bin/true", "/nonexistent/tarv-picture-decoder"}) {
        PictureDecoders decoders(program);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(decoders.decode(plain, request, std::chrono::seconds(30)).failure,
                      PictureDecoders::Failure::decoderFailed)
                << program;
    }
}

// The decoder's reply is believed only as far as its memfd backs it: sealed against any change
// and holding every line the reply names.
TEST(OutsideImagesTest, ADecodersPixelsAreTakenOnlyFromASealedMemfdThatHoldsThemAll)
{
    using namespace PictureDecoderMessages;
    QImage picture = filled(10, 4, Qt::blue);
    Reply reply;
    reply.status = Status::decoded;
    reply.width = 10;
    reply.height = 4;
    reply.bytesPerLine = 40;
    reply.format = QImage::Format_RGB32;
    const QByteArrayView pixels(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes());

    const std::optional<QImage> taken = mappedImage(reply, sealedCopy(pixels));
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, picture);

    Reply taller = reply;
    taller.height = 5;
    EXPECT_FALSE(mappedImage(taller, sealedCopy(pixels)));
    Reply narrowerLines = reply;
    narrowerLines.bytesPerLine = 36;
    EXPECT_FALSE(mappedImage(narrowerLines, sealedCopy(pixels)));
    Reply withColourTable = reply;
    withColourTable.format = QImage::Format_Indexed8;
    EXPECT_FALSE(mappedImage(withColourTable, sealedCopy(pixels)));
    Reply unknownFormat = reply;
    unknownFormat.format = 9999;
    EXPECT_FALSE(mappedImage(unknownFormat, sealedCopy(pixels)));

    // A memfd its maker could still change or shrink under Tarv's mapping.
    void* mapping = nullptr;
    const int open = writableMemfd(pixels.size(), &mapping);
    ASSERT_GE(open, 0);
    ::munmap(mapping, size_t(pixels.size()));
    EXPECT_FALSE(mappedImage(reply, open));
}
