// The profile's applications in the toolbar of the macros page: the button's summary, the
// popover's linked rows, "Add App" over a double of the running applications, the chooser of
// several applications, the fallback toggle and the paused note; and, on an Xvfb display of
// the test's own, the windows of _NET_CLIENT_LIST offered by their entries' names.

#include "MacrosFixture.h"

#include "macros/ProfileAutoSwitcher.h"
#include "macros/X11RunningAppsSource.h"
#include "ui/macros/AppChooser.h"
#include "ui/macros/ProfileAppsButton.h"
#include "ui/macros/ProfileAppsPopover.h"
#include "ui/widgets/ScreenReaderNotice.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include <xcb/xcb.h>

#include <cstring>

namespace {

class FakeRunningApps final : public RunningAppsSource {
public:
    explicit FakeRunningApps(QList<RunningApp> apps) : m_apps(std::move(apps)) {}
    QFuture<QList<RunningApp>> runningApps() override { return QtFuture::makeReadyFuture(m_apps); }

private:
    QList<RunningApp> m_apps;
};

QStringList menuTexts(const QMenu* menu)
{
    QStringList out;
    for (const QAction* action : menu->actions())
        out << action->text();
    return out;
}

}  // namespace

class ProfileAppsTest : public MacrosTest {
protected:
    void SetUp() override { page(); }
    ProfileAppsButton* button() { return page().profileAppsButton(); }
    ProfileAppsPopover* popover() { return button()->popover(); }
    QUuid activeID() const { return profiles->activeID(); }

    // Opens the popover with these running applications and waits for the menu to take them.
    void open(QList<RunningApp> running)
    {
        popover()->setRunningAppsSource(std::make_unique<FakeRunningApps>(std::move(running)));
        QSignalSpy read(popover(), &ProfileAppsPopover::runningAppsRead);
        button()->click();
        ASSERT_TRUE(popover()->isVisible());
        ASSERT_TRUE(!read.isEmpty() || read.wait(5000));
    }
    template <class T> T* inPopover(const char* name)
    {
        T* found = popover()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QStringList rowNames()
    {
        QStringList out;
        for (QLabel* label : popover()->findChildren<QLabel*>(QStringLiteral("linkedAppName")))
            out << label->text();
        return out;
    }
};

TEST_F(ProfileAppsTest, SummaryCountsTheLinksAndCutsLongNames)
{
    EXPECT_EQ(button()->text(), QStringLiteral("No Apps"));
    profiles->setFallbackProfile(activeID());
    EXPECT_EQ(button()->text(), QStringLiteral("All Other Apps"));

    profiles->linkApps({QStringLiteral("twenty"), QStringLiteral("ABCDEFGHIJKLMNOPQRST")}, activeID());
    EXPECT_EQ(button()->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRST + Others"));
    profiles->unlinkApp(QStringLiteral("twenty"), activeID());
    // Characters are counted as the user sees them: 21 emoji, each of several code units.
    const QString flag = QStringLiteral("\U0001F1F8\U0001F1EA");
    profiles->linkApps({QStringLiteral("flags"), flag.repeated(21)}, activeID());
    profiles->linkApps({QStringLiteral("b"), QStringLiteral("B")}, activeID());
    profiles->linkApps({QStringLiteral("c"), QStringLiteral("C")}, activeID());
    EXPECT_EQ(button()->text(), flag.repeated(19) + QStringLiteral("… + 2 + Others"));
    profiles->setFallbackProfile(std::nullopt);
    EXPECT_EQ(button()->text(), flag.repeated(19) + QStringLiteral("… + 2"));
    // Another profile made active reads its own links.
    profiles->addProfile(false);
    EXPECT_EQ(button()->text(), QStringLiteral("No Apps"));
}

TEST_F(ProfileAppsTest, LinkedRowsShowNamesAndRemoveTheirApp)
{
    profiles->renameProfile(activeID(), QString());
    open({});
    EXPECT_EQ(inPopover<QLabel>("popoverHeader")->text(),
              QStringLiteral("Tarv shows \u201CUntitled\u201D while one of these apps is in front."));
    EXPECT_FALSE(inPopover<QLabel>("noAppsLinked")->isHidden());

    profiles->linkApps({QStringLiteral("org.example.Mail"), QStringLiteral("Mail")}, activeID());
    profiles->linkApps({QStringLiteral("org.example.Nameless"), QString()}, activeID());
    EXPECT_TRUE(inPopover<QLabel>("noAppsLinked")->isHidden());
    // An app stored without a name shows its id; its help text ends with the empty name.
    EXPECT_EQ(rowNames(), (QStringList{"Mail", "org.example.Nameless"}));
    const QList<QToolButton*> removes = popover()->findChildren<QToolButton*>(QStringLiteral("removeAppButton"));
    ASSERT_EQ(removes.size(), 2);
    EXPECT_EQ(removes[0]->toolTip(), QStringLiteral("Stop switching to this profile for Mail"));
    EXPECT_EQ(removes[0]->accessibleName(), QStringLiteral("Remove Mail"));
    EXPECT_EQ(removes[1]->toolTip(), QStringLiteral("Stop switching to this profile for "));
    removes[0]->click();
    EXPECT_TRUE(waitUntil([&] { return rowNames() == QStringList{"org.example.Nameless"}; }));
    EXPECT_EQ(rowNames(), QStringList{"org.example.Nameless"});
    EXPECT_EQ(active().linkedApps, (QList<AppTarget>{{QStringLiteral("org.example.Nameless"), QString()}}));
    EXPECT_TRUE(popover()->isVisible());
}

TEST_F(ProfileAppsTest, AddAppOffersEachRunningAppOnceAndMarksMovesFromAnotherProfile)
{
    profiles->renameProfile(activeID(), QStringLiteral("Home"));
    const QUuid home = activeID();
    const QUuid work = profiles->addProfile(false).id;
    profiles->renameProfile(work, QStringLiteral("Work"));
    profiles->linkApps({QStringLiteral("org.gnome.gedit"), QStringLiteral("gedit")}, work);
    profiles->activateProfile(home);
    profiles->linkApps({QStringLiteral("org.example.Mail"), QStringLiteral("Mail")}, home);

    open({
        {QStringLiteral("org.example.mail"), QStringLiteral("Mail"), {}},  // linked here, other case
        {QStringLiteral("tarv"), QStringLiteral("Tarv"), {}},              // this application
        {QStringLiteral("firefox"), QStringLiteral("Firefox"), {}},
        {QStringLiteral("org.gnome.gedit"), QStringLiteral("gedit"), {}},
        {QStringLiteral("firefox"), QStringLiteral("Firefox"), {}},        // a second window
        {QString(), QStringLiteral("No entry"), {}},
        {QStringLiteral("org.example.Term"), QString(), {}},
        {QStringLiteral("zed"), QStringLiteral("alpha"), {}},
    });
    QMenu* menu = popover()->addAppMenu();
    EXPECT_EQ(menuTexts(menu), (QStringList{"alpha", "Firefox", "gedit (moves from \u201CWork\u201D)",
                                            "org.example.Term", "", "Choose…"}));
    menu->actions()[2]->trigger();
    EXPECT_EQ(active().linkedApps.last(), (AppTarget{QStringLiteral("org.gnome.gedit"), QStringLiteral("gedit")}));
    EXPECT_EQ(profiles->profileLinkedToApp(QStringLiteral("org.gnome.gedit"))->id, home);
    EXPECT_EQ(menuTexts(menu), (QStringList{"alpha", "Firefox", "org.example.Term", "", "Choose…"}));

    // Nothing running to offer: the chooser alone, without a divider.
    popover()->close();
    open({{QStringLiteral("tarv"), QStringLiteral("Tarv"), {}}});
    EXPECT_EQ(menuTexts(menu), QStringList{"Choose…"});
}

TEST_F(ProfileAppsTest, ChooseLinksSeveralInstalledAppsToTheActiveProfile)
{
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        TempXdg::write(xdg.path("data") + QStringLiteral("/applications/org.example.%1.desktop").arg(name),
                       "[Desktop Entry]\nType=Application\nName=" + QByteArray(name) + "\nExec=/bin/true\n");
    open({});
    popover()->addAppMenu()->actions().last()->trigger();
    AppChooser* chooser = nullptr;
    for (AppChooser* shown : window->findChildren<AppChooser*>()) {
        if (shown->isVisible())
            chooser = shown;
    }
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([chooser] { return chooser->isLoaded(); }, 5000));
    EXPECT_EQ(chooser->findChild<QLabel*>(QStringLiteral("appChooserMessage"))->text(),
              QStringLiteral("Choose the apps that switch Tarv to \u201CDefault\u201D."));
    auto* list = chooser->findChild<QListView*>(QStringLiteral("appList"));
    ASSERT_EQ(list->model()->rowCount(), 3);
    list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::ClearAndSelect);
    list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select);
    chooser->accept();
    EXPECT_EQ(active().linkedApps, (QList<AppTarget>{{QStringLiteral("org.example.Alpha"), QStringLiteral("Alpha")},
                                                     {QStringLiteral("org.example.Gamma"), QStringLiteral("Gamma")}}));

    // Return in the search field takes the one application it leaves.
    popover()->addAppMenu()->actions().last()->trigger();
    chooser = nullptr;
    for (AppChooser* shown : window->findChildren<AppChooser*>()) {
        if (shown->isVisible())
            chooser = shown;
    }
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([chooser] { return chooser->isLoaded(); }, 5000));
    auto* search = chooser->findChild<QLineEdit*>(QStringLiteral("appSearchField"));
    QTest::keyClicks(search, QStringLiteral("beta"));
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(active().linkedApps.size(), 3);
    EXPECT_TRUE(active().linkedApps.contains(AppTarget{QStringLiteral("org.example.Beta"), QStringLiteral("Beta")}));
}

TEST_F(ProfileAppsTest, FallbackToggleNamesTheOtherFallbackAndPausedNoteResumes)
{
    const QUuid home = activeID();
    const QUuid work = profiles->addProfile(false).id;
    profiles->renameProfile(work, QStringLiteral("Work"));
    profiles->setFallbackProfile(work);
    profiles->activateProfile(home);
    open({});
    auto* toggle = inPopover<QCheckBox>("fallbackToggle");
    auto* explanation = inPopover<QLabel>("fallbackExplanation");
    const QString general =
        QStringLiteral("Without a fallback, an app no profile is linked to leaves the current profile up.");
    EXPECT_EQ(toggle->text(), QStringLiteral("Use for all other apps"));
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(explanation->text(), QStringLiteral("\u201CWork\u201D is the fallback now; turning this on replaces it."));
    // A screen reader hears on the toggle what shows under it.
    EXPECT_EQ(toggle->accessibleDescription(), explanation->text());
    toggle->click();
    EXPECT_EQ(profiles->fallbackID(), home);
    EXPECT_EQ(explanation->text(), general);
    EXPECT_EQ(toggle->accessibleDescription(), explanation->text());
    toggle->click();
    EXPECT_EQ(profiles->fallbackID(), std::nullopt);
    EXPECT_EQ(explanation->text(), general);

    ProfileAutoSwitcher& switcher = hub->autoSwitcher();
    auto* notice = inPopover<QWidget>("pauseNotice");
    EXPECT_TRUE(notice->isHidden());
    switcher.setPaused(true);
    EXPECT_FALSE(notice->isHidden());
    inPopover<QPushButton>("resumeButton")->click();
    EXPECT_FALSE(switcher.isPaused());
    EXPECT_TRUE(notice->isHidden());
}

// The test plays the window manager: it maps the windows and lists them on the root window.
TEST_F(ProfileAppsTest, WindowsOnTheClientListAreOfferedByTheirEntriesNames)
{
    XvfbServer xvfb;
    if (!xvfb.started())
        GTEST_SKIP() << "Xvfb (Debian package xvfb) is not available";
    struct DisplayGuard {
        QByteArray saved = qgetenv("DISPLAY");
        ~DisplayGuard() { qputenv("DISPLAY", saved); }
    } guard;
    qputenv("DISPLAY", xvfb.display());
    xcb_connection_t* c = xcb_connect(xvfb.display().constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    TempXdg::write(xdg.path("data") + "/applications/org.example.Mail.desktop",
                   "[Desktop Entry]\nType=Application\nName=Mail\nExec=mail\n");
    TempXdg::write(xdg.path("system") + "/applications/writer.desktop",
                   "[Desktop Entry]\nType=Application\nName=Writer\nExec=writer\nStartupWMClass=WriterApp\n");
    TempXdg::write(xdg.path("system") + "/applications/panel.desktop",
                   "[Desktop Entry]\nType=Application\nName=Panel\nExec=panel\n");
    auto atom = [c](const char* name) {
        auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply->atom;
        std::free(reply);
        return a;
    };
    QList<xcb_window_t> windows;
    for (const QByteArray& wmClass : {QByteArray("mail\0Mail", 9), QByteArray("writer\0WriterApp", 16),
                                      QByteArray("nothing\0Nothing", 15), QByteArray("panel\0Panel", 11)}) {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            std::uint32_t(wmClass.size()), wmClass.constData());
        xcb_map_window(c, w);
        windows.append(w);
    }
    // A panel is no application to switch to.
    const xcb_atom_t dock = atom("_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, windows.last(), atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                        &dock);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32,
                        std::uint32_t(windows.size()), windows.constData());
    xcb_flush(c);

    popover()->setRunningAppsSource(std::make_unique<X11RunningAppsSource>());
    QSignalSpy read(popover(), &ProfileAppsPopover::runningAppsRead);
    button()->click();
    ASSERT_TRUE(read.wait(5000));
    EXPECT_EQ(menuTexts(popover()->addAppMenu()), (QStringList{"Mail", "Writer", "", "Choose…"}));
    popover()->addAppMenu()->actions()[1]->trigger();
    EXPECT_EQ(active().linkedApps, (QList<AppTarget>{{QStringLiteral("writer"), QStringLiteral("Writer")}}));

    xcb_disconnect(c);
}

// The popover is a window of the application that a screen reader finds, titled, with the
// keyboard on its first control; Escape gives the keyboard back to the button.
TEST_F(ProfileAppsTest, ThePopoverIsADialogWindowWithTheKeyboardInside)
{
    open({});
    QAccessibleInterface* dialog = QAccessible::queryAccessibleInterface(popover());
    EXPECT_EQ(dialog->role(), QAccessible::Dialog);
    EXPECT_EQ(dialog->text(QAccessible::Name), QStringLiteral("Auto-Switch"));
    EXPECT_TRUE(popover()->isWindow());
    EXPECT_NE(popover()->windowType(), Qt::Popup);
    EXPECT_EQ(popover()->focusWidget(), inPopover<QPushButton>("addAppButton"));
    QTest::keyClick(popover(), Qt::Key_Escape);
    EXPECT_FALSE(popover()->isVisible());
}

// An app added or removed is said where the keyboard is, the keyboard stays in the popover, and
// the change is a step of the page's Undo.
TEST_F(ProfileAppsTest, AddingAndRemovingAppsIsSaidAndUndoneOnThePage)
{
    open({{QStringLiteral("firefox"), QStringLiteral("Firefox"), {}}});
    popover()->addAppMenu()->actions().first()->trigger();
    EXPECT_EQ(active().linkedApps, (QList<AppTarget>{{QStringLiteral("firefox"), QStringLiteral("Firefox")}}));
    EXPECT_EQ(ScreenReaderNotice::of(popover())->accessibleName(), QStringLiteral("Added Firefox"));
    EXPECT_EQ(find<QAction>("undoAction")->text(), QStringLiteral("Undo Add App"));

    QToolButton* remove = popover()->findChild<QToolButton*>(QStringLiteral("removeAppButton"));
    ASSERT_NE(remove, nullptr);
    remove->setFocus(Qt::TabFocusReason);
    remove->click();
    ASSERT_TRUE(waitUntil([&] { return active().linkedApps.isEmpty(); }));
    EXPECT_EQ(ScreenReaderNotice::of(popover())->accessibleName(), QStringLiteral("Removed Firefox"));
    EXPECT_EQ(popover()->focusWidget(), inPopover<QPushButton>("addAppButton"));
    trigger("undoAction");
    EXPECT_EQ(active().linkedApps.size(), 1);
    trigger("undoAction");
    EXPECT_TRUE(active().linkedApps.isEmpty());
    EXPECT_FALSE(find<QAction>("undoAction")->isEnabled());
}
