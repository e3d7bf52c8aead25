// The macros page: its first state, the profile bar's operations, the delete confirmation,
// resending, the undo stack hand-over and undo through the Edit menu, and a label edit that
// reaches the device.

#include "MacrosFixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>

namespace {

// The device's screen as a snapshot shows it; null when the capture fails.
QImage deviceScreen(DeviceManager& hub)
{
    std::optional<QImage> image;
    hub.captureSnapshot([&](const DeviceManager::SnapshotResult& result) {
        const auto* snapshot = std::get_if<TarvUSB::DeviceSnapshot>(&result);
        image = snapshot ? snapshot->makeImage() : QImage();
    });
    if (!waitUntil([&] { return image.has_value(); }))
        return {};
    return *image;
}

QStringList comboTexts(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out.append(box->itemText(i));
    return out;
}

}  // namespace

TEST_F(MacrosTest, AFreshPageSelectsTheFirstKeyShowsItsInspectorAndTakesTheWindowsUndoStack)
{
    MacrosView& view = page();
    EXPECT_EQ(view.selection(), 0);
    EXPECT_TRUE(view.canvas()->tile(0)->isSelected());
    EXPECT_EQ(find<QGroupBox>("keySection")->parentWidget()->isVisible(), true);
    EXPECT_EQ(find<QGroupBox>("keySection")->title(), QStringLiteral("Key 1"));
    EXPECT_EQ(find<QLineEdit>("labelField")->text(), active().buttons[0].label);
    EXPECT_EQ(profiles->undoStack(), window->undoStack(SidebarItem::macros));
    EXPECT_EQ(view.canvas()->buttons(), active().buttons);
    EXPECT_EQ(find<QLabel>("keyCaption")->text(),
              QStringLiteral("Drag keys or press Ctrl+arrow keys to rearrange. Changes appear on Tarv as you edit."));

    // A selection past the keys shows the empty state.
    view.setSelection(12);
    EXPECT_FALSE(find<QWidget>("inspectorScroll")->isVisible());
    EXPECT_TRUE(find<QWidget>("noKeySelected")->isVisible());
    EXPECT_EQ(find<QLabel>("noKeySelectedTitle")->text(), QStringLiteral("No Key Selected"));
    EXPECT_EQ(find<QLabel>("noKeySelectedDescription")->text(), QStringLiteral("Select a key on the grid to edit it."));
}

TEST_F(MacrosTest, AnUndoStackThatComesLaterIsHandedToTheStore)
{
    makeHub();
    MacrosView view(*hub, nullptr);
    view.show();
    EXPECT_EQ(profiles->undoStack(), nullptr);
    QUndoStack stack;
    view.setUndoStack(&stack);
    EXPECT_EQ(profiles->undoStack(), &stack);
    view.setUndoStack(nullptr);
    EXPECT_EQ(profiles->undoStack(), nullptr);
}

// The toolbar slot is made without a parent: it goes with a view that no toolbar took it
// from, and stays in the toolbar that did.
TEST_F(MacrosTest, TheToolbarSlotGoesWithTheViewUnlessAToolbarHoldsIt)
{
    makeHub();
    QPointer<QWidget> slot;
    {
        MacrosView view(*hub, nullptr);
        slot = view.toolbarSlot();
    }
    EXPECT_TRUE(slot.isNull());

    QToolBar toolbar;
    {
        MacrosView view(*hub, nullptr);
        slot = view.toolbarSlot();
        toolbar.addWidget(slot);
    }
    ASSERT_FALSE(slot.isNull());
    EXPECT_EQ(slot->parentWidget(), &toolbar);
}

TEST_F(MacrosTest, TheInspectorCommandHidesTheColumnOnlyWhileTheMacrosPageShows)
{
    MacrosView& view = page();
    QAction* show = find<QAction>("showInspectorAction");
    EXPECT_TRUE(show->isEnabled());
    EXPECT_TRUE(show->isChecked());
    show->trigger();
    EXPECT_FALSE(view.isInspectorShown());
    EXPECT_FALSE(find<QWidget>("inspectorColumn")->isVisible());
    show->trigger();
    EXPECT_TRUE(find<QWidget>("inspectorColumn")->isVisible());

    window->select(SidebarItem::stocks);
    EXPECT_FALSE(show->isEnabled());
    EXPECT_TRUE(view.isInspectorShown());
    window->select(SidebarItem::macros);
    EXPECT_TRUE(show->isChecked());
}

TEST_F(MacrosTest, ThePickerListsEveryProfileAndPickingOneSelectsItsFirstKey)
{
    MacrosView& view = page();
    profiles->addProfile(false);
    profiles->renameProfile(profiles->activeID(), QString());
    QComboBox* picker = find<QComboBox>("profilePicker");
    EXPECT_EQ(comboTexts(picker), (QStringList{"Default", "Untitled"}));
    EXPECT_EQ(picker->currentIndex(), 1);
    EXPECT_EQ(picker->toolTip(), QStringLiteral("Switch the profile shown on Tarv"));
    EXPECT_EQ(find<QLineEdit>("renameField")->text(), QString());
    EXPECT_EQ(find<QAction>("duplicateProfileAction")->text(), QStringLiteral("Duplicate \u201C\u201D"));
    EXPECT_EQ(find<QAction>("deleteProfileAction")->text(), QStringLiteral("Delete \u201C\u201D\u2026"));

    clickTile(5);
    EXPECT_EQ(view.selection(), 5);
    choose(picker, 0);
    EXPECT_EQ(active().name, QStringLiteral("Default"));
    EXPECT_EQ(view.selection(), 0);
    EXPECT_EQ(find<QGroupBox>("keySection")->title(), QStringLiteral("Key 1"));
    EXPECT_EQ(find<QLineEdit>("renameField")->text(), QStringLiteral("Default"));
}

TEST_F(MacrosTest, TheProfileMenuMakesNewAndDuplicateProfilesAndDeletesAfterConfirming)
{
    MacrosView& view = page();
    EXPECT_FALSE(find<QAction>("deleteProfileAction")->isEnabled());
    EXPECT_EQ(find<QToolButton>("profileMenuButton")->toolTip(), QStringLiteral("Add, duplicate or delete profiles"));

    clickTile(3);
    trigger("newProfileAction");
    EXPECT_EQ(active().name, QStringLiteral("New Profile"));
    EXPECT_EQ(view.selection(), 0);
    EXPECT_TRUE(find<QAction>("deleteProfileAction")->isEnabled());

    clickTile(3);
    trigger("duplicateProfileAction");
    EXPECT_EQ(active().name, QStringLiteral("New Profile Copy"));
    EXPECT_EQ(view.selection(), 3);
    EXPECT_EQ(profiles->profiles().size(), 3);

    trigger("deleteProfileAction");
    ProfileBar* bar = view.profileBar();
    ASSERT_TRUE(bar->isConfirmingDelete());
    QMessageBox* box = bar->deleteConfirmation();
    EXPECT_EQ(box->text(), QStringLiteral("Delete \u201CNew Profile Copy\u201D?"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("Its keys are removed."));
    box->findChild<QPushButton*>(QStringLiteral("deleteProfileButton"))->click();
    EXPECT_FALSE(bar->isConfirmingDelete());
    EXPECT_EQ(profiles->profiles().size(), 2);
    EXPECT_EQ(active().name, QStringLiteral("New Profile"));
    EXPECT_EQ(view.selection(), 0);

    // Cancelling deletes nothing.
    trigger("deleteProfileAction");
    bar->deleteConfirmation()->button(QMessageBox::Cancel)->click();
    EXPECT_FALSE(bar->isConfirmingDelete());
    EXPECT_EQ(profiles->profiles().size(), 2);
}

TEST_F(MacrosTest, TheDeleteConfirmationDeletesTheProfileItNamesOrNothing)
{
    MacrosView& view = page();
    const QUuid first = profiles->activeID();
    const QUuid second = profiles->addProfile(false).id;
    profiles->addProfile(false);
    profiles->addProfile(false);
    profiles->activateProfile(first);
    const auto exists = [&](const QUuid& id) {
        return std::any_of(profiles->profiles().cbegin(), profiles->profiles().cend(),
                           [&](const MacroProfile& p) { return p.id == id; });
    };
    const auto confirm = [&] {
        view.profileBar()->deleteConfirmation()->findChild<QPushButton*>(QStringLiteral("deleteProfileButton"))->click();
    };

    // Another profile becomes active while the question is open (the application in front
    // changed): the profile the question named is deleted, not the active one.
    trigger("deleteProfileAction");
    profiles->activateProfile(second);
    confirm();
    EXPECT_EQ(profiles->profiles().size(), 3);
    EXPECT_FALSE(exists(first));
    EXPECT_EQ(profiles->activeID(), second);

    // The named profile went meanwhile: nothing is deleted and the selection stays.
    clickTile(4);
    trigger("deleteProfileAction");
    profiles->deleteProfile(second);
    const QUuid nowActive = profiles->activeID();
    confirm();
    EXPECT_EQ(profiles->profiles().size(), 2);
    EXPECT_EQ(profiles->activeID(), nowActive);
    EXPECT_EQ(view.selection(), 4);
}

TEST_F(MacrosTest, TheRenameFieldStoresEveryKeystrokeAndKeepsFocusAndCaret)
{
    page();
    QApplication::setActiveWindow(window.get());
    QLineEdit* field = find<QLineEdit>("renameField");
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Profile name"));
    field->setFocus();
    ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }));
    QTest::keyClick(field, Qt::Key_End);
    QSignalSpy changes(profiles.get(), &ProfileStore::profilesChanged);
    QTest::keyClicks(field, QStringLiteral(" Mac "));
    EXPECT_EQ(changes.count(), 5);
    EXPECT_EQ(active().name, QStringLiteral("Default Mac "));
    EXPECT_EQ(find<QLineEdit>("renameField"), field);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->cursorPosition(), field->text().size());
    EXPECT_EQ(find<QComboBox>("profilePicker")->currentText(), QStringLiteral("Default Mac "));

    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(active().name, QString());
    EXPECT_EQ(find<QComboBox>("profilePicker")->currentText(), QStringLiteral("Untitled"));
    EXPECT_EQ(field->text(), QString());
}

TEST_F(MacrosTest, ResendIsEnabledOnlyWhileConnectedAndSendsTheHomePage)
{
    page();
    QPushButton* resend = find<QPushButton>("resendButton");
    EXPECT_EQ(resend->toolTip(), QStringLiteral("Rebuild the Home screen on Tarv from this profile"));
    EXPECT_FALSE(resend->isEnabled());
    attach();
    EXPECT_FALSE(resend->isEnabled());
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return resend->isEnabled(); }));
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty() && hub->queuedFrames().isEmpty(); }));

    hub->showScreen(DeviceScreen::calculator());
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty() && hub->queuedFrames().isEmpty(); }));
    const qsizetype before = patchCount();
    resend->click();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    ASSERT_TRUE(waitUntil([&] { return patchCount() >= before + 3; }));
    // The device's key 1 shows the profile's first label again.
    ASSERT_TRUE(waitUntil([&] {
        const auto* label = device.widgets().find(300);
        return label && label->text == active().buttons[0].label;
    }));
}

TEST_F(MacrosTest, LabelEditsAreUndoneAndRedoneThroughTheEditMenuAndReachTheDevice)
{
    page();
    connectAndGreet();
    const QString before = active().buttons[0].label;
    const QImage shownBefore = deviceScreen(*hub);
    QLineEdit* label = find<QLineEdit>("labelField");
    QTest::keyClick(label, Qt::Key_End);
    QTest::keyClicks(label, QStringLiteral("!?"));
    EXPECT_EQ(active().buttons[0].label, before + QStringLiteral("!?"));
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), 1);
    QAction* undo = find<QAction>("undoAction");
    QAction* redo = find<QAction>("redoAction");
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Edit Label"));

    // The device's home page follows the edits, and its screen shows them.
    ASSERT_TRUE(waitUntil([&] {
        const auto* node = device.widgets().find(300);
        return node && node->text == before + QStringLiteral("!?");
    }));
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty() && hub->queuedFrames().isEmpty(); }));
    const QImage shownAfter = deviceScreen(*hub);
    ASSERT_FALSE(shownAfter.isNull());
    using G = MacroProfile::KeyGrid;
    const QRect firstKey(G::originX, G::originY, G::keyWidth, G::keyHeight);
    EXPECT_NE(shownBefore.copy(firstKey), shownAfter.copy(firstKey));
    EXPECT_EQ(shownBefore.copy(firstKey.translated(G::columnPitch, 0)), shownAfter.copy(firstKey.translated(G::columnPitch, 0)));

    trigger("undoAction");
    EXPECT_EQ(active().buttons[0].label, before);
    EXPECT_EQ(label->text(), before);
    EXPECT_EQ(redo->text(), QStringLiteral("Redo Edit Label"));
    EXPECT_FALSE(undo->isEnabled());
    trigger("redoAction");
    EXPECT_EQ(active().buttons[0].label, before + QStringLiteral("!?"));
    EXPECT_EQ(find<KeyCanvas>("keyCanvas")->tile(0)->button().label, before + QStringLiteral("!?"));
    ASSERT_TRUE(waitUntil([&] {
        const auto* node = device.widgets().find(300);
        return node && node->text == before + QStringLiteral("!?");
    }));
}

TEST_F(MacrosTest, ProfileEditsAreUndoneOnThePageAndADeletedProfileComesBackWithItsSteps)
{
    MacrosView& view = page();
    QLineEdit* label = find<QLineEdit>("labelField");
    QLineEdit* rename = find<QLineEdit>("renameField");
    QComboBox* picker = find<QComboBox>("profilePicker");
    const auto type = [&](QLineEdit* field, const QString& text) {
        QTest::keyClick(field, Qt::Key_End);
        QTest::keyClicks(field, text);
    };
    const QString start = active().buttons[0].label;
    const QString name = active().name;
    type(label, QStringLiteral("1"));
    trigger("duplicateProfileAction");
    const QUuid copy = profiles->activeID();
    type(rename, QStringLiteral(" Two"));
    type(label, QStringLiteral("2"));
    QUndoStack* stack = window->undoStack(SidebarItem::macros);
    ASSERT_EQ(stack->count(), 4);

    trigger("deleteProfileAction");
    view.profileBar()->deleteConfirmation()->findChild<QPushButton*>(QStringLiteral("deleteProfileButton"))->click();
    ASSERT_EQ(profiles->profiles().size(), 1);
    EXPECT_EQ(find<QAction>("undoAction")->text(), QStringLiteral("Undo Delete Profile"));
    trigger("undoAction");
    EXPECT_EQ(profiles->activeID(), copy);
    EXPECT_EQ(picker->count(), 2);
    EXPECT_EQ(active().buttons[0].label, start + QStringLiteral("12"));
    trigger("undoAction");
    EXPECT_EQ(label->text(), start + QStringLiteral("1"));
    EXPECT_EQ(find<QAction>("undoAction")->text(), QStringLiteral("Undo Rename Profile"));
    trigger("undoAction");
    EXPECT_EQ(rename->text(), name + QStringLiteral(" Copy"));
    trigger("undoAction");
    EXPECT_EQ(picker->count(), 1);
    EXPECT_EQ(active().buttons[0].label, start + QStringLiteral("1"));
    for (int i = 0; i < 4; ++i)
        trigger("redoAction");
    EXPECT_EQ(profiles->profiles().size(), 1);
    EXPECT_EQ(active().name, name);
}
