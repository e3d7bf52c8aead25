#include "app/TrayMenu.h"

#include "app/DeviceCommands.h"
#include "app/DeviceToggles.h"
#include "app/MainWindow.h"
#include "app/PageMenuEntries.h"
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

    // The firmware text in it comes from the device; page titles from screen files; profile
    // names from the user: none of their "&" marks a mnemonic.
    m_connection = m_menu->addAction(QString());
    m_connection->setObjectName(QStringLiteral("trayConnection"));
    m_connection->setEnabled(false);
    m_menu->addSeparator();
    m_menu->addSection(QStringLiteral("Show on Tarv"));
    m_pagesEnd = m_menu->addSeparator();
    m_open = m_menu->addAction(QStringLiteral("Open Tarv"), &m_window, &MainWindow::showAndActivate);
    m_open->setObjectName(QStringLiteral("trayOpenAction"));
    QAction* settings = m_menu->addAction(QStringLiteral("Settings…"), &m_window, &MainWindow::showSettings);
    settings->setObjectName(QStringLiteral("traySettingsAction"));
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    QAction* quit = m_menu->addAction(QStringLiteral("Quit Tarv"), this, &TrayMenu::quitRequested);
    quit->setObjectName(QStringLiteral("trayQuitAction"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    // Children of the menu, where callers look for them.
    m_pages = new PageMenuEntries(m_deviceManager, m_menu, m_pagesEnd, QStringLiteral("trayPage:"), m_menu);

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_deviceManager, &DeviceManager::activeScreenChanged, m_pages, &PageMenuEntries::activeChanged);
    connect(&m_deviceManager, &DeviceManager::availableScreensChanged, m_pages, &PageMenuEntries::pagesChanged);
    connect(&m_deviceManager.profiles(), &ProfileStore::profilesChanged, this, [this] {
        // Key edits come a keystroke at a time and leave the names the menu lists as they are.
        if (profileEntries() != m_listedProfiles)
            scheduleRebuild();
    });
    connect(&m_deviceManager.profiles(), &ProfileStore::activeIDChanged, this, &TrayMenu::scheduleRebuild);
    connect(&m_deviceManager.autoSwitcher(), &ProfileAutoSwitcher::isPausedChanged, this, &TrayMenu::scheduleRebuild);
    m_pages->pagesChanged();
    rebuild();
}

TrayMenu::~TrayMenu()
{
    delete m_menu;
}

QList<QPair<QUuid, QString>> TrayMenu::profileEntries() const
{
    QList<QPair<QUuid, QString>> entries;
    const QList<MacroProfile>& profiles = m_deviceManager.profiles().profiles();
    entries.reserve(profiles.size());
    for (const MacroProfile& profile : profiles)
        entries.append({profile.id, profile.shownName()});
    return entries;
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
    m_connection->setText(PlainText::actionText(connectionText(m_deviceManager.state())));
    m_pages->setEnabled(m_deviceManager.state().isConnected());
    m_pages->activeChanged();

    // The shared toggle belongs to the window: it only leaves the menu.
    m_menu->removeAction(m_pause);
    delete m_profiles;
    // Children of the menu, where callers look for them.
    m_profiles = new QObject(m_menu);
    const ProfileStore& store = m_deviceManager.profiles();
    m_listedProfiles = profileEntries();
    if (store.profiles().size() < 2) {
        m_pagesEnd->setText(QString());
        return;
    }
    m_pagesEnd->setText(QStringLiteral("Profile"));
    auto* profiles = new QActionGroup(m_profiles);
    for (const MacroProfile& profile : store.profiles()) {
        auto* action = new QAction(PlainText::actionText(profile.shownName()), m_profiles);
        action->setObjectName(QStringLiteral("trayProfile:") + profile.id.toString(QUuid::WithoutBraces));
        action->setCheckable(true);
        action->setChecked(profile.id == store.activeID());
        profiles->addAction(action);
        const QUuid id = profile.id;
        connect(action, &QAction::triggered, this, [this, id] {
            m_deviceManager.profiles().activateProfile(id);
            // Picked over the application in front: a menu that takes the focus on its way (or
            // the window it opens) gives it back to that application, which is no reason to
            // undo the pick.
            m_deviceManager.autoSwitcher().profilePickedByHand();
            scheduleRebuild();
        });
        m_menu->insertAction(m_open, action);
    }
    auto* separator = new QAction(m_profiles);
    separator->setSeparator(true);
    m_menu->insertAction(m_open, separator);
    m_menu->insertAction(m_open, m_pause);
    separator = new QAction(m_profiles);
    separator->setSeparator(true);
    m_menu->insertAction(m_open, separator);
}
