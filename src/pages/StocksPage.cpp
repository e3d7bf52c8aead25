#include "pages/StocksPage.h"

#include "device/FoldForDevice.h"
#include "device/MontserratMetrics.h"
#include "device/TextFit.h"
#include "pages/PageDots.h"
#include "pages/PageNodes.h"
#include "pages/StockChart.h"
#include "pages/TopBar.h"
#include "platform/Graphemes.h"
#include "platform/OneLineText.h"

#include <algorithm>
#include <cmath>

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

namespace {

constexpr int shownQuotes = 4;
constexpr std::uint32_t risingColor = 0x3FBF6F;
constexpr std::uint32_t fallingColor = 0xE5484D;

StockQuote placeholderQuote()
{
    StockQuote q;
    q.symbol = QStringLiteral("--");
    q.companyName = QStringLiteral("Unavailable");
    return q;
}

// Between the card's side margins: a price or change whose text is wider than this is none
// a quote can have (a broken service's 1e300) and would be drawn past the card's edge.
constexpr int cardInnerWidth = 196;

// A price or change that is no finite number is shown as missing.
std::optional<double> finite(const std::optional<double>& v)
{
    return v && std::isfinite(*v) ? v : std::nullopt;
}

}  // namespace

QList<PatchOp> quoteBadgeOps(const QString& text, int index)
{
    const int tw = std::max(MontserratMetrics::textWidth(text, 14), 1);
    QList<PatchOp> ops;
    appendNode(ops, 604, "cont", pageNode, index,
               boxProps(464 - (tw + 24), 34, tw + 24, 22, Palette::background, Palette::line, 1, 11));
    appendLabel(ops, 605, 604, 0, 12, 2, tw, 18, Palette::dimText, 14, text);
    return ops;
}

QList<PatchOp> quoteCardOps(const StockQuote& quote, int slot, int chartBudget)
{
    const std::uint32_t card = 610 + 10 * std::uint32_t(slot);
    std::optional<double> price = finite(quote.price);
    std::optional<double> change = finite(quote.percentageChange);

    const QString symbol = firstGraphemes(foldForDevice(quote.symbol), 8);
    QString priceText = price ? QString::number(*price, 'f', 2) : QStringLiteral("--");
    if (price && MontserratMetrics::textWidth(priceText, 24) > cardInnerWidth) {
        price.reset();
        priceText = QStringLiteral("--");
    }
    const int pw = std::max(MontserratMetrics::textWidth(priceText, 24), 1);
    StockQuote shown = quote;
    shown.price = price;
    shown.percentageChange = change;
    if (change && MontserratMetrics::textWidth(shown.changeText(), 18) > cardInnerWidth)
        shown.percentageChange = change = std::nullopt;
    const QString changeText = shown.changeText();
    const int changeSize = change ? 18 : 14;
    const int cw = MontserratMetrics::textWidth(changeText, changeSize);
    const int m = (cw >= 1 && cw > pw) ? cw : pw;
    const QString company = fitText(oneLineText(quote.companyName), 14, 188 - m);
    const std::uint32_t changeColor = !change ? Palette::dimText : (*change >= 0 ? risingColor : fallingColor);

    const int x = slot % 2 == 0 ? 16 : 244;
    const int y = slot < 2 ? 62 : 172;
    QList<PatchOp> ops;
    appendNode(ops, card, "cont", pageNode, slot + 4, boxProps(x, y, 220, 102, Palette::face, Palette::line, 1, 8));
    appendLabel(ops, card + 1, card, 0, 12, 8, std::max(MontserratMetrics::textWidth(symbol, 18), 1), 22,
                Palette::primaryText, 18, symbol);
    appendLabel(ops, card + 2, card, 1, 12, 34, std::max(MontserratMetrics::textWidth(company, 14), 1), 18,
                Palette::dimText, 14, company);
    appendLabel(ops, card + 3, card, 2, 208 - pw, 6, pw, 28, Palette::primaryText, 24, priceText);
    appendLabel(ops, card + 4, card, 3, 208 - std::max(cw, 1), 36, std::max(cw, 1), 22, changeColor, changeSize,
                changeText);
    ops.append(sparklineOps(shown, slot, card, !change || *change >= 0, chartBudget));
    return ops;
}

QList<QList<PatchOp>> stocksPageOps(const QList<StockQuote>& quotes, const QString& timeText,
                                    const PageIndicator& indicator)
{
    QList<StockQuote> shown = quotes.first(std::min<qsizetype>(quotes.size(), shownQuotes));
    while (shown.size() < shownQuotes)
        shown.append(placeholderQuote());

    const QList<PatchOp> dots = pageIndicatorOps(indicator, 680, 8);
    // The device keeps at most 128 nodes: 26 fixed ones and the dots leave the rest to the
    // four charts.
    const int dotCount = int(dots.size() / 2);
    const int chartBudget = std::max(0, (102 - dotCount) / 4);

    const bool allRealTime = std::all_of(shown.cbegin(), shown.cend(), [](const StockQuote& q) { return q.isRealTime; });

    QList<PatchOp> ops = pagePrefixOps();
    appendTopBar(ops, 601, 0, timeText);
    appendLabel(ops, 603, pageNode, 2, 16, 34, 120, 22, Palette::primaryText, 18, QStringLiteral("Markets"));
    ops.append(quoteBadgeOps(allRealTime ? QStringLiteral("REAL TIME") : QStringLiteral("DELAYED 15M"), 3));
    for (int slot = 0; slot < shownQuotes; ++slot)
        ops.append(quoteCardOps(shown[slot], slot, chartBudget));
    ops.append(dots);
    return {ops};
}

}  // namespace DynamicUIDemo
