#include "app/TrayMenu.h"

#include "app/DeviceCommands.h"
#include "app/DeviceToggles.h"
#include "app/MainWindow.h"
#include "hub/DeviceManager.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "ui/widgets/ConnectionText.h"
#include "ui/widgets/PlainText.h"

#include <QActionGroup>
#include <QMenu>
#include <QShortcut>

TrayMenu::TrayMenu(DeviceManager& deviceManager, MainWindow& window, QObject* parent)
    : QObject(parent), m_deviceManager(deviceManager), m_window(window)
{
    m_menu = new QMenu;
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    // The window's own toggle, so both menus always agree.
    m_pause = m_window.deviceCommands()->pauseAction();
    // An open menu holds the keyboard, and the shortcuts of its own items do not reach them:
    // Ctrl+, and Ctrl+Q are keys of the menu itself.
    const auto menuKey = [this](const char* name, const char* keys, auto then) {
        auto* key = new QShortcut(QKeySequence(QLatin1String(keys)), m_menu);
        key->setObjectName(QLatin1String(name));
        connect(key, &QShortcut::activated, this, [this, then] {
            m_menu->hide();
            then();
        });
    };
    menuKey("traySettingsKey", "Ctrl+,", [this] { m_window.showSettings(); });
    menuKey("trayQuitKey", "Ctrl+Q", [this] { emit quitRequested(); });

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_deviceManager, &DeviceManager::activeScreenChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_deviceManager, &DeviceManager::availableScreensChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_deviceManager.profiles(), &ProfileStore::profilesChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_deviceManager.profiles(), &ProfileStore::activeIDChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_deviceManager.autoSwitcher(), &ProfileAutoSwitcher::isPausedChanged, this, &TrayMenu::scheduleRebuild);
    rebuild();
}

TrayMenu::~TrayMenu()
{
    delete m_menu;
}

void TrayMenu::scheduleRebuild()
{
    if (m_rebuildScheduled)
        return;
    m_rebuildScheduled = true;
    QMetaObject::invokeMethod(this, &TrayMenu::rebuild, Qt::QueuedConnection);
}

void TrayMenu::rebuild()
{
    m_rebuildScheduled = false;
    // The shared toggle belongs to the window; clearing deletes only the menu's own actions.
    m_menu->clear();
    delete m_groups;
    m_groups = new QObject(this);

    // The firmware text in it comes from the device; page titles from screen files; profile
    // names from the user: none of their "&" marks a mnemonic.
    QAction* connection = m_menu->addAction(PlainText::actionText(connectionText(m_deviceManager.state())));
    connection->setObjectName(QStringLiteral("trayConnection"));
    connection->setEnabled(false);
    m_menu->addSeparator();

    m_menu->addSection(QStringLiteral("Show on Tarv"));
    const bool connected = m_deviceManager.state().isConnected();
    auto* pages = new QActionGroup(m_groups);
    for (const DeviceScreen& screen : m_deviceManager.availableScreens()) {
        QAction* action = m_menu->addAction(PlainText::actionText(m_deviceManager.pageTitle(screen)));
        action->setObjectName(QStringLiteral("trayPage:") + screen.id());
        action->setCheckable(true);
        action->setChecked(screen == m_deviceManager.activeScreen());
        action->setEnabled(connected);
        pages->addAction(action);
        connect(action, &QAction::triggered, this, [this, screen] {
            m_deviceManager.showScreen(screen);
            scheduleRebuild();
        });
    }

    const ProfileStore& store = m_deviceManager.profiles();
    if (store.profiles().size() >= 2) {
        m_menu->addSection(QStringLiteral("Profile"));
        auto* profiles = new QActionGroup(m_groups);
        for (const MacroProfile& profile : store.profiles()) {
            QAction* action = m_menu->addAction(PlainText::actionText(profile.shownName()));
            action->setObjectName(QStringLiteral("trayProfile:") + profile.id.toString(QUuid::WithoutBraces));
            action->setCheckable(true);
            action->setChecked(profile.id == store.activeID());
            profiles->addAction(action);
            const QUuid id = profile.id;
            connect(action, &QAction::triggered, this, [this, id] {
                m_deviceManager.profiles().activateProfile(id);
                scheduleRebuild();
            });
        }
        m_menu->addSeparator();
        m_menu->addAction(m_pause);
    }
    m_menu->addSeparator();

    QAction* open = m_menu->addAction(QStringLiteral("Open Tarv"), &m_window, &MainWindow::showAndActivate);
    open->setObjectName(QStringLiteral("trayOpenAction"));
    QAction* settings = m_menu->addAction(QStringLiteral("Settings…"), &m_window, &MainWindow::showSettings);
    settings->setObjectName(QStringLiteral("traySettingsAction"));
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    QAction* quit = m_menu->addAction(QStringLiteral("Quit Tarv"), this, &TrayMenu::quitRequested);
    quit->setObjectName(QStringLiteral("trayQuitAction"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
}
