#include "media/StockService.h"

#include "platform/Graphemes.h"
#include "platform/HttpGet.h"
#include "platform/OneThreadWorker.h"
#include "platform/Settings.h"
#include "platform/TextTrim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QMap>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

namespace {

const QStringList assetClasses{QStringLiteral("stocks"), QStringLiteral("etf")};

// Characters a URL path may carry as they are, beyond the unreserved ones that
// QUrl::toPercentEncoding never encodes.
const QByteArray pathCharacters = QByteArrayLiteral("!$&'()*+,;=:@/");

// Texts that say what kind of security a company name stands for; they are noise on a card.
const char* const nameNoise[] = {" Common Stock", " Common Shares", " Class A", " Class B", " Incorporated",
                                 " Inc.",         " Corporation",   " Corp.",   " ETF Trust", " Ltd."};

constexpr qsizetype maxCompanyNameLength = 24;

bool isNameEdge(QChar c)
{
    if (c == u'\t' || c.category() == QChar::Separator_Space)
        return true;
    switch (c.unicode()) {
    case u',':
    case u'.':
    case u';':
    case u':':
    case u'-':
    case 0x2013:  // en dash
    case 0x2014:  // em dash
    case u'&':
    case u'/':
        return true;
    default:
        return false;
    }
}

std::variant<QJsonObject, StockService::DecodingError> replyObject(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return StockService::DecodingError{QStringLiteral("the reply is not JSON: ") + error.errorString()};
    if (!document.isObject())
        return StockService::DecodingError{QStringLiteral("the reply is not a JSON object")};
    return document.object();
}

StockService::DecodingError missing(const QString& key, const char* kind)
{
    return {QStringLiteral("\"%1\" is missing or not %2").arg(key, QLatin1String(kind))};
}

}  // namespace

StockService::StockService(const Settings& settings, std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent), m_settings(settings), m_timeout(timeout),
      m_parser(std::make_unique<OneThreadWorker>())
{
}

StockService::~StockService() = default;

QUrl StockService::serviceBase() const
{
    if (const std::optional<QString> text = m_settings.text(serviceBaseKey)) {
        const QUrl url(text->trimmed(), QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty() &&
            !url.hasQuery() && !url.hasFragment())
            return url;
    }
    return QUrl(defaultServiceBase);
}

QUrl StockService::endpoint(const QString& encodedSymbol, const QString& kind, const QString& assetClass) const
{
    QString base = serviceBase().toString(QUrl::FullyEncoded);
    while (base.endsWith(u'/'))
        base.chop(1);
    return QUrl(base + QStringLiteral("/api/quote/") + encodedSymbol + u'/' + kind + QStringLiteral("?assetclass=") +
                assetClass);
}

// --- Requests ------------------------------------------------------------------------------

void StockService::fetchQuotes(const QStringList& symbols, QuotesDone done)
{
    struct Batch {
        qsizetype pending = 0;
        QList<StockQuote> quotes;
        // By position in the list: the first of them is reported, whatever came back first.
        QMap<qsizetype, QString> failures;
        QuotesDone done;
        void finish()
        {
            const std::optional<QString> first =
                failures.isEmpty() ? std::nullopt : std::optional<QString>(failures.first());
            done(quotes, first);
        }
    };
    auto batch = std::make_shared<Batch>();
    batch->done = std::move(done);
    batch->pending = std::count_if(symbols.cbegin(), symbols.cend(), [](const QString& s) { return !s.isEmpty(); });
    if (batch->pending == 0) {
        // Answers always come later, never inside the call.
        QMetaObject::invokeMethod(this, [batch] { batch->finish(); }, Qt::QueuedConnection);
        return;
    }
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        const QString& symbol = symbols[i];
        if (symbol.isEmpty())
            continue;
        fetchQuote(symbol, true, [batch, i, symbol](const QuoteResult& result) {
            if (const auto* quote = std::get_if<StockQuote>(&result))
                batch->quotes.append(*quote);
            else
                batch->failures.insert(i, symbol + QStringLiteral(": ") + failureText(std::get<Failure>(result)));
            if (--batch->pending == 0)
                batch->finish();
        });
    }
}

QString StockService::failureText(const Failure& failure)
{
    if (const auto* error = std::get_if<ServiceError>(&failure)) {
        switch (*error) {
        case ServiceError::invalidResponse: return QStringLiteral("the quote service did not answer as expected");
        case ServiceError::symbolNotFound: return QStringLiteral("the quote service does not know this symbol");
        }
    }
    if (const auto* transport = std::get_if<TransportError>(&failure))
        return transport->message;
    return std::get<DecodingError>(failure).message;
}

void StockService::fetchQuote(const QString& symbol, bool includeChart, std::function<void(const QuoteResult&)> done)
{
    fetchFromAssetClass(symbol, 0, includeChart, std::move(done));
}

void StockService::fetchFromAssetClass(const QString& symbol, qsizetype classIndex, bool includeChart,
                                       std::function<void(const QuoteResult&)> done)
{
    fetchQuoteInfo(symbol, assetClasses[classIndex], includeChart,
                   [this, symbol, classIndex, includeChart, done](const InfoResult& result) {
                       // A failure ends the search: a network fault under one class says
                       // nothing about the symbol, so the next class is not asked.
                       if (const auto* failure = std::get_if<Failure>(&result))
                           return done(*failure);
                       if (const auto& quote = std::get<std::optional<StockQuote>>(result))
                           return done(*quote);
                       if (classIndex + 1 < assetClasses.size())
                           return fetchFromAssetClass(symbol, classIndex + 1, includeChart, done);
                       done(Failure{ServiceError::symbolNotFound});
                   });
}

void StockService::fetchQuoteInfo(const QString& symbol, const QString& assetClass, bool includeChart,
                                  std::function<void(const InfoResult&)> done)
{
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(symbol, pathCharacters));
    makeQuoteRequest(
        endpoint(encoded, QStringLiteral("info"), assetClass),
        [this, encoded, assetClass, includeChart, done](const BodyResult& body) {
            if (const auto* failure = std::get_if<Failure>(&body))
                return done(*failure);
            parseOffThread([this, info = std::get<QByteArray>(body), encoded, assetClass, includeChart,
                            done]() -> std::function<void()> {
                auto parsed = parseQuote(info, {});
                return [this, parsed = std::move(parsed), encoded, assetClass, includeChart, done] {
                    if (const auto* error = std::get_if<DecodingError>(&parsed))
                        return done(Failure{*error});
                    const std::optional<StockQuote>& quote = std::get<std::optional<StockQuote>>(parsed);
                    // A class without the symbol needs no chart.
                    if (!quote || !includeChart)
                        return done(quote);
                    fetchQuoteChart(encoded, assetClass, [quote, done](const ChartResult& chart) {
                        StockQuote withChart = *quote;
                        // A chart that fails leaves the quote without one.
                        if (const auto* values = std::get_if<QList<double>>(&chart))
                            withChart.chart = *values;
                        done(std::optional<StockQuote>(withChart));
                    });
                };
            });
        });
}

void StockService::fetchQuoteChart(const QString& encodedSymbol, const QString& assetClass,
                                   std::function<void(const ChartResult&)> done)
{
    makeQuoteRequest(endpoint(encodedSymbol, QStringLiteral("chart"), assetClass), [this, done](const BodyResult& body) {
        if (const auto* failure = std::get_if<Failure>(&body))
            return done(*failure);
        parseOffThread([reply = std::get<QByteArray>(body), done]() -> std::function<void()> {
            auto parsed = parseChart(reply);
            return [parsed = std::move(parsed), done] {
                if (const auto* error = std::get_if<DecodingError>(&parsed))
                    return done(Failure{*error});
                done(std::get<QList<double>>(parsed));
            };
        });
    });
}

void StockService::parseOffThread(std::function<std::function<void()>()> parse)
{
    // The worker is the service's own: destroying the service waits for the parse, and the
    // answer is dropped with it.
    m_parser->run(this, std::move(parse), [](const std::function<void()>& then) { then(); });
}

void StockService::makeQuoteRequest(const QUrl& url, std::function<void(const BodyResult&)> done)
{
    HttpGet::Request request;
    request.url = url;
    request.headers = {{"User-Agent", userAgent}, {"Accept", "application/json"}};
    request.maxBodyBytes = maxBodyBytes;
    // The time-out bounds the whole request, not only a silence: a server that trickles its
    // reply would otherwise hold the refresh, and with it every later one, for good.
    request.deadline = m_timeout;
    request.lookupShare = "stocks";
    auto* get = new HttpGet(std::move(request), this);
    get->onDone = [get, done](const HttpGet::Outcome& outcome) {
        get->deleteLater();
        if (const auto& failure = outcome.failure) {
            if (failure->kind == HttpGet::Failure::Kind::bodyTooLarge)
                return done(Failure{TransportError{QStringLiteral("the reply is larger than 1 MiB")}});
            if (failure->kind == HttpGet::Failure::Kind::timedOut)
                return done(Failure{TransportError{QStringLiteral("the request timed out")}});
            return done(Failure{TransportError{failure->message}});
        }
        if (outcome.status != 200)
            return done(Failure{ServiceError::invalidResponse});
        done(outcome.body);
    };
    get->start();
}

// --- Reading replies -----------------------------------------------------------------------

std::variant<std::optional<StockQuote>, StockService::DecodingError> StockService::parseQuote(
    const QByteArray& info, const QList<double>& chart)
{
    const auto root = replyObject(info);
    if (const auto* error = std::get_if<DecodingError>(&root))
        return *error;
    const QJsonValue data = std::get<QJsonObject>(root).value(QStringLiteral("data"));
    if (data.isUndefined() || data.isNull())
        return std::optional<StockQuote>();
    if (!data.isObject())
        return missing(QStringLiteral("data"), "an object");
    const QJsonObject object = data.toObject();

    const QJsonValue symbol = object.value(QStringLiteral("symbol"));
    if (!symbol.isString())
        return missing(QStringLiteral("symbol"), "text");
    const QJsonValue companyName = object.value(QStringLiteral("companyName"));
    if (!companyName.isString())
        return missing(QStringLiteral("companyName"), "text");
    const QJsonValue primary = object.value(QStringLiteral("primaryData"));
    if (!primary.isObject())
        return missing(QStringLiteral("primaryData"), "an object");
    const QJsonObject primaryData = primary.toObject();
    const QJsonValue price = primaryData.value(QStringLiteral("lastSalePrice"));
    if (!price.isString())
        return missing(QStringLiteral("lastSalePrice"), "text");
    const QJsonValue change = primaryData.value(QStringLiteral("percentageChange"));
    if (!change.isString())
        return missing(QStringLiteral("percentageChange"), "text");
    const QJsonValue realTime = primaryData.value(QStringLiteral("isRealTime"));
    if (!realTime.isBool())
        return missing(QStringLiteral("isRealTime"), "a Boolean");

    StockQuote quote;
    quote.symbol = symbol.toString().toUpper();
    quote.companyName = cleanCompanyName(companyName.toString());
    quote.price = parseNumberText(price.toString());
    quote.percentageChange = parseNumberText(change.toString());
    quote.isRealTime = realTime.toBool();
    quote.chart = chart;
    return std::optional<StockQuote>(quote);
}

std::variant<QList<double>, StockService::DecodingError> StockService::parseChart(const QByteArray& reply)
{
    const auto root = replyObject(reply);
    if (const auto* error = std::get_if<DecodingError>(&root))
        return *error;
    const QJsonValue data = std::get<QJsonObject>(root).value(QStringLiteral("data"));
    if (data.isUndefined() || data.isNull())
        return QList<double>();
    if (!data.isObject())
        return missing(QStringLiteral("data"), "an object");
    const QJsonValue chart = data.toObject().value(QStringLiteral("chart"));
    if (chart.isUndefined() || chart.isNull())
        return QList<double>();
    if (!chart.isArray())
        return missing(QStringLiteral("chart"), "a list");

    QList<double> points;
    const QJsonArray array = chart.toArray();
    points.reserve(array.size());
    for (const QJsonValue& point : array) {
        const QJsonValue y = point.toObject().value(QStringLiteral("y"));
        if (!point.isObject() || !y.isDouble())
            return missing(QStringLiteral("y"), "a number");
        points.append(y.toDouble());
    }
    if (points.isEmpty())
        return points;

    // A long day of points is sampled at a whole-number stride from its first point; a short
    // one is padded with its last point.
    const qsizetype n = points.size();
    const qsizetype step = n < chartPoints ? 1 : n / chartPoints;
    QList<double> values;
    values.reserve(chartPoints);
    for (qsizetype i = 0; i < chartPoints; ++i)
        values.append(points[std::min(n - 1, i * step)]);
    return values;
}

std::optional<double> StockService::parseNumberText(const QString& text)
{
    QString cleaned = text;
    cleaned.remove(u'$');
    cleaned.remove(u'%');
    cleaned.remove(u',');
    const QByteArray bytes = trimSpacesAndTabs(cleaned).toUtf8();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    // The service writes rises with a plus sign; from_chars takes only a minus.
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-')
            return std::nullopt;
    }
    if (begin == end)
        return std::nullopt;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString StockService::cleanCompanyName(const QString& name)
{
    QString cleaned = name;
    for (const char* noise : nameNoise)
        cleaned.remove(QLatin1String(noise), Qt::CaseSensitive);
    qsizetype begin = 0;
    qsizetype end = cleaned.size();
    while (begin < end && isNameEdge(cleaned[begin]))
        ++begin;
    while (end > begin && isNameEdge(cleaned[end - 1]))
        --end;
    return firstGraphemes(QStringView(cleaned).sliced(begin, end - begin), maxCompanyNameLength);
}
