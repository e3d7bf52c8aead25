// Speed of the screensaver photos: importing one 4,000 x 3,000 camera JPEG to its stored
// frame (runs on the photo worker; aim under 150 ms), and composing one faded frame with
// its quiet corner (on the GUI thread at every photo change; aim under 5 ms).

#include "BenchHub.h"

#include "media/PhotoImages.h"
#include "media/ScreensaverPhotoService.h"
#include "pages/ScreensaverPhotoLayout.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "BenchImages.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ImportCameraJpegToFrame(benchmark::State& state)
{
    ensureBenchApp();
    const QByteArray jpeg = cameraJpeg();
    QTemporaryDir dir;
    const ScreensaverPhotoService service(dir.path());
    for (auto _ : state) {
        const auto outcome = service.importPhotos({{QStringLiteral("camera.jpg"), jpeg}});
        state.PauseTiming();
        if (outcome.failure || outcome.photos.size() != 1)
            state.SkipWithError("import failed");
        else
            service.removePhoto(outcome.photos[0].id);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportCameraJpegToFrame)->Unit(benchmark::kMillisecond);

void BM_ComposeFadedFrame(benchmark::State& state)
{
    ensureBenchApp();
    const QImage picture = gradientPicture(480, 320, QColor(20, 40, 90), QColor(240, 200, 120));
    const QByteArray frame = *PhotoImages::renderPhotoFrame(picture, {});
    for (auto _ : state) {
        const ScreensaverPhotoLayout layout{ScreensaverStyle::quietCorner, quietestCorner(frame)};
        const auto fade = ScreensaverPhotoLayout::fadeSpec(layout);
        benchmark::DoNotOptimize(ScreensaverPhotoLayout::fadedFrame(fade.edge, fade.rows, frame, fade.strength));
    }
}
BENCHMARK(BM_ComposeFadedFrame)->Unit(benchmark::kMillisecond);

}  // namespace
