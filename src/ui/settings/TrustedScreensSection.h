#pragma once
// The Advanced tab's list of the screen files the user has allowed to run things: a row per
// approval with the file's name, what the loaded file does, and "Revoke", or one line saying
// there is none. Its rows follow the model's insertions, removals and changes.

#include "ui/widgets/FormSection.h"

class CustomScreenStore;
class QLabel;
class QVBoxLayout;
class TrustedScreensModel;

class TrustedScreensSection : public FormSection {
    Q_OBJECT
public:
    explicit TrustedScreensSection(CustomScreenStore& store, QWidget* parent = nullptr);

    TrustedScreensModel* model() const { return m_model; }
    // The page ids listed, in the order shown.
    QStringList listedIDs() const;

private:
    QWidget* makeRow(int row);
    static void setDetails(QWidget* row, const QString& text);
    void showEmptyLine();

    TrustedScreensModel* m_model = nullptr;
    QVBoxLayout* m_column = nullptr;
    QLabel* m_empty = nullptr;
    QList<QWidget*> m_rows;
};
