#pragma once
// What the hub relies on of the stock symbols and quotes store. Until the stock service
// exists, EmptyStockStore stands in: no symbols, no quotes.

#include "media/StockQuote.h"

#include <QHash>
#include <QString>

class StockStore {
public:
    virtual ~StockStore() = default;
    virtual QHash<QString, StockQuote> quotesBySymbol() const = 0;
};

class EmptyStockStore final : public StockStore {
public:
    QHash<QString, StockQuote> quotesBySymbol() const override { return {}; }
};
