// The action editor under the kind picker: the rows of each kind and their writes as
// "Edit Action" steps, the limits of the text and URL fields, the media and screenshot
// pickers, the shortcut picker fed by the shortcuts folder, the page picker's missing and
// case rules, and the application chooser over desktop entries in private XDG folders.

#include "MacrosFixture.h"

#include "support/PrivateSessionBus.h"
#include "ui/macros/ActionEditor.h"
#include "ui/macros/AppChooser.h"
#include "ui/widgets/AppIconView.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/ScreenReaderNotice.h"
#include "ui/widgets/WrappingText.h"

#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QImage>
#include <QLabel>
#include <QAccessible>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>

namespace {

QStringList itemTexts(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out.append(box->itemText(i));
    return out;
}

QStringList rowLabels(const ActionEditor* editor)
{
    // The rows of the editor's form and of the forms of editors it holds.
    QStringList out;
    for (const auto* form : editor->findChildren<QFormLayout*>()) {
        for (int row = 0; row < form->rowCount(); ++row) {
            if (QLayoutItem* item = form->itemAt(row, QFormLayout::LabelRole))
                out.append(static_cast<QLabel*>(item->widget())->text());
        }
    }
    return out;
}

QByteArray desktopEntry(const QString& name, const QByteArray& extra = {})
{
    return "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=/bin/true\n" + extra;
}

}  // namespace

class ActionEditorTest : public MacrosTest {
protected:
    ActionEditor* edit(const MacroAction& action)
    {
        page();
        putKey(0, key(QStringLiteral("Key"), action));
        clickTile(0);
        return page().inspector()->actionEditor();
    }

    const MacroAction& stored() const { return active().buttons[0].action; }

    // Presses "Choose…" and returns the chooser it opened, its entries read.
    AppChooser* openChooser()
    {
        find<QPushButton>("chooseAppButton")->click();
        AppChooser* shown = nullptr;
        for (AppChooser* chooser : window->findChildren<AppChooser*>()) {
            if (chooser->isVisible())
                shown = chooser;
        }
        EXPECT_NE(shown, nullptr);
        if (shown) {
            EXPECT_TRUE(QTest::qWaitFor([shown] { return shown->isLoaded(); }, 5000));
        }
        return shown;
    }
    int steps() { return window->undoStack(SidebarItem::macros)->count(); }
    QString undoText() { return window->undoStack(SidebarItem::macros)->undoText(); }
};

TEST_F(ActionEditorTest, EachKindShowsItsRows)
{
    const QList<std::pair<MacroAction, QStringList>> kinds = {
        {MacroAction::unassigned(), {}},
        {MacroAction::keystroke({16, HIDModifiers{0x0A}}), {"Shortcut", "Key", "Modifiers"}},
        {MacroAction::media(MediaKey::mute), {"Media key"}},
        {MacroAction::openApp({}), {"App"}},
        {MacroAction::openURL(QStringLiteral("https://")), {"URL"}},
        {MacroAction::runShortcut({}), {"Shortcut"}},
        {MacroAction::typeText({}), {"Text"}},
        {MacroAction::screenshot({}), {"Capture", "Save to", "Permission"}},
        {MacroAction::showScreen({}), {"Screen"}},
    };
    for (const auto& [action, labels] : kinds) {
        ActionEditor* editor = edit(action);
        EXPECT_EQ(rowLabels(editor), labels) << int(action.kind());
    }
    // The chord as Linux desktops write it.
    edit(MacroAction::keystroke({16, HIDModifiers{0x0A}}));
    EXPECT_EQ(find<QLabel>("chordText")->text(), QStringLiteral("Shift+Super+M"));
    // An open-app key without a name reads as none, though it has an id.
    edit(MacroAction::openApp({QStringLiteral("org.example.Editor"), QString()}));
    EXPECT_EQ(find<QLabel>("appName")->text(), QStringLiteral("None"));
}

TEST_F(ActionEditorTest, MediaAndScreenshotPickersWriteOneStepEach)
{
    edit(MacroAction::media(MediaKey::playPause));
    QComboBox* media = find<QComboBox>("mediaKeyPicker");
    EXPECT_EQ(itemTexts(media), (QStringList{"Play/Pause", "Next Track", "Previous Track", "Stop", "Mute", "Volume Up",
                                            "Volume Down", "Brightness Up", "Brightness Down", "Eject"}));
    const int before = steps();
    choose(media, 9);
    EXPECT_EQ(stored(), MacroAction::media(MediaKey::eject));
    EXPECT_EQ(steps(), before + 1);
    EXPECT_EQ(undoText(), QStringLiteral("Edit Action"));

    using Options = ScreenshotOptions;
    edit(MacroAction::screenshot({Options::Mode::selection, Options::Destination::clipboard}));
    QComboBox* capture = find<QComboBox>("capturePicker");
    QComboBox* saveTo = find<QComboBox>("saveToPicker");
    EXPECT_EQ(itemTexts(capture), (QStringList{"Selection", "Window", "Full Screen"}));
    EXPECT_EQ(itemTexts(saveTo), (QStringList{"Screenshots folder", "Clipboard"}));
    EXPECT_EQ(saveTo->currentIndex(), 1);
    choose(capture, 1);
    EXPECT_EQ(stored(), MacroAction::screenshot({Options::Mode::window, Options::Destination::clipboard}));
    choose(saveTo, 0);
    EXPECT_EQ(stored(), MacroAction::screenshot({Options::Mode::window, Options::Destination::file}));
    EXPECT_EQ(undoText(), QStringLiteral("Edit Action"));
}

TEST_F(ActionEditorTest, ThePermissionRowSaysWhetherTheDesktopOffersAScreenshotPortal)
{
    // A bus of the test's own, without a portal.
    TarvFake::PrivateSessionBus bus;
    if (!bus.start())
        GTEST_SKIP() << bus.lastError().toStdString();
    const QString connection = QStringLiteral("tarv-permission-row");
    page();
    hub->actionRunner().bus = [&] { return QDBusConnection::connectToBus(bus.address(), connection); };
    edit(MacroAction::screenshot({}));
    auto* row = find<ScreenRecordingPermissionRow>("permissionRow");
    ASSERT_TRUE(waitUntil([&] { return row->hasAnswer(); }));
    EXPECT_EQ(find<QLabel>("permissionText")->text(), ScreenRecordingPermissionRow::offeredText(false, false));
    EXPECT_TRUE(
        find<QLabel>("permissionText")->text().startsWith(QStringLiteral("No desktop portal offers screenshots")));
    // Its lines wrap whole in the inspector at every size of the window, the smallest too.
    for (const QSize size : {window->minimumSize(), QSize(1366, 768), QSize(1920, 1080)}) {
        putKey(0, key(QStringLiteral("Key"), MacroAction::unassigned()));
        window->resize(size);
        edit(MacroAction::screenshot({}));
        auto* answered = find<ScreenRecordingPermissionRow>("permissionRow");
        ASSERT_TRUE(waitUntil([&] { return answered->hasAnswer(); }));
        auto* text = find<QLabel>("permissionText");
        EXPECT_TRUE(waitUntil([&] { return text->height() == text->heightForWidth(text->width()); }))
            << size.width() << "x" << size.height() << ": " << text->height() << " of "
            << text->heightForWidth(text->width());
    }
    putKey(0, key(QStringLiteral("Key"), MacroAction::unassigned()));
    QDBusConnection::disconnectFromBus(connection);
}

TEST_F(ActionEditorTest, TestKeyShowsItsOutcomeBesideIt)
{
    TempXdg::write(xdg.path("data") + QStringLiteral("/applications/org.example.Gone.desktop"),
                   desktopEntry(QStringLiteral("Gone")).replace("Exec=/bin/true", "Exec=/nonexistent/gone"));
    edit(MacroAction::openApp({QStringLiteral("org.example.Gone"), QStringLiteral("Gone")}));
    auto* outcome = find<WrappingText>("testKeyOutcome");
    EXPECT_FALSE(outcome->isVisibleTo(window.get()));
    find<QPushButton>("testKeyButton")->click();
    ASSERT_TRUE(waitUntil([&] { return outcome->text().startsWith(QStringLiteral("\u2717 ")); }));
    EXPECT_TRUE(outcome->isVisibleTo(window.get()));
    // A screen reader hears the outcome where the user is, and finds it on the button after.
    EXPECT_EQ(ScreenReaderNotice::of(window.get())->accessibleName(), outcome->text());
    EXPECT_EQ(find<QPushButton>("testKeyButton")->accessibleDescription(), outcome->text());
    EXPECT_TRUE(std::any_of(hub->log().cbegin(), hub->log().cend(), [&](const LogEntry& e) {
        return e.text == QStringLiteral("Key failed: ") + outcome->text().mid(2);
    }));

    const AppTarget other{QStringLiteral("org.example.Other"), QStringLiteral("Other")};
    putKey(0, key(QStringLiteral("Key"), MacroAction::openApp(other)));
    EXPECT_FALSE(outcome->isVisibleTo(window.get()));

    // A copy of the profile shows the same key in the same slot, but it was not tested there.
    find<QPushButton>("testKeyButton")->click();
    ASSERT_TRUE(waitUntil([&] { return outcome->isVisibleTo(window.get()); }));
    trigger("duplicateProfileAction");
    EXPECT_EQ(page().selection(), 0);
    EXPECT_FALSE(outcome->isVisibleTo(window.get()));
}

TEST_F(ActionEditorTest, TheTextEditorNamesTheCharactersTarvWillSkipAsTheyAreTyped)
{
    edit(MacroAction::typeText({}));
    auto* note = find<QLabel>("textSkippedNote");
    // QTest types ASCII only; these are the key events of a keyboard that has the rest.
    const auto type = [&](const QString& text) {
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, find<QLineEdit>("textField"), Qt::Key_unknown, QString(c), {});
    };
    type(QStringLiteral("h\u00E9llo"));
    EXPECT_TRUE(note->isVisibleTo(window.get()));
    EXPECT_EQ(note->text(), QStringLiteral("Tarv types with a US keyboard layout and will skip \u00E9."));
    // Heard where it is typed, as it changes.
    EXPECT_EQ(find<QLineEdit>("textField")->accessibleDescription(), note->text());
    type(QStringLiteral(" w\u00F6rld \u20AC5 \u00F1"));
    EXPECT_EQ(note->text(),
              QStringLiteral("Tarv types with a US keyboard layout and will skip \u00E9 \u00F6 \u20AC \u00F1."));
    EXPECT_EQ(find<QLineEdit>("textField")->accessibleDescription(), note->text());
    edit(MacroAction::typeText(QStringLiteral("hello")));
    EXPECT_FALSE(note->isVisibleTo(window.get()));
    EXPECT_EQ(find<QLineEdit>("textField")->accessibleDescription(), QString());
}

TEST_F(ActionEditorTest, UrlIsWrittenAsTypedAndTextIsCutAt200Characters)
{
    edit(MacroAction::openURL(QStringLiteral("https://")));
    auto* url = find<QLineEdit>("urlField");
    EXPECT_EQ(url->placeholderText(), QStringLiteral("https://"));
    QTest::keyClicks(url, QStringLiteral(" x "));
    EXPECT_EQ(stored(), MacroAction::openURL(QStringLiteral("https:// x ")));
    EXPECT_EQ(undoText(), QStringLiteral("Edit Action"));
    url->selectAll();
    QTest::keyClick(url, Qt::Key_Backspace);
    EXPECT_EQ(stored(), MacroAction::openURL(QString()));

    edit(MacroAction::typeText({}));
    auto* text = find<QLineEdit>("textField");
    EXPECT_EQ(text->placeholderText(), QStringLiteral("Text to type"));
    const int before = steps();
    text->insert(QString(250, u'a'));
    EXPECT_EQ(stored(), MacroAction::typeText(QString(200, u'a')));
    EXPECT_EQ(text->text(), QString(200, u'a'));
    EXPECT_EQ(steps(), before + 1);
    // A paste past the limit that changes nothing stored still shows the kept text.
    text->insert(QStringLiteral("b"));
    EXPECT_EQ(text->text(), QString(200, u'a'));
    EXPECT_EQ(steps(), before + 1);

    // Characters, not UTF-16 units: 200 skin-toned emoji are all kept, the 201st is not.
    QString emoji;
    for (int i = 0; i < 201; ++i)
        emoji += QStringLiteral("\U0001F44D\U0001F3FD");
    text->selectAll();
    text->insert(emoji);
    const auto* typed = stored().as<MacroAction::TypeText>();
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->text, emoji.left(200 * 4));
}

TEST_F(ActionEditorTest, ShortcutPickerListsTheShortcutsFolderAndKeepsAnUnlistedName)
{
    const QString folder = xdg.path("data") + QStringLiteral("/Tarv/Shortcuts/");
    TempXdg::write(folder + QStringLiteral("backup"), "#!/bin/sh\n", true);
    TempXdg::write(folder + QStringLiteral("Deploy"), "#!/bin/sh\n", true);
    edit(MacroAction::runShortcut(QStringLiteral("gone")));
    QComboBox* picker = find<QComboBox>("shortcutPicker");
    const QStringList listed{"Choose Shortcut", "gone", "backup", "Deploy"};
    EXPECT_TRUE(waitUntil([&] { return itemTexts(picker) == listed; }));
    EXPECT_EQ(itemTexts(picker), listed);
    EXPECT_EQ(picker->currentText(), QStringLiteral("gone"));
    choose(picker, 3);
    EXPECT_EQ(stored(), MacroAction::runShortcut(QStringLiteral("Deploy")));
    EXPECT_EQ(itemTexts(picker), (QStringList{"Choose Shortcut", "backup", "Deploy"}));
    EXPECT_EQ(picker->currentText(), QStringLiteral("Deploy"));
    EXPECT_EQ(undoText(), QStringLiteral("Edit Action"));
    choose(picker, 0);
    EXPECT_EQ(stored(), MacroAction::runShortcut(QString()));
}

TEST_F(ActionEditorTest, NewShortcutsAppearWithoutLeavingThePageAndNoneSaysWhereTheyLiveInLinesShownWhole)
{
    const QString folder = xdg.path("data") + QStringLiteral("/Tarv/Shortcuts");
    edit(MacroAction::runShortcut({}));
    auto* note = find<QLabel>("shortcutsFolderNote");
    ASSERT_TRUE(waitUntil([&] { return note->isVisibleTo(window.get()); }));
    EXPECT_EQ(note->text(), ActionEditor::shortcutsFolderNote(folder));
    EXPECT_TRUE(note->text().contains(QStringLiteral("~/")) || !folder.startsWith(QDir::homePath()));
    // Its lines wrap whole at every size of the window, the smallest too.
    for (const QSize size : {window->minimumSize(), QSize(1366, 768), QSize(1920, 1080)}) {
        window->resize(size);
        EXPECT_TRUE(waitUntil([&] { return note->height() == note->heightForWidth(note->width()); }))
            << size.width() << "x" << size.height() << ": " << note->height() << " of "
            << note->heightForWidth(note->width());
    }

    TempXdg::write(folder + QStringLiteral("/Deploy"), "#!/bin/sh\n", true);
    QComboBox* picker = find<QComboBox>("shortcutPicker");
    EXPECT_TRUE(waitUntil([&] { return itemTexts(picker) == (QStringList{"Choose Shortcut", "Deploy"}); }));
    EXPECT_EQ(itemTexts(picker), (QStringList{"Choose Shortcut", "Deploy"}));
    EXPECT_FALSE(note->isVisibleTo(window.get()));
}

TEST_F(ActionEditorTest, ScreenPickerFindsPagesIgnoringCaseAndMarksMissingOnesWithoutWriting)
{
    screens.add(QStringLiteral("weather"), QStringLiteral("Weather"), true);
    edit(MacroAction::showScreen(QStringLiteral("Home")));
    QComboBox* picker = find<QComboBox>("screenPicker");
    const QStringList pages = itemTexts(picker);
    ASSERT_GE(pages.size(), 3);
    EXPECT_EQ(pages.first(), QStringLiteral("Choose Screen"));
    EXPECT_FALSE(pages.join(u'|').contains(QStringLiteral("(missing)")));
    // The device shows the home page for "Home": so does the picker.
    EXPECT_EQ(picker->currentText(), QStringLiteral("Home"));
    EXPECT_TRUE(pages.contains(QStringLiteral("Weather")));
    const int before = steps();
    EXPECT_EQ(stored(), MacroAction::showScreen(QStringLiteral("Home")));

    // Approval withdrawn: shown as missing, still nothing written.
    edit(MacroAction::showScreen(QStringLiteral("weather")));
    EXPECT_EQ(picker->currentText(), QStringLiteral("Weather"));
    screens.memoryTrust.approvedIDs.remove(QStringLiteral("weather"));
    screens.onChange();
    EXPECT_TRUE(waitUntil([&] { return picker->currentText() == QStringLiteral("weather (missing)"); }));
    EXPECT_EQ(picker->currentText(), QStringLiteral("weather (missing)"));
    EXPECT_EQ(picker->itemText(1), QStringLiteral("weather (missing)"));
    EXPECT_EQ(stored(), MacroAction::showScreen(QStringLiteral("weather")));

    const int home = int(itemTexts(picker).indexOf(QStringLiteral("Home")));
    choose(picker, home);
    EXPECT_EQ(stored(), MacroAction::showScreen(QStringLiteral("home")));
    EXPECT_EQ(undoText(), QStringLiteral("Edit Action"));
    EXPECT_GT(steps(), before);
    EXPECT_FALSE(itemTexts(picker).join(u'|').contains(QStringLiteral("(missing)")));
}

TEST_F(ActionEditorTest, ApplicationChooserListsDesktopEntriesAndWritesIdAndName)
{
    const QString apps = xdg.path("data") + QStringLiteral("/applications/");
    const QString iconPath = xdg.path("data") + QStringLiteral("/editor.png");
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::blue);
    ASSERT_TRUE(icon.save(iconPath));
    TempXdg::write(apps + QStringLiteral("org.example.Editor.desktop"),
                   desktopEntry(QStringLiteral("Text.app Editor"), "Icon=" + iconPath.toUtf8() + "\n"));
    TempXdg::write(apps + QStringLiteral("helper.desktop"), desktopEntry(QStringLiteral("Helper"), "NoDisplay=true\n"));
    TempXdg::write(apps + QStringLiteral("gone.desktop"), desktopEntry(QStringLiteral("Gone"), "Hidden=true\n"));
    TempXdg::write(xdg.path("system") + QStringLiteral("/applications/calc.desktop"),
                   desktopEntry(QStringLiteral("Abacus")));

    edit(MacroAction::openApp({}));
    EXPECT_EQ(find<QLabel>("appName")->text(), QStringLiteral("None"));
    AppChooser* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    auto* list = chooser->findChild<QListView*>(QStringLiteral("appList"));
    const auto names = [list] {
        QStringList shown;
        for (int i = 0; i < list->model()->rowCount(); ++i)
            shown.append(list->model()->index(i, 0).data().toString());
        return shown;
    };
    EXPECT_EQ(names(), (QStringList{"Abacus", "Text.app Editor"}));

    // The search leaves the others out of the list a screen reader reads, not only out of sight.
    QTest::keyClicks(chooser->findChild<QLineEdit*>(QStringLiteral("appSearchField")), QStringLiteral("edit"));
    EXPECT_EQ(names(), QStringList{"Text.app Editor"});
    EXPECT_EQ(QAccessible::queryAccessibleInterface(list)->childCount(), 1);
    // The id is searched as well.
    QTest::keyClick(chooser->findChild<QLineEdit*>(QStringLiteral("appSearchField")), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(chooser->findChild<QLineEdit*>(QStringLiteral("appSearchField")), QStringLiteral("calc"));
    EXPECT_EQ(names(), QStringList{"Abacus"});
    QTest::keyClick(chooser->findChild<QLineEdit*>(QStringLiteral("appSearchField")), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(chooser->findChild<QLineEdit*>(QStringLiteral("appSearchField")), QStringLiteral("edit"));
    const AppTarget editor{QStringLiteral("org.example.Editor"), QStringLiteral("Text.app Editor")};
    EXPECT_EQ(chooser->chosenApp(), editor);
    const int before = steps();
    chooser->findChild<QPushButton*>(QStringLiteral("appChooseButton"))->click();
    // The entry's Name as it stands: nothing is taken out of it.
    EXPECT_EQ(stored(), MacroAction::openApp(editor));
    EXPECT_EQ(steps(), before + 1);
    EXPECT_EQ(undoText(), QStringLiteral("Edit Action"));
    EXPECT_EQ(find<ElidedLabel>("appName")->fullText(), QStringLiteral("Text.app Editor"));
    auto* iconView = page().inspector()->actionEditor()->findChild<AppIconView*>();
    ASSERT_NE(iconView, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !iconView->showsFallback(); }));

    // A cancelled chooser changes nothing.
    chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    chooser->reject();
    EXPECT_EQ(steps(), before + 1);
}

TEST_F(ActionEditorTest, ReturnInTheChooserTakesTheHighlightedApplication)
{
    const QString apps = xdg.path("data") + QStringLiteral("/applications/");
    TempXdg::write(apps + QStringLiteral("abacus.desktop"), desktopEntry(QStringLiteral("Abacus")));
    TempXdg::write(apps + QStringLiteral("vim.desktop"), desktopEntry(QStringLiteral("Vim")));
    edit(MacroAction::openApp({}));
    AppChooser* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    auto* search = chooser->findChild<QLineEdit*>(QStringLiteral("appSearchField"));
    QTest::keyClicks(search, QStringLiteral("vim"));
    const int before = steps();
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(stored(), MacroAction::openApp({QStringLiteral("vim"), QStringLiteral("Vim")}));
    EXPECT_EQ(steps(), before + 1);
    EXPECT_FALSE(chooser->isVisible());
}

TEST_F(ActionEditorTest, ALongApplicationNameIsCutAndTheInspectorStaysInTheWindow)
{
    const QString name = QStringLiteral("Openbox Configuration Manager");
    edit(MacroAction::openApp({QStringLiteral("obconf"), name}));
    window->resize(1080, 640);
    EXPECT_TRUE(waitUntil([&] { return window->size() == QSize(1080, 640); }));
    EXPECT_EQ(window->size(), QSize(1080, 640));
    QCoreApplication::processEvents();
    auto* appName = find<ElidedLabel>("appName");
    EXPECT_EQ(appName->fullText(), name);
    for (const char* button : {"chooseAppButton", "testKeyButton", "clearKeyButton"}) {
        auto* widget = find<QPushButton>(button);
        const QRect inWindow(widget->mapTo(window.get(), QPoint(0, 0)), widget->size());
        EXPECT_LE(inWindow.right(), window->width()) << button;
    }
    EXPECT_TRUE(appName->isElided());
    EXPECT_EQ(appName->toolTip(), name);
}

TEST_F(ActionEditorTest, AppIconFallsBackUntilTheEntryIsInstalled)
{
    AppIconView view;
    view.setApp({});
    EXPECT_TRUE(view.showsFallback());
    view.setApp({QStringLiteral("org.example.Later"), QStringLiteral("Later")});
    QSignalSpy resolved(&view, &AppIconView::iconResolved);
    EXPECT_TRUE(waitUntil([&] { return resolved.count() == 1; }));
    EXPECT_EQ(resolved.count(), 1);
    EXPECT_TRUE(view.showsFallback());

    const QString iconPath = xdg.path("data") + QStringLiteral("/later.png");
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    ASSERT_TRUE(icon.save(iconPath));
    TempXdg::write(xdg.path("data") + QStringLiteral("/applications/org.example.Later.desktop"),
                   desktopEntry(QStringLiteral("Later"), "Icon=" + iconPath.toUtf8() + "\n"));
    view.setApp({QStringLiteral("org.example.Later"), QStringLiteral("Later")});
    ASSERT_TRUE(waitUntil([&] { return !view.showsFallback(); }));
}

TEST_F(ActionEditorTest, AKeySetUpInTheWindowOpensItsApplicationWhenTheDeviceTapsIt)
{
    const QString marker = xdg.path("data") + QStringLiteral("/opened");
    TempXdg::write(xdg.path("data") + QStringLiteral("/applications/org.example.Marker.desktop"),
                   desktopEntry(QStringLiteral("Marker"))
                       .replace("Exec=/bin/true", "Exec=/usr/bin/touch " + marker.toUtf8()));
    edit(MacroAction::openApp({}));
    connectAndGreet();
    AppChooser* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    chooser->findChild<QPushButton*>(QStringLiteral("appChooseButton"))->click();
    ASSERT_EQ(stored(), MacroAction::openApp({QStringLiteral("org.example.Marker"), QStringLiteral("Marker")}));

    // Key 1 sits in the top left corner of the device's grid.
    device.tap(20, 50);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(marker); }));
}
