#pragma once
// One stock quote as the stock store keeps it and the stocks page shows it.

#include <QList>
#include <QString>

#include <optional>

struct StockQuote {
    QString symbol;       // ticker, upper case
    QString companyName;  // cleaned display name
    std::optional<double> price;
    std::optional<double> percentageChange;  // percent
    bool isRealTime = false;
    QList<double> chart;  // recent prices in chart order, or empty

    // "UNAVAILABLE" without a change (or with one that is not a finite number), else the
    // sign and the absolute value with two decimals: "+1.23%", "-0.40%", "+0.00%".
    QString changeText() const;

    friend bool operator==(const StockQuote&, const StockQuote&) = default;
};
