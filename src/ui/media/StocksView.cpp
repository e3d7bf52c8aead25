#include "ui/media/StocksView.h"

#include "hub/DeviceManager.h"
#include "media/StockStore.h"
#include "platform/OneLineText.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/FocusKeeper.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolLabel.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

StocksView::StocksView(DeviceManager& deviceManager, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager), m_stocks(deviceManager.stocks())
{
    setObjectName(QStringLiteral("stocksPage"));

    auto* symbols = new FormSection(QStringLiteral("Symbols"));
    symbols->setObjectName(QStringLiteral("symbolsSection"));
    symbols->setFooter(QStringLiteral("Nasdaq public delayed quotes. No API key is required."));
    for (int slot = 0; slot < StockStore::slotCount; ++slot) {
        auto* company = new ElidedLabel;
        company->setObjectName(QStringLiteral("companyName%1").arg(slot + 1));
        FormSection::setSecondaryText(company);
        company->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

        auto* field = new QLineEdit;
        field->setObjectName(QStringLiteral("symbolField%1").arg(slot + 1));
        field->setPlaceholderText(QStringLiteral("Symbol"));
        field->setAccessibleName(QStringLiteral("Symbol %1").arg(slot + 1));
        field->setFixedWidth(90);
        connect(field, &QLineEdit::textEdited, this, [this, slot](const QString& text) { symbolEdited(slot, text); });

        auto* value = new QWidget;
        auto* layout = new QHBoxLayout(value);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        layout->addWidget(company, 1, Qt::AlignVCenter);
        layout->addWidget(field, 0, Qt::AlignVCenter);
        symbols->rows()->addRow(QStringLiteral("Slot %1").arg(slot + 1), value);
        m_fields.append(field);
        m_companies.append(company);
    }

    m_status = new FormSection(QString());
    m_status->setObjectName(QStringLiteral("refreshSection"));
    m_status->setFooter(QStringLiteral("Quotes refresh every 15 minutes while the Stocks screen is showing on Tarv."));
    m_lastUpdated = FormSection::valueLabel("lastUpdatedValue");
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("refreshProgress"));
    // No range: an indeterminate, small indicator.
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(48, 8);
    m_refresh = new QPushButton(QStringLiteral("Refresh Now"));
    m_refresh->setObjectName(QStringLiteral("refreshNowButton"));
    m_error = new SymbolLabel(QStringLiteral("exclamationmark.triangle"), QString(), SymbolLabel::orange(), 0);
    m_error->setObjectName(QStringLiteral("refreshError"));
    m_status->rows()->addRow(QStringLiteral("Last updated"), m_lastUpdated);
    m_status->rows()->addRow(QStringLiteral("Refresh"), FormSection::trailingValue({m_progress, m_refresh}, 8));
    m_status->rows()->addRow(m_error);

    auto* layout = FormSection::pageLayout(this);
    layout->addWidget(symbols);
    layout->addWidget(m_status);
    layout->addStretch(1);

    // The quotes are fetched asynchronously; the spinner and the rows follow the store.
    connect(m_refresh, &QPushButton::clicked, &m_deviceManager, &DeviceManager::refreshStockQuotes);
    connect(&m_stocks, &StockStore::symbolsChanged, this, &StocksView::showSymbols);
    connect(&m_stocks, &StockStore::quotesChanged, this, &StocksView::showCompanies);
    connect(&m_stocks, &StockStore::lastUpdatedChanged, this, &StocksView::showLastUpdated);
    connect(&m_stocks, &StockStore::isRefreshingChanged, this, &StocksView::showRefreshing);
    connect(&m_stocks, &StockStore::errorMessageChanged, this, &StocksView::showError);
    showSymbols();
    showLastUpdated();
    showRefreshing();
    showError();
}

QString StocksView::companyName(const StockStore& store, const QString& symbol)
{
    for (const StockQuote& quote : store.quotes()) {
        if (quote.symbol == symbol)
            return quote.companyName == symbol ? QString() : quote.companyName;
    }
    return {};
}

void StocksView::symbolEdited(int slot, const QString& text)
{
    const int caret = m_fields[slot]->cursorPosition();
    m_editingSlot = slot;
    m_stocks.setSymbol(slot, text);
    m_editingSlot = -1;
    // The field shows what was stored, even when the store kept its value (a typed character
    // that is dropped changes nothing there), with the caret after what was kept before it.
    QLineEdit* field = m_fields[slot];
    const QString symbol = m_stocks.symbols().value(slot);
    const QSignalBlocker blocker(field);
    if (field->text() != symbol)
        field->setText(symbol);
    field->setCursorPosition(std::min(int(StockStore::normalizedSymbol(text.left(caret)).size()), int(symbol.size())));
}

void StocksView::showSymbols()
{
    for (int slot = 0; slot < m_fields.size(); ++slot) {
        QLineEdit* field = m_fields[slot];
        const QString symbol = m_stocks.symbols().value(slot);
        // The slot being typed in is put right by its own edit.
        if (slot == m_editingSlot || field->text() == symbol)
            continue;
        const QSignalBlocker blocker(field);
        field->setText(symbol);
    }
    showCompanies();
}

void StocksView::showCompanies()
{
    for (int slot = 0; slot < m_companies.size(); ++slot)
        m_companies[slot]->setFullText(oneLineText(companyName(m_stocks, m_stocks.symbols().value(slot))));
}

void StocksView::showLastUpdated()
{
    const std::optional<QDateTime>& date = m_stocks.lastUpdated();
    m_lastUpdated->setText(date ? QLocale().toString(date->toLocalTime().time(), QLocale::ShortFormat) : QStringLiteral("Never"));
}

void StocksView::showRefreshing()
{
    const bool refreshing = m_stocks.isRefreshing();
    m_progress->setVisible(refreshing);
    m_refresh->setEnabled(!refreshing);
}

void StocksView::showError()
{
    const std::optional<QString>& message = m_stocks.errorMessage();
    m_error->setText(message.value_or(QString()));
    m_status->rows()->setRowVisible(m_error, message.has_value());
    if (message)
        FocusKeeper::showWithFocus(m_error, m_error->text());
}
