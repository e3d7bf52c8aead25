#include "ui/widgets/FormSection.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>

FormSection::FormSection(const QString& title, QWidget* parent) : QWidget(parent)
{
    m_box = new QGroupBox(title);
    m_rows = new QFormLayout(m_box);
    m_rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_rows->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_rows->setHorizontalSpacing(16);

    m_footer = new QLabel;
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

QVBoxLayout* FormSection::pageLayout(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(18);
    return layout;
}

QLabel* FormSection::valueLabel(const char* objectName)
{
    auto* label = new QLabel;
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
