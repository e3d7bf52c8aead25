#include "app/SidebarHost.h"

#include "app/SidebarList.h"
#include "ui/widgets/HairlineSplitter.h"
#include "ui/widgets/SymbolIcon.h"

#include <QBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>

namespace {

constexpr int idRole = Qt::UserRole;

}  // namespace

SidebarHost::SidebarHost(QWidget* parent) : QWidget(parent)
{
    m_list = new SidebarList;
    m_list->setObjectName(QStringLiteral("sidebarList"));
    m_list->setAccessibleName(QStringLiteral("Pages"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setIconSize(QSize(16, 16));
    m_list->setSpacing(1);
    // The list takes the window's colour, as a sidebar does, rather than a text field's.
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);

    m_settingsButton = new QPushButton(symbolIcon(QStringLiteral("gearshape")), QStringLiteral("Settings"));
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_settingsButton->setFlat(true);
    m_settingsButton->setCursor(Qt::PointingHandCursor);
    m_settingsButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    const QColor secondary = palette().color(QPalette::PlaceholderText);
    // Borderless, as the list's rows are; with the focus, ringed in the selection colour as a
    // focused row is (and by nothing else), in room it keeps without it so the text does not move.
    m_settingsButton->setStyleSheet(
        QStringLiteral("QPushButton { text-align: left; border: 2px solid transparent; border-radius: 5px; "
                       "padding: 8px 12px; outline: none; color: %1; } QPushButton:focus { border-color: %2; }")
            .arg(secondary.name(QColor::HexArgb), palette().color(QPalette::Highlight).name(QColor::HexArgb)));
    connect(m_settingsButton, &QPushButton::clicked, this, &SidebarHost::settingsRequested);

    m_sidebar = new QWidget;
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    m_sidebar->setMinimumWidth(sidebarMinimumWidth);
    m_sidebar->setMaximumWidth(sidebarMaximumWidth);
    auto* sidebarLayout = new QVBoxLayout(m_sidebar);
    sidebarLayout->setContentsMargins(0, 6, 0, 0);
    sidebarLayout->setSpacing(0);
    sidebarLayout->addWidget(m_list, 1);
    // Inset from the sidebar's edges, as a row's ring is from the list's.
    auto* settingsRow = new QHBoxLayout;
    settingsRow->setContentsMargins(4, 0, 4, 4);
    settingsRow->addWidget(m_settingsButton);
    sidebarLayout->addLayout(settingsRow);

    m_stack = new QStackedWidget;
    m_stack->setObjectName(QStringLiteral("pageStack"));

    // A hairline between the sidebar and the page, as a split view draws it.
    m_splitter = new HairlineSplitter(Qt::Horizontal);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_stack);
    m_splitter->setCollapsible(0, false);
    m_splitter->setCollapsible(1, false);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({sidebarIdealWidth, 10000});

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0)
            return;
        showRow(row);
        emit pageSelected(m_list->item(row)->data(idRole).toString());
    });
}

void SidebarHost::addSection(const QString& title)
{
    auto* heading = new QListWidgetItem(title);
    // A heading can be neither chosen nor reached with the arrow keys.
    heading->setFlags(Qt::NoItemFlags);
    QFont font = m_list->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() - 2);
    heading->setFont(font);
    heading->setForeground(palette().color(QPalette::PlaceholderText));
    heading->setSizeHint(QSize(0, m_list->count() == 0 ? 22 : 32));
    heading->setTextAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_list->addItem(heading);
}

void SidebarHost::addPage(const QString& id, const QString& title, const QIcon& icon, QWidget* page)
{
    auto* scroll = new QScrollArea;
    scroll->setObjectName(id + QStringLiteral("Scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // Tab goes to the page's controls: the frameless area itself would be a stop that shows
    // nothing. It still follows the focus to keep the focused control in sight.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(page);
    m_stack->addWidget(scroll);
    m_pages.insert(id, scroll);

    auto* item = new QListWidgetItem(icon, title);
    item->setData(idRole, id);
    item->setSizeHint(QSize(0, 28));
    m_list->addItem(item);
}

void SidebarHost::setCurrentPage(const QString& id)
{
    for (int row = 0; row < m_list->count(); ++row) {
        if (id.isEmpty() || m_list->item(row)->data(idRole).toString() != id)
            continue;
        const QSignalBlocker blocker(m_list);
        m_list->setCurrentRow(row);
        showRow(row);
        return;
    }
}

QString SidebarHost::currentPage() const
{
    const QListWidgetItem* item = m_list->currentItem();
    return item ? item->data(idRole).toString() : QString();
}

QWidget* SidebarHost::page(const QString& id) const
{
    const QScrollArea* scroll = m_pages.value(id);
    return scroll ? scroll->widget() : nullptr;
}

void SidebarHost::setSidebarVisible(bool visible) { m_sidebar->setVisible(visible); }

bool SidebarHost::isSidebarVisible() const { return !m_sidebar->isHidden(); }

void SidebarHost::showRow(int row)
{
    if (QScrollArea* scroll = m_pages.value(m_list->item(row)->data(idRole).toString()))
        m_stack->setCurrentWidget(scroll);
}
