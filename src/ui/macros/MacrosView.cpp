#include "ui/macros/MacrosView.h"

#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "ui/macros/KeyCanvas.h"
#include "ui/macros/KeyPanel.h"
#include "ui/macros/ProfileAppsButton.h"
#include "ui/macros/ProfileBar.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/HairlineSplitter.h"
#include "ui/widgets/SymbolIcon.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>

#include <algorithm>

namespace {

QLabel* secondaryLabel(const QString& text, qreal pointDelta)
{
    auto* label = new QLabel(text);
    label->setFont(FormSection::relativeFont(label->font(), pointDelta));
    FormSection::setSecondaryText(label);
    return label;
}

// "No Key Selected": the inspector's look while no key of the profile is selected.
QWidget* makeEmptyState()
{
    auto* empty = new QWidget;
    empty->setObjectName(QStringLiteral("noKeySelected"));
    auto* layout = new QVBoxLayout(empty);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(8);
    layout->addStretch(1);
    auto* symbol = new QLabel;
    symbol->setPixmap(symbolIcon(QStringLiteral("square.dashed")).pixmap(40, 40));
    symbol->setAlignment(Qt::AlignCenter);
    auto* title = new QLabel(QStringLiteral("No Key Selected"));
    title->setObjectName(QStringLiteral("noKeySelectedTitle"));
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 4);
    title->setFont(font);
    title->setAlignment(Qt::AlignCenter);
    QLabel* description = secondaryLabel(QStringLiteral("Select a key on the grid to edit it."), 0);
    description->setObjectName(QStringLiteral("noKeySelectedDescription"));
    description->setAlignment(Qt::AlignCenter);
    description->setWordWrap(true);
    layout->addWidget(symbol);
    layout->addWidget(title);
    layout->addWidget(description);
    layout->addStretch(1);
    return empty;
}

}  // namespace

MacrosView::MacrosView(DeviceManager& deviceManager, QUndoStack* undoStack, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager), m_undoStack(undoStack)
{
    setObjectName(QStringLiteral("macrosPage"));
    setMinimumSize(0, 0);
    ProfileStore& store = m_deviceManager.profiles();

    // Key area: the grid and its caption, with the profile bar under them.
    m_canvas = new KeyCanvas;
    m_canvas->setSwap([&store](int from, int to) { store.moveKey(from, to); });
    connect(m_canvas, &KeyCanvas::selectionChanged, this, &MacrosView::showInspector);
    QLabel* caption = secondaryLabel(
        QStringLiteral("Drag keys or press Ctrl+arrow keys to rearrange. Changes appear on Tarv as you edit."), -1);
    caption->setObjectName(QStringLiteral("keyCaption"));
    caption->setAlignment(Qt::AlignCenter);
    caption->setWordWrap(true);
    m_canvas->setAccessibleDescription(caption->text());

    auto* keys = new QWidget;
    auto* keysLayout = new QVBoxLayout(keys);
    keysLayout->setContentsMargins(20, 20, 20, 20);
    keysLayout->setSpacing(12);
    keysLayout->addWidget(m_canvas);
    keysLayout->addWidget(caption);
    keysLayout->addStretch(1);

    m_profileBar = new ProfileBar(m_deviceManager);
    connect(m_profileBar, &ProfileBar::selectionResetRequested, this, [this] { setSelection(0); });
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);

    auto* keyArea = new QWidget;
    keyArea->setObjectName(QStringLiteral("keyArea"));
    auto* keyAreaLayout = new QVBoxLayout(keyArea);
    keyAreaLayout->setContentsMargins(0, 0, 0, 0);
    keyAreaLayout->setSpacing(0);
    keyAreaLayout->addWidget(keys, 1);
    keyAreaLayout->addWidget(divider);
    keyAreaLayout->addWidget(m_profileBar);

    // Inspector column: the selected key, or the empty state.
    m_inspector = new KeyInspector(m_deviceManager, m_shortcuts);
    m_inspectorScroll = new QScrollArea;
    m_inspectorScroll->setObjectName(QStringLiteral("inspectorScroll"));
    m_inspectorScroll->setFrameShape(QFrame::NoFrame);
    m_inspectorScroll->setWidgetResizable(true);
    m_inspectorScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes to the inspector's fields: the frameless area itself would be a stop that shows nothing.
    m_inspectorScroll->setFocusPolicy(Qt::NoFocus);
    m_inspectorScroll->setWidget(m_inspector);
    m_inspector->installEventFilter(this);
    m_inspectorScroll->verticalScrollBar()->installEventFilter(this);
    m_emptyState = makeEmptyState();
    m_inspectorStack = new QStackedWidget;
    m_inspectorStack->addWidget(m_inspectorScroll);
    m_inspectorStack->addWidget(m_emptyState);

    m_inspectorColumn = new QWidget;
    m_inspectorColumn->setObjectName(QStringLiteral("inspectorColumn"));
    m_inspectorColumn->setMinimumWidth(inspectorMinimumWidth);
    m_inspectorColumn->setMaximumWidth(inspectorMaximumWidth);
    auto* columnLayout = new QHBoxLayout(m_inspectorColumn);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(0);
    columnLayout->addWidget(m_inspectorStack, 1);

    // The user may widen or narrow the column within its bounds, as an inspector allows.
    // A hairline between the key area and the inspector, as the sidebar has.
    auto* splitter = new HairlineSplitter(Qt::Horizontal);
    splitter->setObjectName(QStringLiteral("macrosSplitter"));
    splitter->addWidget(keyArea);
    splitter->addWidget(m_inspectorColumn);
    splitter->setCollapsible(0, false);
    splitter->setCollapsible(1, false);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({10000, inspectorIdealWidth});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    // The slot of the profile's applications button in the toolbar; filled by that button.
    m_toolbarSlot = new QWidget;
    m_toolbarSlot->setObjectName(QStringLiteral("profileAppsSlot"));
    auto* slotLayout = new QHBoxLayout(m_toolbarSlot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    m_profileAppsButton = new ProfileAppsButton(m_deviceManager);
    // The button reads which apps switch to the profile; its caption gives the name Settings
    // and the popover know it by.
    auto* appsCaption = new QLabel(QStringLiteral("Auto-Switch"));
    appsCaption->setObjectName(QStringLiteral("profileAppsCaption"));
    FormSection::setSecondaryText(appsCaption);
    appsCaption->setBuddy(m_profileAppsButton);
    slotLayout->addWidget(appsCaption);
    slotLayout->addWidget(m_profileAppsButton);

    connect(&store, &ProfileStore::profilesChanged, this, &MacrosView::refresh);
    connect(&store, &ProfileStore::activeIDChanged, this, &MacrosView::refresh);
    connect(m_canvas, &KeyCanvas::editLabelRequested, this, [this] {
        if (!m_inspectorShown)
            setInspectorShown(true);
        m_inspector->focusLabel();
    });
    connect(m_canvas, &KeyCanvas::clearRequested, m_inspector, &KeyInspector::clearKey);
    connect(&store, &ProfileStore::movedKeyPlaced, this, &MacrosView::setSelection);
    m_canvas->setSelection(0);
    refresh();
}

MacrosView::~MacrosView()
{
    // A slot that no toolbar took has no parent to delete it.
    if (m_toolbarSlot && !m_toolbarSlot->parent())
        delete m_toolbarSlot.data();
}

void MacrosView::setUndoStack(QUndoStack* undoStack)
{
    const bool presenceChanged = (m_undoStack == nullptr) != (undoStack == nullptr);
    m_undoStack = undoStack;
    if (presenceChanged && isVisible())
        attachUndoManager();
}

void MacrosView::attachUndoManager()
{
    m_deviceManager.profiles().setUndoStack(m_undoStack);
}

int MacrosView::selection() const
{
    return m_canvas->selection();
}

void MacrosView::setSelection(int index)
{
    m_canvas->setSelection(index);
    showInspector();
}

void MacrosView::setInspectorShown(bool shown)
{
    if (shown == m_inspectorShown)
        return;
    m_inspectorShown = shown;
    m_inspectorColumn->setVisible(shown);
    emit inspectorShownChanged(shown);
}

void MacrosView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    attachUndoManager();
    m_shortcuts.load();
}

bool MacrosView::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    // Escape that no field of the inspector took leaves the inspector for the key in the grid,
    // as it leaves an edit in an item view; what was typed is stored already.
    if (watched == m_inspector && type == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            m_canvas->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    if ((watched == m_inspector && type == QEvent::LayoutRequest) ||
        (watched == m_inspectorScroll->verticalScrollBar() && (type == QEvent::Show || type == QEvent::Hide)))
        fitInspectorColumn();
    return QWidget::eventFilter(watched, event);
}

void MacrosView::fitInspectorColumn()
{
    // The rows' width only grows: a key of another kind that needs less leaves the fields
    // where they were.
    m_inspectorRowsWidth = std::max(m_inspectorRowsWidth, m_inspector->minimumSizeHint().width());
    const QScrollBar* bar = m_inspectorScroll->verticalScrollBar();
    const int needed = m_inspectorRowsWidth + (bar->isVisibleTo(m_inspectorScroll) ? bar->width() : 0);
    m_inspectorColumn->setMinimumWidth(std::clamp(needed, inspectorMinimumWidth, inspectorMaximumWidth));
}

void MacrosView::refresh()
{
    m_canvas->setButtons(m_deviceManager.profiles().activeProfile().buttons);
    m_profileBar->refresh();
    showInspector();
}

void MacrosView::showInspector()
{
    const QList<MacroButton>& buttons = m_deviceManager.profiles().activeProfile().buttons;
    const int selection = m_canvas->selection();
    if (selection >= 0 && selection < buttons.size()) {
        m_inspector->setKey(selection, buttons[selection]);
        m_inspectorStack->setCurrentWidget(m_inspectorScroll);
    } else {
        m_inspectorStack->setCurrentWidget(m_emptyState);
    }
}
