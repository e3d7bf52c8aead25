// The window's keyboard order, whatever pages were shown before: Tab and Shift+Tab go round one
// cycle of the sidebar, the toolbar's controls, every control of the page shown in reading order,
// and Settings; the frame log lets the focus go on.

#include "ShellFixture.h"

#include "app/SettingsWindow.h"
#include "app/SidebarHost.h"
#include "app/SidebarItem.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenTrust.h"
#include "support/ScreenStoreWait.h"
#include "ui/diagnostics/DiagnosticsView.h"
#include "ui/diagnostics/FrameLogModel.h"
#include "ui/diagnostics/FrameLogView.h"
#include "ui/macros/AppChooser.h"
#include "ui/macros/IconPicker.h"
#include "ui/macros/KeyPanel.h"
#include "ui/macros/MacrosView.h"
#include "ui/widgets/LazyRowList.h"

#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

namespace {

// Two sources and a button that opens an application: it waits for approval.
constexpr char waitingScreen[] = R"({"title": "Busy",
    "sources": {"cpu": {"shell": "echo 1", "every": 60}, "btc": {"url": "http://127.0.0.1:0/btc", "every": 60}},
    "widgets": [{"type": "text", "x": 10, "y": 40, "text": "{{cpu}} {{btc}}"},
                {"type": "button", "x": 10, "y": 100, "w": 100, "h": 60, "label": "Files",
                 "action": {"kind": "openApp", "bundleID": "org.gnome.Nautilus", "name": "Files"}}]})";

std::string describe(const QList<QWidget*>& widgets)
{
    QStringList names;
    for (const QWidget* widget : widgets)
        names.append(describe(widget));
    return names.join(QStringLiteral(", ")).toStdString();
}

// A widget Tab stops at: it takes the focus by Tab itself (no proxy takes it for it), and it is
// shown and enabled in the window.
bool isTabStop(const QWidget* widget, const QWidget* window)
{
    return (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy() && widget->window() == window &&
           widget->isVisibleTo(window) && widget->isEnabled();
}

// Reading order inside a page, from what the screen shows: of the two parts of their nearest
// common ancestor that hold `a` and `b`, the one above the other reads first, and of two side by
// side (their heights overlap), the one on the left. A block, a row or a column, reads whole
// before the next, as a two-column page reads its left column first.
bool readsBefore(const QWidget* a, const QWidget* b)
{
    if (a->isAncestorOf(b))
        return true;
    if (b->isAncestorOf(a))
        return false;
    const QWidget* holderA = a;
    while (!holderA->parentWidget()->isAncestorOf(b))
        holderA = holderA->parentWidget();
    const QWidget* holderB = b;
    while (holderB->parentWidget() != holderA->parentWidget())
        holderB = holderB->parentWidget();
    const QRect placeA = holderA->geometry();
    const QRect placeB = holderB->geometry();
    if (placeA.bottom() < placeB.top())
        return true;
    if (placeB.bottom() < placeA.top())
        return false;
    return placeA.left() < placeB.left() || (placeA.left() == placeB.left() && placeA.top() < placeB.top());
}

// What a screen reader says a control is: the labels that name it, else its accessible name.
QString spokenName(QWidget* widget)
{
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(widget);
    QStringList labels;
    for (const auto& [label, relation] : control->relations(QAccessible::Label))
        if (qobject_cast<QLabel*>(label->object()))
            labels.append(label->text(QAccessible::Name));
    return labels.isEmpty() ? control->text(QAccessible::Name) : labels.join(u' ');
}

// What a control holds: a number, a text, the item a combo box shows; nothing for the others.
QString heldValue(QAccessibleInterface* control)
{
    if (QAccessibleValueInterface* value = control->valueInterface())
        return value->currentValue().toString();
    if (QAccessibleTextInterface* text = control->textInterface())
        return text->text(0, text->characterCount());
    return control->role() == QAccessible::ComboBox ? control->text(QAccessible::Value) : QString();
}

// Every stop of a walk says what it is: a name, not the value the control holds, and one that
// tells it from the walk's other stops by itself, as a screen reader's list of a window's controls
// shows names without their descriptions.
void expectNamed(const QList<QWidget*>& stops, const std::string& where)
{
    QHash<QString, QWidget*> heard;
    for (QWidget* stop : stops) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(stop);
        const QString name = spokenName(stop);
        const QString value = heldValue(control);
        const std::string what = where + ": " + describe(stop).toStdString() + " \"" + name.toStdString() + "\"";
        EXPECT_FALSE(name.trimmed().isEmpty()) << what;
        EXPECT_TRUE(value.isEmpty() || name != value) << what << " is named by its value";
        // A combo box is heard with its value, where a screen reader reads it (its text), and
        // the item it shows stands among its items, which its changes move the focus to.
        if (auto* box = qobject_cast<QComboBox*>(stop)) {
            EXPECT_EQ(control->role(), QAccessible::ComboBox) << what;
            EXPECT_EQ(value, box->currentText()) << what;
            QAccessibleInterface* item = control->child(box->currentIndex());
            ASSERT_NE(item, nullptr) << what;
            EXPECT_EQ(item->text(QAccessible::Name), box->currentText()) << what;
            EXPECT_TRUE(item->state().selected) << what;
            EXPECT_EQ(control->indexOfChild(item), box->currentIndex()) << what;
        }
        if (QWidget* other = heard.value(name); other && other != stop)
            ADD_FAILURE() << what << " sounds like " << describe(other).toStdString();
        heard.insert(name, stop);
    }
}

}  // namespace

class FocusChainTest : public ShellWithScreensTest {
protected:
    // The window against a connected device, with a screen file that waits for approval, one that
    // was approved, one that loads and one that does not, a few photos and a picture of the device's
    // screen: every page with lists of rows in it.
    MainWindow& openWindow()
    {
        write(QStringLiteral("a.json"), waitingScreen);
        write(QStringLiteral("b.json"), R"({"title": "Plain", "widgets": []})");
        write(QStringLiteral("c.json"), R"({"title": "Broken", "widgets": [{"type": "gauge"}]})");
        write(QStringLiteral("d.json"), waitingScreen);
        makeHubOverFolder();
        store->trust().approveScreen(*store->screenWithID(QStringLiteral("d")));
        importPhotos(3, QSize(64, 48));
        connectAndGreet();
        // A picture of the device's screen: Copy, Save… and Capture Again show.
        hub->captureSnapshot([](const DeviceManager::SnapshotResult&) {});
        EXPECT_TRUE(waitUntil([&] { return hub->snapshot().has_value() && !hub->snapshotProgress(); }));
        MainWindow& w = makeWindow();
        w.show();
        QApplication::setActiveWindow(&w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        return w;
    }

    // Clicks the page's row in the sidebar, as the user does, and waits until its lists made
    // their rows.
    void visit(SidebarItem item)
    {
        QListWidget* list = window->sidebarHost()->list();
        const QList<QListWidgetItem*> found = list->findItems(title(item), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << title(item).toStdString();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
        ASSERT_EQ(window->selection(), item);
        QWidget* page = window->sidebarHost()->page(rawValue(item));
        waitForRows(page);
    }

    // The cycle Tab should go round: the sidebar's list, the toolbar's controls from left to
    // right, the page's controls in reading order, and Settings under the list.
    QList<QWidget*> expectedCycle(SidebarItem item) const
    {
        QWidget* page = window->sidebarHost()->page(rawValue(item));
        QList<QWidget*> toolbar;
        QList<QWidget*> content;
        QList<QWidget*> others;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (!isTabStop(widget, window.get()))
                continue;
            if (page->isAncestorOf(widget))
                content.append(widget);
            else if (window->findChild<QToolBar*>()->isAncestorOf(widget))
                toolbar.append(widget);
            else
                others.append(widget);
        }
        std::sort(toolbar.begin(), toolbar.end(), [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
        // Insertion keeps the order of widgets that neither reads before the other.
        QList<QWidget*> inOrder;
        for (QWidget* widget : content) {
            qsizetype at = inOrder.size();
            while (at > 0 && readsBefore(widget, inOrder[at - 1]))
                --at;
            inOrder.insert(at, widget);
        }
        EXPECT_EQ(others.size(), 2) << describe(others);
        return QList<QWidget*>{window->sidebarHost()->list()} + toolbar + inOrder +
               QList<QWidget*>{window->sidebarHost()->settingsButton()};
    }

    // Presses the key from the widget that has the focus until the focus comes back to it, or
    // until it went round more than twice; gives back where it stopped, the start first.
    static QList<QWidget*> walk(Qt::Key key, qsizetype bound)
    {
        QList<QWidget*> stops{QApplication::focusWidget()};
        while (stops.size() <= bound) {
            QTest::keyClick(QApplication::focusWidget(), key);
            stops.append(QApplication::focusWidget());
            if (stops.last() == stops.first() || !stops.last())
                break;
        }
        return stops;
    }

    // Tab and Shift+Tab from `start`, which has the focus, go round the page's cycle.
    void checkCycle(SidebarItem item, QWidget* start)
    {
        SCOPED_TRACE(title(item).toStdString());
        ASSERT_EQ(QApplication::focusWidget(), start);
        QList<QWidget*> expected = expectedCycle(item);
        const qsizetype at = expected.indexOf(start);
        ASSERT_GE(at, 0) << describe(start).toStdString();
        // The same cycle, entered where the walk starts.
        expected = expected.mid(at) + expected.first(at) + QList<QWidget*>{start};
        const QList<QWidget*> forward = walk(Qt::Key_Tab, 2 * expected.size());
        EXPECT_EQ(forward, expected) << "expected " << describe(expected) << "\nwalked " << describe(forward);
        QList<QWidget*> backward = walk(Qt::Key_Backtab, 2 * expected.size());
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(backward, expected) << "Shift+Tab walked " << describe(backward);
    }

    void visitAndCheck(const QList<SidebarItem>& items)
    {
        for (SidebarItem item : items) {
            visit(item);
            checkCycle(item, window->sidebarHost()->list());
        }
    }
};

TEST_F(FocusChainTest, EveryPageTwiceInSidebarOrder)
{
    openWindow();
    visitAndCheck(allSidebarItems());
    // Between the rounds rows come and go, and one makes its widgets anew: the approved file
    // changed what it runs and waits again.
    write(QStringLiteral("d.json"), QByteArray(waitingScreen).replace("echo 1", "echo 2"));
    write(QStringLiteral("e.json"), R"({"title": "More", "widgets": []})");
    ASSERT_TRUE(QFile::remove(QDir(folder).filePath(QStringLiteral("b.json"))));
    store->reload();
    ASSERT_TRUE(waitUntilLoaded(*store));
    visitAndCheck(allSidebarItems());
}

TEST_F(FocusChainTest, EveryPageAfterCustomScreens)
{
    openWindow();
    for (SidebarItem item : allSidebarItems())
        visitAndCheck({SidebarItem::customScreens, item});
}

TEST_F(FocusChainTest, EveryPageTwiceFromTheBottomOfTheSidebar)
{
    openWindow();
    QList<SidebarItem> items = allSidebarItems();
    std::reverse(items.begin(), items.end());
    visitAndCheck(items + items);
}

// Tab round every page, every kind of key's fields and every tab of Settings: each stop says what
// it is, in words a screen reader can tell from every other stop's.
TEST_F(FocusChainTest, EveryStopHasANameThatIsNotItsValue)
{
    openWindow();
    for (SidebarItem item : allSidebarItems()) {
        visit(item);
        expectNamed(walk(Qt::Key_Tab, 200), title(item).toStdString());
    }
    visit(SidebarItem::macros);
    auto* kinds = window->macrosView()->findChild<QComboBox*>(QStringLiteral("kindPicker"));
    ASSERT_NE(kinds, nullptr);
    for (int kind = 0; kind < kinds->count(); ++kind) {
        kinds->setFocus(Qt::TabFocusReason);
        QTest::keyClick(kinds, kind == 0 ? Qt::Key_Home : Qt::Key_Down);
        ASSERT_EQ(kinds->currentIndex(), kind);
        expectNamed(walk(Qt::Key_Tab, 200), "Macros, " + kinds->currentText().toStdString());
    }

    // Two approved files: two rows, each with its own Revoke.
    store->trust().approveScreen(*store->screenWithID(QStringLiteral("a")));
    window->findChild<QAction*>(QStringLiteral("settingsAction"))->trigger();
    SettingsWindow* settings = window->settingsWindow();
    ASSERT_NE(settings, nullptr);
    QApplication::setActiveWindow(settings);
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
    // A window of its own, not an area of one.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(settings)->role(), QAccessible::Window);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(settings)->text(QAccessible::Name), QStringLiteral("Settings"));
    for (int tab = 0; tab < settings->tabs()->count(); ++tab) {
        settings->tabs()->setCurrentIndex(tab);
        settings->tabs()->tabBar()->setFocus(Qt::TabFocusReason);
        expectNamed(walk(Qt::Key_Tab, 200), "Settings, " + settings->tabs()->tabText(tab).toStdString());
    }
}

// The icon picker, on both its tabs, and the application chooser that the inspector opens say what
// each of their stops is too.
TEST_F(FocusChainTest, EveryStopOfTheInspectorsPopupsHasAName)
{
    openWindow();
    visit(SidebarItem::macros);
    KeyInspector* inspector = window->macrosView()->inspector();
    auto* icon = inspector->findChild<QPushButton*>(QStringLiteral("iconButton"));
    QTest::mouseClick(icon, Qt::LeftButton, {}, icon->rect().center());
    IconPickerPopover* picker = inspector->iconPicker();
    ASSERT_TRUE(picker && picker->isVisible());
    picker->findChild<QWidget*>(QStringLiteral("iconSearchField"))->setFocus(Qt::PopupFocusReason);
    expectNamed(walk(Qt::Key_Tab, 200), "Icon, Symbols");
    picker->findChild<QPushButton*>(QStringLiteral("emojiTab"))->click();
    picker->findChild<QWidget*>(QStringLiteral("emojiField"))->setFocus(Qt::PopupFocusReason);
    expectNamed(walk(Qt::Key_Tab, 200), "Icon, Emoji");
    picker->close();

    auto* kinds = inspector->findChild<QComboBox*>(QStringLiteral("kindPicker"));
    kinds->setFocus(Qt::TabFocusReason);
    while (kinds->currentText() != QStringLiteral("Open App"))
        QTest::keyClick(kinds, Qt::Key_Down);
    inspector->findChild<QPushButton*>(QStringLiteral("chooseAppButton"))->click();
    auto* chooser = window->findChild<AppChooser*>();
    ASSERT_TRUE(waitUntil([&] { return chooser && chooser->isVisible(); }));
    QApplication::setActiveWindow(chooser);
    chooser->findChild<QWidget*>(QStringLiteral("appSearchField"))->setFocus(Qt::TabFocusReason);
    expectNamed(walk(Qt::Key_Tab, 200), "Choose Application");
    chooser->reject();
}

// A click in the frame log puts the focus in it; Tab and Shift+Tab lead out of it round the
// window's cycle, the sidebar included.
TEST_F(FocusChainTest, TabAndShiftTabLeadFromTheFrameLogRoundTheWindow)
{
    openWindow();
    visit(SidebarItem::customScreens);
    visit(SidebarItem::diagnostics);
    auto* diagnostics = dynamic_cast<DiagnosticsView*>(window->sidebarHost()->page(QStringLiteral("diagnostics")));
    ASSERT_TRUE(waitUntil([&] { return diagnostics->logModel()->rowCount() > 0; }));
    QTest::mouseClick(diagnostics->logView()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    checkCycle(SidebarItem::diagnostics, diagnostics->logView());
}

// The window opens with the focus where reading starts: in the sidebar, not on Settings under it.
TEST_F(FocusChainTest, TheWindowOpensWithTheFocusInTheSidebar)
{
    MainWindow& w = openWindow();
    EXPECT_EQ(QApplication::focusWidget(), w.sidebarHost()->list()) << describe(QApplication::focusWidget()).toStdString();
}

// Headings are never chosen: Home and End, the page keys and the arrows land on pages.
TEST_F(FocusChainTest, KeysInTheSidebarLandOnPagesPastTheHeadings)
{
    MainWindow& w = makeWindow();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QListWidget* list = w.sidebarHost()->list();
    list->setFocus(Qt::TabFocusReason);
    const struct {
        Qt::Key key;
        SidebarItem page;
    } presses[] = {
        {Qt::Key_End, SidebarItem::diagnostics},  {Qt::Key_Home, SidebarItem::macros},
        {Qt::Key_Up, SidebarItem::macros},        {Qt::Key_PageDown, SidebarItem::diagnostics},
        {Qt::Key_Up, SidebarItem::screensaver},   {Qt::Key_Down, SidebarItem::diagnostics},
        {Qt::Key_PageUp, SidebarItem::macros},
    };
    for (const auto& press : presses) {
        QTest::keyClick(list, press.key);
        EXPECT_EQ(list->currentItem()->text().toStdString(), title(press.page).toStdString())
            << QKeySequence(press.key).toString().toStdString();
        EXPECT_EQ(w.selection(), press.page);
    }
}

// Allowing a file from the keyboard leaves the focus in its row, on what took the button's place.
TEST_F(FocusChainTest, AllowingAFileKeepsTheFocusInItsRow)
{
    openWindow();
    visit(SidebarItem::customScreens);
    QWidget* row = window->findChild<QWidget*>(QStringLiteral("fileRow:a.json"));
    ASSERT_NE(row, nullptr);
    auto* allow = row->findChild<QPushButton*>(QStringLiteral("allowButton"));
    ASSERT_TRUE(allow && allow->isVisible());
    allow->setFocus(Qt::TabFocusReason);
    QTest::keyClick(allow, Qt::Key_Space);
    ASSERT_TRUE(store->trust().isScreenApproved(*store->screenWithID(QStringLiteral("a"))));
    EXPECT_EQ(QApplication::focusWidget(), row->findChild<QWidget*>(QStringLiteral("allowedDisclosure")))
        << describe(QApplication::focusWidget()).toStdString();
}
