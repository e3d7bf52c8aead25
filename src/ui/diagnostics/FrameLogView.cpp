#include "ui/diagnostics/FrameLogView.h"

#include "hub/DeviceManager.h"
#include "ui/diagnostics/FrameLogModel.h"
#include "ui/widgets/FormSection.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHash>
#include <QPaintEvent>
#include <QPainter>
#include <QStaticText>
#include <QUuid>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// Paints a row as its three parts on one baseline; the text is elided at the right edge.
class FrameLogDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // The model gives rows no background of their own: a plain row shows the list's, which
        // is already there, and only a marked row needs the style's panel.
        if (option.state & (QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus)) {
            QStyleOptionViewItem background = option;
            initStyleOption(&background, index);
            background.text.clear();
            const QWidget* widget = option.widget;
            QStyle* style = widget ? widget->style() : QApplication::style();
            style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
        }

        const bool selected = option.state & QStyle::State_Selected;
        const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        const QColor secondary = selected ? text : option.palette.color(QPalette::PlaceholderText);
        const QRect area = option.rect.adjusted(8, 0, -8, 0);
        const QFontMetrics metrics(option.font);
        const int top = area.top() + (area.height() - metrics.height()) / 2;
        const RowTexts& texts = rowTexts(index, option.font, area.width());

        painter->save();
        painter->setClipRect(option.rect);
        int x = area.left();
        painter->setFont(option.font);
        painter->setPen(secondary);
        painter->drawStaticText(QPoint(x, top), texts.time);
        x += texts.timeAdvance + FrameLogView::partSpacing;

        QFont bold = option.font;
        bold.setWeight(QFont::DemiBold);
        painter->setFont(bold);
        painter->setPen(text);
        // On the regular font's baseline.
        const int boldTop = top + metrics.ascent() - QFontMetrics(bold).ascent();
        painter->drawStaticText(QPoint(x + (FrameLogView::markWidth - texts.markAdvance) / 2, boldTop), texts.mark);
        x += FrameLogView::markWidth + FrameLogView::partSpacing;

        painter->setFont(option.font);
        painter->drawStaticText(QPoint(x, top), texts.line);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {0, QFontMetrics(option.font).height() + 6};
    }

private:
    // A row is drawn again each time an entry comes in above it, and laying its texts out
    // (shaping, eliding) costs far more than drawing them: each entry's are laid out once for
    // a width and font.
    struct RowTexts {
        int width = -1;
        QFont font;
        QStaticText time;
        QStaticText mark;
        QStaticText line;
        int timeAdvance = 0;
        int markAdvance = 0;
    };

    static QStaticText laidOut(const QString& text, const QFont& font)
    {
        QStaticText laid(text);
        laid.setTextFormat(Qt::PlainText);
        laid.prepare(QTransform(), font);
        return laid;
    }

    // A time of day or a direction mark, which many rows share.
    struct Piece {
        QStaticText text;
        int advance = 0;
    };

    static const Piece& piece(QHash<QString, Piece>& pieces, const QString& text, const QFont& font)
    {
        Piece& shared = pieces[text];
        if (shared.advance == 0 && !text.isEmpty()) {
            shared.text = laidOut(text, font);
            shared.advance = QFontMetrics(font).horizontalAdvance(text);
        }
        return shared;
    }

    // Whether `line` fits `width` for certain without laying it out: printable ASCII, which the
    // font itself holds, is never wider than its widest glyph a character.
    static bool surelyFits(const QString& line, const QFontMetrics& metrics, int width)
    {
        if (qsizetype(line.size()) * metrics.maxWidth() > width)
            return false;
        return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
    }

    const RowTexts& rowTexts(const QModelIndex& index, const QFont& font, int width) const
    {
        // Entries leave the log for good: the texts of rows long gone are let go in one sweep.
        if (m_texts.size() > 4 * DeviceManager::maxLogEntries || font != m_piecesFont) {
            m_texts.clear();
            m_times.clear();
            m_marks.clear();
            m_piecesFont = font;
        }
        RowTexts& texts = m_texts[index.data(FrameLogModel::idRole).toUuid()];
        if (texts.width == width && texts.font == font)
            return texts;
        texts.width = width;
        texts.font = font;
        const QFontMetrics metrics(font);
        const Piece& time = piece(m_times, index.data(FrameLogModel::timeTextRole).toString(), font);
        texts.time = time.text;
        texts.timeAdvance = time.advance;
        QFont bold = font;
        bold.setWeight(QFont::DemiBold);
        const Piece& mark = piece(m_marks, index.data(FrameLogModel::markRole).toString(), bold);
        texts.mark = mark.text;
        texts.markAdvance = mark.advance;
        const int lineOffset = texts.timeAdvance + FrameLogView::markWidth + 2 * FrameLogView::partSpacing;
        const int lineWidth = std::max(0, width - 1 - lineOffset);
        const QString line = index.data(FrameLogModel::textRole).toString().simplified();
        texts.line = laidOut(surelyFits(line, metrics, lineWidth) ? line
                                                                   : metrics.elidedText(line, Qt::ElideRight, lineWidth),
                             font);
        return texts;
    }

    mutable QHash<QUuid, RowTexts> m_texts;
    mutable QHash<QString, Piece> m_times;
    mutable QHash<QString, Piece> m_marks;
    mutable QFont m_piecesFont;
};

}  // namespace

FrameLogView::FrameLogView(FrameLogModel* model, QWidget* parent) : QListView(parent)
{
    setObjectName(QStringLiteral("frameLogList"));
    setModel(model);
    setItemDelegate(new FrameLogDelegate(this));
    setFont(FormSection::monospacedFont(-1));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    setWordWrap(false);
    setMinimumHeight(minimumListHeight);
    setFrameShape(QFrame::NoFrame);
    // The section's background shows through, as the rest of the form; the view paints a copy
    // of it, so that rows coming in a thousand a second repaint the list alone.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);

    // No shortcut of its own: the window's Edit ▸ Copy owns Ctrl+C and hands it to the focused
    // widget's copy(); a second Ctrl+C would make the key ambiguous, and then neither acts.
    auto* copyAction = new QAction(QStringLiteral("Copy"), this);
    copyAction->setObjectName(QStringLiteral("copyLogAction"));
    connect(copyAction, &QAction::triggered, this, &FrameLogView::copy);
    addAction(copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString FrameLogView::selectedText() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty() && currentIndex().isValid())
        rows.append(currentIndex());
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& row : rows)
        lines.append(row.data(Qt::DisplayRole).toString());
    return lines.join(u'\n');
}

void FrameLogView::copy()
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

bool FrameLogView::viewportEvent(QEvent* event)
{
    // Scrolling the page over the log scrolls the page; a click on the log gives it the wheel.
    if (event->type() == QEvent::Wheel && !hasFocus()) {
        event->ignore();
        return false;
    }
    if (event->type() == QEvent::Resize)
        m_backdropStale = true;
    else if (event->type() == QEvent::Paint)
        paintBackdrop(static_cast<QPaintEvent*>(event)->region());
    return QListView::viewportEvent(event);
}

void FrameLogView::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
        m_backdropStale = true;
        break;
    default: break;
    }
    QListView::changeEvent(event);
}

void FrameLogView::paintBackdrop(const QRegion& region)
{
    QWidget* area = viewport();
    if (m_backdropStale || m_backdrop.deviceIndependentSize().toSize() != area->size()) {
        m_backdropStale = false;
        const qreal ratio = area->devicePixelRatioF();
        m_backdrop = QPixmap(area->size() * ratio);
        m_backdrop.setDevicePixelRatio(ratio);
        m_backdrop.fill(palette().color(QPalette::Window));
        // Each widget behind the list paints itself alone, outermost first, as the window would.
        QList<QWidget*> behind;
        for (QWidget* widget = parentWidget(); widget; widget = widget->isWindow() ? nullptr : widget->parentWidget())
            behind.prepend(widget);
        for (QWidget* widget : std::as_const(behind)) {
            const QRect under(area->mapTo(widget, QPoint(0, 0)), area->size());
            widget->render(&m_backdrop, QPoint(0, 0), QRegion(under), QWidget::DrawWindowBackground);
        }
    }
    QPainter painter(area);
    painter.setClipRegion(region);
    painter.drawPixmap(0, 0, m_backdrop);
}
