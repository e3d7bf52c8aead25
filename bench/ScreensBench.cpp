// Speed of reading a screen file and of filling a page's texts with values: both run on the
// main thread, the first on every reload of the Screens folder, the second on every value.

#include "screens/format/CustomScreen.h"
#include "screens/format/ValueEvaluators.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

namespace {

QByteArray fortyWidgetFile()
{
    QJsonObject sources;
    for (int i = 0; i < 8; ++i)
        sources.insert(QStringLiteral("src%1").arg(i),
                       QJsonObject{{"shell", QStringLiteral("cat /proc/loadavg | cut -d' ' -f%1").arg(i + 1)},
                                   {"every", 5},
                                   {"decimals", 1}});
    sources.insert(QStringLiteral("weather"),
                   QJsonObject{{"url", "https://api.example.com/weather?city=Oslo"}, {"field", "main.temp"}});
    sources.insert(QStringLiteral("pushed"), QJsonObject{{"push", "build.status"}, {"expires", 600}});
    QJsonArray widgets;
    for (int i = 0; i < 40; ++i) {
        widgets.append(QJsonObject{{"type", "text"},
                                   {"x", 8 + (i % 4) * 118},
                                   {"y", 32 + (i / 4) * 26},
                                   {"w", 110},
                                   {"text", QStringLiteral("Load {{src%1}} / {{weather.temp}}").arg(i % 8)},
                                   {"size", 14},
                                   {"color", QJsonArray{QJsonObject{{"at", 0}, {"color", "up"}},
                                                        QJsonObject{{"at", 80}, {"color", "down"}}}},
                                   {"visible", "{{pushed}}"}});
    }
    return QJsonDocument(QJsonObject{{"title", "Benchmark"},
                                     {"background", "surface"},
                                     {"sources", sources},
                                     {"widgets", widgets}})
        .toJson();
}

void BM_ParseFortyWidgetScreen(benchmark::State& state)
{
    const QByteArray data = fortyWidgetFile();
    const QString id = QStringLiteral("bench");
    const QString file = QStringLiteral("bench.json");
    for (auto _ : state) {
        QList<ScreenIssue> issues;
        benchmark::DoNotOptimize(CustomScreen::parse(data, id, file, issues));
    }
}
BENCHMARK(BM_ParseFortyWidgetScreen)->Unit(benchmark::kMicrosecond);

void BM_FillPageTexts(benchmark::State& state)
{
    QStringList templates;
    DisplayValues values;
    for (int i = 0; i < 40; ++i) {
        templates.append(QStringLiteral("CPU {{cpu%1}} · {{ weather.temp }}°").arg(i % 8));
        values.insert(QStringLiteral("cpu%1").arg(i % 8), QStringLiteral("%1.5%").arg(i));
    }
    values.insert(QStringLiteral("weather.temp"), QStringLiteral("-3"));
    for (auto _ : state) {
        for (const QString& text : std::as_const(templates))
            benchmark::DoNotOptimize(fillPlaceholders(text, values));
    }
}
BENCHMARK(BM_FillPageTexts)->Unit(benchmark::kMicrosecond);

} // namespace
