#include "ui/widgets/FormSection.h"
#include "ui/widgets/PlainText.h"

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFormLayout>
#include <QLabel>

#include <algorithm>

namespace {

// Holds a page's column of sections to a readable width, centred, however wide the window:
// a value far from its label is hard to match with it.
class ReadableColumn : public QObject {
public:
    ReadableColumn(QWidget* page, QVBoxLayout* layout) : QObject(page), m_layout(layout)
    {
        page->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            const int width = static_cast<QWidget*>(watched)->width();
            const int left = std::max(FormSection::pageMargin, (width - FormSection::readableWidth) / 2);
            const int right = std::max(FormSection::pageMargin, width - FormSection::readableWidth - left);
            const QMargins margins = m_layout->contentsMargins();
            if (margins.left() != left || margins.right() != right) {
                m_layout->setContentsMargins(left, margins.top(), right, margins.bottom());
                // The layout has already placed its rows for this size: again, at once.
                m_layout->activate();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QVBoxLayout* m_layout;
};

}  // namespace

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
    layout->setContentsMargins(pageMargin, pageMargin, pageMargin, pageMargin);
    layout->setSpacing(18);
    new ReadableColumn(page, layout);
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

QWidget* FormSection::trailingValue(const QList<QWidget*>& widgets, int spacing)
{
    auto* value = new QWidget;
    auto* layout = new QHBoxLayout(value);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->addStretch(1);
    for (QWidget* widget : widgets)
        layout->addWidget(widget);
    return value;
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
