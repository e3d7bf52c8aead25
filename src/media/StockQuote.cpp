#include "media/StockQuote.h"

#include <cmath>

QString StockQuote::changeText() const
{
    if (!percentageChange || !std::isfinite(*percentageChange))
        return QStringLiteral("UNAVAILABLE");
    const double c = *percentageChange;
    // QString::number is independent of the user's locale.
    return QLatin1String(c >= 0 ? "+" : "-") + QString::number(std::fabs(c), 'f', 2) + QLatin1Char('%');
}
