#include "pages/StockChart.h"

#include "pages/PageNodes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

namespace {

constexpr int maxChartPoints = 24;
constexpr std::uint32_t risingColor = 0x3FBF6F;
constexpr std::uint32_t fallingColor = 0xE5484D;

// Where v lies between lo and hi, as a fraction kept within 0 … 1: with extreme prices the
// span can overflow to infinity and the quotient become NaN, which must not reach a pixel.
double position(double v, double lo, double hi)
{
    const double f = (v - lo) / (hi - lo);
    return std::isnan(f) ? 0 : std::clamp(f, 0.0, 1.0);
}

QList<int> chartRows(const QList<double>& values, double lo, double hi)
{
    QList<int> rows;
    rows.reserve(values.size());
    for (double v : values)
        rows.append(hi == lo ? 77 : 89 - roundedPixels(position(v, lo, hi) * 24));
    return rows;
}

QList<Rect> stepRects(const QList<int>& rows)
{
    const int m = int(rows.size());
    auto x = [m](int j) { return j * 196 / m + 12; };
    QList<Rect> rects;
    int a = 0;
    while (a < m) {
        int e = a;
        while (e + 1 < m && rows[e + 1] == rows[a])
            ++e;
        const bool last = e == m - 1;
        const int xEnd = last ? 208 : x(e + 1);
        const double shade = double(e) / double(std::max(m - 1, 1));
        rects.append(Rect{x(a), rows[a], std::max(xEnd - x(a), 2), 2, shade});
        if (!last) {
            const int r = rows[e];
            const int next = rows[e + 1];
            rects.append(Rect{xEnd - 2, std::min(r, next), 2, std::abs(r - next) + 2, shade});
        }
        a = e + 1;
    }
    return rects;
}

QList<double> resampled(const QList<double>& values, int count)
{
    const int m = int(values.size());
    if (count < 2 || count >= m)
        return values;
    QList<double> points;
    points.reserve(count);
    for (int j = 0; j < count; ++j)
        points.append(values[j * (m - 1) / (count - 1)]);
    return points;
}

}  // namespace

std::uint32_t blendColor(std::uint32_t a, std::uint32_t b, double t)
{
    t = std::isnan(t) ? 0 : std::clamp(t, 0.0, 1.0);
    std::uint32_t result = 0;
    for (int shift : {16, 8, 0}) {
        const double ca = (a >> shift) & 0xFF;
        const double cb = (b >> shift) & 0xFF;
        const auto c = std::uint32_t(std::clamp(roundedPixels(ca + t * (cb - ca)), 0, 255));
        result |= c << shift;
    }
    return result;
}

QList<PatchOp> sparklineOps(const StockQuote& quote, int slot, std::uint32_t cardID, bool rising, int budget)
{
    // Points that are no number cannot be placed; they are left out of the curve.
    QList<double> values;
    for (double v : quote.chart.first(std::min<qsizetype>(quote.chart.size(), maxChartPoints))) {
        if (std::isfinite(v))
            values.append(v);
    }
    if (values.size() < 2 || budget < 4)
        return {};

    double lo = *std::min_element(values.cbegin(), values.cend());
    double hi = *std::max_element(values.cbegin(), values.cend());
    double span = hi - lo;
    if (span <= std::fabs(hi) * 0.02)
        span = std::fabs(hi) * 0.02;

    std::optional<double> previousClose;
    if (quote.price && quote.percentageChange) {
        const double factor = 1 + *quote.percentageChange / 100;
        if (factor > 0) {
            const double pc = *quote.price / factor;
            if (std::isfinite(pc) && lo - span <= pc && pc <= hi + span) {
                previousClose = pc;
                lo = std::min(lo, pc);
                hi = std::max(hi, pc);
            }
        }
    }
    const int baselineNodes = previousClose ? 1 : 0;

    QList<Rect> rects = stepRects(chartRows(values, lo, hi));
    for (int count : {18, 14, 11, 8, 5, 3, 2}) {
        if (rects.size() + baselineNodes <= budget)
            break;
        rects = stepRects(chartRows(resampled(values, count), lo, hi));
    }

    QList<PatchOp> ops;
    ops.reserve(2 * (rects.size() + baselineNodes));
    std::uint32_t id = 900 + 64 * std::uint32_t(slot);
    int index = 4;
    if (previousClose) {
        const int y = hi == lo ? 90 - 12 : 90 - roundedPixels(position(*previousClose, lo, hi) * 24);
        appendNode(ops, id++, "cont", cardID, index++, boxProps(12, y, 196, 1, Palette::line, std::nullopt, 0, 0));
    }
    const std::uint32_t lineColor = rising ? risingColor : fallingColor;
    for (const Rect& r : rects) {
        const std::uint32_t bg = blendColor(Palette::face, lineColor, r.shade * 0.55 + 0.45);
        appendNode(ops, id++, "cont", cardID, index++, boxProps(r.x, r.y, r.w, r.h, bg, std::nullopt, 0, 0));
    }
    return ops;
}

}  // namespace DynamicUIDemo
