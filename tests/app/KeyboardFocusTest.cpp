// Where the keyboard focus goes when the control that has it disables or hides itself, and
// whether the focused control is in sight: Tab and Shift+Tab round every page of a window at its
// smallest, and a focused button while rows come in above it.

#include "ShellFixture.h"

#include "app/SidebarHost.h"
#include "app/SidebarItem.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenTrust.h"
#include "support/ScreenStoreWait.h"
#include "ui/macros/MacrosView.h"
#include "ui/screens/CustomScreenFilesSection.h"
#include "ui/screens/FileManager.h"
#include "ui/screens/ScreenFileList.h"
#include "ui/widgets/LazyRowList.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {

// Where `widget` is not fully shown by a scroll area around it, that area; none when every area
// shows it (or a part of it, where it is larger than the area).
const QScrollArea* areaHiding(const QWidget* widget)
{
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
        const auto* area = qobject_cast<const QScrollArea*>(up);
        if (!area || !area->widget() || !area->widget()->isAncestorOf(widget))
            continue;
        const QRect shown = area->viewport()->rect();
        const QRect placed(widget->mapTo(area->viewport(), QPoint(0, 0)), widget->size());
        const bool larger = placed.height() > shown.height() || placed.width() > shown.width();
        if (!shown.contains(placed) && !(larger && shown.intersects(placed)))
            return area;
    }
    return nullptr;
}

}  // namespace

class KeyboardFocusTest : public ShellWithScreensTest {
protected:
    // The window at its smallest, connected, over a Screens folder of `files` screen files and
    // `photoCount` photos: pages longer than the window.
    MainWindow& openWindow(int files, int photoCount)
    {
        for (int i = 0; i < files; ++i)
            write(QStringLiteral("file%1.json").arg(i, 2, 10, QLatin1Char('0')),
                  R"({"title": "Plain", "widgets": []})");
        makeHubOverFolder();
        importPhotos(photoCount, QSize(48, 32));
        connectAndGreet();
        MainWindow& w = makeWindow();
        w.resize(MainWindow::minimumWidth, MainWindow::minimumHeight);
        w.show();
        QApplication::setActiveWindow(&w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        return w;
    }

    // Shows the page and waits until its lists made their rows.
    QWidget* visit(SidebarItem item)
    {
        window->select(item);
        QWidget* page = window->sidebarHost()->page(rawValue(item));
        waitForRows(page);
        return page;
    }

    template <class T> T* find(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Presses Space on `control` as the keyboard does and lets the events it set off run.
    static void pressSpace(QWidget* control)
    {
        control->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), control) << describe(control).toStdString();
        QTest::keyClick(control, Qt::Key_Space);
        QApplication::processEvents();
    }
};

// Refresh Now and Clear Key disable or hide themselves when pressed; the focus goes to the
// control before them on the page, not on past the page's end to Settings. Refresh Now takes it
// back once its refresh is over.
TEST_F(KeyboardFocusTest, AControlThatGoesAwayHandsTheFocusToItsNeighbourInThePage)
{
    openWindow(0, 0);
    QWidget* stocks = visit(SidebarItem::stocks);
    auto* refresh = find<QPushButton>("refreshNowButton");
    QList<QWidget*> focused;
    const auto followed = QObject::connect(qApp, &QApplication::focusChanged, qApp,
                                  [&](QWidget*, QWidget* now) { focused.append(now); });
    pressSpace(refresh);
    ASSERT_TRUE(waitUntil([&] { return refresh->isEnabled(); }));
    QApplication::processEvents();
    QObject::disconnect(followed);
    EXPECT_EQ(QApplication::focusWidget(), refresh) << describe(QApplication::focusWidget()).toStdString();
    // Where the focus came to rest: in the page, and back.
    ASSERT_GE(focused.size(), 2);
    EXPECT_EQ(focused[focused.size() - 2], find<QWidget>("symbolField4"));
    EXPECT_TRUE(stocks->isAncestorOf(focused.last()));
    // Nor did it pass through Settings on its way: a screen reader says every stop it reaches.
    for (QWidget* stop : std::as_const(focused))
        EXPECT_TRUE(stocks->isAncestorOf(stop)) << describe(stop).toStdString();
    // Once the user went on from the neighbour, the focus stays where they took it.
    pressSpace(refresh);
    find<QWidget>("symbolField2")->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitUntil([&] { return refresh->isEnabled(); }));
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), find<QWidget>("symbolField2"));
    // So did the user who types in the neighbour: the rest of the word does not land on the button.
    pressSpace(refresh);
    ASSERT_FALSE(refresh->isEnabled());
    auto* neighbour = find<QLineEdit>("symbolField4");
    ASSERT_EQ(QApplication::focusWidget(), neighbour);
    QTest::keyClick(neighbour, Qt::Key_End);
    QTest::keyClick(neighbour, Qt::Key_X);
    ASSERT_TRUE(waitUntil([&] { return refresh->isEnabled(); }));
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), neighbour) << describe(QApplication::focusWidget()).toStdString();

    visit(SidebarItem::macros);
    window->macrosView()->setSelection(1);
    auto* clear = find<QPushButton>("clearKeyButton");
    ASSERT_TRUE(clear->isVisible());
    pressSpace(clear);
    ASSERT_FALSE(clear->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), find<QComboBox>("kindPicker"))
        << describe(QApplication::focusWidget()).toStdString();
    // Code that puts the focus somewhere itself keeps its choice.
    window->macrosView()->setSelection(2);
    clear->setFocus(Qt::TabFocusReason);
    QTest::keyClick(clear, Qt::Key_Space);
    window->sidebarHost()->list()->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), window->sidebarHost()->list());
}

// In a window at its smallest, Tab and Shift+Tab round every page, twice, leave each focused
// control inside the scroll areas around it, where the walk enters the page from either end.
TEST_F(KeyboardFocusTest, EveryFocusedControlIsInSightAllRoundEveryPage)
{
    openWindow(14, 14);
    for (SidebarItem item : allSidebarItems() + allSidebarItems()) {
        SCOPED_TRACE(title(item).toStdString());
        visit(item);
        window->sidebarHost()->list()->setFocus(Qt::TabFocusReason);
        // Twice each way: the second round enters the page from the end the first left it at.
        for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Backtab}) {
            int stops = 0;
            do {
                QTest::keyClick(QApplication::focusWidget(), key);
                QWidget* focus = QApplication::focusWidget();
                ASSERT_NE(focus, nullptr);
                // Rows that come into sight take their thumbnails a moment later, and may push
                // the focused one down meanwhile: what counts is where it comes to rest.
                (void)QTest::qWaitFor([&] { return areaHiding(focus) == nullptr; }, 1000);
                const QScrollArea* hiding = areaHiding(focus);
                EXPECT_EQ(hiding, nullptr) << describe(focus).toStdString() << " hidden by "
                                           << (hiding ? hiding->objectName().toStdString() : std::string());
                ASSERT_LT(++stops, 400);
            } while (QApplication::focusWidget() != window->sidebarHost()->list());
        }
    }
}

// The focused New Screen button stays in sight while files come in above it, with the message
// that says its new file could not be opened, until the user scrolls it away: then new rows leave
// the page where the user put it, until a key works the focused control again.
TEST_F(KeyboardFocusTest, AFocusedControlStaysInSightWhileRowsComeAboveIt)
{
    openWindow(2, 0);
    visit(SidebarItem::customScreens);
    auto* newScreen = find<QPushButton>("newScreenButton");
    const auto* list = dynamic_cast<const ScreenFileList*>(find<QWidget>("fileRows"));
    ASSERT_NE(list, nullptr);
    const auto addFiles = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            write(QStringLiteral("file%1.json").arg(i, 2, 10, QLatin1Char('0')), R"({"title": "Plain", "widgets": []})");
        store->reload();
        ASSERT_TRUE(waitUntilLoaded(*store));
        // Listed, and laid out at the list's full height.
        ASSERT_TRUE(waitUntil([&] {
            return list->files().size() == to && list->height() == list->heightForWidth(list->width());
        }));
        QApplication::processEvents();
    };
    newScreen->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(areaHiding(newScreen), nullptr);
    addFiles(2, 30);
    EXPECT_EQ(QApplication::focusWidget(), newScreen);
    EXPECT_EQ(areaHiding(newScreen), nullptr);

    // New Screen ▸ Pushed Values: the new file's row comes in above, and the failure to open it
    // below; both stay in sight with the button.
    auto* section = find<CustomScreenFilesSection>("filesSection");
    section->setFileManager(new FileManager(
        QDBusConnection(QStringLiteral("no-bus")),
        [](const QUrl&, const FileManager::Done& done) { done(QStringLiteral("no application opens it")); },
        section));
    QWidget* failure = find<QWidget>("failureLabel");
    QAction* pushed = find<QAction>("newScreen:pushed");
    // The button at the bottom of the view, where nothing under it shows.
    auto* area = find<QScrollArea>("customScreensScroll");
    const int bottom = newScreen->mapTo(area->viewport(), QPoint(0, newScreen->height())).y();
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->value() + bottom - area->viewport()->height());
    ASSERT_EQ(areaHiding(newScreen), nullptr);
    pushed->trigger();
    ASSERT_TRUE(waitUntil([&] { return list->files().size() == 31 && failure->isVisible(); }));
    ASSERT_TRUE(waitUntil([&] { return list->height() == list->heightForWidth(list->width()); }));
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), newScreen);
    EXPECT_EQ(areaHiding(newScreen), nullptr);
    EXPECT_EQ(areaHiding(failure), nullptr);

    QScrollBar* bar = area->verticalScrollBar();
    bar->setValue(bar->minimum());
    ASSERT_NE(areaHiding(newScreen), nullptr);
    addFiles(31, 35);
    EXPECT_EQ(bar->value(), bar->minimum());

    // A key that works the control brings it back.
    auto* openFolder = find<QPushButton>("openFolderButton");
    openFolder->setFocus(Qt::TabFocusReason);
    bar->setValue(bar->minimum());
    ASSERT_NE(areaHiding(openFolder), nullptr);
    QTest::keyClick(openFolder, Qt::Key_Space);
    EXPECT_EQ(areaHiding(openFolder), nullptr);
}
