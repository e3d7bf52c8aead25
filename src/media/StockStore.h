#pragma once
// The four stock symbols of the stocks page, in the user's slot order, and the last quote of
// each, both kept in the settings. Lives on the GUI thread; views follow its change signals.

#include "media/StockQuote.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class Settings;

class StockStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList symbols READ symbols NOTIFY symbolsChanged)
    Q_PROPERTY(QList<StockQuote> quotes READ quotes NOTIFY quotesChanged)
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(std::optional<QDateTime> lastUpdated READ lastUpdated NOTIFY lastUpdatedChanged)

public:
    static constexpr int slotCount = 4;
    static constexpr qsizetype maxSymbolLength = 8;
    static inline const QString symbolsKey = QStringLiteral("stockSymbols.v1");
    static inline const QString quotesKey = QStringLiteral("stockQuotes.v1");
    static inline const QString refreshFailedMessage = QStringLiteral("Some quotes could not be refreshed");
    static QStringList defaultSymbols();

    // Reads the symbols (the defaults unless exactly four are stored) and the stored quotes
    // (none when they do not decode).
    explicit StockStore(Settings& defaults, QObject* parent = nullptr);

    const QStringList& symbols() const { return m_symbols; }
    const QList<StockQuote>& quotes() const { return m_quotes; }
    bool isRefreshing() const { return m_isRefreshing; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    const std::optional<QDateTime>& lastUpdated() const { return m_lastUpdated; }

    // The typed text made a symbol (upper case; letters, digits, "." and "-"; at most eight
    // characters) and stored at once; an index outside the four slots is ignored.
    void setSymbol(int slot, const QString& text);
    // What setSymbol stores for a typed text.
    static QString normalizedSymbol(const QString& text);

    // One quote per slot in slot order: the stored one of its symbol, else a placeholder.
    QList<StockQuote> slotQuotes() const;

    // Starts a refresh unless one runs: false then, and nothing changes.
    bool beginRefresh();
    // Ends a refresh: the fetched quotes replace the stored ones of their symbols, symbols
    // without a fetched quote keep their last one, and the result is stored.
    void applyRefresh(const QList<StockQuote>& fetched, const std::optional<QString>& message,
                      const QDateTime& date);

    // The stored form: a JSON array of quote objects. None when a value cannot be written
    // (a number that is not finite).
    static std::optional<QByteArray> encodeQuotes(const QList<StockQuote>& quotes);
    // None unless every element is a quote.
    static std::optional<QList<StockQuote>> decodeQuotes(const QByteArray& data);
    static StockQuote placeholder(const QString& symbol);

signals:
    void symbolsChanged();
    void quotesChanged();
    void isRefreshingChanged();
    void errorMessageChanged();
    void lastUpdatedChanged();

private:
    void setQuotes(const QList<StockQuote>& quotes);
    void setRefreshing(bool refreshing);
    void setErrorMessage(const std::optional<QString>& message);

    Settings& m_defaults;
    QStringList m_symbols;
    QList<StockQuote> m_quotes;
    bool m_isRefreshing = false;
    std::optional<QString> m_errorMessage;
    std::optional<QDateTime> m_lastUpdated;
};
