#pragma once
// Quotes of the stocks page from the quote service: one info request and one chart request
// per symbol, the asset class "stocks" tried before "etf". Requests run asynchronously on the
// thread the service lives on, and replies (up to 1 MiB of JSON each) are read on a worker;
// every answer comes back to that thread, through a callback, once.

#include "media/StockQuote.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class OneThreadWorker;
class Settings;

class StockService : public QObject {
    Q_OBJECT

public:
    enum class ServiceError {
        invalidResponse,  // not an HTTP reply with status 200
        symbolNotFound,   // neither asset class knows the symbol
    };
    // The network's own failure (time-out included), or a body over maxBodyBytes.
    struct TransportError {
        QString message;
        friend bool operator==(const TransportError&, const TransportError&) = default;
    };
    // A reply that is not the JSON the service promises.
    struct DecodingError {
        QString message;
        friend bool operator==(const DecodingError&, const DecodingError&) = default;
    };
    using Failure = std::variant<ServiceError, TransportError, DecodingError>;

    using QuoteResult = std::variant<StockQuote, Failure>;
    // No quote: the asset class has no data for the symbol.
    using InfoResult = std::variant<std::optional<StockQuote>, Failure>;
    using ChartResult = std::variant<QList<double>, Failure>;
    using BodyResult = std::variant<QByteArray, Failure>;

    static constexpr qsizetype maxBodyBytes = 1024 * 1024;
    static constexpr int chartPoints = 24;
    static constexpr std::chrono::milliseconds defaultTimeout{15000};
    static inline const QString serviceBaseKey = QStringLiteral("stocks.serviceBase");
    static inline const QString defaultServiceBase = QStringLiteral("https://api.nasdaq.com");
    static inline const QByteArray userAgent = QByteArrayLiteral("Mozilla/5.0 (X11; Linux x86_64; Tarv/0.1)");

    // The base address is read from the settings at every request, so a changed setting
    // applies from the next refresh on.
    explicit StockService(const Settings& settings, std::chrono::milliseconds timeout = defaultTimeout,
                          QObject* parent = nullptr);
    ~StockService() override;

    // The base address from the setting: an absolute http or https address with a host;
    // anything else (or no setting) gives the default.
    QUrl serviceBase() const;

    // All symbols at once; `done` gets the quotes in the order they arrived. Empty symbols
    // are not asked for, and symbols that fail are left out without a word.
    // `firstFailure` says why the first symbol in list order that failed did, as
    // "SYMBOL: reason"; none when every symbol came.
    using QuotesDone = std::function<void(const QList<StockQuote>& quotes, const std::optional<QString>& firstFailure)>;
    void fetchQuotes(const QStringList& symbols, QuotesDone done);
    // A failure in words for the user.
    static QString failureText(const Failure& failure);
    void fetchQuote(const QString& symbol, bool includeChart, std::function<void(const QuoteResult&)> done);
    void fetchQuoteInfo(const QString& symbol, const QString& assetClass, bool includeChart,
                        std::function<void(const InfoResult&)> done);
    // The chart of an already percent-encoded symbol, thinned to chartPoints values.
    void fetchQuoteChart(const QString& encodedSymbol, const QString& assetClass,
                         std::function<void(const ChartResult&)> done);
    void makeQuoteRequest(const QUrl& url, std::function<void(const BodyResult&)> done);

    // An info reply read with the given chart: no quote when the reply has no data.
    static std::variant<std::optional<StockQuote>, DecodingError> parseQuote(const QByteArray& info,
                                                                             const QList<double>& chart);
    // A chart reply's points thinned to chartPoints values, or none at all.
    static std::variant<QList<double>, DecodingError> parseChart(const QByteArray& reply);
    // A price or change as the service writes it ("$1,234.50", "+1.23%"); none when it is
    // not a finite number.
    static std::optional<double> parseNumberText(const QString& text);
    static QString cleanCompanyName(const QString& name);

private:
    void fetchFromAssetClass(const QString& symbol, qsizetype classIndex, bool includeChart,
                             std::function<void(const QuoteResult&)> done);
    QUrl endpoint(const QString& encodedSymbol, const QString& kind, const QString& assetClass) const;
    // Runs `parse` on the worker; what it gives back then runs on the service's thread.
    void parseOffThread(std::function<std::function<void()>()> parse);

    const Settings& m_settings;
    std::chrono::milliseconds m_timeout;
    std::unique_ptr<OneThreadWorker> m_parser;
};
