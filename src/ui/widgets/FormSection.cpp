#include "ui/widgets/FormSection.h"
#include "ui/widgets/PlainText.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLabel>

#include <algorithm>

FormSection::FormSection(const QString& title, QWidget* parent) : QWidget(parent)
{
    m_box = new QGroupBox(title);
    m_rows = new QFormLayout(m_box);
    matchRows(m_rows);

    m_footer = PlainText::label();
    m_footer->setWordWrap(true);
    m_footer->setFont(relativeFont(font(), -2));
    setSecondaryText(m_footer);
    m_footer->setContentsMargins(4, 0, 4, 0);
    m_footer->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_box);
    layout->addWidget(m_footer);
}

void FormSection::setFooter(const QString& text)
{
    m_footer->setText(text);
    m_footer->setVisible(!text.isEmpty());
}

void FormSection::matchRows(QFormLayout* rows)
{
    rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    rows->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    rows->setHorizontalSpacing(labelSpacing);
}

int FormSection::labelWidth(const QFontMetrics& metrics, const QStringList& titles)
{
    int width = 0;
    for (const QString& title : titles)
        width = std::max(width, metrics.boundingRect(QRect(), Qt::TextSingleLine, title).width());
    return width;
}

void FormSection::setLabelWidth(QFormLayout* rows, int width)
{
    for (int row = 0; row < rows->rowCount(); ++row) {
        QLayoutItem* item = rows->itemAt(row, QFormLayout::LabelRole);
        if (item && item->widget())
            item->widget()->setMinimumWidth(width);
    }
}

QVBoxLayout* FormSection::pageLayout(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(18);
    return layout;
}

QLabel* FormSection::valueLabel(const char* objectName)
{
    // Values come from players, servers, files and the device: shown as they are.
    auto* label = PlainText::label();
    label->setObjectName(QLatin1String(objectName));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QColor FormSection::secondaryColor(const QWidget* widget)
{
    return (widget ? widget->palette() : QApplication::palette()).color(QPalette::PlaceholderText);
}

void FormSection::setSecondaryText(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, secondaryColor(widget));
    widget->setPalette(palette);
}

QFont FormSection::relativeFont(const QFont& base, double delta)
{
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(std::max(1.0, font.pointSizeF() + delta));
    return font;
}

QFont FormSection::monospacedFont(double delta)
{
    // The desktop's fixed-pitch font. Its family may be a name the machine lacks (a desktop's
    // own font, not installed): the style hint then leads matching to a monospaced face
    // rather than the default proportional one.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    const double size = QApplication::font().pointSizeF();
    if (size > 0)
        font.setPointSizeF(std::max(1.0, size + delta));
    return font;
}
