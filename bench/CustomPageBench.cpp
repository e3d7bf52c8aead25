// Speed of drawing a custom page and of keeping it current: the full page on every change of
// page or file, the value-only edits on every new value of its sources (the aim for the
// edits of a 40-widget page with one changed value is under 50 µs).

#include "screens/format/CustomScreen.h"
#include "screens/runtime/CustomLayoutCache.h"
#include "screens/runtime/CustomScreenRenderer.h"

#include <benchmark/benchmark.h>

namespace {

// Forty widgets of every kind that follows values: 20 texts (every fourth centred, every
// other one coloured by its value), 8 bars, 6 buttons, 2 sparklines, 2 sprites and 2
// animated boxes, half of them behind a condition.
CustomScreen fortyWidgetPage()
{
    CustomScreen screen;
    screen.id = QStringLiteral("bench");
    screen.title = QStringLiteral("Benchmark");
    for (int i = 0; i < 20; ++i) {
        CustomScreen::TextWidget w;
        w.x = 8 + (i % 4) * 118;
        w.y = 32 + (i / 4) * 24;
        w.width = 110;
        w.height = 20;
        w.text = QStringLiteral("Load {{src%1}} · {{weather.temp}}°").arg(i % 8);
        w.color = 0xF2F4F6;
        w.alignment = i % 4 == 0 ? CustomScreen::Alignment::center : CustomScreen::Alignment::left;
        if (i % 2)
            w.rule = CustomScreen::ColorRule{std::nullopt, {{0, 0x34C759}, {80, 0xFF3B30}}, {}};
        screen.widgets.append(w);
    }
    for (int i = 0; i < 8; ++i) {
        CustomScreen::BarWidget w;
        w.rect = {8 + (i % 4) * 118, 156 + (i / 4) * 16, 110, 12};
        w.value = QStringLiteral("{{src%1}}").arg(i);
        w.stops = {{0, 0x34C759}, {80, 0xFF3B30}};
        w.inset = 2;
        w.radius = 4;
        screen.widgets.append(w);
    }
    for (int i = 0; i < 6; ++i) {
        CustomScreen::ButtonWidget w;
        w.rect = {8 + i * 78, 196, 72, 40};
        w.label = QStringLiteral("Run {{src%1}}").arg(i);
        w.icon = DeviceIcon::ok;
        w.action = MacroAction::openURL(QStringLiteral("https://example.com/{{src%1}}").arg(i));
        screen.widgets.append(w);
    }
    for (int i = 0; i < 2; ++i) {
        CustomScreen::SparklineWidget w;
        w.rect = {8 + i * 240, 240, 220, 30};
        w.value = QStringLiteral("{{src%1}}").arg(i);
        w.points = 12;
        screen.widgets.append(w);
    }
    for (int i = 0; i < 2; ++i) {
        CustomScreen::SpriteWidget w;
        w.x = 240 + i * 120;
        w.y = 40;
        w.sheet = QStringLiteral("cat.png");
        w.count = 4;
        w.frames = {{0.25, 0}, {0.25, 1}, {0.25, 2}, {0.25, 3}};
        screen.widgets.append(w);
        CustomScreen::BoxWidget box;
        box.rect = {460, 40 + i * 20, 12, 12};
        box.frames = {{0.5, box.rect, 0xFFB020}, {0.5, box.rect, 0x2A2E34}};
        screen.widgets.append(box);
    }
    for (qint64 i = 0; i < 40; i += 2)
        screen.conditions[i] = {QStringLiteral("{{pushed}}"), false};
    return screen;
}

DisplayValues pageValues()
{
    DisplayValues values;
    for (int i = 0; i < 8; ++i) {
        values.insert(QStringLiteral("src%1").arg(i), QString::number(10 + 9 * i));
        values.insert(historyKey(QStringLiteral("src%1").arg(i)), QStringLiteral("10 12 9 14 20 18 25 22 30 28 35 40"));
    }
    values.insert(QStringLiteral("weather.temp"), QStringLiteral("-3"));
    values.insert(QStringLiteral("pushed"), QStringLiteral("green"));
    return values;
}

void BM_RenderCustomPage(benchmark::State& state)
{
    const CustomScreen screen = fortyWidgetPage();
    const DisplayValues values = pageValues();
    const PageIndicator indicator{6, 5};
    for (auto _ : state)
        benchmark::DoNotOptimize(CustomScreenRenderer::renderPage(screen, values, indicator, QStringLiteral("9:41 AM")));
}
BENCHMARK(BM_RenderCustomPage)->Unit(benchmark::kMicrosecond);

// The diff alone, between the Layouts before and after one source changed.
void BM_CustomUpdateOpsOneValue(benchmark::State& state)
{
    const CustomScreen screen = fortyWidgetPage();
    DisplayValues values = pageValues();
    CustomScreenRenderer::Layout last;
    CustomScreenRenderer::buildNodes(screen, values, 8, last, 0);
    values.insert(QStringLiteral("src3"), QStringLiteral("97"));
    CustomScreenRenderer::Layout next;
    CustomScreenRenderer::buildNodes(screen, values, 8, next, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(CustomScreenRenderer::updateOps(last, next));
}
BENCHMARK(BM_CustomUpdateOpsOneValue)->Unit(benchmark::kMicrosecond);

// One value update with every widget built again, as the page driver once made it.
void BM_CustomValueUpdateWholePage(benchmark::State& state)
{
    const CustomScreen screen = fortyWidgetPage();
    DisplayValues values = pageValues();
    CustomScreenRenderer::Layout last;
    CustomScreenRenderer::buildNodes(screen, values, 8, last, 0);
    values.insert(QStringLiteral("src3"), QStringLiteral("97"));
    for (auto _ : state) {
        CustomScreenRenderer::Layout next;
        CustomScreenRenderer::buildNodes(screen, values, 8, next, 0);
        benchmark::DoNotOptimize(CustomScreenRenderer::updateOps(last, next));
    }
}
BENCHMARK(BM_CustomValueUpdateWholePage)->Unit(benchmark::kMicrosecond);

// One whole value update as the page driver makes it: the new Layout from the file's cache,
// then the diff. The value goes back and forth, so every turn has a change to show.
void BM_CustomValueUpdateOneValue(benchmark::State& state)
{
    const CustomScreen screen = fortyWidgetPage();
    DisplayValues values = pageValues();
    CustomScreenRenderer::LayoutCache cache(screen.widgets, screen.conditions);
    CustomScreenRenderer::Layout last = cache.layout(values, 0);
    int turn = 0;
    for (auto _ : state) {
        values.insert(QStringLiteral("src3"), turn++ % 2 ? QStringLiteral("97") : QStringLiteral("35"));
        CustomScreenRenderer::Layout next = cache.layout(values, 0);
        benchmark::DoNotOptimize(CustomScreenRenderer::updateOps(last, next));
        last = std::move(next);
    }
}
BENCHMARK(BM_CustomValueUpdateOneValue)->Unit(benchmark::kMicrosecond);

} // namespace
