// Decoding pictures from outside as a photo import decodes them (within 2,048 pixels, upright):
// a 12 MP camera JPEG, and a 12 MP photo-like PNG (gradients with a camera's grain, which
// deflate compresses as it compresses photographs). The same benchmark runs against any
// build, so old and new can be run in turn (scripts/measure-pictures).

#include "media/PhotoImages.h"

#include "BenchImages.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>

namespace {

QByteArray photoLikePng()
{
    QImage image = gradientPicture(4000, 3000, QColor(70, 110, 40), QColor(200, 210, 230));
    QRandomGenerator random(11);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = int(random.bounded(9)) - 4;
            row[x] = qRgb(std::clamp(qRed(row[x]) + grain, 0, 255), std::clamp(qGreen(row[x]) + grain, 0, 255),
                          std::clamp(qBlue(row[x]) - grain, 0, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void decodeEach(benchmark::State& state, const QByteArray& bytes)
{
    for (auto _ : state) {
        const std::optional<QImage> image = PhotoImages::downsampledImage(bytes, 2048);
        if (!image) {
            state.SkipWithError("the picture did not decode");
            return;
        }
        benchmark::DoNotOptimize(image->constBits());
    }
}

void BM_PhotoDecode12MpJpeg(benchmark::State& state)
{
    decodeEach(state, cameraJpeg());
}
BENCHMARK(BM_PhotoDecode12MpJpeg)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_PhotoDecode12MpPhotoLikePng(benchmark::State& state)
{
    decodeEach(state, photoLikePng());
}
BENCHMARK(BM_PhotoDecode12MpPhotoLikePng)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace
