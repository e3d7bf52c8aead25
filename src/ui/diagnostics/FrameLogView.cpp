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
#include <QGlyphRun>
#include <QtMath>
#include <QUuid>
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
        const QRect area = option.rect.adjusted(8, 0, -8, 0);
        const int top = area.top() + (area.height() - fonts.height) / 2;
        const RowTexts& texts = rowTexts(index, fonts, area.width());

        painter->save();
        painter->setClipRect(option.rect);
        int x = area.left();
        painter->setPen(secondary);
        draw(painter, QPoint(x, top), texts.time.runs);
        x += texts.time.advance + FrameLogView::partSpacing;

        painter->setPen(text);
        // On the regular font's baseline.
        const int boldTop = top + fonts.ascent - fonts.boldAscent;
        draw(painter, QPoint(x + (FrameLogView::markWidth - texts.mark.advance) / 2, boldTop), texts.mark.runs);
        x += FrameLogView::markWidth + FrameLogView::partSpacing;

        draw(painter, QPoint(x, top), texts.line);
        painter->restore();
        m_paintedRight = std::max(m_paintedRight, inkRight(option.rect, option.state, texts));
    }

    // How far right anything a paint of the row leaves reaches, at most, when the row is in
    // `rect` and not marked.
    int inkRight(const QFont& font, const QRect& rect, const QModelIndex& index) const
    {
        const Fonts& fonts = fontsFor(font);
        return inkRight(rect, {}, rowTexts(index, fonts, rect.adjusted(8, 0, -8, 0).width()));
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
        const int left = rect.left() + 8;
        const int markRight = left + texts.time.advance + FrameLogView::partSpacing +
                              std::max(FrameLogView::markWidth, texts.mark.advance);
        const int lineRight = left + texts.time.advance + FrameLogView::markWidth + 2 * FrameLogView::partSpacing +
                              texts.lineAdvance;
        // A glyph may reach past its advance; a line's height is far more than any does.
        return std::min(rowRight, std::max(markRight, lineRight) + texts.fonts->height);
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
            m_fonts = std::make_unique<Fonts>(font);
        }
        return *m_fonts;
    }

    const RowTexts& rowTexts(const QModelIndex& index, const Fonts& fonts, int width) const
    {
        // Entries leave the log for good: the texts of rows long gone are let go in one sweep.
        if (m_texts.size() > 4 * DeviceManager::maxLogEntries)
            m_texts.clear();
        RowTexts& texts = m_texts[index.data(FrameLogModel::idRole).toUuid()];
        if (texts.width == width && texts.fonts == &fonts)
            return texts;
        texts.width = width;
        texts.fonts = &fonts;
        texts.time = piece(m_times, index.data(FrameLogModel::timeTextRole).toString(), fonts.regular);
        texts.mark = piece(m_marks, index.data(FrameLogModel::markRole).toString(), fonts.bold);
        const int lineOffset = texts.time.advance + FrameLogView::markWidth + 2 * FrameLogView::partSpacing;
        const int lineWidth = std::max(0, width - 1 - lineOffset);
        const QString line = index.data(FrameLogModel::textRole).toString().simplified();
        // A line that fits is left whole, as eliding would leave it.
        if (std::optional<AsciiGlyphs::Line> plain = fonts.plain.line(line); plain && plain->advance <= lineWidth) {
            texts.line = {plain->glyphs};
            texts.lineAdvance = qCeil(plain->advance);
        } else {
            texts.line = AsciiGlyphs::laidOut(QFontMetrics(fonts.regular).elidedText(line, Qt::ElideRight, lineWidth),
                                              fonts.regular);
            texts.lineAdvance = -1;
        }
        return texts;
    }

    mutable std::unique_ptr<Fonts> m_fonts;
    mutable QHash<QUuid, RowTexts> m_texts;
    mutable QHash<QString, Piece> m_times;
    mutable QHash<QString, Piece> m_marks;
    mutable int m_paintedRight = 0;
    mutable std::optional<Fill> m_fill;
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
    if (const std::optional<QColor> color = paintBackdrop(region))
        delegate->fillFirst(region, *color);
    delegate->takePaintedRight();
    const bool handled = QListView::viewportEvent(event);
    if (const std::optional<Fill> fill = delegate->takeFill()) {
        // No row was in the region.
        QPainter painter(viewport());
        paintFill(painter, *fill);
    }
    // Outside the region the pixels stay as they were; over all that can be seen, they are all
    // new. What cannot be seen is painted as it comes into sight.
    const int painted = delegate->takePaintedRight();
    m_inkRight = (viewport()->visibleRegion() - region).isEmpty() ? painted : std::max(m_inkRight, painted);
    return handled;
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

// Rows that only changed content need drawing no farther right than the rows' texts reach,
// before and after; the rest of each row is the backdrop and stays as it is.
void FrameLogView::updateRowContents()
{
    const QRect area = viewport()->rect();
    // A marked row is drawn across its whole width, and its mark moves with its entry. The
    // current row is marked only while the list has the focus.
    const bool focused = currentIndex().isValid() && (hasFocus() || viewport()->hasFocus());
    const bool marked = selectionModel()->hasSelection() || focused || viewport()->underMouse();
    int right = marked ? area.width() : m_inkRight;
    // Only the rows in sight are drawn; the others are drawn as they come into sight.
    const QRect seen = viewport()->visibleRegion().boundingRect();
    const QModelIndex first = model()->index(0, 0, rootIndex());
    // Rows are all one height, each right below the one before.
    QRect rect = visualRect(first);
    if (right < area.width() && !seen.isEmpty() && rect.height() > 0) {
        const auto* delegate = static_cast<const FrameLogDelegate*>(itemDelegate());
        const QFont font = this->font();
        const int rows = model()->rowCount(rootIndex());
        int row = std::max(0, (seen.top() - rect.top()) / rect.height());
        rect.translate(0, row * rect.height());
        for (; row < rows && rect.top() <= seen.bottom() && right < area.width(); ++row) {
            right = std::max(right, delegate->inkRight(font, rect, model()->index(row, 0, rootIndex())));
            rect.translate(0, rect.height());
        }
    }
    if (right >= area.width())
        viewport()->update();
    else
        viewport()->update(QRect(area.left(), area.top(), right, area.height()));
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
    if (keepsRowPlaces(parent))
        QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    else
        QListView::rowsAboutToBeRemoved(parent, start, end);
}

void FrameLogView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    if (keepsRowPlaces(parent)) {
        QAbstractItemView::rowsInserted(parent, start, end);
        updateRowContents();
    } else {
        QListView::rowsInserted(parent, start, end);
    }
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
        m_backdropStale = true;
        m_itemOption.reset();
        break;
    case QEvent::LocaleChange: m_itemOption.reset(); break;
    default: break;
    }
    QListView::changeEvent(event);
}

std::optional<QColor> FrameLogView::paintBackdrop(const QRegion& region)
{
    QWidget* area = viewport();
    // Each widget behind the list, outermost first, and where the list lies on it: the copy
    // holds while none of them moved or changed size, whatever order their layouts ran in.
    QList<QWidget*> behind;
    QList<QRect> places;
    for (QWidget* widget = parentWidget(); widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        behind.prepend(widget);
        places.prepend(QRect(area->mapTo(widget, QPoint(0, 0)), widget->size()));
    }
    if (m_backdropStale || m_backdrop.deviceIndependentSize().toSize() != area->size() || places != m_backdropPlaces) {
        m_backdropStale = false;
        m_backdropPlaces = places;
        const qreal ratio = area->devicePixelRatioF();
        m_backdrop = QPixmap(area->size() * ratio);
        m_backdrop.setDevicePixelRatio(ratio);
        m_backdrop.fill(palette().color(QPalette::Window));
        // Each paints itself alone, as the window would.
        for (QWidget* widget : std::as_const(behind)) {
            const QRect under(area->mapTo(widget, QPoint(0, 0)), area->size());
            widget->render(&m_backdrop, QPoint(0, 0), QRegion(under), QWidget::DrawWindowBackground);
        }
        m_backdropColor = uniformColor(m_backdrop.toImage());
    }
    // Filling takes half the memory traffic of copying, and rows are redrawn at every refresh
    // while entries pour in. The rows' painter fills it, which spares opening a second one.
    if (m_backdropColor)
        return m_backdropColor;
    QPainter painter(area);
    painter.setClipRegion(region);
    painter.drawPixmap(0, 0, m_backdrop);
    return std::nullopt;
}
