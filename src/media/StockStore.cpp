#include "media/StockStore.h"

#include "platform/Graphemes.h"
#include "platform/Settings.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

namespace {

bool isSymbolCharacter(QStringView character)
{
    if (character == u"." || character == u"-")
        return true;
    // A letter with its combining marks stays whole: the cluster counts by its base.
    const QList<uint> scalars = character.toUcs4();
    return !scalars.isEmpty() && QChar::isLetterOrNumber(char32_t(scalars.first()));
}

std::optional<QStringList> decodeSymbols(const QByteArray& data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isArray())
        return std::nullopt;
    QStringList symbols;
    for (const QJsonValue& value : document.array()) {
        if (!value.isString())
            return std::nullopt;
        symbols.append(value.toString());
    }
    return symbols;
}

std::optional<double> optionalNumber(const QJsonObject& object, const QString& key, bool& ok)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isDouble())
        ok = false;
    return value.toDouble();
}

}  // namespace

QStringList StockStore::defaultSymbols()
{
    return {QStringLiteral("AAPL"), QStringLiteral("NVDA"), QStringLiteral("TSLA"), QStringLiteral("SPY")};
}

StockStore::StockStore(Settings& defaults, QObject* parent) : QObject(parent), m_defaults(defaults)
{
    const std::optional<QByteArray> storedSymbols = m_defaults.bytes(symbolsKey);
    const std::optional<QStringList> symbols = storedSymbols ? decodeSymbols(*storedSymbols) : std::nullopt;
    // Anything but four slots is not a list this page can show: the defaults stand in, in
    // memory only, so nothing the user stored is overwritten before they edit a slot.
    m_symbols = symbols && symbols->size() == slotCount ? *symbols : defaultSymbols();

    if (const std::optional<QByteArray> storedQuotes = m_defaults.bytes(quotesKey))
        m_quotes = decodeQuotes(*storedQuotes).value_or(QList<StockQuote>());
}

QString StockStore::normalizedSymbol(const QString& text)
{
    QString symbol;
    qsizetype kept = 0;
    for (const QString& character : graphemes(text.toUpper())) {
        if (kept == maxSymbolLength)
            break;
        if (!isSymbolCharacter(character))
            continue;
        symbol += character;
        ++kept;
    }
    return symbol;
}

void StockStore::setSymbol(int slot, const QString& text)
{
    if (slot < 0 || slot >= m_symbols.size())
        return;
    QStringList symbols = m_symbols;
    symbols[slot] = normalizedSymbol(text);
    QJsonArray array;
    for (const QString& s : symbols)
        array.append(s);
    m_defaults.setBytes(symbolsKey, QJsonDocument(array).toJson(QJsonDocument::Compact));
    if (symbols == m_symbols)
        return;
    m_symbols = symbols;
    emit symbolsChanged();
}

QList<StockQuote> StockStore::slotQuotes() const
{
    QHash<QString, StockQuote> bySymbol;
    for (const StockQuote& quote : m_quotes)
        bySymbol.insert(quote.symbol, quote);
    QList<StockQuote> out;
    out.reserve(m_symbols.size());
    for (const QString& symbol : m_symbols)
        out.append(bySymbol.value(symbol, placeholder(symbol)));
    return out;
}

bool StockStore::beginRefresh()
{
    if (m_isRefreshing)
        return false;
    setRefreshing(true);
    setErrorMessage(std::nullopt);
    return true;
}

void StockStore::applyRefresh(const QList<StockQuote>& fetched, const std::optional<QString>& message,
                              const QDateTime& date)
{
    // Two quotes of one symbol are interchangeable here: the later one wins.
    QHash<QString, StockQuote> fetchedBySymbol;
    for (const StockQuote& quote : fetched)
        fetchedBySymbol.insert(quote.symbol, quote);
    QHash<QString, StockQuote> storedBySymbol;
    for (const StockQuote& quote : m_quotes)
        storedBySymbol.insert(quote.symbol, quote);

    QList<StockQuote> quotes;
    quotes.reserve(m_symbols.size());
    for (const QString& symbol : m_symbols) {
        if (const auto found = fetchedBySymbol.constFind(symbol); found != fetchedBySymbol.cend())
            quotes.append(*found);
        else
            quotes.append(storedBySymbol.value(symbol, placeholder(symbol)));
    }

    setQuotes(quotes);
    setRefreshing(false);
    setErrorMessage(message);
    if (!fetched.isEmpty() && m_lastUpdated != date) {
        m_lastUpdated = date;
        emit lastUpdatedChanged();
    }
    // A list that cannot be written leaves the stored one as it was.
    if (const std::optional<QByteArray> data = encodeQuotes(m_quotes))
        m_defaults.setBytes(quotesKey, *data);
}

StockQuote StockStore::placeholder(const QString& symbol)
{
    StockQuote quote;
    quote.symbol = symbol;
    quote.companyName = symbol;
    return quote;
}

std::optional<QByteArray> StockStore::encodeQuotes(const QList<StockQuote>& quotes)
{
    QJsonArray array;
    for (const StockQuote& quote : quotes) {
        QJsonObject object;
        object.insert(QStringLiteral("symbol"), quote.symbol);
        object.insert(QStringLiteral("companyName"), quote.companyName);
        if (quote.price) {
            if (!std::isfinite(*quote.price))
                return std::nullopt;
            object.insert(QStringLiteral("price"), *quote.price);
        }
        if (quote.percentageChange) {
            if (!std::isfinite(*quote.percentageChange))
                return std::nullopt;
            object.insert(QStringLiteral("percentageChange"), *quote.percentageChange);
        }
        object.insert(QStringLiteral("isRealTime"), quote.isRealTime);
        QJsonArray chart;
        for (const double value : quote.chart) {
            if (!std::isfinite(value))
                return std::nullopt;
            chart.append(value);
        }
        object.insert(QStringLiteral("chart"), chart);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<StockQuote>> StockStore::decodeQuotes(const QByteArray& data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isArray())
        return std::nullopt;
    QList<StockQuote> quotes;
    for (const QJsonValue& element : document.array()) {
        if (!element.isObject())
            return std::nullopt;
        const QJsonObject object = element.toObject();
        const QJsonValue symbol = object.value(QStringLiteral("symbol"));
        const QJsonValue companyName = object.value(QStringLiteral("companyName"));
        const QJsonValue isRealTime = object.value(QStringLiteral("isRealTime"));
        const QJsonValue chart = object.value(QStringLiteral("chart"));
        if (!symbol.isString() || !companyName.isString() || !isRealTime.isBool() || !chart.isArray())
            return std::nullopt;
        StockQuote quote;
        quote.symbol = symbol.toString();
        quote.companyName = companyName.toString();
        bool ok = true;
        quote.price = optionalNumber(object, QStringLiteral("price"), ok);
        quote.percentageChange = optionalNumber(object, QStringLiteral("percentageChange"), ok);
        if (!ok)
            return std::nullopt;
        quote.isRealTime = isRealTime.toBool();
        for (const QJsonValue& value : chart.toArray()) {
            if (!value.isDouble())
                return std::nullopt;
            quote.chart.append(value.toDouble());
        }
        quotes.append(quote);
    }
    return quotes;
}

void StockStore::setQuotes(const QList<StockQuote>& quotes)
{
    if (quotes == m_quotes)
        return;
    m_quotes = quotes;
    emit quotesChanged();
}

void StockStore::setRefreshing(bool refreshing)
{
    if (refreshing == m_isRefreshing)
        return;
    m_isRefreshing = refreshing;
    emit isRefreshingChanged();
}

void StockStore::setErrorMessage(const std::optional<QString>& message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = message;
    emit errorMessageChanged();
}
