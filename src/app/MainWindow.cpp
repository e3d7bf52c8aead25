#include "app/MainWindow.h"

#include "app/DeviceCommands.h"
#include "app/ScreenPickerToolbar.h"
#include "app/SettingsWindow.h"
#include "app/SidebarHost.h"
#include "app/WindowActivation.h"
#include "hub/DeviceManager.h"
#include "platform/Settings.h"
#include "screens/runtime/CustomScreenStore.h"
#include "ui/macros/MacrosView.h"
#include "ui/diagnostics/DiagnosticsView.h"
#include "ui/screensaver/ScreensaverView.h"
#include "ui/media/NowPlayingView.h"
#include "ui/media/StocksView.h"
#include "ui/screens/CustomScreensView.h"
#include "ui/widgets/ComboBoxAccessible.h"
#include "ui/widgets/ConnectionText.h"
#include "ui/widgets/FocusKeeper.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/ReturnPressesButtons.h"
#include "ui/widgets/ScreenReaderNotice.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/SymbolLabel.h"
#include "ui/widgets/TabOrder.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QPointer>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QToolBar>
#include <QUndoGroup>
#include <QUndoStack>

MainWindow::MainWindow(DeviceManager& deviceManager, Settings& settings, QWidget* parent)
    : QMainWindow(parent), m_deviceManager(deviceManager), m_settings(settings)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/tarv.svg")));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(defaultWidth, defaultHeight);
    m_undoGroup = new QUndoGroup(this);
    // Made in the group, they belong to it.
    m_macrosUndo = new QUndoStack(m_undoGroup);
    m_screensaverUndo = new QUndoStack(m_undoGroup);
    // For every window of the application, the settings and the sheets included.
    ReturnPressesButtons::install(qApp, this);
    FocusKeeper::install(qApp, this);
    installComboBoxAccessibility();

    m_host = new SidebarHost;
    // A failed write of the settings shows above the pages until a write succeeds, so that
    // nobody quits believing an edit was kept; settings that could not be read show there for
    // the whole run.
    m_settingsWriteProblem =
        new SymbolLabel(QStringLiteral("exclamationmark.triangle"), QString(), SymbolLabel::orange());
    m_settingsWriteProblem->setObjectName(QStringLiteral("settingsWriteProblem"));
    m_settingsWriteProblem->setContentsMargins(12, 6, 12, 6);
    m_settingsWriteProblem->setSelectable(true);
    m_settingsWriteProblem->hide();
    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_settingsWriteProblem);
    column->addWidget(m_host, 1);
    setCentralWidget(central);
    buildPages();
    buildToolbar();
    buildMenus();

    // Only a choice of the user's replaces what is stored.
    connect(m_host, &SidebarHost::pageSelected, this,
            [this](const QString& id) { select(readSidebarSelection(id)); });
    connect(m_host, &SidebarHost::settingsRequested, this, &MainWindow::showSettings);
    showSelection(readSidebarSelection(m_settings.text(QLatin1String(sidebarSelectionKey))));

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &MainWindow::showConnection);
    showConnection();

    // Told on the writer's thread; shown on this one.
    m_settings.setFileWriteHandler([window = QPointer<MainWindow>(this)](std::optional<SettingsError>) {
        QMetaObject::invokeMethod(
            qApp, [window] {
                if (window)
                    window->showSettingsWriteState();
            },
            Qt::QueuedConnection);
    });
    connect(&m_deviceManager.customScreens().trust(), &ScreenTrust::firstRunApprovalsUnsavedChanged, this,
            &MainWindow::showSettingsWriteState);
    showSettingsWriteState();
}

MainWindow::~MainWindow()
{
    m_settings.setFileWriteHandler({});
    // The focus moves as the pages go, after the menus' actions are gone.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

void MainWindow::buildPages()
{
    QString currentSection;
    for (SidebarItem item : allSidebarItems()) {
        if (section(item) != currentSection) {
            currentSection = section(item);
            m_host->addSection(currentSection);
        }
        QWidget* page = nullptr;
        if (item == SidebarItem::macros) {
            m_macrosView = new MacrosView(m_deviceManager, m_macrosUndo);
            page = m_macrosView;
        } else if (item == SidebarItem::diagnostics) {
            page = new DiagnosticsView(m_deviceManager);
            page->setObjectName(rawValue(item) + QStringLiteral("Page"));
        } else if (item == SidebarItem::screensaver) {
            page = new ScreensaverView(m_deviceManager, m_screensaverUndo);
        } else if (item == SidebarItem::stocks) {
            page = new StocksView(m_deviceManager);
        } else if (item == SidebarItem::nowPlaying) {
            page = new NowPlayingView(m_deviceManager);
        } else if (item == SidebarItem::customScreens) {
            page = new CustomScreensView(m_deviceManager);
        } else {
            // An empty stand-in until the page's own view is built.
            page = new QWidget;
            page->setObjectName(rawValue(item) + QStringLiteral("Page"));
        }
        m_host->addPage(rawValue(item), title(item), symbolIcon(symbol(item)), page);
    }
}

void MainWindow::buildToolbar()
{
    QToolBar* toolbar = addToolBar(QStringLiteral("Toolbar"));
    toolbar->setObjectName(QStringLiteral("mainToolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setVisible(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    // Linux title bars have no subtitle line: the connection goes to the toolbar's leading end.
    m_connectionLabel = PlainText::label();
    m_connectionLabel->setObjectName(QStringLiteral("connectionLabel"));
    m_connectionLabel->setContentsMargins(8, 0, 8, 0);
    QPalette palette = m_connectionLabel->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    m_connectionLabel->setPalette(palette);
    toolbar->addWidget(m_connectionLabel);

    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);

    // The macros page's own toolbar item, shown with that page.
    m_macrosToolbarAction = toolbar->addWidget(m_macrosView->toolbarSlot());

    m_picker = new ScreenPickerToolbar(m_deviceManager);
    toolbar->addWidget(m_picker);

    // Tab goes round the window as it reads: the sidebar's list, the toolbar's controls, the
    // note above the pages, the page shown, and Settings under the list. Qt ordered them as they
    // were made, the list and Settings first and the toolbar after the pages: the list, the
    // toolbar and the note go after Settings, which closes the cycle.
    QList<QWidget*> head{m_host->list()};
    head += TabOrder::stops(toolbar);
    head += TabOrder::stops(m_settingsWriteProblem);
    TabOrder::place(m_host->settingsButton(), head);
    // Settings now comes first after the window itself, where Qt would start: the window opens
    // with the focus where reading starts instead.
    m_host->list()->setFocus(Qt::OtherFocusReason);
}

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_fileMenu = file;
    QAction* settings = file->addAction(QStringLiteral("Settings…"), this, &MainWindow::showSettings);
    settings->setObjectName(QStringLiteral("settingsAction"));
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    settings->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quit"), this, &MainWindow::quitRequested);
    quit->setObjectName(QStringLiteral("quitAction"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* undo = addUndoAction(edit, false);
    undo->setObjectName(QStringLiteral("undoAction"));
    undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    QAction* redo = addUndoAction(edit, true);
    redo->setObjectName(QStringLiteral("redoAction"));
    redo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    edit->addSeparator();
    // The editing actions act on the field that has the focus, as its own shortcuts do.
    const struct {
        const char* name;
        const char* text;
        QKeySequence::StandardKey key;
        const char* slot;
    } editing[] = {
        {"cutAction", "Cut", QKeySequence::Cut, "cut"},
        {"copyAction", "Copy", QKeySequence::Copy, "copy"},
        {"pasteAction", "Paste", QKeySequence::Paste, "paste"},
        {"deleteAction", "Delete", QKeySequence::UnknownKey, "del"},
        {"selectAllAction", "Select All", QKeySequence::SelectAll, "selectAll"},
    };
    for (const auto& entry : editing) {
        QAction* action = edit->addAction(QString::fromLatin1(entry.text));
        action->setObjectName(QString::fromLatin1(entry.name));
        if (entry.key != QKeySequence::UnknownKey)
            action->setShortcut(entry.key);
        const char* slot = entry.slot;
        connect(action, &QAction::triggered, this, [this, slot] { forwardToFocus(slot); });
        m_editActions.append({action, slot});
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // The menu bar takes the focus while a menu is opened from the keyboard: the menu's
        // actions still edit the widget the focus came from, to which it returns.
        if (qobject_cast<QMenuBar*>(now) || qobject_cast<QMenu*>(now))
            return;
        m_editTarget = now;
        updateEditActions();
    });
    m_editTarget = QApplication::focusWidget();
    updateEditActions();

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    m_showSidebarAction = view->addAction(QStringLiteral("Show Sidebar"));
    m_showSidebarAction->setObjectName(QStringLiteral("showSidebarAction"));
    m_showSidebarAction->setCheckable(true);
    m_showSidebarAction->setChecked(true);
    connect(m_showSidebarAction, &QAction::toggled, m_host, &SidebarHost::setSidebarVisible);
    m_showInspectorAction = view->addAction(QStringLiteral("Show Inspector"));
    m_showInspectorAction->setObjectName(QStringLiteral("showInspectorAction"));
    m_showInspectorAction->setCheckable(true);
    m_showInspectorAction->setEnabled(false);
    connect(m_showInspectorAction, &QAction::toggled, m_macrosView, &MacrosView::setInspectorShown);
    connect(m_macrosView, &MacrosView::inspectorShownChanged, m_showInspectorAction, &QAction::setChecked);

    QMenu* device = menuBar()->addMenu(QStringLiteral("&Device"));
    device->setObjectName(QStringLiteral("deviceMenu"));
    m_deviceCommands = new DeviceCommands(m_deviceManager, device, this);
}

QAction* MainWindow::addUndoAction(QMenu* menu, bool redo)
{
    const QString verb = redo ? QStringLiteral("Redo") : QStringLiteral("Undo");
    QAction* action = menu->addAction(verb);
    // The menu names the step the action takes, and a screen reader hears the step it took:
    // the keyboard stays in the field or the list the step changed.
    const auto name = [verb](const QString& step) { return step.isEmpty() ? verb : verb + u' ' + step; };
    connect(action, &QAction::triggered, this, [this, redo, name] {
        const QString step = redo ? m_undoGroup->redoText() : m_undoGroup->undoText();
        if (redo ? !m_undoGroup->canRedo() : !m_undoGroup->canUndo())
            return;
        if (redo)
            m_undoGroup->redo();
        else
            m_undoGroup->undo();
        ScreenReaderNotice::say(this, name(step));
    });
    const auto show = [this, action, redo, name] {
        action->setEnabled(redo ? m_undoGroup->canRedo() : m_undoGroup->canUndo());
        action->setText(name(redo ? m_undoGroup->redoText() : m_undoGroup->undoText()));
    };
    connect(m_undoGroup, redo ? &QUndoGroup::canRedoChanged : &QUndoGroup::canUndoChanged, action, show);
    connect(m_undoGroup, redo ? &QUndoGroup::redoTextChanged : &QUndoGroup::undoTextChanged, action, show);
    show();
    return action;
}

void MainWindow::forwardToFocus(const char* slot)
{
    QWidget* focus = m_editTarget;
    if (!focus || !focus->window() || focus->window()->isHidden())
        return;
    const QByteArray signature = QByteArray(slot) + "()";
    if (focus->metaObject()->indexOfMethod(signature.constData()) >= 0) {
        QMetaObject::invokeMethod(focus, slot);
        return;
    }
    // Text editors have no slot for deleting the selection; the key does it.
    if (qstrcmp(slot, "del") == 0) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(focus, &press);
    }
}

namespace {

bool isTextField(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget);
}

}  // namespace

void MainWindow::updateEditActions()
{
    const QWidget* focus = m_editTarget;
    const bool textField = isTextField(focus);
    // Each of them has the property.
    const bool editable = textField && !focus->property("readOnly").toBool();
    for (const auto& [action, slot] : m_editActions) {
        const QByteArray signature = QByteArray(slot) + "()";
        const bool offered = focus && focus->metaObject()->indexOfMethod(signature.constData()) >= 0;
        const bool reads = qstrcmp(slot, "copy") == 0 || qstrcmp(slot, "selectAll") == 0;
        // A text field copies and selects what it shows, and cuts, pastes and deletes only while
        // the user may change it. Another widget does what it offers: the frame log copies and
        // selects its rows, the key grid deletes its key, as their own keys do.
        action->setEnabled(textField && !reads ? editable : offered);
    }
}

QUndoStack* MainWindow::undoStack(SidebarItem item) const
{
    if (item == SidebarItem::macros)
        return m_macrosUndo;
    if (item == SidebarItem::screensaver)
        return m_screensaverUndo;
    return nullptr;
}

void MainWindow::select(SidebarItem item)
{
    m_settings.setText(QLatin1String(sidebarSelectionKey), storedSidebarSelection(item));
    showSelection(item);
}

void MainWindow::showSelection(SidebarItem item)
{
    m_selection = item;
    if (m_host->currentPage() != rawValue(item))
        m_host->setCurrentPage(rawValue(item));
    // Only the macros page has an inspector and a toolbar item of its own.
    const bool macros = item == SidebarItem::macros;
    m_showInspectorAction->setEnabled(macros);
    {
        // Showing the state, not changing it: another page leaves the inspector as it is.
        const QSignalBlocker blocker(m_showInspectorAction);
        m_showInspectorAction->setChecked(macros && m_macrosView->isInspectorShown());
    }
    m_macrosToolbarAction->setVisible(macros);
    m_undoGroup->setActiveStack(undoStack(item));
    // The desktop adds the application's name: "Stocks — Tarv".
    setWindowTitle(title(item));
}

void MainWindow::showConnection()
{
    m_connectionLabel->setText(connectionText(m_deviceManager.state()));
}

void MainWindow::showSettingsWriteState()
{
    const QString file = QDir::toNativeSeparators(m_settings.filePath());
    QStringList problems;
    if (const QString reason = m_settings.readFailure(); !reason.isEmpty()) {
        problems.append(QStringLiteral("Settings cannot be read from %1: %2. Tarv runs with its defaults and saves "
                                       "no change over the file; custom screens that run commands wait for approval.")
                            .arg(file, reason));
    } else if (const QString aside = m_settings.keptAsidePath(); !aside.isEmpty()) {
        problems.append(QStringLiteral("%1 could not be read as settings (%2); it was kept as %3.")
                            .arg(file, m_settings.keptAsideReason(), QDir::toNativeSeparators(aside)));
    }
    if (m_settings.lastWriteError()) {
        const QString reason = m_settings.lastWriteErrorReason();
        problems.append(
            (reason.isEmpty() ? QStringLiteral("Settings could not be saved to %1.").arg(file)
                              : QStringLiteral("Settings could not be saved to %1: %2.").arg(file, reason)) +
            QStringLiteral(" Tarv tries again with your next change."));
    }
    if (m_deviceManager.customScreens().trust().areFirstRunApprovalsUnsaved())
        problems.append(QStringLiteral("Custom screens that run commands wait for approval until the settings are saved."));
    m_settingsWriteProblem->setVisible(!problems.isEmpty());
    m_settingsWriteProblem->setText(problems.join(u'\n'));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        m_closedGeometry = saveGeometry();
}

void MainWindow::setVisible(bool visible)
{
    // Closing only hides the window, and the window manager places a window shown again as a
    // new one: it comes back where the user left it.
    if (visible && !m_closedGeometry.isEmpty())
        restoreGeometry(std::exchange(m_closedGeometry, {}));
    QMainWindow::setVisible(visible);
}

bool MainWindow::focusNextPrevChild(bool next)
{
    return FocusKeeper::handOn(this) || QMainWindow::focusNextPrevChild(next);
}

void MainWindow::showAndActivate()
{
    WindowActivation::bringForward(this);
}

void MainWindow::showSettings()
{
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsWindow>(m_deviceManager);
        m_settingsWindow->setWindowIcon(windowIcon());
        // A menu's shortcuts work in every window it is added to: Ctrl+Q, Ctrl+, and the
        // Device commands act from Settings too. The Edit menu stays with the window it edits.
        m_settingsWindow->addAction(m_fileMenu->menuAction());
        m_settingsWindow->addAction(m_deviceCommands->menu()->menuAction());
    }
    m_settingsWindow->showCentredOver(this);
}
