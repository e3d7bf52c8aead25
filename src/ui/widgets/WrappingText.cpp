#include "ui/widgets/WrappingText.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QScrollBar>
#include <QTextDocument>
#include <QWheelEvent>

#include <cmath>

namespace {

// What a line holds when nothing else decides the width: about this many characters.
constexpr int idealCharacters = 60;
constexpr qsizetype maxKeptHeights = 32;

}  // namespace

WrappingText::WrappingText(const QString& text, QWidget* parent)
    : QTextEdit(parent), m_measure(std::make_unique<QTextDocument>())
{
    setReadOnly(true);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    m_measure->setDocumentMargin(0);
    QTextOption option = m_measure->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_measure->setDefaultTextOption(option);
    followLayoutDirection();
    // The form shows through, as it does behind a label.
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setSelectable(false);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { updateGeometry(); });
    setText(text);
}

WrappingText::~WrappingText() = default;

void WrappingText::setText(const QString& text)
{
    if (text == toPlainText())
        return;
    setPlainText(text);
    m_measure->setPlainText(text);
    forgetMeasures();
    updateGeometry();
}

void WrappingText::setTextColor(const QColor& color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::WindowText, color);
    setPalette(palette);
}

void WrappingText::setSelectable(bool selectable)
{
    setTextInteractionFlags(selectable ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                       : Qt::NoTextInteraction);
    setFocusPolicy(selectable ? Qt::ClickFocus : Qt::NoFocus);
    viewport()->setCursor(selectable ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void WrappingText::measureInFont() const
{
    if (m_measure->defaultFont() != font()) {
        m_measure->setDefaultFont(font());
        forgetMeasures();
    }
}

// Like a label, the text runs in the widget's direction; a document would take each
// paragraph's direction from its first letter, and a command that starts with a Hebrew word
// would then show its parts from right to left, a trailing "#" first.
void WrappingText::followLayoutDirection()
{
    for (QTextDocument* text : {document(), m_measure.get()}) {
        QTextOption option = text->defaultTextOption();
        option.setTextDirection(layoutDirection());
        text->setDefaultTextOption(option);
    }
    forgetMeasures();
}

void WrappingText::forgetMeasures() const
{
    m_heights.clear();
    m_sizeHint.reset();
}

int WrappingText::heightForWidth(int width) const
{
    measureInFont();
    const int textWidth = std::max(1, width - frameWidth() * 2);
    if (const auto known = m_heights.constFind(textWidth); known != m_heights.cend())
        return *known + frameWidth() * 2;
    m_measure->setTextWidth(textWidth);
    const int height = int(std::ceil(m_measure->size().height()));
    // A window dragged wider and narrower asks at every width on the way.
    if (m_heights.size() >= maxKeptHeights)
        m_heights.clear();
    m_heights.insert(textWidth, height);
    return height + frameWidth() * 2;
}

QSize WrappingText::sizeHint() const
{
    measureInFont();
    if (m_sizeHint)
        return *m_sizeHint;
    m_measure->setTextWidth(-1);
    const int ideal = int(std::ceil(m_measure->idealWidth()));
    const int width = std::min(ideal, fontMetrics().averageCharWidth() * idealCharacters) + frameWidth() * 2;
    m_sizeHint = QSize(width, heightForWidth(width));
    return *m_sizeHint;
}

QSize WrappingText::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 4, fontMetrics().height()};
}

void WrappingText::changeEvent(QEvent* event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        forgetMeasures();
        updateGeometry();
    } else if (event->type() == QEvent::LayoutDirectionChange) {
        followLayoutDirection();
        updateGeometry();
    }
}

void WrappingText::resizeEvent(QResizeEvent* event)
{
    QTextEdit::resizeEvent(event);
    // Whatever height the layout gave, the first line stays at the top.
    verticalScrollBar()->setValue(0);
}

void WrappingText::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}
