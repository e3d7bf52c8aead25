#include "ui/macros/IconPicker.h"

#include "device/EmojiIconRenderer.h"
#include "ui/macros/KeyTile.h"
#include "ui/widgets/DeviceIconGlyph.h"
#include "ui/widgets/FormSection.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int symbolsScrollHeight = 220;
constexpr int emojiScrollHeight = 190;

QFont emojiFont(const QFont& base, int pixelSize)
{
    QFont font = base;
    font.setFamilies({QString::fromLatin1(KeyTile::emojiFamily), base.family()});
    font.setPixelSize(pixelSize);
    return font;
}

QToolButton* makeCell(const QString& name)
{
    auto* cell = new QToolButton;
    cell->setObjectName(name);
    cell->setAutoRaise(true);
    cell->setFixedSize(IconPickerPopover::cellWidth, IconPickerPopover::cellHeight);
    cell->setCheckable(true);
    cell->setFocusPolicy(Qt::TabFocus);
    return cell;
}

// The accent at a quarter under the cell that the key shows now, nothing under the others.
void markCell(QToolButton* cell, bool selected)
{
    const QSignalBlocker blocker(cell);
    cell->setChecked(selected);
    QColor accent = cell->palette().color(QPalette::Highlight);
    accent.setAlphaF(0.25f);
    // The style sheet takes the style's own focus frame away: the cell under the keyboard gets
    // a ring in the accent instead.
    const QString sheet = QStringLiteral("QToolButton { border: 2px solid transparent; border-radius: 6px; "
                                         "background: %1; } QToolButton:focus { border-color: %2; }")
                              .arg(selected ? accent.name(QColor::HexArgb) : QStringLiteral("transparent"),
                                   cell->palette().color(QPalette::Highlight).name());
    // A style sheet set again is parsed again and the cell polished anew, even when it is the
    // same: that is milliseconds for the whole grid.
    if (cell->styleSheet() != sheet)
        cell->setStyleSheet(sheet);
}

QWidget* gridPage(QGridLayout*& grid)
{
    auto* page = new QWidget;
    grid = new QGridLayout(page);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);
    grid->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    // All eight columns stay however few cells there are, so a search's matches fill the grid
    // from its first column.
    for (int column = 0; column < IconPickerPopover::columnCount; ++column)
        grid->setColumnMinimumWidth(column, IconPickerPopover::cellWidth);
    return page;
}

// Eight cells with their spacing and padding, and room for a scroll bar that does not float
// over them, as it does on some desktops.
int gridAreaWidth(const QWidget* widget)
{
    constexpr int columns = IconPickerPopover::columnCount;
    return columns * IconPickerPopover::cellWidth + (columns - 1) * 4 + 2 * 2 +
           widget->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2;
}

QScrollArea* scrollOf(QWidget* content, int height)
{
    auto* scroll = new QScrollArea;
    scroll->setMinimumWidth(gridAreaWidth(content));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFixedHeight(height);
    // Tab goes to the cells, which the area scrolls into sight: the frameless area itself would
    // be a stop that shows nothing and has no name.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(content);
    return scroll;
}

}  // namespace

const QStringList& IconPickerPopover::suggestedEmoji()
{
    // U+FE0F after a symbol asks for its emoji form and is part of the stored text.
    static const char16_t* const table[] = {
        u"\U0001F600", u"\U0001F602", u"\U0001F979", u"\U0001F60E",
        u"\U0001F914", u"\U0001F634", u"\U0001F92B", u"\U0001FAE1",
        u"\U0001F44D", u"\U0001F44B", u"\U0001F64F", u"\U0001F4AA",
        u"\U0001F525", u"\u2728", u"\u2B50\uFE0F", u"\u2764\uFE0F",
        u"\U0001F389", u"\U0001F3A7", u"\U0001F3B5", u"\U0001F3AE",
        u"\U0001F4F8", u"\U0001F4F7", u"\U0001F3A5", u"\U0001F4A1",
        u"\U0001F512", u"\U0001F511", u"\U0001F514", u"\U0001F515",
        u"\U0001F4E7", u"\U0001F4AC", u"\U0001F4DE", u"\U0001F3E0",
        u"\u2615\uFE0F", u"\U0001F355", u"\U0001F436", u"\U0001F431",
        u"\U0001F680", u"\u2708\uFE0F", u"\U0001F319", u"\u2600\uFE0F",
        u"\u26A1\uFE0F", u"\U0001F9E0", u"\U0001F4BB", u"\U0001F5A5\uFE0F",
        u"\u2328\uFE0F", u"\U0001F5B1\uFE0F", u"\U0001F4C1", u"\U0001F5D1\uFE0F",
    };
    static const QStringList list = [] {
        QStringList out;
        for (const char16_t* emoji : table)
            out.append(QString::fromUtf16(emoji));
        return out;
    }();
    return list;
}

const QStringList& IconPickerPopover::moreEmoji()
{
    static const QStringList list = [] {
        QStringList out;
        const auto take = [&out](char32_t from, char32_t to) {
            for (char32_t c = from; c <= to; ++c) {
                const QString text = QString::fromUcs4(&c, 1);
                if (EmojiIconRenderer::isEmoji(text))
                    out.append(text);
            }
        };
        // The pictographs first, as a palette opens with its faces and objects.
        take(0x1F600, 0x1F64F);
        take(0x1F900, 0x1FAFF);
        take(0x1F300, 0x1F5FF);
        take(0x1F680, 0x1F6FF);
        take(0x2600, 0x27BF);
        return out;
    }();
    return list;
}

QList<DeviceIcon> IconPickerPopover::filteredIcons(const QString& search)
{
    QString query = search;
    // Spaces and tabs only: what the user may leave around a name.
    while (!query.isEmpty() && (query.front() == u' ' || query.front() == u'\t'))
        query.remove(0, 1);
    while (!query.isEmpty() && (query.back() == u' ' || query.back() == u'\t'))
        query.chop(1);
    QList<DeviceIcon> out;
    for (DeviceIcon icon : DeviceIcon::allCases()) {
        if (query.isEmpty() || icon.label().contains(query, Qt::CaseInsensitive) ||
            icon.rawValue().contains(query, Qt::CaseInsensitive))
            out.append(icon);
    }
    return out;
}

IconPickerPopover::IconPickerPopover(QWidget* parent) : QFrame(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("iconPickerPopover"));
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(std::max(popoverWidth, gridAreaWidth(this) + 2 * 12));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);

    // The segmented control over the two tabs.
    auto* tabs = new QWidget;
    auto* tabsLayout = new QHBoxLayout(tabs);
    tabsLayout->setContentsMargins(0, 0, 0, 0);
    tabsLayout->setSpacing(0);
    auto* group = new QButtonGroup(this);
    m_symbolsTab = new QPushButton(QStringLiteral("Symbols"));
    m_symbolsTab->setObjectName(QStringLiteral("symbolsTab"));
    m_emojiTab = new QPushButton(QStringLiteral("Emoji"));
    m_emojiTab->setObjectName(QStringLiteral("emojiTab"));
    for (QPushButton* button : {m_symbolsTab, m_emojiTab}) {
        button->setCheckable(true);
        group->addButton(button);
        tabsLayout->addWidget(button);
    }
    m_symbolsTab->setChecked(true);
    connect(m_symbolsTab, &QPushButton::clicked, this, [this] { setTab(Tab::symbols); });
    connect(m_emojiTab, &QPushButton::clicked, this, [this] { setTab(Tab::emoji); });
    layout->addWidget(tabs, 0, Qt::AlignHCenter);

    m_pages = new QStackedWidget;
    layout->addWidget(m_pages);

    // Symbols: the search and the grid of the device's icons.
    auto* symbols = new QWidget;
    auto* symbolsLayout = new QVBoxLayout(symbols);
    symbolsLayout->setContentsMargins(0, 0, 0, 0);
    symbolsLayout->setSpacing(10);
    m_searchField = new QLineEdit;
    m_searchField->setObjectName(QStringLiteral("iconSearchField"));
    m_searchField->setPlaceholderText(QStringLiteral("Search"));
    m_searchField->setAccessibleName(QStringLiteral("Search icons"));
    m_searchField->setClearButtonEnabled(true);
    symbolsLayout->addWidget(m_searchField);
    QWidget* symbolPage = gridPage(m_symbolGrid);
    symbolPage->setObjectName(QStringLiteral("symbolGrid"));
    for (DeviceIcon icon : DeviceIcon::allCases()) {
        QToolButton* cell = makeCell(QStringLiteral("symbolCell:") + icon.rawValue());
        cell->setFont(deviceIconFont(16));
        cell->setText(icon.glyph());
        cell->setToolTip(icon.label());
        cell->setAccessibleName(icon.label());
        connect(cell, &QToolButton::clicked, this, [this, icon] { choose(icon, std::nullopt); });
        m_symbolCells.append(cell);
    }
    symbolsLayout->addWidget(scrollOf(symbolPage, symbolsScrollHeight));
    m_pages->addWidget(symbols);
    connect(m_searchField, &QLineEdit::textChanged, this, &IconPickerPopover::layOutSymbols);
    // Return takes the first of the matches: the one Down would go to.
    connect(m_searchField, &QLineEdit::returnPressed, this, [this] {
        if (const std::optional<DeviceIcon> first = firstMatch())
            choose(*first, std::nullopt);
    });
    m_searchField->installEventFilter(this);

    // Emoji: the entry with "More…", the suggestions, and the larger grid behind "More…".
    auto* emoji = new QWidget;
    auto* emojiLayout = new QVBoxLayout(emoji);
    emojiLayout->setContentsMargins(0, 0, 0, 0);
    emojiLayout->setSpacing(10);
    auto* entryRow = new QHBoxLayout;
    m_emojiField = new QLineEdit;
    m_emojiField->setObjectName(QStringLiteral("emojiField"));
    m_emojiField->setPlaceholderText(QStringLiteral("Type or paste an emoji"));
    m_emojiField->setAccessibleName(QStringLiteral("Emoji"));
    m_moreButton = new QPushButton(QStringLiteral("More…"));
    m_moreButton->setObjectName(QStringLiteral("moreEmojiButton"));
    m_moreButton->setCheckable(true);
    m_moreButton->setToolTip(QStringLiteral("Show more emoji; pick one and it lands in the field"));
    entryRow->addWidget(m_emojiField, 1);
    entryRow->addWidget(m_moreButton);
    emojiLayout->addLayout(entryRow);
    connect(m_emojiField, &QLineEdit::textChanged, this, &IconPickerPopover::examineEntry);
    connect(m_moreButton, &QPushButton::toggled, this, &IconPickerPopover::showMore);

    m_emojiGrids = new QStackedWidget;
    QGridLayout* suggestedGrid = nullptr;
    QWidget* suggestedPage = gridPage(suggestedGrid);
    suggestedPage->setObjectName(QStringLiteral("emojiGrid"));
    const QStringList& suggested = suggestedEmoji();
    for (int i = 0; i < suggested.size(); ++i) {
        const QString text = suggested[i];
        QToolButton* cell = makeCell(QStringLiteral("emojiCell:%1").arg(i));
        cell->setFont(emojiFont(font(), 20));
        cell->setText(text);
        cell->setAccessibleName(text);
        connect(cell, &QToolButton::clicked, this, [this, text] { choose(std::nullopt, text); });
        suggestedGrid->addWidget(cell, i / columnCount, i % columnCount);
        m_emojiCells.append(cell);
    }
    m_emojiGrids->addWidget(scrollOf(suggestedPage, emojiScrollHeight));
    emojiLayout->addWidget(m_emojiGrids);
    m_pages->addWidget(emoji);

    // The footer under both tabs.
    auto* footerRow = new QHBoxLayout;
    m_noIconButton = new QPushButton(QStringLiteral("No Icon"));
    m_noIconButton->setObjectName(QStringLiteral("noIconButton"));
    connect(m_noIconButton, &QPushButton::clicked, this, [this] { choose(std::nullopt, std::nullopt); });
    m_footer = new QLabel;
    m_footer->setObjectName(QStringLiteral("iconPickerFooter"));
    m_footer->setFont(FormSection::relativeFont(font(), -2));
    QPalette palette = m_footer->palette();
    palette.setColor(QPalette::WindowText, FormSection::secondaryColor(this));
    m_footer->setPalette(palette);
    m_footer->setWordWrap(true);
    m_footer->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    footerRow->addWidget(m_noIconButton);
    footerRow->addWidget(m_footer, 1);
    layout->addLayout(footerRow);

    layOutSymbols();
    setTab(Tab::symbols);
    showHighlights();
}

bool IconPickerPopover::eventFilter(QObject* watched, QEvent* event)
{
    // Down in the search goes on to the matches, where Return takes the one under the keyboard
    // and the arrows go from one to the next.
    if (watched == m_searchField && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (const std::optional<DeviceIcon> first = firstMatch())
                m_symbolCells[int(DeviceIcon::Case(*first))]->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

std::optional<DeviceIcon> IconPickerPopover::firstMatch() const
{
    const QList<DeviceIcon> shown = filteredIcons(m_searchField->text());
    return shown.isEmpty() ? std::nullopt : std::optional(shown.first());
}

void IconPickerPopover::setTab(Tab tab)
{
    m_tab = tab;
    m_symbolsTab->setChecked(tab == Tab::symbols);
    m_emojiTab->setChecked(tab == Tab::emoji);
    m_pages->setCurrentIndex(tab == Tab::symbols ? 0 : 1);
    m_footer->setText(tab == Tab::symbols ? QStringLiteral("Symbols are built into Tarv's font.")
                                          : QStringLiteral("Emoji are drawn on this computer and sent to Tarv."));
}

void IconPickerPopover::setKeyLook(const std::optional<DeviceIcon>& icon, const std::optional<QString>& emoji)
{
    m_icon = icon;
    m_emoji = emoji;
    showHighlights();
}

void IconPickerPopover::showHighlights()
{
    const auto& all = DeviceIcon::allCases();
    for (int i = 0; i < m_symbolCells.size(); ++i)
        markCell(m_symbolCells[i], !m_emoji && m_icon && *m_icon == all[std::size_t(i)]);
    const QStringList& suggested = suggestedEmoji();
    for (int i = 0; i < m_emojiCells.size(); ++i)
        markCell(m_emojiCells[i], m_emoji && *m_emoji == suggested[i]);
    m_noIconButton->setEnabled(m_icon || m_emoji);
}

void IconPickerPopover::popup(QWidget* anchor)
{
    {
        // The search field is not blocked: its clear button follows its text through the
        // field's own signal.
        const QSignalBlocker emojiBlocker(m_emojiField);
        m_searchField->clear();
        m_emojiField->clear();
    }
    m_moreButton->setChecked(false);
    layOutSymbols();
    setTab(Tab::symbols);
    adjustSize();
    QPoint at = anchor->mapToGlobal(QPoint(0, anchor->height()));
    if (const QScreen* screen = anchor->screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width() + 1)));
    }
    move(at);
    show();
    m_searchField->setFocus();
}

void IconPickerPopover::layOutSymbols()
{
    for (QToolButton* cell : m_symbolCells) {
        m_symbolGrid->removeWidget(cell);
        cell->hide();
    }
    const QList<DeviceIcon> shown = filteredIcons(m_searchField->text());
    for (int i = 0; i < shown.size(); ++i) {
        QToolButton* cell = m_symbolCells[int(DeviceIcon::Case(shown[i]))];
        m_symbolGrid->addWidget(cell, i / columnCount, i % columnCount);
        cell->show();
    }
}

void IconPickerPopover::examineEntry()
{
    const std::optional<QString> emoji = EmojiIconRenderer::firstEmoji(m_emojiField->text());
    if (!emoji)
        return;
    {
        const QSignalBlocker blocker(m_emojiField);
        m_emojiField->clear();
    }
    choose(std::nullopt, *emoji);
}

void IconPickerPopover::showMore(bool shown)
{
    if (shown && !m_moreList) {
        // Built on first use: well over a thousand emoji.
        m_moreList = new QListWidget;
        m_moreList->setObjectName(QStringLiteral("moreEmojiList"));
        m_moreList->setViewMode(QListView::IconMode);
        m_moreList->setMovement(QListView::Static);
        m_moreList->setResizeMode(QListView::Adjust);
        m_moreList->setUniformItemSizes(true);
        m_moreList->setGridSize(QSize(cellWidth + 4, cellHeight + 4));
        m_moreList->setFont(emojiFont(font(), 20));
        m_moreList->setFrameShape(QFrame::NoFrame);
        m_moreList->setFixedHeight(emojiScrollHeight);
        m_moreList->setMinimumWidth(gridAreaWidth(this));
        m_moreList->addItems(moreEmoji());
        for (int i = 0; i < m_moreList->count(); ++i)
            m_moreList->item(i)->setTextAlignment(Qt::AlignCenter);
        // A pick lands in the field, as a character palette's would; the field takes it.
        connect(m_moreList, &QListWidget::itemClicked, this,
                [this](QListWidgetItem* item) { m_emojiField->insert(item->text()); });
        m_emojiGrids->addWidget(m_moreList);
    }
    m_emojiGrids->setCurrentIndex(shown ? 1 : 0);
}

void IconPickerPopover::choose(const std::optional<DeviceIcon>& icon, const std::optional<QString>& emoji)
{
    emit chosen(icon, emoji);
    hide();
}
