// The main window: its sidebar and the stored selection, its size, closing it, the connection
// text, the page picker, the menus and the Settings window.

#include "ShellFixture.h"

#include "ui/widgets/ConnectionText.h"
#include "app/SettingsWindow.h"
#include "app/SidebarHost.h"
#include "app/SidebarItem.h"
#include "app/TrayIcon.h"
#include "screens/runtime/ScreenTrust.h"
#include "support/ScreenStoreWait.h"
#include "ui/macros/KeyCanvas.h"
#include "ui/macros/MacrosView.h"
#include "ui/widgets/SymbolLabel.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QUndoCommand>
#include <QUndoStack>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString shownPage(MainWindow& window)
{
    auto* stack = window.findChild<QStackedWidget*>(QStringLiteral("pageStack"));
    auto* scroll = qobject_cast<QScrollArea*>(stack->currentWidget());
    return scroll && scroll->widget() ? scroll->widget()->objectName() : QString();
}

QStringList listTexts(const QListWidget* list)
{
    QStringList out;
    for (int row = 0; row < list->count(); ++row)
        out.append(list->item(row)->text());
    return out;
}

int rowOf(const QListWidget* list, const QString& text)
{
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text() == text)
            return row;
    return -1;
}

}  // namespace

TEST(SidebarSelectionTest, ReadsAnyStoredTextAsAPageAndStoresAnEmptySelectionAsMacros)
{
    EXPECT_EQ(readSidebarSelection(std::nullopt), SidebarItem::macros);
    EXPECT_EQ(readSidebarSelection(QString()), SidebarItem::macros);
    EXPECT_EQ(readSidebarSelection(QStringLiteral("weather")), SidebarItem::macros);
    EXPECT_EQ(readSidebarSelection(QStringLiteral("Stocks")), SidebarItem::macros);
    EXPECT_EQ(readSidebarSelection(QStringLiteral("stocks")), SidebarItem::stocks);
    EXPECT_EQ(readSidebarSelection(QStringLiteral("diagnostics")), SidebarItem::diagnostics);
    EXPECT_EQ(storedSidebarSelection(std::nullopt), QStringLiteral("macros"));
    EXPECT_EQ(storedSidebarSelection(SidebarItem::customScreens), QStringLiteral("customScreens"));
}

TEST(ConnectionTextTest, NamesEachStateAndTheFirmwareButNotThePort)
{
    EXPECT_EQ(connectionText(ConnectionState::disconnected()), QStringLiteral("Not Connected"));
    EXPECT_EQ(connectionText(ConnectionState::connecting(QStringLiteral("/dev/ttyACM0"))), QStringLiteral("Connecting…"));
    TarvUSB::HelloPayload hello;
    hello.fw = QStringLiteral("tarv-fw 2.1");
    EXPECT_EQ(connectionText(ConnectionState::connected(QStringLiteral("/dev/ttyACM0"), hello)),
              QStringLiteral("Connected · tarv-fw 2.1"));
}

TEST_F(ShellTest, SidebarListsTwoHeadedGroupsInOrderAndOnlyPagesCanBeChosen)
{
    MainWindow& w = makeWindow();
    const QListWidget* list = w.sidebarHost()->list();
    EXPECT_EQ(listTexts(list), (QStringList{"Screens", "Macros", "Stocks", "Now Playing", "Custom Screens", "Screensaver",
                                            "Device", "Diagnostics"}));
    EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsSelectable);
    EXPECT_FALSE(list->item(6)->flags() & Qt::ItemIsSelectable);
    EXPECT_TRUE(list->item(7)->flags() & Qt::ItemIsSelectable);
}

TEST_F(ShellTest, AFreshWindowOpensOnMacrosAndAStoredPageIsRestored)
{
    {
        MainWindow& w = makeWindow();
        EXPECT_EQ(w.selection(), SidebarItem::macros);
        EXPECT_EQ(shownPage(w), QStringLiteral("macrosPage"));
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Macros"));
    }
    settings->setText(QStringLiteral("sidebarSelection"), QStringLiteral("stocks"));
    MainWindow& w = makeWindow();
    EXPECT_EQ(w.selection(), SidebarItem::stocks);
    EXPECT_EQ(shownPage(w), QStringLiteral("stocksPage"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Stocks"));
    EXPECT_EQ(w.sidebarHost()->list()->currentItem()->text(), QStringLiteral("Stocks"));
}

TEST_F(ShellTest, AStoredTextThatNamesNoPageShowsMacrosAndIsReplacedOnlyByTheUsersChoice)
{
    for (const QString& stored : {QStringLiteral("weather"), QString()}) {
        settings->setText(QStringLiteral("sidebarSelection"), stored);
        MainWindow& w = makeWindow();
        EXPECT_EQ(shownPage(w), QStringLiteral("macrosPage"));
        EXPECT_EQ(w.sidebarHost()->list()->currentItem()->text(), QStringLiteral("Macros"));
        EXPECT_EQ(settings->text(QStringLiteral("sidebarSelection")), stored);
    }

    // A click on a row, as the user chooses.
    QListWidget* list = window->sidebarHost()->list();
    window->show();
    const int row = rowOf(list, QStringLiteral("Now Playing"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    EXPECT_EQ(shownPage(*window), QStringLiteral("nowPlayingPage"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Now Playing"));
    EXPECT_EQ(settings->text(QStringLiteral("sidebarSelection")), QStringLiteral("nowPlaying"));

    // A heading cannot be chosen: the page stays.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(shownPage(*window), QStringLiteral("nowPlayingPage"));
    EXPECT_EQ(settings->text(QStringLiteral("sidebarSelection")), QStringLiteral("nowPlaying"));
}

TEST_F(ShellTest, WindowOpensAt1080By640AndCannotBeMadeSmallerThan1020By560)
{
    MainWindow& w = makeWindow();
    w.show();
    EXPECT_EQ(w.size(), QSize(1080, 640));
    w.resize(800, 400);
    EXPECT_EQ(w.size(), QSize(1020, 560));
    // The sidebar keeps to its bounds whatever the window does.
    const QWidget* sidebar = w.findChild<QWidget*>(QStringLiteral("sidebar"));
    EXPECT_GE(sidebar->width(), SidebarHost::sidebarMinimumWidth);
    EXPECT_LE(sidebar->width(), SidebarHost::sidebarMaximumWidth);
}

TEST_F(ShellTest, ClosingTheWindowOnlyHidesIt)
{
    MainWindow& w = makeWindow();
    QPointer<MainWindow> alive(&w);
    w.show();
    QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
    ASSERT_TRUE(w.close());
    QCoreApplication::processEvents();
    EXPECT_TRUE(alive);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(quitting.count(), 0);
    w.showAndActivate();
    EXPECT_TRUE(w.isVisible());
}

// Openbox runs no tray: closed, the window leaves nothing on the desktop that says Tarv runs.
TEST_F(ShellTest, WithoutATrayTheFirstCloseByTheUserSaysOnceThatTarvKeepsRunning)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "a tray is available here";
    MainWindow& w = makeWindow();
    QMenu menu;
    TrayIcon tray(&menu);
    tray.watchClosing(&w);
    const auto closeAs = [&](bool byTheUser) {
        w.show();
        // As the window system delivers it: sendEvent() would mark it as the program's own.
        QCloseEvent close;
        if (byTheUser)
            QSpontaneKeyEvent::setSpontaneous(&close);
        qApp->notify(&w, &close);
    };

    // Quit closes the window too, and then Tarv does not keep running.
    closeAs(false);
    EXPECT_EQ(tray.closedNote(), nullptr);

    closeAs(true);
    ASSERT_NE(tray.closedNote(), nullptr);
    EXPECT_TRUE(tray.closedNote()->isVisible());
    EXPECT_TRUE(tray.closedNote()->text().contains(QStringLiteral("Start Tarv again")))
        << tray.closedNote()->text().toStdString();
    tray.closedNote()->close();
    ASSERT_TRUE(waitUntil([&] { return tray.closedNote() == nullptr; }));

    closeAs(true);
    EXPECT_EQ(tray.closedNote(), nullptr);
}

TEST_F(ShellTest, ConnectionTextAndPickerFollowTheConnection)
{
    MainWindow& w = makeWindow();
    EXPECT_EQ(w.connectionLabel()->text(), QStringLiteral("Not Connected"));
    EXPECT_FALSE(w.screenPicker()->isEnabled());
    EXPECT_EQ(w.screenPicker()->toolTip(), QStringLiteral("Choose the screen Tarv is showing"));

    attach();
    EXPECT_EQ(w.connectionLabel()->text(), QStringLiteral("Connecting…"));
    EXPECT_FALSE(w.screenPicker()->isEnabled());

    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return hub->state().isConnected(); }));
    EXPECT_EQ(w.connectionLabel()->text(), QStringLiteral("Connected · fake-1.0"));
    EXPECT_TRUE(w.screenPicker()->isEnabled());
    EXPECT_EQ(w.screenPicker()->text(), QStringLiteral("Home"));

    device.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !hub->state().isConnected(); }));
    EXPECT_EQ(w.connectionLabel()->text(), QStringLiteral("Not Connected"));
    EXPECT_FALSE(w.screenPicker()->isEnabled());
}

TEST_F(ShellTest, PickerSwitchesTheDevicesPageAndPickingItAgainSendsNothing)
{
    MainWindow& w = makeWindow();
    connectAndGreet();
    EXPECT_EQ(pickerEntries(), (QStringList{"Home", "Stocks", "Calculator", "Now Playing", "Screensaver"}));
    EXPECT_TRUE(pickerEntry(QStringLiteral("home"))->isChecked());

    const qsizetype before = patchCount();
    pickerEntry(QStringLiteral("calculator"))->trigger();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());
    ASSERT_TRUE(waitUntil([&] { return patchCount() > before && hub->outstandingAcks().isEmpty() &&
                                       hub->queuedFrames().isEmpty(); }));
    EXPECT_EQ(w.screenPicker()->text(), QStringLiteral("Calculator"));
    EXPECT_TRUE(pickerEntry(QStringLiteral("calculator"))->isChecked());
    EXPECT_FALSE(pickerEntry(QStringLiteral("home"))->isChecked());

    const qsizetype received = device.received().size();
    pickerEntry(QStringLiteral("calculator"))->trigger();
    // Whatever was sent would be back before the device's next log line.
    device.sendLog(TarvUSB::LogLevel::info, QStringLiteral("marker"));
    ASSERT_TRUE(waitUntil([&] {
        return std::any_of(hub->log().cbegin(), hub->log().cend(),
                           [](const LogEntry& e) { return e.text.endsWith(QStringLiteral("marker")); });
    }));
    EXPECT_EQ(device.received().size(), received);
    EXPECT_EQ(w.screenPicker()->text(), QStringLiteral("Calculator"));
}

TEST_F(ShellTest, ApprovedCustomScreensJoinThePickerWithTheirTitles)
{
    screens.add(QStringLiteral("weather"), QStringLiteral("Weather"), true);
    screens.add(QStringLiteral("builds"), QStringLiteral("Builds"), false);
    MainWindow& w = makeWindow();
    connectAndGreet();
    EXPECT_EQ(pickerEntries(), (QStringList{"Home", "Stocks", "Calculator", "Now Playing", "Screensaver", "Weather"}));

    screens.memoryTrust.approve(QStringLiteral("builds"));
    EXPECT_EQ(pickerEntries(),
              (QStringList{"Home", "Stocks", "Calculator", "Now Playing", "Screensaver", "Weather", "Builds"}));

    pickerEntry(QStringLiteral("weather"))->trigger();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::custom(QStringLiteral("weather")));
    EXPECT_EQ(w.screenPicker()->text(), QStringLiteral("Weather"));
}

TEST_F(ShellTest, MenusOfferSettingsQuitUndoAndTheViewTogglesButNothingNew)
{
    MainWindow& w = makeWindow();
    QStringList menus;
    QStringList texts;
    for (QAction* menuAction : w.menuBar()->actions()) {
        menus.append(menuAction->text());
        for (QAction* action : menuAction->menu()->actions())
            if (!action->isSeparator())
                texts.append(action->text());
    }
    EXPECT_EQ(menus, (QStringList{"&File", "&Edit", "&View", "&Device"}));
    // The Device menu's own entries are checked with it.
    EXPECT_EQ(texts.mid(0, 11), (QStringList{"Settings…", "Quit", "Undo", "Redo", "Cut", "Copy", "Paste", "Delete",
                                             "Select All", "Show Sidebar", "Show Inspector"}));
    EXPECT_EQ(w.findChild<QAction*>(QStringLiteral("settingsAction"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
    EXPECT_EQ(w.findChild<QAction*>(QStringLiteral("quitAction"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(w.findChild<QAction*>(QStringLiteral("redoAction"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Shift+Z")));

    // Undo and Redo follow the stack of the page shown, the macros page's here.
    QAction* undo = w.findChild<QAction*>(QStringLiteral("undoAction"));
    EXPECT_FALSE(undo->isEnabled());
    auto* command = new QUndoCommand(QStringLiteral("Edit Label"));
    w.undoStack(SidebarItem::macros)->push(command);
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Edit Label"));

    QSignalSpy quit(&w, &MainWindow::quitRequested);
    w.findChild<QAction*>(QStringLiteral("quitAction"))->trigger();
    EXPECT_EQ(quit.count(), 1);

    QAction* sidebar = w.findChild<QAction*>(QStringLiteral("showSidebarAction"));
    w.show();
    sidebar->trigger();
    EXPECT_FALSE(w.sidebarHost()->isSidebarVisible());
    sidebar->trigger();
    EXPECT_TRUE(w.sidebarHost()->isSidebarVisible());
}

TEST_F(ShellTest, SettingsButtonAndMenuOpenTheOneSettingsWindow)
{
    MainWindow& w = makeWindow();
    w.show();
    EXPECT_EQ(w.settingsWindow(), nullptr);
    QPushButton* button = w.findChild<QPushButton*>(QStringLiteral("settingsButton"));
    EXPECT_EQ(button->text(), QStringLiteral("Settings"));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() - 4, button->height() / 2));
    ASSERT_NE(w.settingsWindow(), nullptr);
    SettingsWindow* opened = w.settingsWindow();
    EXPECT_TRUE(opened->isVisible());
    EXPECT_EQ(opened->windowTitle(), QStringLiteral("Settings"));

    opened->close();
    w.findChild<QAction*>(QStringLiteral("settingsAction"))->trigger();
    EXPECT_EQ(w.settingsWindow(), opened);
    EXPECT_TRUE(opened->isVisible());
    const QWidgetList tops = QApplication::topLevelWidgets();
    EXPECT_EQ(std::count_if(tops.cbegin(), tops.cend(),
                            [](QWidget* t) { return t->objectName() == QStringLiteral("settingsWindow"); }),
              1);
}

TEST_F(ShellTest, EditingActionsActOnTheFocusedField)
{
    MainWindow& w = makeWindow();
    auto* field = new QLineEdit(w.sidebarHost()->page(QStringLiteral("macros")));
    w.show();
    QApplication::setActiveWindow(&w);
    field->setFocus();
    ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }));
    field->setText(QStringLiteral("Volume"));
    w.findChild<QAction*>(QStringLiteral("selectAllAction"))->trigger();
    EXPECT_EQ(field->selectedText(), QStringLiteral("Volume"));
    w.findChild<QAction*>(QStringLiteral("deleteAction"))->trigger();
    EXPECT_EQ(field->text(), QString());
}

// Edit ▸ Delete on the key grid does what Delete does there: it clears the selected key, one
// step to undo, also from the menu opened from the keyboard.
TEST_F(ShellTest, EditDeleteOnTheKeyGridClearsTheSelectedKeyAsTheDeleteKeyDoes)
{
    MainWindow& w = makeWindow();
    MacroProfile profile = hub->profiles().activeProfile();
    profile.buttons[0].label = QStringLiteral("Mute");
    profile.buttons[1].label = QStringLiteral("Play");
    hub->profiles().updateKey(profile, QStringLiteral("Labels"));
    w.show();
    QApplication::setActiveWindow(&w);
    KeyCanvas* canvas = w.macrosView()->canvas();
    canvas->setFocus();
    ASSERT_TRUE(waitUntil([&] { return canvas->hasFocus(); }));
    const auto label = [&](int index) { return hub->profiles().activeProfile().buttons[index].label; };

    // The menu opened from the keyboard: the menu bar takes the focus until it closes.
    w.macrosView()->setSelection(0);
    auto* deleteAction = w.findChild<QAction*>(QStringLiteral("deleteAction"));
    QMenu* edit = w.menuBar()->actions().at(1)->menu();
    QTest::keyClick(&w, Qt::Key_E, Qt::AltModifier);
    ASSERT_TRUE(waitUntil([&] { return edit->isVisible(); }));
    ASSERT_TRUE(deleteAction->isEnabled());
    edit->setActiveAction(deleteAction);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(label(0), QString());
    EXPECT_EQ(w.undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Clear Key"));
    ASSERT_TRUE(waitUntil([&] { return canvas->hasFocus(); }));

    w.macrosView()->setSelection(1);
    const int steps = w.undoStack(SidebarItem::macros)->count();
    QTest::keyClick(canvas, Qt::Key_Delete);
    EXPECT_EQ(label(1), QString());
    EXPECT_EQ(w.undoStack(SidebarItem::macros)->count(), steps + 1);
    EXPECT_EQ(w.undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Clear Key"));
}

// Settings sends the user to "the Auto-Switch button in Macros": the button, which reads the
// profile's apps, carries that name in the toolbar.
TEST_F(ShellTest, TheToolbarNamesTheAutoSwitchButtonAsSettingsDoes)
{
    MainWindow& w = makeWindow();
    w.show();
    w.findChild<QAction*>(QStringLiteral("settingsAction"))->trigger();
    QString footer;
    for (const QLabel* label : w.settingsWindow()->findChildren<QLabel*>())
        if (label->text().startsWith(QStringLiteral("Link apps to a profile")))
            footer = label->text();
    auto* caption = w.findChild<QLabel*>(QStringLiteral("profileAppsCaption"));
    ASSERT_NE(caption, nullptr);
    EXPECT_TRUE(caption->isVisible());
    EXPECT_TRUE(footer.contains(QStringLiteral("the ") + caption->text() + QStringLiteral(" button in Macros")))
        << footer.toStdString();
    auto* button = w.findChild<QToolButton*>(QStringLiteral("profileAppsButton"));
    EXPECT_EQ(caption->buddy(), button);
    EXPECT_EQ(button->text(), QStringLiteral("No Apps"));
}

TEST_F(ShellTest, AFocusedButtonTakesReturnAsItTakesSpace)
{
    MainWindow& w = makeWindow();
    w.show();
    QApplication::setActiveWindow(&w);
    auto* settingsButton = w.findChild<QPushButton*>(QStringLiteral("settingsButton"));
    settingsButton->setFocus();
    ASSERT_TRUE(waitUntil([&] { return settingsButton->hasFocus(); }));
    QTest::keyClick(settingsButton, Qt::Key_Return);
    ASSERT_NE(w.settingsWindow(), nullptr);
    EXPECT_TRUE(w.settingsWindow()->isVisible());
    w.settingsWindow()->close();

    // In a sheet with a default button, the focused tool button is pressed, not the default;
    // a check box and a field leave Return to the default button, as before.
    QDialog sheet(&w);
    auto* field = new QLineEdit(&sheet);
    auto* check = new QCheckBox(QStringLiteral("Latching"), &sheet);
    auto* tool = new QToolButton(&sheet);
    auto* save = new QPushButton(QStringLiteral("Save"), &sheet);
    save->setDefault(true);
    auto* layout = new QVBoxLayout(&sheet);
    for (QWidget* widget : std::initializer_list<QWidget*>{field, check, tool, save})
        layout->addWidget(widget);
    int tools = 0;
    int saves = 0;
    QObject::connect(tool, &QToolButton::clicked, &sheet, [&] { ++tools; });
    QObject::connect(save, &QPushButton::clicked, &sheet, [&] { ++saves; });
    sheet.show();
    QApplication::setActiveWindow(&sheet);

    tool->setFocus();
    ASSERT_TRUE(waitUntil([&] { return tool->hasFocus(); }));
    QTest::keyClick(tool, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(tools, 1);
    EXPECT_EQ(saves, 0);

    check->setFocus();
    ASSERT_TRUE(waitUntil([&] { return check->hasFocus(); }));
    QTest::keyClick(check, Qt::Key_Return);
    EXPECT_FALSE(check->isChecked());
    EXPECT_EQ(saves, 1);

    field->setFocus();
    ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(tools, 1);
}

// Every place Tab stops at on every page and in every tab of the Settings window, as Tab walks
// them; a frameless scroll area holding a form draws no focus, so none may be one.
TEST_F(ShellTest, NoTabStopIsAScrollAreaThatDrawsNothing)
{
    const auto scrollAreaStops = [](QWidget* window) {
        std::string found;
        QWidget* widget = window;
        do {
            widget = widget->nextInFocusChain();
            const bool stop = (widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled() &&
                              widget->window() == window;
            if (stop && qobject_cast<QScrollArea*>(widget))
                found += widget->objectName().toStdString() + ' ';
        } while (widget != window);
        return found;
    };
    MainWindow& w = makeWindow();
    w.show();
    for (SidebarItem item : allSidebarItems()) {
        w.sidebarHost()->setCurrentPage(rawValue(item));
        EXPECT_EQ(scrollAreaStops(&w), "") << rawValue(item).toStdString();
    }
    w.findChild<QAction*>(QStringLiteral("settingsAction"))->trigger();
    SettingsWindow* settingsWindow = w.settingsWindow();
    ASSERT_NE(settingsWindow, nullptr);
    auto* tabs = settingsWindow->findChild<QTabWidget*>(QStringLiteral("settingsTabs"));
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        EXPECT_EQ(scrollAreaStops(settingsWindow), "") << tabs->tabText(tab).toStdString();
    }
}

// What a restore made with sudo leaves behind: the settings folder closed to this user. Root
// reads every folder, so as root the settings are opened with the file rights of another user.
TEST_F(ShellTest, AnUnreadableSettingsFolderIsNoFirstRunAndTheWindowSaysWhy)
{
    const QString folder = xdg.path("config") + QStringLiteral("/Tarv");
    const QString ran = xdg.root() + QStringLiteral("/ran");
    TempXdg::write(folder + QStringLiteral("/Tarv.conf"), "[General]\ncustomScreens.approved.v1={}\n");
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0), 0);
    std::unique_ptr<Settings> locked;
    {
        const bool root = ::geteuid() == 0;
        if (root)
            (void)::setfsuid(65534);
        locked = std::make_unique<Settings>(folder + QStringLiteral("/Tarv.conf"));
        if (root)
            (void)::setfsuid(0);
    }
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    EXPECT_EQ(locked->readFailure(), QStringLiteral("Permission denied"));

    QList<ScreenIssue> issues;
    const std::optional<CustomScreen> waiting = CustomScreen::parse(
        QStringLiteral(R"({"title": "Stats", "sources": {"n": {"shell": "touch %1", "every": 5}},
                          "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300, "text": "{{n}}"}]})")
            .arg(ran)
            .toUtf8(),
        QStringLiteral("stats"), QStringLiteral("stats.json"), issues);
    ASSERT_TRUE(waiting && waiting->fingerprint());
    ScreenTrust trust(locked.get());
    EXPECT_FALSE(trust.isFirstRun());
    trust.approveAllOnFirstRun({*waiting});
    EXPECT_FALSE(trust.isScreenApproved(*waiting));

    makeHub();
    MainWindow w(*hub, *locked);
    EXPECT_FALSE(w.settingsWriteProblem()->isHidden());
    EXPECT_EQ(w.settingsWriteProblem()->text(),
              QStringLiteral("Settings cannot be read from %1/Tarv.conf: Permission denied. Tarv runs with its "
                             "defaults and saves no change over the file; custom screens that run commands wait for "
                             "approval.")
                  .arg(folder));
}

// Settings that cannot be written (a folder of root's over them, a full disk; here a plain file
// stands where their folder goes) record no first run: what it approved must not count, or every
// later start would approve whatever the Screens folder holds by then.
TEST_F(ShellTest, AFirstRunsApprovalsCountOnlyOnceSaved)
{
    const QString configFolder = xdg.path("config") + QStringLiteral("/Tarv");
    const QString conf = configFolder + QStringLiteral("/Tarv.conf");
    const QString screensFolder = xdg.path("data") + QStringLiteral("/Tarv/Screens");
    const QString record = xdg.path("data") + QStringLiteral("/Tarv/first-run-not-saved");
    const auto shellScreen = [](const QString& command) {
        return QStringLiteral(R"({"title": "Shell", "sources": {"n": {"shell": "%1", "every": 5}},
                                 "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300, "text": "{{n}}"}]})")
            .arg(command)
            .toUtf8();
    };
    const QString waiting =
        QStringLiteral("\nCustom screens that run commands wait for approval until the settings are saved.");
    const QString unsaved = QStringLiteral("Settings could not be saved to %1: Not a directory. Tarv tries again with "
                                           "your next change.")
                                .arg(conf);
    // One start of Tarv over these settings, once its screens are loaded and its writes answered.
    const auto run = [&](Settings& stored, const std::function<void(CustomScreenStore&, MainWindow&)>& look) {
        CustomScreenStore store(screensFolder, std::make_unique<ScreenTrust>(&stored, record));
        makeHub(store);
        {
            MainWindow w(*hub, stored);
            store.start();
            ASSERT_TRUE(waitUntilLoaded(store));
            stored.waitForWrites();
            look(store, w);
        }
        hub.reset();
    };

    // a.json is there at the first start, and nothing can be saved.
    TempXdg::write(screensFolder + QStringLiteral("/a.json"), shellScreen(QStringLiteral("uptime")));
    {
        Settings first(conf);
        TempXdg::write(configFolder, QByteArray());
        run(first, [&](CustomScreenStore& store, MainWindow& w) {
            EXPECT_TRUE(waitUntil([&] { return w.settingsWriteProblem()->text() == unsaved + waiting; }))
                << w.settingsWriteProblem()->text().toStdString();
            EXPECT_EQ(store.screens().size(), 1);
            EXPECT_TRUE(store.approvedScreens().isEmpty());
        });
    }
    EXPECT_TRUE(QFileInfo::exists(record)) << "the first start is recorded where it can be";

    // evil.json is dropped in, and the next start could save: it is still no first run.
    ASSERT_TRUE(QFile::remove(configFolder));
    TempXdg::write(screensFolder + QStringLiteral("/evil.json"),
                   shellScreen(QStringLiteral("id > ") + xdg.root() + QStringLiteral("/pwned")));
    {
        Settings later(conf);
        run(later, [&](CustomScreenStore& store, MainWindow&) {
            EXPECT_EQ(store.screens().size(), 2);
            EXPECT_TRUE(hub->screenListLines().contains(QStringLiteral("evil\tShell\twaiting for approval")));
            EXPECT_TRUE(hub->screenListLines().contains(QStringLiteral("a\tShell\twaiting for approval")));
            QCoreApplication::processEvents();
            EXPECT_TRUE(store.approvedScreens().isEmpty());
        });
        EXPECT_FALSE(later.contains(ScreenTrust::storageKey));
    }

    // A new installation whose settings cannot be saved: the sample waits, and the window says
    // why, until the settings can be written again.
    QFile::remove(conf);
    ASSERT_TRUE(QDir(configFolder).removeRecursively() && QDir(screensFolder).removeRecursively()
                && QFile::remove(record));
    {
        Settings fresh(conf);
        TempXdg::write(configFolder, QByteArray());
        run(fresh, [&](CustomScreenStore& store, MainWindow& w) {
            EXPECT_TRUE(waitUntil([&] {
                return w.settingsWriteProblem()->text() == unsaved + waiting;
            })) << w.settingsWriteProblem()->text().toStdString();
            ASSERT_EQ(store.screens().size(), 1);
            EXPECT_TRUE(store.approvedScreens().isEmpty());

            ASSERT_TRUE(QFile::remove(configFolder));
            fresh.setText(QStringLiteral("sidebarSelection"), QStringLiteral("macros"));
            EXPECT_TRUE(waitUntil([&] { return store.approvedScreens().size() == 1; }));
            EXPECT_TRUE(waitUntil([&] { return w.settingsWriteProblem()->isHidden(); }));
        });
    }
}
