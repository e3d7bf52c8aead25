#include "app/SettingsWindow.h"

#include "hub/DeviceManager.h"
#include "macros/GnomeExtensionSetup.h"
#include "ui/settings/AutoSwitchSettings.h"
#include "ui/settings/CommandLineToolSection.h"
#include "ui/settings/DeviceSettings.h"
#include "ui/settings/GeneralSettings.h"
#include "ui/settings/LoginItem.h"
#include "ui/settings/PrivilegedRunner.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/TrustedScreensSection.h"
#include "ui/widgets/AccessibleFactory.h"
#include "ui/widgets/ComboBoxAccessible.h"
#include "ui/widgets/FocusKeeper.h"
#include "ui/widgets/SymbolIcon.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QBoxLayout>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

namespace {

// A tab's content in a frameless scroll area, which scrolls only when the screen is too short.
QScrollArea* scrolling(QWidget* content)
{
    auto* area = new QScrollArea;
    area->setObjectName(content->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes to the tab's controls: the frameless area itself would be a stop that shows nothing.
    area->setFocusPolicy(Qt::NoFocus);
    area->setWidget(content);
    return area;
}

// A window of its own, as assistive technology should call it: Qt takes a plain widget, even a
// window, for an area inside one.
QAccessibleInterface* settingsWindowFactory(const QString&, QObject* object)
{
    if (auto* window = qobject_cast<SettingsWindow*>(object))
        return new QAccessibleWidget(window, QAccessible::Window);
    return nullptr;
}

QMargins frameMargins(const QWidget* window)
{
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

}  // namespace

SettingsWindow::SettingsWindow(DeviceManager& deviceManager, QWidget* parent)
    : SettingsWindow(deviceManager, Services{}, parent)
{
}

SettingsWindow::SettingsWindow(DeviceManager& deviceManager, Services services, QWidget* parent)
    : QWidget(parent, Qt::Window), m_deviceManager(deviceManager)
{
    installAccessibleFactory<settingsWindowFactory>();
    installComboBoxAccessibility();
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(QStringLiteral("Settings"));

    if (!services.loginItem)
        services.loginItem = std::make_unique<LoginItem>();
    if (!services.installer)
        services.installer.emplace(CommandLineToolSection::bundledToolPath());
    m_runner = services.runner ? std::move(services.runner) : std::make_unique<PkexecRunner>();
    if (!services.gnomeExtension && GnomeExtensionSetup::concernsThisSession())
        services.gnomeExtension = std::make_unique<GnomeExtensionSetup>(QDBusConnection::sessionBus(),
                                                                        GnomeExtensionSetup::defaultPlaces());

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("settingsTabs"));
    m_tabs->setDocumentMode(true);

    m_general = new GeneralSettings(services.loginItem.release());
    m_device = new DeviceSettings(m_deviceManager);
    m_autoSwitch = new AutoSwitchSettings(m_deviceManager, std::move(services.gnomeExtension));
    auto* advanced = new QWidget;
    advanced->setObjectName(QStringLiteral("advancedSettings"));
    m_commandLineTool = new CommandLineToolSection(std::move(*services.installer), *m_runner);
    m_trustedScreens = new TrustedScreensSection(m_deviceManager.customScreens());
    QVBoxLayout* advancedLayout = SettingsForm::tabLayout(advanced);
    advancedLayout->addWidget(m_commandLineTool);
    advancedLayout->addWidget(m_trustedScreens);

    m_tabs->addTab(scrolling(m_general), symbolIcon(QStringLiteral("gearshape")), QStringLiteral("General"));
    m_tabs->addTab(scrolling(m_device), symbolIcon(QStringLiteral("display")), QStringLiteral("Device"));
    m_tabs->addTab(scrolling(m_autoSwitch), symbolIcon(QStringLiteral("arrow.triangle.swap")),
                   QStringLiteral("Auto-Switching"));
    m_tabs->addTab(scrolling(advanced), symbolIcon(QStringLiteral("gearshape.2")), QStringLiteral("Advanced"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(m_tabs);
    setFixedWidth(defaultWidth);

    // Ctrl+W closes the window; the application's own commands are added by the main window.
    auto* close = new QAction(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeSettingsAction"));
    close->setShortcuts(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    // A tab's content lays itself out inside its scroll area, so the window hears of a failure
    // text or a trusted screen coming or going from the content itself.
    for (int i = 0; i < m_tabs->count(); ++i)
        qobject_cast<QScrollArea*>(m_tabs->widget(i))->widget()->installEventFilter(this);
    connect(m_tabs, &QTabWidget::currentChanged, this, &SettingsWindow::fitHeight);
    fitHeight();
}

SettingsWindow::~SettingsWindow() = default;

QScrollArea* SettingsWindow::currentScrollArea() const
{
    return qobject_cast<QScrollArea*>(m_tabs->currentWidget());
}

void SettingsWindow::showCentredOver(const QWidget* anchor)
{
    if (!isVisible()) {
        const bool overAnchor = anchor && anchor->isVisible() && !anchor->isMinimized();
        QScreen* screen = overAnchor ? anchor->screen() : QGuiApplication::primaryScreen();
        if (overAnchor && m_frame.isNull())
            m_frame = frameMargins(anchor);
        // The height first: it depends on the screen the window goes to.
        move(screen->availableGeometry().center());
        fitHeight();
        const QRect area = screen->availableGeometry();
        QRect outer = QRect(QPoint(), size()).marginsAdded(m_frame);
        outer.moveCenter(overAnchor ? anchor->frameGeometry().center() : area.center());
        outer.moveLeft(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
        outer.moveTop(std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
        move(outer.topLeft());
    }
    show();
    raise();
    activateWindow();
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The content's layout was invalidated by the change, so its height is read afresh.
    const QScrollArea* current = currentScrollArea();
    if (event->type() == QEvent::LayoutRequest && current && watched == current->widget())
        fitHeight();
    return QWidget::eventFilter(watched, event);
}

bool SettingsWindow::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::LayoutRequest:
        fitHeight();
        break;
    case QEvent::Show:
    case QEvent::Move:
        // The frame is known once the window manager has put one around the window.
        if (const QMargins frame = frameMargins(this); !frame.isNull() && frame != m_frame) {
            m_frame = frame;
            fitHeight();
        }
        break;
    default:
        break;
    }
    return handled;
}

void SettingsWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool SettingsWindow::focusNextPrevChild(bool next)
{
    return FocusKeeper::handOn(this) || QWidget::focusNextPrevChild(next);
}

int SettingsWindow::roomOnScreen() const
{
    const QScreen* screen = this->screen();
    if (!screen)
        return QWIDGETSIZE_MAX;
    return screen->availableGeometry().height() - m_frame.top() - m_frame.bottom();
}

void SettingsWindow::fitHeight()
{
    // The shown tab's own height, so a short tab leaves no empty space under it: the hidden
    // tabs give up their claim on the window's size.
    auto* current = currentScrollArea();
    if (!current || !current->widget())
        return;
    for (int i = 0; i < m_tabs->count(); ++i) {
        const auto policy = m_tabs->widget(i) == current ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        m_tabs->widget(i)->setSizePolicy(policy, policy);
    }
    // The tab bar over the page (a document-mode tab widget draws no frame), then the page at
    // the width it gets.
    const QWidget* page = current->widget();
    const int chrome = m_tabs->tabBar()->sizeHint().height();
    const int pageHeight = std::max(page->hasHeightForWidth() ? page->heightForWidth(defaultWidth)
                                                              : page->sizeHint().height(),
                                    page->minimumSizeHint().height());
    // Taller than the screen allows, the page scrolls; it gets a scroll bar and loses its width.
    const int height = std::min(pageHeight + chrome, std::max(chrome * 4, roomOnScreen()));
    if (height != this->height() || minimumHeight() != maximumHeight())
        setFixedHeight(height);
    keepOnScreen();
}

void SettingsWindow::keepOnScreen()
{
    const QScreen* screen = this->screen();
    if (!isVisible() || !screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect outer = geometry().marginsAdded(m_frame);
    QPoint to = outer.topLeft();
    if (outer.bottom() > area.bottom())
        to.setY(area.bottom() + 1 - outer.height());
    to.setY(std::max(to.y(), area.top()));
    if (to != outer.topLeft())
        move(to);
}
