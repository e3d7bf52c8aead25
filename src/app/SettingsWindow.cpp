#include "app/SettingsWindow.h"

#include "hub/DeviceManager.h"
#include "ui/settings/AutoSwitchSettings.h"
#include "ui/settings/CommandLineToolSection.h"
#include "ui/settings/DeviceSettings.h"
#include "ui/settings/GeneralSettings.h"
#include "ui/settings/LoginItem.h"
#include "ui/settings/PrivilegedRunner.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/TrustedScreensSection.h"
#include "ui/widgets/SymbolIcon.h"

#include <QBoxLayout>
#include <QEvent>
#include <QTabBar>
#include <QTabWidget>

SettingsWindow::SettingsWindow(DeviceManager& deviceManager, QWidget* parent)
    : SettingsWindow(deviceManager, Services{}, parent)
{
}

SettingsWindow::SettingsWindow(DeviceManager& deviceManager, Services services, QWidget* parent)
    : QWidget(parent, Qt::Window), m_deviceManager(deviceManager)
{
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(QStringLiteral("Settings"));

    if (!services.loginItem)
        services.loginItem = std::make_unique<LoginItem>();
    if (!services.installer)
        services.installer.emplace(CommandLineToolSection::bundledToolPath());
    m_runner = services.runner ? std::move(services.runner) : std::make_unique<PkexecRunner>();

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("settingsTabs"));
    m_tabs->setDocumentMode(true);

    m_general = new GeneralSettings(services.loginItem.release());
    m_device = new DeviceSettings(m_deviceManager);
    m_autoSwitch = new AutoSwitchSettings(m_deviceManager);
    auto* advanced = new QWidget;
    advanced->setObjectName(QStringLiteral("advancedSettings"));
    m_commandLineTool = new CommandLineToolSection(std::move(*services.installer), *m_runner);
    m_trustedScreens = new TrustedScreensSection(m_deviceManager.customScreens());
    QVBoxLayout* advancedLayout = SettingsForm::tabLayout(advanced);
    advancedLayout->addWidget(m_commandLineTool);
    advancedLayout->addWidget(m_trustedScreens);

    m_tabs->addTab(m_general, symbolIcon(QStringLiteral("gearshape")), QStringLiteral("General"));
    m_tabs->addTab(m_device, symbolIcon(QStringLiteral("display")), QStringLiteral("Device"));
    m_tabs->addTab(m_autoSwitch, symbolIcon(QStringLiteral("arrow.triangle.swap")), QStringLiteral("Auto-Switching"));
    m_tabs->addTab(advanced, symbolIcon(QStringLiteral("gearshape.2")), QStringLiteral("Advanced"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(m_tabs);
    setFixedWidth(defaultWidth);
    connect(m_tabs, &QTabWidget::currentChanged, this, &SettingsWindow::fitHeight);
    fitHeight();
}

SettingsWindow::~SettingsWindow() = default;

bool SettingsWindow::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // A failure text or a trusted screen coming or going changes the height the tab needs.
    if (event->type() == QEvent::LayoutRequest)
        fitHeight();
    return handled;
}

void SettingsWindow::fitHeight()
{
    // The shown tab's own height, so a short tab leaves no empty space under it: the hidden
    // tabs give up their claim on the window's size.
    QWidget* current = m_tabs->currentWidget();
    if (!current)
        return;
    for (int i = 0; i < m_tabs->count(); ++i) {
        const auto policy = m_tabs->widget(i) == current ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        m_tabs->widget(i)->setSizePolicy(policy, policy);
    }
    // The tab bar over the page (a document-mode tab widget draws no frame), then the page at
    // the width it gets.
    const int chrome = m_tabs->tabBar()->sizeHint().height();
    const int pageHeight = current->hasHeightForWidth() ? current->heightForWidth(defaultWidth)
                                                         : current->sizeHint().height();
    setFixedHeight(pageHeight + chrome);
}
