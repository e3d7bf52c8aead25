// The Screensaver page in the main window over the fake device: which rows show for how many
// photos, the settings it writes, removal, import from chosen files and from drops with real
// picture files, the hover outline, and a photo framed in the crop editor reaching the device.

#include "app/ShellFixture.h"

#include "app/SidebarHost.h"
#include "hub/DeviceSettingsKeys.h"
#include "link/DeviceSnapshot.h"
#include "support/HeifSample.h"
#include "ui/screensaver/PhotoCropEditor.h"
#include "ui/screensaver/PhotoListModel.h"
#include "ui/screensaver/PhotoNames.h"
#include "ui/screensaver/PhotoRow.h"
#include "ui/screensaver/ScreensaverView.h"
#include "ui/widgets/ScreenReaderNotice.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>
#include <QUrl>

namespace {

// Left half one colour, right half another, so a mirrored frame tells itself apart.
QImage halves(const QColor& left, const QColor& right, int width = 900, int height = 600)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, left);
    painter.fillRect(width / 2, 0, width - width / 2, height, right);
    return image;
}

QStringList names(const QList<PhotoRow*>& rows)
{
    QStringList out;
    for (PhotoRow* row : rows)
        out.append(row->nameLabel()->fullText());
    return out;
}

}  // namespace

class ScreensaverViewTest : public ShellTest {
protected:
    QTemporaryDir files;

    ScreensaverView& page()
    {
        if (!window) {
            makeWindow();
            window->show();
            window->select(SidebarItem::screensaver);
        }
        return *static_cast<ScreensaverView*>(window->sidebarHost()->page(QStringLiteral("screensaver")));
    }

    template <class T> T* find(const char* name)
    {
        T* found = page().findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    bool shows(const char* name) { return find<QWidget>(name)->isVisibleTo(&page()); }

    QString writePicture(const QString& name, const QImage& image, const char* format)
    {
        const QString path = files.filePath(name);
        EXPECT_TRUE(image.save(path, format)) << path.toStdString();
        return path;
    }

    QString writeText(const QString& name)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("just some words\n");
        return path;
    }

    void importData(int count)
    {
        QList<ScreensaverPhotoService::ImportItem> items;
        for (int i = 0; i < count; ++i) {
            const QString path = writePicture(QStringLiteral("seed-%1.png").arg(i), halves(Qt::green, Qt::gray), "PNG");
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            items.append({QStringLiteral("Seed %1").arg(i), file.readAll()});
        }
        hub->importPhotoData(items);
        ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    }

    bool waitForImports() { return waitUntil([&] { return page().importProgress()->isHidden(); }); }

    static void choose(QComboBox* box, const QString& text)
    {
        const int row = box->findText(text);
        ASSERT_GE(row, 0) << text.toStdString();
        box->setCurrentIndex(row);
        emit box->activated(row);
    }

    // Drags `mime` onto the page and drops it as the desktop does; true when it was accepted.
    bool drop(const QMimeData& mime)
    {
        QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(&page(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent event(QPointF(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(&page(), &event);
        return event.isAccepted();
    }

    static QMimeData* filesMime(const QStringList& paths)
    {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        mime->setUrls(urls);
        return mime;
    }

    QImage deviceScreen()
    {
        bool done = false;
        hub->captureSnapshot([&done](const DeviceManager::SnapshotResult&) { done = true; });
        EXPECT_TRUE(waitUntil([&] { return done; }));
        return hub->snapshot() ? hub->snapshot()->makeImage() : QImage();
    }

    void waitForQuiet()
    {
        ASSERT_TRUE(waitUntil([&] { return hub->queuedFrames().isEmpty() && hub->outstandingAcks().isEmpty(); }));
    }
};

TEST_F(ScreensaverViewTest, RowsFollowTheNumberOfPhotosAndDefaultsShowAsEntries)
{
    ScreensaverView& view = page();
    QAbstractItemModelTester tester(view.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_TRUE(shows("emptyText"));
    EXPECT_FALSE(shows("intervalPicker"));
    EXPECT_FALSE(shows("stylePicker"));
    EXPECT_FALSE(shows("styleDescription"));
    EXPECT_FALSE(shows("photoError"));
    EXPECT_TRUE(shows("fromFilesButton"));

    importData(1);
    EXPECT_FALSE(shows("emptyText"));
    EXPECT_TRUE(shows("stylePicker"));
    EXPECT_TRUE(shows("styleDescription"));
    EXPECT_FALSE(shows("intervalPicker"));
    ASSERT_EQ(view.photoRows().size(), 1);
    EXPECT_TRUE(waitUntil([&] { return view.photoRows()[0]->thumbnailLabel()->isVisibleTo(&view); }));

    importData(1);
    EXPECT_TRUE(shows("intervalPicker"));
    EXPECT_EQ(find<QComboBox>("timeoutPicker")->currentText(), QStringLiteral("5 minutes"));
    EXPECT_EQ(find<QComboBox>("intervalPicker")->currentText(), QStringLiteral("1 minute"));
    EXPECT_EQ(find<QComboBox>("stylePicker")->currentText(), QStringLiteral("Corner"));
    EXPECT_EQ(find<QLabel>("styleDescription")->text(),
              QStringLiteral("A small clock and date at the bottom left, over a soft fade."));
    EXPECT_TRUE(find<QCheckBox>("enabledToggle")->isChecked());

    importData(1);
    EXPECT_EQ(names(view.photoRows()), (QStringList{QStringLiteral("Seed 0"), QStringLiteral("Seed 0"),
                                                    QStringLiteral("Seed 0")}));
    EXPECT_EQ(view.model()->rowCount(), 3);
}

// Rows are made as they come into sight, after the page's other widgets: Tab still reaches a
// photo's buttons where they stand, between the settings above the list and From Files below it.
TEST_F(ScreensaverViewTest, TabReachesThePhotosButtonsWhereTheyStand)
{
    ScreensaverView& view = page();
    importData(1);
    importData(1);
    ASSERT_EQ(view.photoRows().size(), 2);
    QList<QWidget*> stops;
    for (QWidget* widget = find<QWidget>("timeoutPicker"); stops.size() < 6; widget = widget->nextInFocusChain()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled())
            stops.append(widget);
    }
    const QList<QWidget*> expected{find<QWidget>("timeoutPicker"),     view.photoRows()[0]->cropButton(),
                                   view.photoRows()[0]->removeButton(), view.photoRows()[1]->cropButton(),
                                   view.photoRows()[1]->removeButton(), find<QWidget>("fromFilesButton")};
    EXPECT_EQ(stops, expected);
}

TEST_F(ScreensaverViewTest, ControlsWriteThroughTheHubAndAStrayTimeoutSelectsNothing)
{
    page();
    importData(2);
    auto* toggle = find<QCheckBox>("enabledToggle");
    auto* timeout = find<QComboBox>("timeoutPicker");
    toggle->click();
    EXPECT_EQ(settings->boolean(DeviceSettingsKeys::screensaverEnabled), false);
    EXPECT_FALSE(timeout->isEnabled());
    EXPECT_EQ(timeout->currentText(), QStringLiteral("5 minutes"));
    toggle->click();
    EXPECT_TRUE(hub->screensaver().isEnabled);
    EXPECT_TRUE(timeout->isEnabled());

    choose(timeout, QStringLiteral("15 minutes"));
    EXPECT_EQ(settings->finiteDouble(DeviceSettingsKeys::screensaverTimeout), 900.0);
    choose(find<QComboBox>("intervalPicker"), QStringLiteral("1 hour"));
    EXPECT_EQ(settings->finiteDouble(DeviceSettingsKeys::screensaverPhotoInterval), 3600.0);
    choose(find<QComboBox>("stylePicker"), QStringLiteral("Quiet Corner"));
    EXPECT_EQ(settings->text(DeviceSettingsKeys::screensaverStyle), QStringLiteral("quietCorner"));
    EXPECT_EQ(find<QLabel>("styleDescription")->text(),
              QStringLiteral("Like Corner, in whichever corner of each photo has the least going on."));

    // Set elsewhere to a value no entry has: nothing is selected, and nothing is rewritten.
    ASSERT_TRUE(hub->setScreensaverTimeout(120));
    EXPECT_EQ(timeout->currentIndex(), -1);
    ASSERT_TRUE(hub->setScreensaverTimeout(300.9));
    EXPECT_EQ(timeout->currentText(), QStringLiteral("5 minutes")) << "whole seconds are compared";
    EXPECT_EQ(settings->finiteDouble(DeviceSettingsKeys::screensaverTimeout), 300.9);
}

TEST_F(ScreensaverViewTest, LongNamesKeepBothEndsAndHelpTextsNameTheWholePhoto)
{
    page();
    const QString longName = QStringLiteral("Start of a name ") + QString(200, u'x') + QStringLiteral(" its end.jpg");
    QFile file(writePicture(QStringLiteral("a.png"), halves(Qt::red, Qt::blue), "PNG"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    hub->importPhotoData({{longName, file.readAll()}});
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    ASSERT_EQ(page().photoRows().size(), 1);

    PhotoRow* row = page().photoRows()[0];
    const QString shown = row->nameLabel()->shownText();
    EXPECT_LT(shown.size(), longName.size());
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Start of"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("end.jpg"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_EQ(row->cropButton()->toolTip(), QStringLiteral("Crop, zoom, or rotate ") + longName);
    EXPECT_EQ(row->removeButton()->toolTip(), QStringLiteral("Remove ") + longName);
    // Named after the photo when a screen reader asks, not stored with every row.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(row->cropButton())->text(QAccessible::Name),
              QStringLiteral("Crop ") + longName);
    EXPECT_TRUE(row->cropButton()->accessibleName().isEmpty());
}

// Remove takes a photo off at once, as one step of the page's own undo: Undo puts it back in its
// place with its files, and once the step is dropped (here by a new edit after the undo) the
// files go. A key edit on the macros page is not undone from here.
TEST_F(ScreensaverViewTest, RemoveIsUndoneOnThisPageAloneAndItsFilesGoWithTheStep)
{
    // A key edit while the macros page shows.
    makeWindow();
    window->show();
    const MacroButton key = profiles->activeProfile().buttons[1];
    profiles->clearKey(1);
    ASSERT_NE(profiles->activeProfile().buttons[1], key);
    QAction* undo = window->findChild<QAction*>(QStringLiteral("undoAction"));
    QAction* redo = window->findChild<QAction*>(QStringLiteral("redoAction"));
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Clear Key"));
    window->select(SidebarItem::screensaver);
    importData(2);
    EXPECT_FALSE(undo->isEnabled()) << "nothing was done on this page";
    const MacroButton cleared = profiles->activeProfile().buttons[1];
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(profiles->activeProfile().buttons[1], cleared);

    const QUuid first = hub->photoLibrary()[0].id;
    const QUuid second = hub->photoLibrary()[1].id;
    const QByteArray frame = [&] {
        QFile file(photos.framePath(first));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    page().photoRows()[0]->removeButton()->click();
    ASSERT_TRUE(waitUntil([&] { return page().photoRows().size() == 1; }));
    EXPECT_EQ(page().photoRows()[0]->photoId(), second);
    EXPECT_FALSE(QFile::exists(photos.framePath(first)));
    EXPECT_EQ(photos.readIndex().size(), 1);
    EXPECT_FALSE(shows("intervalPicker"));
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Remove Photo"));

    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return page().photoRows().size() == 2 && hub->pendingPhotoWork() == 0; }));
    EXPECT_EQ(page().photoRows()[0]->photoId(), first);
    EXPECT_EQ(photos.readFrame(first), frame);
    EXPECT_EQ(photos.readIndex().size(), 2);
    EXPECT_EQ(profiles->activeProfile().buttons[1], cleared) << "the macros page's edit stays";
    EXPECT_TRUE(redo->isEnabled());

    // Redo removes it again, keeping its files aside; once the step is dropped, they go.
    redo->trigger();
    ASSERT_TRUE(waitUntil([&] { return page().photoRows().size() == 1 && hub->pendingPhotoWork() == 0; }));
    const QString kept = QDir(photos.removedFolder()).filePath(QFileInfo(photos.framePath(first)).fileName());
    EXPECT_TRUE(QFile::exists(kept));
    window->undoStack(SidebarItem::screensaver)->clear();
    ASSERT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
    EXPECT_FALSE(QFile::exists(kept));
    EXPECT_EQ(photos.readIndex().size(), 1);
    window->select(SidebarItem::macros);
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Clear Key"));
    undo->trigger();
    EXPECT_EQ(profiles->activeProfile().buttons[1], key);
    window->select(SidebarItem::stocks);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
}

// From a photo's buttons, Ctrl+Up and Ctrl+Down move it, one undo step each, and the focus
// stays on the button it was on; the row's menu offers the same, greyed at the ends, from the
// pointer, the Menu key or Shift+F10.
TEST_F(ScreensaverViewTest, PhotosMoveUpAndDownByKeyboardOneUndoStepEach)
{
    page();
    importData(3);
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QList<QUuid> before{hub->photoLibrary()[0].id, hub->photoLibrary()[1].id, hub->photoLibrary()[2].id};
    const auto shownOrder = [&] {
        QList<QUuid> ids;
        for (PhotoRow* row : page().photoRows())
            ids.append(row->photoId());
        return ids;
    };
    const auto storedOrder = [&] {
        EXPECT_TRUE(waitUntil([&] { return hub->pendingPhotoWork() == 0; }));
        QList<QUuid> ids;
        for (const auto& entry : photos.readIndex())
            ids.append(entry.id);
        return ids;
    };
    PhotoRow* top = page().photoRows()[0];
    // One pair of actions for the whole list, offered in each row's menu.
    auto* list = find<QWidget>("photoList");
    QAction* moveUp = find<QAction>("moveUpAction");
    QAction* moveDown = find<QAction>("moveDownAction");
    EXPECT_TRUE(top->actions().isEmpty());
    EXPECT_EQ(list->findChildren<QAction*>(QStringLiteral("moveUpAction")).size(), 1);
    auto* menu = find<QMenu>("photoRowMenu");
    EXPECT_EQ(menu->actions(), (QList<QAction*>{moveUp, moveDown}));

    QToolButton* crop = top->cropButton();
    crop->setFocus(Qt::TabFocusReason);
    QTest::keyClick(crop, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(crop, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(shownOrder(), (QList<QUuid>{before[1], before[2], before[0]}));
    EXPECT_EQ(QApplication::focusWidget(), crop);
    // A screen reader hears the new place where the eye sees it, and finds it on the buttons.
    EXPECT_EQ(ScreenReaderNotice::of(window.get())->accessibleName(), QStringLiteral("Photo 3 of 3"));
    for (int place = 0; place < 3; ++place)
        for (QToolButton* button : {page().photoRows()[place]->cropButton(), page().photoRows()[place]->removeButton()})
            EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Description),
                      QStringLiteral("Photo %1 of 3").arg(place + 1));
    QTest::keyClick(crop, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(shownOrder(), (QList<QUuid>{before[1], before[2], before[0]}));
    EXPECT_EQ(QApplication::focusWidget(), crop) << "a move past the end takes the focus nowhere";
    QToolButton* firstRemove = page().photoRows()[0]->removeButton();
    firstRemove->setFocus(Qt::TabFocusReason);
    QTest::keyClick(firstRemove, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), firstRemove) << "a move past the top takes the focus nowhere";
    EXPECT_EQ(storedOrder(), shownOrder());
    EXPECT_EQ(window->undoStack(SidebarItem::screensaver)->count(), 2);
    EXPECT_EQ(window->findChild<QAction*>(QStringLiteral("undoAction"))->text(), QStringLiteral("Undo Move Photo"));

    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(shownOrder(), (QList<QUuid>{before[1], before[0], before[2]}));
    // The menu of the last row, opened by Shift+F10 from its button, moves that row, and
    // greys what its place does not allow.
    QToolButton* lastCrop = page().photoRows()[2]->cropButton();
    lastCrop->setFocus(Qt::TabFocusReason);
    QTest::keyClick(lastCrop, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }));
    EXPECT_TRUE(moveUp->isEnabled());
    EXPECT_FALSE(moveDown->isEnabled());
    menu->setActiveAction(moveUp);
    QTest::keyClick(menu, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !menu->isVisible() && moveDown->isEnabled(); }));
    EXPECT_EQ(shownOrder(), (QList<QUuid>{before[1], before[2], before[0]}));
    EXPECT_EQ(storedOrder(), shownOrder());
    EXPECT_EQ(window->undoStack(SidebarItem::screensaver)->count(), 2);
}

TEST_F(ScreensaverViewTest, TheChooserOpensInPicturesThenInTheFolderLastUsed)
{
    ScreensaverView& view = page();
    const QString pictures = QDir::homePath() + QStringLiteral("/Pictures");
    ASSERT_TRUE(QDir().mkpath(pictures));
    EXPECT_EQ(view.photoFolder(), pictures);
    const QString lake = writePicture(QStringLiteral("Lake.png"), halves(Qt::blue, Qt::white), "PNG");
    view.setFileChooser([&](QWidget*, const QString&, std::function<void(const QStringList&)> done) { done({lake}); });
    find<QPushButton>("fromFilesButton")->click();
    EXPECT_EQ(view.photoFolder(), QFileInfo(lake).absolutePath());
    ASSERT_TRUE(waitForImports());
}

TEST_F(ScreensaverViewTest, ChosenFilesAreImportedByNameAndTheUnreadableOneIsNamed)
{
    ScreensaverView& view = page();
    QString offered;
    QStringList answer{writePicture(QStringLiteral("Lake.png"), halves(Qt::blue, Qt::white), "PNG"),
                       writePicture(QStringLiteral("Hills.jpg"), halves(Qt::green, Qt::yellow), "JPEG"),
                       writeText(QStringLiteral("notes.txt"))};
    view.setFileChooser([&](QWidget*, const QString& filter, std::function<void(const QStringList&)> done) {
        offered = filter;
        done(answer);
    });

    find<QPushButton>("fromFilesButton")->click();
    EXPECT_TRUE(offered.startsWith(QStringLiteral("Images (")));
    EXPECT_TRUE(offered.contains(QStringLiteral("*.png")));
    EXPECT_TRUE(offered.contains(QStringLiteral("*.jpg")));
    EXPECT_TRUE(offered.contains(QStringLiteral("*.heic")));
    EXPECT_TRUE(offered.contains(QStringLiteral("*.heif")));
    EXPECT_TRUE(view.importProgress()->isVisibleTo(&view));
    EXPECT_EQ(find<QLabel>("importProgressText")->text(), QStringLiteral("Importing 3 photos\u2026"));
    ASSERT_TRUE(waitForImports());

    EXPECT_EQ(names(view.photoRows()), (QStringList{QStringLiteral("Lake.png"), QStringLiteral("Hills.jpg")}));
    EXPECT_TRUE(shows("photoError"));
    EXPECT_EQ(find<QLabel>("photoErrorText")->text(), QStringLiteral("Could not read notes.txt"));

    // Closing the chooser without a choice changes nothing, the error included.
    answer.clear();
    find<QPushButton>("fromFilesButton")->click();
    EXPECT_TRUE(view.importProgress()->isHidden());
    EXPECT_EQ(hub->screensaver().photoError, QStringLiteral("Could not read notes.txt"));
    EXPECT_EQ(view.photoRows().size(), 2);
}

// The end of an import is heard as the bar going and the rows coming are seen.
TEST_F(ScreensaverViewTest, TheEndOfAnImportSaysHowManyPhotosCame)
{
    ScreensaverView& view = page();
    const QStringList answer{writePicture(QStringLiteral("Lake.png"), halves(Qt::blue, Qt::white), "PNG"),
                             writePicture(QStringLiteral("Hills.jpg"), halves(Qt::green, Qt::yellow), "JPEG")};
    view.setFileChooser([&](QWidget*, const QString&, std::function<void(const QStringList&)> done) { done(answer); });
    find<QPushButton>("fromFilesButton")->click();
    ASSERT_TRUE(waitForImports());
    ASSERT_TRUE(waitUntil([&] { return view.importProgress()->isHidden(); }));
    ASSERT_NE(ScreenReaderNotice::of(window.get()), nullptr);
    EXPECT_EQ(ScreenReaderNotice::of(window.get())->accessibleName(), QStringLiteral("Added 2 photos"));
}

TEST_F(ScreensaverViewTest, DropsAreNamedInOrderAndAcceptedOnlyWhenTheyDeliver)
{
    ScreensaverView& view = page();
    EXPECT_EQ(droppedPhotoName(QDateTime(QDate(2026, 1, 5), QTime(9, 30, 59)), 3),
              QStringLiteral("Dropped 2026-01-05 0930-3"));

    const QString red = writePicture(QStringLiteral("one.png"), halves(Qt::red, Qt::red), "PNG");
    const QString blue = writePicture(QStringLiteral("two.jpg"), halves(Qt::blue, Qt::blue), "JPEG");
    std::unique_ptr<QMimeData> two(filesMime({red, blue}));
    EXPECT_TRUE(drop(*two));
    ASSERT_TRUE(waitForImports());
    const QStringList dropped = names(view.photoRows());
    ASSERT_EQ(dropped.size(), 2);
    const QRegularExpression stamp(QStringLiteral("^Dropped \\d{4}-\\d\\d-\\d\\d \\d{4}-(\\d)$"));
    EXPECT_EQ(stamp.match(dropped[0]).captured(1), QStringLiteral("1")) << dropped[0].toStdString();
    EXPECT_EQ(stamp.match(dropped[1]).captured(1), QStringLiteral("2")) << dropped[1].toStdString();
    // The second photo is the blue one: drop order is kept.
    const QUuid second = hub->photoLibrary()[1].id;
    ASSERT_TRUE(waitUntil([&] { return hub->screensaverThumbnail(second).has_value(); }));
    const QImage secondFrame = *hub->screensaverThumbnail(second);
    EXPECT_GT(QColor(secondFrame.pixel(54, 36)).blue(), 200);

    // A text file goes through and comes back as unreadable, under its dropped name.
    std::unique_ptr<QMimeData> text(filesMime({writeText(QStringLiteral("readme.txt"))}));
    EXPECT_TRUE(drop(*text));
    ASSERT_TRUE(waitForImports());
    const QString error = hub->screensaver().photoError.value_or(QString());
    EXPECT_TRUE(error.startsWith(QStringLiteral("Could not read Dropped "))) << error.toStdString();
    EXPECT_TRUE(error.endsWith(QStringLiteral("-1"))) << error.toStdString();

    // Picture data without a file is taken as the drag delivers it.
    QMimeData picture;
    picture.setImageData(halves(Qt::yellow, Qt::yellow));
    EXPECT_TRUE(drop(picture));
    ASSERT_TRUE(waitForImports());
    EXPECT_EQ(view.photoRows().size(), 3);
    EXPECT_FALSE(hub->screensaver().photoError);

    // Nothing delivered: not accepted, nothing added, and the hand-over still clears the error.
    text.reset(filesMime({files.filePath(QStringLiteral("readme.txt"))}));
    ASSERT_TRUE(drop(*text));
    ASSERT_TRUE(waitForImports());
    ASSERT_TRUE(hub->screensaver().photoError);
    // The desktop offers no such drop to the page; the page still answers it as a drop.
    QMimeData nothing;
    nothing.setText(QStringLiteral("words"));
    EXPECT_FALSE(view.dropPhotos(nothing));
    EXPECT_FALSE(hub->screensaver().photoError);
    ASSERT_TRUE(waitForImports());
    EXPECT_EQ(view.photoRows().size(), 3);
}

TEST_F(ScreensaverViewTest, OutlineShowsOnlyWhileAPictureHoversOverThePage)
{
    ScreensaverView& view = page();
    const QString path = writePicture(QStringLiteral("p.png"), halves(Qt::red, Qt::red), "PNG");
    std::unique_ptr<QMimeData> mime(filesMime({path}));
    QDragEnterEvent enter(QPoint(30, 30), Qt::CopyAction, mime.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(view.isDropTargeted());
    ASSERT_TRUE(view.dropOverlay()->isVisibleTo(&view));
    EXPECT_EQ(view.dropOverlay()->geometry(), view.rect());
    EXPECT_TRUE(view.dropOverlay()->testAttribute(Qt::WA_TransparentForMouseEvents));

    QDragLeaveEvent leave;
    QApplication::sendEvent(&view, &leave);
    EXPECT_FALSE(view.isDropTargeted());
    EXPECT_FALSE(view.dropOverlay()->isVisibleTo(&view));

    QMimeData words;
    words.setText(QStringLiteral("no picture here"));
    QDragEnterEvent wordsEnter(QPoint(30, 30), Qt::CopyAction, &words, Qt::LeftButton, {});
    QApplication::sendEvent(&view, &wordsEnter);
    EXPECT_FALSE(wordsEnter.isAccepted());
    EXPECT_FALSE(view.dropOverlay()->isVisibleTo(&view));
}

TEST_F(ScreensaverViewTest, ImportedPhotoShowsOnTheDeviceAndItsNewFramingFollows)
{
    ScreensaverView& view = page();
    connectAndGreet();
    const QString path = writePicture(QStringLiteral("Flag.png"), halves(Qt::red, Qt::blue), "PNG");
    view.setFileChooser([&](QWidget*, const QString&, std::function<void(const QStringList&)> done) { done({path}); });
    find<QPushButton>("fromFilesButton")->click();
    ASSERT_TRUE(waitForImports());
    ASSERT_EQ(view.photoRows().size(), 1);

    hub->enterScreensaver();
    waitForQuiet();
    QImage screen = deviceScreen();
    ASSERT_FALSE(screen.isNull());
    EXPECT_GT(QColor(screen.pixel(100, 60)).red(), 200);
    EXPECT_GT(QColor(screen.pixel(380, 60)).blue(), 200);

    // Mirrored in the crop editor and saved: the device shows the other way round.
    view.photoRows()[0]->cropButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view.cropEditor() != nullptr; }));
    PhotoCropEditor* editor = view.cropEditor();
    EXPECT_EQ(editor->windowModality(), Qt::WindowModal);
    editor->findChild<QToolButton*>(QStringLiteral("mirrorButton"))->click();
    editor->findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
    ASSERT_TRUE(waitUntil([&] { return view.cropEditor() == nullptr && hub->pendingPhotoWork() == 0; }));
    EXPECT_TRUE(hub->photoLibrary()[0].adjustment.mirrored);
    waitForQuiet();
    screen = deviceScreen();
    EXPECT_GT(QColor(screen.pixel(100, 60)).blue(), 200);
    EXPECT_GT(QColor(screen.pixel(380, 60)).red(), 200);
}

TEST_F(ScreensaverViewTest, ADroppedPhoneHeicShowsUprightOnTheDevice)
{
    // Stored landscape with the red half on the left, turned clockwise when shown.
    const std::optional<QByteArray> heic = heicOf(halves(Qt::red, Qt::blue, 300, 200), heif_orientation_rotate_90_cw);
    if (!heic)
        GTEST_SKIP() << "this libheif has no HEVC encoder";
    ScreensaverView& view = page();
    connectAndGreet();
    const QString path = files.filePath(QStringLiteral("IMG_0001.HEIC"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(*heic);
    file.close();

    std::unique_ptr<QMimeData> mime(filesMime({path}));
    EXPECT_TRUE(drop(*mime));
    ASSERT_TRUE(waitForImports());
    ASSERT_EQ(view.photoRows().size(), 1);
    EXPECT_FALSE(hub->screensaver().photoError);

    hub->enterScreensaver();
    waitForQuiet();
    const QImage screen = deviceScreen();
    ASSERT_FALSE(screen.isNull());
    EXPECT_GT(QColor(screen.pixel(240, 40)).red(), 200);
    // Above the shade the clock sits on.
    EXPECT_GT(QColor(screen.pixel(240, 200)).blue(), 200);
}
