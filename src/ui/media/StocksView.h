#pragma once
// The Stocks page: the four symbols the device's stocks page shows, each typed into its slot
// and normalised as it is typed, the company names the last refresh found, when that was, a
// refresh on demand and the message of one that went wrong. The quotes belong to the store.

#include <QList>
#include <QWidget>

class DeviceManager;
class FormSection;
class ElidedLabel;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class StockStore;
class SymbolLabel;

class StocksView : public QWidget {
public:
    explicit StocksView(DeviceManager& deviceManager, QWidget* parent = nullptr);

    // The company name shown beside a symbol: the first quote's name for it, unless there is
    // none or it only repeats the symbol.
    static QString companyName(const StockStore& store, const QString& symbol);

private:
    void symbolEdited(int slot, const QString& text);
    void showSymbols();
    void showCompanies();
    void showLastUpdated();
    void showRefreshing();
    void showError();

    DeviceManager& m_deviceManager;
    StockStore& m_stocks;
    int m_editingSlot = -1;
    QList<QLineEdit*> m_fields;
    QList<ElidedLabel*> m_companies;
    FormSection* m_status = nullptr;
    QLabel* m_lastUpdated = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_refresh = nullptr;
    SymbolLabel* m_error = nullptr;
};
