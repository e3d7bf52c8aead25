#include "ui/settings/TrustedScreensSection.h"

#include "ui/settings/TrustedScreensModel.h"
#include "ui/widgets/WrappingText.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

TrustedScreensSection::TrustedScreensSection(CustomScreenStore& store, QWidget* parent)
    : FormSection(QStringLiteral("Trusted Screens"), parent)
{
    setObjectName(QStringLiteral("trustedScreensSection"));
    setFooter(QStringLiteral("A revoked page leaves the device until it is allowed again in Custom Screens."));
    m_model = new TrustedScreensModel(store, this);

    auto* list = new QWidget;
    list->setObjectName(QStringLiteral("trustedScreensList"));
    m_column = new QVBoxLayout(list);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(8);
    m_empty = new QLabel(QStringLiteral("No screen file has been allowed to do anything."));
    m_empty->setObjectName(QStringLiteral("noTrustedScreensLabel"));
    setSecondaryText(m_empty);
    m_column->addWidget(m_empty);
    rows()->addRow(list);

    for (int row = 0; row < m_model->rowCount(); ++row)
        m_rows.append(makeRow(row));
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        for (int row = first; row <= last; ++row)
            m_rows.insert(row, makeRow(row));
        showEmptyLine();
    });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex&, int first, int last) {
        // Later: the row's own button may be what removed it.
        for (int row = last; row >= first; --row) {
            QWidget* gone = m_rows.takeAt(row);
            m_column->removeWidget(gone);
            gone->hide();
            gone->deleteLater();
        }
        showEmptyLine();
    });
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& first, const QModelIndex& last) {
        for (int row = first.row(); row <= last.row(); ++row) {
            const QModelIndex index = m_model->index(row);
            m_rows[row]->findChild<QLabel*>(QStringLiteral("trustedScreenName"))->setText(index.data().toString());
            setDetails(m_rows[row], index.data(TrustedScreensModel::detailsRole).toString());
        }
    });
    showEmptyLine();
}

QStringList TrustedScreensSection::listedIDs() const
{
    QStringList ids;
    for (const QWidget* row : m_rows)
        ids.append(row->property("screenID").toString());
    return ids;
}

QWidget* TrustedScreensSection::makeRow(int row)
{
    const QModelIndex index = m_model->index(row);
    const QString id = index.data(TrustedScreensModel::idRole).toString();
    auto* widget = new QWidget;
    widget->setObjectName(QStringLiteral("trustedScreen:") + id);
    widget->setProperty("screenID", id);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    auto* name = new QLabel(index.data().toString());
    name->setObjectName(QStringLiteral("trustedScreenName"));
    name->setTextFormat(Qt::PlainText);
    lines->addWidget(name);
    // A long command or address wraps inside the row rather than pushing "Revoke" away.
    auto* details = new WrappingText;
    details->setObjectName(QStringLiteral("trustedScreenDetails"));
    details->setFont(monospacedFont(-2));
    details->setTextColor(secondaryColor(this));
    lines->addWidget(details);
    layout->addLayout(lines, 1);
    auto* revoke = new QPushButton(QStringLiteral("Revoke"));
    revoke->setObjectName(QStringLiteral("revokeButton"));
    // Every row has a "Revoke": the name says whose it is.
    revoke->setAccessibleName(QStringLiteral("Revoke ") + name->text());
    layout->addWidget(revoke, 0, Qt::AlignVCenter);
    // The row's place may have moved since it was made: look it up at the press.
    connect(revoke, &QPushButton::clicked, this, [this, widget] { m_model->revoke(int(m_rows.indexOf(widget))); });
    // Below the empty line, which stays first in the column.
    m_column->insertWidget(row + 1, widget);
    setDetails(widget, index.data(TrustedScreensModel::detailsRole).toString());
    return widget;
}

void TrustedScreensSection::setDetails(QWidget* row, const QString& text)
{
    auto* details = row->findChild<WrappingText*>(QStringLiteral("trustedScreenDetails"));
    details->setText(text);
    details->setVisible(!text.isEmpty());
    // What revoking takes back, for a screen reader, which does not read the text beside it.
    row->findChild<QPushButton*>(QStringLiteral("revokeButton"))->setAccessibleDescription(text);
}

void TrustedScreensSection::showEmptyLine()
{
    m_empty->setVisible(m_rows.isEmpty());
}
