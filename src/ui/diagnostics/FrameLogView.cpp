#include "ui/diagnostics/FrameLogView.h"

#include "hub/DeviceManager.h"
#include "ui/diagnostics/AsciiGlyphs.h"
#include "ui/diagnostics/FrameLogModel.h"
#include "ui/widgets/FormSection.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHash>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QGlyphRun>
#include <QtMath>
#include <QUuid>
#include <QVarLengthArray>
#include <QStyledItemDelegate>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace {

// A row in any of these states is drawn with the style's panel, across its whole width.
constexpr QStyle::State markedStates = QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus;

using Fill = std::pair<QRegion, QColor>;

void paintFill(QPainter& painter, const Fill& fill)
{
    for (const QRect& rect : fill.first)
        painter.fillRect(rect, fill.second);
}

// Paints a row as its three parts on one baseline; the text is elided at the right edge.
class FrameLogDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (const std::optional<Fill> fill = takeFill())
            paintFill(*painter, *fill);
        // The model gives rows no background of their own: a plain row shows the list's, which
        // is already there, and only a marked row needs the style's panel.
        if (option.state & markedStates) {
            QStyleOptionViewItem background = option;
            initStyleOption(&background, index);
            background.text.clear();
            const QWidget* widget = option.widget;
            QStyle* style = widget ? widget->style() : QApplication::style();
            style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
        }

        const Fonts& fonts = fontsFor(option.font);
        const bool selected = option.state & QStyle::State_Selected;
        const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        const QColor secondary = selected ? text : option.palette.color(QPalette::PlaceholderText);
        const QRect area = textArea(option.rect);
        const int top = area.top() + (area.height() - fonts.height) / 2;
        const RowTexts& texts = rowTexts(index, fonts, area.width());
        const Columns at = columns(area, texts.time.advance);
        m_paintedRight = std::max(m_paintedRight, inkRight(option.rect, option.state, texts));

        // Only what reaches into the repainted part of the row is drawn again: a refresh often
        // repaints a few characters of each row.
        QRect exposed = option.rect;
        if (m_exposed)
            exposed = m_exposed->intersected(option.rect).boundingRect();
        if (exposed.isEmpty())
            return;
        const int left = exposed.left();
        const int right = exposed.right() + 1;
        const auto reaches = [&](int from, int to) {
            return from - fonts.shapedOverhang() < right && to + fonts.shapedOverhang() > left;
        };

        // The row's own clip is set only when something is drawn here rather than gathered.
        bool clipped = false;
        const auto drawWith = [&](const QColor& color) {
            if (!clipped) {
                painter->save();
                painter->setClipRect(option.rect);
                clipped = true;
            }
            painter->setPen(color);
        };
        if (reaches(at.time, at.time + texts.time.advance)) {
            drawWith(secondary);
            draw(painter, QPoint(at.time, top), texts.time.runs);
        }

        // Centred on its column, on the regular font's baseline.
        const int boldTop = top + fonts.ascent - fonts.boldAscent;
        const int markLeft = at.mark + (FrameLogView::markWidth - texts.mark.advance) / 2;
        if (reaches(markLeft, markLeft + texts.mark.advance)) {
            drawWith(text);
            draw(painter, QPoint(markLeft, boldTop), texts.mark.runs);
        }

        const int x = at.line;
        if (texts.plain) {
            const AsciiGlyphs::Range glyphs = fonts.plain.reaching(*texts.plain, left - x, right - x);
            const AsciiGlyphs::Span ink = fonts.plain.inkRows();
            // Gathered glyphs are not cut at the row's edges, so only those that stay inside it.
            const bool inside = top + ink.from >= option.rect.top() && top + ink.to <= option.rect.bottom() + 1;
            if (m_batching && inside &&
                (m_batch.line.glyphs.isEmpty() || (m_batch.color == text && m_batch.fonts == m_fonts))) {
                m_batch.color = text;
                m_batch.fonts = m_fonts;
                for (qsizetype i = glyphs.first; i < glyphs.last; ++i) {
                    m_batch.line.glyphs.append(texts.plain->glyphs[i]);
                    m_batch.line.positions.append(texts.plain->positions[i] + QPointF(x, top));
                }
            } else if (glyphs.last > glyphs.first) {
                drawWith(text);
                painter->drawGlyphRun(QPoint(x, top), fonts.plain.run(*texts.plain, glyphs));
            }
        } else {
            drawWith(text);
            draw(painter, QPoint(x, top), texts.line);
        }
        if (clipped)
            painter->restore();
    }

    // The part of the row in `rect` that looks different once it shows `after` instead of
    // `before`, neither marked; empty when it looks the same.
    QRect changedArea(const QFont& font, const QRect& rect, const FrameLogView::RowContent& before,
                      const FrameLogView::RowContent& after) const
    {
        const Fonts& fonts = fontsFor(font);
        const int timeAdvance = piece(m_times, after.time, fonts.regular).advance;
        // Everything after the time moves with its width.
        if (piece(m_times, before.time, fonts.regular).advance != timeAdvance)
            return rect;
        const Columns at = columns(textArea(rect), timeAdvance);
        int from = std::numeric_limits<int>::max();
        int to = std::numeric_limits<int>::min();
        const auto add = [&](qreal a, qreal b) {
            from = std::min(from, qFloor(a));
            to = std::max(to, qCeil(b));
        };
        const int slack = fonts.shapedOverhang();
        if (before.time != after.time)
            add(at.time - slack, at.time + timeAdvance + slack);
        if (before.mark != after.mark) {
            const int widest = std::max(piece(m_marks, before.mark, fonts.bold).advance,
                                        piece(m_marks, after.mark, fonts.bold).advance);
            // Marks are centred on their column and may be wider than it.
            const int overflow = std::max(0, widest - FrameLogView::markWidth);
            add(at.mark - overflow - slack, at.mark + FrameLogView::markWidth + overflow + slack);
        }
        if (before.line != after.line) {
            const std::optional<AsciiGlyphs::Span> span = fonts.plain.changed(before.line, after.line, at.lineWidth);
            if (!span)
                add(at.line - slack, rect.right() + 1);
            else if (span->to > span->from)
                add(at.line + span->from, at.line + span->to);
        }
        if (from >= to)
            return {};
        return QRect(from, rect.top(), to - from, rect.height()) & rect;
    }

    // While a batch is open, the plain lines' glyphs are gathered, and drawn together when it
    // closes: one call for all the rows of a repaint rather than one a row.
    void openBatch() const
    {
        // The lists keep their room from one repaint to the next.
        m_batch.line.glyphs.clear();
        m_batch.line.positions.clear();
        m_batching = true;
    }
    void closeBatch(QPainter& painter) const
    {
        m_batching = false;
        if (m_batch.line.glyphs.isEmpty())
            return;
        painter.setPen(m_batch.color);
        painter.drawGlyphRun(QPointF(0, 0), m_batch.fonts->plain.run(m_batch.line));
        m_batch.fonts.reset();
    }

    // Whatever is repainted now, and only that, needs drawing; unset outside the list's own
    // repaints, where rows are drawn whole.
    void setExposed(std::optional<QRegion> region) const { m_exposed = std::move(region); }

    // How far right anything a paint of the row leaves reaches, at most, when the row is in
    // `rect` and not marked.
    int inkRight(const QFont& font, const QRect& rect, const QModelIndex& index) const
    {
        const Fonts& fonts = fontsFor(font);
        return inkRight(rect, {}, rowTexts(index, fonts, textArea(rect).width()));
    }

    // The backdrop's colour over `region`, to fill before the first row of the repaint is drawn.
    void fillFirst(const QRegion& region, const QColor& color) const { m_fill.emplace(region, color); }
    std::optional<Fill> takeFill() const { return std::exchange(m_fill, std::nullopt); }

    // The farthest right any row painted since the count was last taken reaches.
    int takePaintedRight() const { return std::exchange(m_paintedRight, 0); }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {0, QFontMetrics(option.font).height() + 6};
    }

private:
    struct RowTexts;

    static int inkRight(const QRect& rect, QStyle::State state, const RowTexts& texts)
    {
        const int rowRight = rect.right() + 1;
        if (texts.lineAdvance < 0 || (state & markedStates))
            return rowRight;
        const Columns at = columns(textArea(rect), texts.time.advance);
        const int markRight = at.mark + std::max(FrameLogView::markWidth, texts.mark.advance);
        const int lineRight = at.line + texts.lineAdvance;
        return std::min(rowRight, std::max(markRight, lineRight) + texts.fonts->shapedOverhang());
    }

    // A row's texts stand inside its rect, a margin in from either side.
    static QRect textArea(const QRect& row) { return row.adjusted(8, 0, -8, 0); }

    // Where a row's parts start in its text area, for a time of day `timeAdvance` wide, and how
    // wide the line may be before it is elided.
    struct Columns {
        int time = 0;
        int mark = 0;
        int line = 0;
        int lineWidth = 0;
    };
    static Columns columns(const QRect& area, int timeAdvance)
    {
        Columns at;
        at.time = area.left();
        at.mark = at.time + timeAdvance + FrameLogView::partSpacing;
        at.line = at.mark + FrameLogView::markWidth + FrameLogView::partSpacing;
        at.lineWidth = std::max(0, area.right() - at.line);
        return at;
    }

    // What every row takes from the list's font, made once for it.
    struct Fonts {
        explicit Fonts(const QFont& font)
            : regular(font), bold(font), height(QFontMetrics(font).height()), ascent(QFontMetrics(font).ascent()),
              plain(font)
        {
            bold.setWeight(QFont::DemiBold);
            boldAscent = QFontMetrics(bold).ascent();
        }
        QFont regular;
        QFont bold;
        int height = 0;
        int ascent = 0;
        int boldAscent = 0;
        // How far past its advance a shaped text may leave ink: a line's height is more than
        // any glyph reaches.
        int shapedOverhang() const { return height; }
        // At a thousand entries a second every row shown is new at each refresh, and shaping
        // its line would cost more than all the rest of drawing it.
        AsciiGlyphs plain;
    };

    // Texts laid out once and drawn as their glyphs: a row is drawn again each time an entry
    // comes in above it, and laying its texts out (shaping, eliding) costs far more than
    // drawing them.
    using Runs = QList<QGlyphRun>;

    static void draw(QPainter* painter, QPoint topLeft, const Runs& runs)
    {
        for (const QGlyphRun& run : runs)
            painter->drawGlyphRun(topLeft, run);
    }

    // A time of day or a direction mark, which many rows share.
    struct Piece {
        Runs runs;
        int advance = 0;
    };

    static const Piece& piece(QHash<QString, Piece>& pieces, const QString& text, const QFont& font)
    {
        Piece& shared = pieces[text];
        if (shared.advance == 0 && !text.isEmpty()) {
            shared.runs = AsciiGlyphs::laidOut(text, font);
            shared.advance = QFontMetrics(font).horizontalAdvance(text);
        }
        return shared;
    }

    // Each entry's texts, laid out for a width and font.
    struct RowTexts {
        int width = -1;
        const Fonts* fonts = nullptr;
        Piece time;
        Piece mark;
        // The line as glyphs of the font's plain table, or else as shaped runs.
        std::optional<AsciiGlyphs::Line> plain;
        Runs line;
        // The line's advance as drawn; below zero when not known.
        int lineAdvance = -1;
    };

    const Fonts& fontsFor(const QFont& font) const
    {
        if (!m_fonts || m_fonts->regular != font) {
            // Everything laid out goes with the font it was laid out in.
            m_texts.clear();
            m_times.clear();
            m_marks.clear();
            m_fonts = std::make_shared<const Fonts>(font);
        }
        return *m_fonts;
    }

    const RowTexts& rowTexts(const QModelIndex& index, const Fonts& fonts, int width) const
    {
        // Entries leave the log for good: the texts of rows long gone are let go in one sweep.
        if (m_texts.size() > 4 * DeviceManager::maxLogEntries)
            m_texts.clear();
        // Times of day come one a second for as long as entries do.
        if (m_times.size() > 4 * DeviceManager::maxLogEntries)
            m_times.clear();
        const auto* log = qobject_cast<const FrameLogModel*>(index.model());
        const LogEntry* entry = log ? log->entryAt(index.row()) : nullptr;
        RowTexts& texts = m_texts[entry ? entry->id : QUuid()];
        if (texts.width == width && texts.fonts == &fonts)
            return texts;
        texts.width = width;
        texts.fonts = &fonts;
        const FrameLogView::RowContent content = FrameLogView::rowContent(index);
        texts.time = piece(m_times, content.time, fonts.regular);
        texts.mark = piece(m_marks, content.mark, fonts.bold);
        const int lineWidth = columns(QRect(0, 0, width, 1), texts.time.advance).lineWidth;
        // A line that fits is left whole, as eliding would leave it.
        texts.plain = fonts.plain.line(content.line);
        if (texts.plain && texts.plain->advance <= lineWidth) {
            texts.line.clear();
            texts.lineAdvance = qCeil(texts.plain->advance);
        } else {
            texts.plain.reset();
            texts.line = AsciiGlyphs::laidOut(
                QFontMetrics(fonts.regular).elidedText(content.line, Qt::ElideRight, lineWidth), fonts.regular);
            texts.lineAdvance = -1;
        }
        return texts;
    }

    mutable std::shared_ptr<const Fonts> m_fonts;
    struct Batch {
        QColor color;
        std::shared_ptr<const Fonts> fonts;
        AsciiGlyphs::Line line;
    };
    mutable Batch m_batch;
    mutable bool m_batching = false;
    mutable QHash<QUuid, RowTexts> m_texts;
    mutable QHash<QString, Piece> m_times;
    mutable QHash<QString, Piece> m_marks;
    mutable int m_paintedRight = 0;
    mutable std::optional<Fill> m_fill;
    mutable std::optional<QRegion> m_exposed;
};

// The one colour of every pixel of `image`, if it has one.
std::optional<QColor> uniformColor(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb first = pixels.pixel(0, 0);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        if (!std::all_of(line, line + pixels.width(), [first](QRgb pixel) { return pixel == first; }))
            return std::nullopt;
    }
    return QColor::fromRgba(first);
}

}  // namespace

FrameLogView::FrameLogView(FrameLogModel* model, QWidget* parent) : QListView(parent)
{
    setObjectName(QStringLiteral("frameLogList"));
    setModel(model);
    // The rows follow the log while the list is shown (the page's, the window's).
    follow(false);
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
    // The scroll bar's strip does the same, as the bar changes with every row while the list
    // grows; the bar itself is drawn over the copy as it was over the section.
    if (QWidget* strip = verticalScrollBar()->parentWidget(); strip && strip != this) {
        m_scrollBarStrip = strip;
        strip->setAttribute(Qt::WA_OpaquePaintEvent);
        strip->installEventFilter(this);
    }

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
    if (event->type() != QEvent::Paint)
        return QListView::viewportEvent(event);
    const QRegion region = static_cast<QPaintEvent*>(event)->region();
    auto* delegate = static_cast<FrameLogDelegate*>(itemDelegate());
    delegate->takePaintedRight();
    bool handled = true;
    if (!paintRows(region)) {
        if (const std::optional<QColor> color = paintBackdrop(viewport(), m_backdrop, region))
            delegate->fillFirst(region, *color);
        delegate->setExposed(region);
        handled = QListView::viewportEvent(event);
        delegate->setExposed(std::nullopt);
        if (const std::optional<Fill> fill = delegate->takeFill()) {
            // No row was in the region.
            QPainter painter(viewport());
            paintFill(painter, *fill);
        }
    }
    // Outside the region the pixels stay as they were; over all that can be seen, they are all
    // new. What cannot be seen is painted as it comes into sight.
    const int painted = delegate->takePaintedRight();
    // A refresh that repaints part of the width cannot cover it all; the look at what can be
    // seen is spared.
    const bool everything =
        region.boundingRect().width() >= viewport()->width() && (viewport()->visibleRegion() - region).isEmpty();
    m_inkRight = everything ? painted : std::max(m_inkRight, painted);
    return handled;
}

// Unless hover marks a row, rows are drawn here as the list would draw them, without its work of
// finding each row's place and looking again at every row, and with the glyphs of all rows that
// use the list's text colour drawn at once.
bool FrameLogView::paintRows(const QRegion& region)
{
    const QAbstractItemModel* rows = model();
    const QModelIndex first = rows ? rows->index(0, 0, rootIndex()) : QModelIndex();
    if (!first.isValid() || hoverMarksRows() || state() != NoState || alternatingRowColors() ||
        viewMode() != ListMode || flow() != TopToBottom || spacing() != 0 || !uniformItemSizes() ||
        !(rows->flags(first) & Qt::ItemIsEnabled))
        return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    // Row 0's place is known while what the rows show is.
    QRect rect = m_shown.isEmpty() ? visualRect(first) : m_firstRow;
    if (!(option.state & QStyle::State_Enabled) || rect.height() <= 0)
        return false;
    // As the list paints an enabled row that is not hovered.
    option.palette.setCurrentColorGroup(QPalette::Normal);
    const QStyle::State state = option.state & ~QStyle::State_MouseOver;

    const std::optional<QColor> color = paintBackdrop(viewport(), m_backdrop, region);
    QPainter painter(viewport());
    if (color)
        paintFill(painter, {region, *color});
    auto* delegate = static_cast<const FrameLogDelegate*>(itemDelegate());
    delegate->setExposed(region);
    delegate->openBatch();
    const QRect bounds = region.boundingRect();
    const int count = rows->rowCount(rootIndex());
    int row = std::max(0, (bounds.top() - rect.top()) / rect.height());
    rect.translate(0, row * rect.height());
    for (; row < count && rect.top() <= bounds.bottom(); ++row) {
        const QModelIndex index = rows->index(row, 0, rootIndex());
        option.rect = rect;
        option.state = state | rowMarks(index);
        delegate->paint(&painter, option, index);
        rect.translate(0, rect.height());
    }
    delegate->closeBatch(painter);
    delegate->setExposed(std::nullopt);
    return true;
}

void FrameLogView::initViewItemOption(QStyleOptionViewItem* option) const
{
    // The base asks the style for the same answers at every repaint, and a style sheet on a
    // widget around the list makes each answer a search through its rules. The answers depend
    // only on what is compared here and on the list's own settings, made once when it is built;
    // a change of style sheet comes as a style change.
    QStyleOption probe;
    probe.initFrom(this);
    const bool same = m_itemOption && m_itemOptionState == probe.state && m_itemOption->direction == probe.direction &&
                      m_itemOption->palette.cacheKey() == probe.palette.cacheKey() && m_itemOption->font == font() &&
                      m_itemOptionStyle == style() && m_itemOption->locale.language() == locale().language() &&
                      m_itemOption->locale.territory() == locale().territory();
    if (!same) {
        QStyleOptionViewItem fresh;
        QListView::initViewItemOption(&fresh);
        m_itemOption = fresh;
        m_itemOptionState = probe.state;
        m_itemOptionStyle = style();
    }
    *option = *m_itemOption;
}

FrameLogView::RowContent FrameLogView::rowContent(const QModelIndex& index)
{
    const auto* log = qobject_cast<const FrameLogModel*>(index.model());
    const LogEntry* entry = log ? log->entryAt(index.row()) : nullptr;
    if (!entry)
        return {};
    return {log->timeTextAt(index.row()), FrameLogModel::directionMark(entry->direction), entry->text.simplified(), {}};
}

// Rows that only changed content need drawing only where they look different; the rest of each
// row stays as it is.
void FrameLogView::updateRowContents()
{
    QList<std::optional<RowContent>> before = std::exchange(m_shown, {});
    const int beforeFrom = std::exchange(m_shownFrom, 0);
    const QRect area = viewport()->rect();
    // The row under the mouse is not known here: while hover marks a row, every row is new.
    const bool hovered = hoverMarksRows();
    // Rows are all one height, each right below the one before, and keep their places as long
    // as what they showed is known.
    if (before.isEmpty())
        m_firstRow = visualRect(model()->index(0, 0, rootIndex()));
    QRect rect = m_firstRow;
    if (area.isEmpty() || rect.height() <= 0)
        return;
    const auto* delegate = static_cast<const FrameLogDelegate*>(itemDelegate());
    const QFont font = this->font();
    const int rows = model()->rowCount(rootIndex());
    // Every row in the viewport, seen or not: a change where nothing is seen costs nothing to
    // repaint, and a row that comes into sight is drawn whole.
    int row = std::max(0, (area.top() - rect.top()) / rect.height());
    rect.translate(0, row * rect.height());
    m_shownFrom = row;
    m_shown.reserve(before.size());
    QVarLengthArray<QRect, 64> changed;
    QRect bounds;
    qint64 pixels = 0;
    for (; row < rows && rect.top() <= area.bottom(); ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        RowContent now = rowContent(index);
        now.marks = rowMarks(index);
        const qsizetype at = row - beforeFrom;
        const RowContent* was = at >= 0 && at < before.size() && before[at] ? &*before[at] : nullptr;
        QRect part;
        // A marked row is drawn across its whole width, and marks move with their entries.
        if (hovered || now.marks || (was && was->marks)) {
            part = QRect(area.left(), rect.top(), area.width(), rect.height());
        } else if (was) {
            part = delegate->changedArea(font, rect, *was, now);
        } else {
            // What the row showed is not known: nothing drawn reaches past m_inkRight.
            const int right = std::max(m_inkRight, delegate->inkRight(font, rect, index));
            part = QRect(area.left(), rect.top(), std::min(right, area.width()), rect.height());
        }
        if (!part.isEmpty()) {
            changed.append(part);
            bounds |= part;
            pixels += qint64(part.width()) * part.height();
        }
        m_shown.append(std::move(now));
        rect.translate(0, rect.height());
    }
    // One rectangle is far cheaper to repaint than many; it is worth some more pixels.
    if (qint64(bounds.width()) * bounds.height() <= 2 * pixels) {
            viewport()->update(bounds);
    } else {
        // One part a row, each below the one before.
        QRegion region;
        region.setRects(changed.constData(), int(changed.size()));
        viewport()->update(region);
    }
}

// The list marks the row under the mouse only where the style asks for hover events: it follows
// the mouse by them alone.
bool FrameLogView::hoverMarksRows() const
{
    return viewport()->testAttribute(Qt::WA_Hover) && viewport()->underMouse();
}

// As the list marks a row: selected, or current while the list has the focus.
QStyle::State FrameLogView::rowMarks(const QModelIndex& index) const
{
    QStyle::State marks;
    if (selectionModel()->isSelected(index))
        marks |= QStyle::State_Selected;
    if (index == currentIndex() && (hasFocus() || viewport()->hasFocus()))
        marks |= QStyle::State_HasFocus;
    return marks;
}

void FrameLogView::forgetShownRows()
{
    m_shown.clear();
}

void FrameLogView::follow(bool following)
{
    // The view lets go of a model that is destroyed first.
    if (auto* log = qobject_cast<FrameLogModel*>(model()))
        log->setFollowing(following);
}

// The list lays every row out again whenever rows come or go, which at a refresh of the screen
// costs more than drawing the rows. Rows all have one height: when as many leave at the bottom as
// come in at the top, every row keeps its place, and only what the rows show needs drawing.
bool FrameLogView::keepsRowPlaces(const QModelIndex& parent) const
{
    const auto* log = qobject_cast<const FrameLogModel*>(model());
    return !parent.isValid() && log && log->keepsRowCount() && uniformItemSizes();
}

void FrameLogView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    if (keepsRowPlaces(parent)) {
        QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    } else {
        forgetShownRows();
        QListView::rowsAboutToBeRemoved(parent, start, end);
    }
}

void FrameLogView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    if (keepsRowPlaces(parent)) {
        QAbstractItemView::rowsInserted(parent, start, end);
        updateRowContents();
    } else {
        forgetShownRows();
        QListView::rowsInserted(parent, start, end);
    }
}

// A row marked or unmarked between refreshes is drawn anew by the list, across its whole width;
// the next refresh draws it so again.
void FrameLogView::markShownRows(int first, int last)
{
    for (int row = std::max(first, m_shownFrom); row <= last && row - m_shownFrom < m_shown.size(); ++row) {
        if (std::optional<RowContent>& shown = m_shown[row - m_shownFrom])
            shown->marks |= QStyle::State_Selected;
    }
}

void FrameLogView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    for (const QItemSelection* ranges : {&selected, &deselected}) {
        for (const QItemSelectionRange& range : *ranges)
            markShownRows(range.top(), range.bottom());
    }
    QListView::selectionChanged(selected, deselected);
}

void FrameLogView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    markShownRows(current.row(), current.row());
    markShownRows(previous.row(), previous.row());
    QListView::currentChanged(current, previous);
}

void FrameLogView::focusInEvent(QFocusEvent* event)
{
    markShownRows(currentIndex().row(), currentIndex().row());
    QListView::focusInEvent(event);
}

void FrameLogView::focusOutEvent(QFocusEvent* event)
{
    markShownRows(currentIndex().row(), currentIndex().row());
    QListView::focusOutEvent(event);
}

void FrameLogView::reset()
{
    forgetShownRows();
    QListView::reset();
}

void FrameLogView::doItemsLayout()
{
    forgetShownRows();
    QListView::doItemsLayout();
}

void FrameLogView::scrollContentsBy(int dx, int dy)
{
    forgetShownRows();
    QListView::scrollContentsBy(dx, dy);
}

void FrameLogView::resizeEvent(QResizeEvent* event)
{
    forgetShownRows();
    QListView::resizeEvent(event);
}

void FrameLogView::showEvent(QShowEvent* event)
{
    follow(true);
    QListView::showEvent(event);
}

void FrameLogView::hideEvent(QHideEvent* event)
{
    follow(false);
    QListView::hideEvent(event);
}

void FrameLogView::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
        m_backdrop.stale = true;
        m_scrollBarBackdrop.stale = true;
        m_itemOption.reset();
        forgetShownRows();
        break;
    case QEvent::LocaleChange: m_itemOption.reset(); break;
    default: break;
    }
    QListView::changeEvent(event);
}

bool FrameLogView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scrollBarStrip && event->type() == QEvent::Paint) {
        const QRegion region = static_cast<QPaintEvent*>(event)->region();
        if (const std::optional<QColor> color = paintBackdrop(m_scrollBarStrip, m_scrollBarBackdrop, region)) {
            QPainter painter(m_scrollBarStrip);
            paintFill(painter, {region, *color});
        }
    }
    return QListView::eventFilter(watched, event);
}

std::optional<QColor> FrameLogView::paintBackdrop(QWidget* area, Backdrop& backdrop, const QRegion& region)
{
    // Each widget behind the list, outermost first, and where the part lies on it: the copy
    // holds while none of them moved or changed size, whatever order their layouts ran in.
    QList<QWidget*> behind;
    QList<QRect> places;
    for (QWidget* widget = parentWidget(); widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        behind.prepend(widget);
        places.prepend(QRect(area->mapTo(widget, QPoint(0, 0)), widget->size()));
    }
    if (backdrop.stale || backdrop.pixmap.deviceIndependentSize().toSize() != area->size() ||
        places != backdrop.places) {
        backdrop.stale = false;
        backdrop.places = places;
        const qreal ratio = area->devicePixelRatioF();
        backdrop.pixmap = QPixmap(area->size() * ratio);
        backdrop.pixmap.setDevicePixelRatio(ratio);
        backdrop.pixmap.fill(palette().color(QPalette::Window));
        // Each paints itself alone, as the window would.
        for (QWidget* widget : std::as_const(behind)) {
            const QRect under(area->mapTo(widget, QPoint(0, 0)), area->size());
            widget->render(&backdrop.pixmap, QPoint(0, 0), QRegion(under), QWidget::DrawWindowBackground);
        }
        backdrop.color = uniformColor(backdrop.pixmap.toImage());
    }
    // Filling takes half the memory traffic of copying, and rows are redrawn at every refresh
    // while entries pour in. The caller's painter fills it, which spares opening a second one.
    if (backdrop.color)
        return backdrop.color;
    QPainter painter(area);
    painter.setClipRegion(region);
    painter.drawPixmap(0, 0, backdrop.pixmap);
    return std::nullopt;
}
