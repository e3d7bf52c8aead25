// The key inspector: its sections for each kind of action and the action each kind starts
// with, edits in place with their undo names, the tint swatches, latching, Test Key through
// the fake device, and Clear Key with its undo.

#include "MacrosFixture.h"

#include "ui/widgets/ScreenReaderNotice.h"
#include "ui/widgets/SymbolLabel.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

namespace {

bool shown(QWidget* widget)
{
    return widget && widget->isVisibleTo(widget->window());
}

}  // namespace

TEST_F(MacrosTest, AKeyWithoutActionShowsOnlyItsDisabledLookAndTheActionPicker)
{
    page();
    putKey(2, key(QStringLiteral("Lamp"), MacroAction::unassigned()));
    clickTile(2);
    QGroupBox* keySection = find<QGroupBox>("keySection");
    EXPECT_EQ(keySection->title(), QStringLiteral("Key 3"));
    EXPECT_FALSE(keySection->isEnabled());
    EXPECT_TRUE(shown(find<QWidget>("actionSection")));
    EXPECT_FALSE(shown(find<QWidget>("behaviorSection")));
    EXPECT_FALSE(shown(find<QWidget>("keyButtonsSection")));
    QComboBox* kinds = find<QComboBox>("kindPicker");
    QStringList titles;
    for (int i = 0; i < kinds->count(); ++i)
        titles.append(kinds->itemText(i));
    EXPECT_EQ(titles, (QStringList{"None", "Keystroke", "Media Key", "Open App", "Open URL", "Run Shortcut", "Type Text",
                                   "Screenshot", "Show Screen"}));
    EXPECT_EQ(kinds->currentText(), QStringLiteral("None"));
}

TEST_F(MacrosTest, EachKindStartsWithItsOwnActionAndKeepsTheRestOfTheKey)
{
    page();
    MacroButton lamp = key(QStringLiteral("Lamp"), MacroAction::unassigned());
    lamp.tint = KeyTint::green;
    lamp.icon = DeviceIcon::bell;
    putKey(2, lamp);
    clickTile(2);
    QComboBox* kinds = find<QComboBox>("kindPicker");
    const QList<MacroAction> expected = {
        MacroAction::keystroke({4, {}}),
        MacroAction::media(MediaKey::playPause),
        MacroAction::openApp({}),
        MacroAction::openURL(QStringLiteral("https://")),
        MacroAction::runShortcut({}),
        MacroAction::typeText({}),
        MacroAction::screenshot({ScreenshotOptions::Mode::selection, ScreenshotOptions::Destination::file}),
        MacroAction::showScreen({}),
    };
    for (int row = 1; row <= expected.size(); ++row) {
        choose(kinds, row);
        const MacroButton& now = active().buttons[2];
        EXPECT_EQ(now.action, expected[row - 1]) << row;
        EXPECT_EQ(now.label, QStringLiteral("Lamp"));
        EXPECT_EQ(now.tint, KeyTint::green);
        EXPECT_EQ(now.icon, std::optional<DeviceIcon>(DeviceIcon::bell));
        EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Change Action"));
        EXPECT_TRUE(find<QGroupBox>("keySection")->isEnabled());
        EXPECT_TRUE(shown(find<QWidget>("behaviorSection")));
        EXPECT_TRUE(shown(find<QWidget>("keyButtonsSection")));
    }

    // Picking the kind the key has keeps the action as edited.
    choose(kinds, 1);
    MacroButton edited = active().buttons[2];
    edited.action = MacroAction::keystroke({16, HIDModifiers{0x0A}});
    putKey(2, edited);
    const int steps = window->undoStack(SidebarItem::macros)->count();
    choose(kinds, 1);
    EXPECT_EQ(active().buttons[2].action, MacroAction::keystroke({16, HIDModifiers{0x0A}}));
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), steps);

    // Back to None: the look is disabled and the other sections go.
    choose(kinds, 0);
    EXPECT_FALSE(find<QGroupBox>("keySection")->isEnabled());
    EXPECT_FALSE(shown(find<QWidget>("behaviorSection")));
}

TEST_F(MacrosTest, TheLabelFieldCommitsEveryEditInPlaceKeepingItsCaret)
{
    page();
    QApplication::setActiveWindow(window.get());
    QLineEdit* label = find<QLineEdit>("labelField");
    label->setFocus();
    ASSERT_TRUE(waitUntil([&] { return label->hasFocus(); }));
    ASSERT_EQ(label->text(), QStringLiteral("MIC"));
    label->setCursorPosition(1);
    QTest::keyClicks(label, QStringLiteral("xy"));
    EXPECT_EQ(active().buttons[0].label, QStringLiteral("MxyIC"));
    EXPECT_EQ(find<QLineEdit>("labelField"), label);
    EXPECT_EQ(label->cursorPosition(), 3);
    EXPECT_TRUE(label->hasFocus());
    // A word typed is one step.
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), 1);
    EXPECT_EQ(page().canvas()->tile(0)->button().label, QStringLiteral("MxyIC"));
}

TEST_F(MacrosTest, SwatchesLatchingAndIconWritesCommitUnderTheirNames)
{
    page();
    const auto swatch = [&](KeyTint tint) {
        return window->findChild<TintSwatch*>(QStringLiteral("tintSwatch:") + keyTintRawValue(tint));
    };
    EXPECT_TRUE(swatch(KeyTint::neutral)->isChecked());
    EXPECT_EQ(swatch(KeyTint::blue)->toolTip(), QStringLiteral("Blue"));
    EXPECT_EQ(swatch(KeyTint::neutral)->accessibleName(), QStringLiteral("Tint: Neutral"));

    swatch(KeyTint::blue)->click();
    EXPECT_EQ(active().buttons[0].tint, KeyTint::blue);
    EXPECT_TRUE(swatch(KeyTint::blue)->isChecked());
    EXPECT_FALSE(swatch(KeyTint::neutral)->isChecked());
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Change Tint"));
    // The tint the key has already: no step, and the swatch stays ringed.
    swatch(KeyTint::blue)->click();
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), 1);
    EXPECT_TRUE(swatch(KeyTint::blue)->isChecked());

    // Latching off keeps the stored lit state; the tile draws unlit.
    QCheckBox* latching = find<QCheckBox>("latchingToggle");
    ASSERT_TRUE(active().buttons[0].isToggle);
    MacroButton litKey = active().buttons[0];
    litKey.isActive = true;
    putKey(0, litKey);
    latching->click();
    EXPECT_FALSE(active().buttons[0].isToggle);
    EXPECT_TRUE(active().buttons[0].isActive);
    EXPECT_FALSE(KeyTile::isLit(page().canvas()->tile(0)->button()));
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Change Latching"));

    // An icon picked: the icon set, then the emoji cleared (already none: no second step).
    const int steps = window->undoStack(SidebarItem::macros)->count();
    page().inspector()->writeIcon(DeviceIcon::bell);
    page().inspector()->writeEmoji(std::nullopt);
    EXPECT_EQ(active().buttons[0].icon, std::optional<DeviceIcon>(DeviceIcon::bell));
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), steps + 1);
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Change Icon"));
    EXPECT_EQ(find<QLabel>("iconText")->text(), QStringLiteral("Bell"));
    page().inspector()->writeEmoji(QStringLiteral("🎧"));
    EXPECT_EQ(find<QLabel>("iconText")->text(), QStringLiteral("🎧"));
}

TEST_F(MacrosTest, TestKeySendsThroughTheDeviceOnlyWhileConnectedAndRunsDesktopActionsWithout)
{
    page();
    QPushButton* test = find<QPushButton>("testKeyButton");
    putKey(1, key(QStringLiteral("Copy"), MacroAction::keystroke({6, HIDModifiers::control()})));
    clickTile(1);
    EXPECT_FALSE(test->isEnabled());
    EXPECT_EQ(test->toolTip(), QStringLiteral("Send through Tarv (Ctrl+T)"));
    EXPECT_EQ(test->shortcut(), QKeySequence(QStringLiteral("Ctrl+T")));

    connectAndGreet();
    EXPECT_TRUE(test->isEnabled());
    test->click();
    ASSERT_TRUE(waitUntil([&] {
        return std::any_of(device.received().cbegin(), device.received().cend(), [](const TarvUSB::Frame& f) {
            const auto* hid = f.get<TarvUSB::HidEmitPayload>();
            return hid && hid->mods == 0x01 && hid->keys == QList<std::uint16_t>{6};
        });
    }));
    // The log names the chord as the desktop writes it.
    EXPECT_TRUE(std::any_of(hub->log().cbegin(), hub->log().cend(),
                            [](const LogEntry& e) { return e.text == QStringLiteral("Fired Copy: Ctrl+C"); }));

    // An address without a host is not set up: the badge shows and the test waits for a host.
    putKey(1, key(QStringLiteral("Web"), MacroAction::openURL(QStringLiteral("https://"))));
    EXPECT_FALSE(test->isEnabled());
    EXPECT_EQ(test->toolTip(), QStringLiteral("Run on this computer (Ctrl+T)"));
    EXPECT_TRUE(KeyTile::showsBadge(page().canvas()->tile(1)->button()));

    // A desktop action needs no device.
    device.hangUp();
    ASSERT_TRUE(waitUntil([&] { return !hub->state().isConnected(); }));
    putKey(1, key(QStringLiteral("Files"), MacroAction::openApp({QStringLiteral("org.gnome.Nautilus"), QStringLiteral("Files")})));
    EXPECT_TRUE(test->isEnabled());
}

// The grid's orange mark has its reason only in a tooltip: the inspector says it in words, and
// says why Test Key is disabled, to the eye and to a screen reader.
TEST_F(MacrosTest, TheInspectorSaysWhatAKeyLacksAndWhyTestKeyWaits)
{
    page();
    QPushButton* test = find<QPushButton>("testKeyButton");
    auto* problem = find<SymbolLabel>("keyProblem");
    auto* note = find<QLabel>("testKeyNote");
    putKey(1, key(QStringLiteral("Web"), MacroAction::openURL(QStringLiteral("example.com"))));
    clickTile(1);
    EXPECT_TRUE(KeyTile::showsBadge(page().canvas()->tile(1)->button()));
    EXPECT_TRUE(shown(problem));
    EXPECT_EQ(problem->text(), QStringLiteral("The address has no scheme: start it with https:// or another scheme. "
                                              "Test Key works once the action is set up."));
    EXPECT_FALSE(test->isEnabled());
    EXPECT_EQ(test->accessibleDescription(), problem->text());
    EXPECT_FALSE(shown(note));
    // Test Key, disabled, is no Tab stop: the field being typed in says what it lacks, until it
    // lacks nothing.
    auto* address = find<KeyInspector>("keyInspector")->findChild<QLineEdit*>(QStringLiteral("urlField"));
    ASSERT_NE(address, nullptr);
    const auto heard = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description); };
    EXPECT_EQ(heard(address), problem->text());
    address->setFocus(Qt::TabFocusReason);
    address->selectAll();
    QTest::keyClicks(address, QStringLiteral("https://example.com"));
    ASSERT_EQ(active().buttons[1].action, MacroAction::openURL(QStringLiteral("https://example.com")));
    EXPECT_FALSE(heard(address).contains(QStringLiteral("Test Key")));
    // A problem that comes as the user types is said as it shows; the one a key shown anew
    // has is read with its controls instead.
    QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(address, QStringLiteral("example"));
    ASSERT_NE(ScreenReaderNotice::of(window.get()), nullptr);
    const QString said = ScreenReaderNotice::of(window.get())->accessibleName();
    EXPECT_EQ(said, problem->text());
    putKey(2, key(QStringLiteral("App"), MacroAction::openApp({})));
    clickTile(2);
    EXPECT_TRUE(problem->text().startsWith(QStringLiteral("No app is chosen")));
    EXPECT_EQ(ScreenReaderNotice::of(window.get())->accessibleName(), said);
    clickTile(1);
    putKey(1, key(QStringLiteral("Web"), MacroAction::openURL(QStringLiteral("example.com"))));

    // Set up, but sent through a device that is not there.
    putKey(1, key(QStringLiteral("Copy"), MacroAction::keystroke({6, HIDModifiers::control()})));
    EXPECT_FALSE(shown(problem));
    EXPECT_FALSE(test->isEnabled());
    EXPECT_TRUE(shown(note));
    EXPECT_EQ(note->text(), QStringLiteral("Test Key sends the key through Tarv, which is not connected."));
    EXPECT_EQ(test->accessibleDescription(), note->text());

    connectAndGreet();
    EXPECT_TRUE(test->isEnabled());
    EXPECT_FALSE(shown(note));
    EXPECT_EQ(test->accessibleDescription(), QString());
}

TEST_F(MacrosTest, ClearKeyEmptiesTheKeyAtOnceAndUndoBringsItBack)
{
    page();
    clickTile(1);
    const MacroButton before = active().buttons[1];
    find<QPushButton>("clearKeyButton")->click();
    const MacroButton& cleared = active().buttons[1];
    EXPECT_EQ(cleared.action, MacroAction::unassigned());
    EXPECT_NE(cleared.id, before.id);
    EXPECT_EQ(cleared.label, QString());
    EXPECT_FALSE(find<QGroupBox>("keySection")->isEnabled());
    EXPECT_FALSE(shown(find<QWidget>("keyButtonsSection")));
    EXPECT_EQ(find<QLineEdit>("labelField")->text(), QString());
    EXPECT_EQ(page().canvas()->tile(1)->accessibleName(), QStringLiteral("Empty slot 2"));
    EXPECT_EQ(find<QAction>("undoAction")->text(), QStringLiteral("Undo Clear Key"));

    trigger("undoAction");
    EXPECT_EQ(active().buttons[1], before);
    EXPECT_EQ(find<QLineEdit>("labelField")->text(), before.label);
    EXPECT_TRUE(shown(find<QWidget>("keyButtonsSection")));
}

TEST_F(MacrosTest, TheWheelOverAnUnfocusedPickerScrollsThePageInsteadOfChangingTheAction)
{
    page();
    QComboBox* kinds = find<QComboBox>("kindPicker");
    const MacroAction before = active().buttons[0].action;
    QWheelEvent wheel(QPointF(10, 10), kinds->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(kinds, &wheel);
    EXPECT_EQ(active().buttons[0].action, before);
    EXPECT_EQ(kinds->currentText(), QStringLiteral("Keystroke"));
}

// A keyboard user looks through the kinds with the arrows on the closed picker: every kind
// comes back as the key had it, and looking leaves no step behind.
TEST_F(MacrosTest, ArrowingThroughTheKindsKeepsTheKeysActionAndLeavesNoStep)
{
    page();
    QApplication::setActiveWindow(window.get());
    QComboBox* kinds = find<QComboBox>("kindPicker");
    kinds->setFocus();
    ASSERT_TRUE(waitUntil([&] { return kinds->hasFocus(); }));
    const MacroAction chord = active().buttons[0].action;
    ASSERT_EQ(chord.kind(), MacroAction::Kind::keystroke);
    QUndoStack* stack = window->undoStack(SidebarItem::macros);
    QTest::keyClick(kinds, Qt::Key_Down);
    EXPECT_EQ(active().buttons[0].action.kind(), MacroAction::Kind::media);
    QTest::keyClick(kinds, Qt::Key_Down);
    QTest::keyClick(kinds, Qt::Key_Up);
    QTest::keyClick(kinds, Qt::Key_Up);
    EXPECT_EQ(active().buttons[0].action, chord);
    EXPECT_TRUE(kinds->hasFocus());
    EXPECT_FALSE(stack->canUndo());

    // A media key chosen on the way is kept as well while the key is shown.
    QTest::keyClick(kinds, Qt::Key_Down);
    choose(find<QComboBox>("mediaKeyPicker"), 2);
    const MacroAction media = active().buttons[0].action;
    QTest::keyClick(kinds, Qt::Key_Down);
    QTest::keyClick(kinds, Qt::Key_Up);
    EXPECT_EQ(active().buttons[0].action, media);
    QTest::keyClick(kinds, Qt::Key_Up);
    EXPECT_EQ(active().buttons[0].action, chord);
}

// The window's Undo takes back what was typed, also from the field typed in: the field's own
// history would change the text without the key.
TEST_F(MacrosTest, CtrlZInAFieldUndoesTheWordTypedThroughTheWindow)
{
    page();
    QApplication::setActiveWindow(window.get());
    QLineEdit* label = find<QLineEdit>("labelField");
    label->setFocus();
    ASSERT_TRUE(waitUntil([&] { return label->hasFocus(); }));
    const QString before = active().buttons[0].label;
    QTest::keyClick(label, Qt::Key_End);
    QTest::keyClicks(label, QStringLiteral(" hello world"));
    EXPECT_EQ(find<QAction>("undoAction")->text(), QStringLiteral("Undo Edit Label"));
    QTest::keyClick(label, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(active().buttons[0].label, before);
    EXPECT_EQ(label->text(), before);
    // A screen reader hears what was undone.
    EXPECT_EQ(ScreenReaderNotice::of(window.get())->accessibleName(), QStringLiteral("Undo Edit Label"));
    QTest::keyClick(label, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(active().buttons[0].label, before + QStringLiteral(" hello world"));
    EXPECT_EQ(label->text(), before + QStringLiteral(" hello world"));

    QLineEdit* rename = find<QLineEdit>("renameField");
    rename->setFocus();
    ASSERT_TRUE(waitUntil([&] { return rename->hasFocus(); }));
    const QString name = active().name;
    QTest::keyClicks(rename, QStringLiteral("Work"));
    QTest::keyClick(rename, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(active().name, name);
    EXPECT_EQ(rename->text(), name);
    EXPECT_EQ(ScreenReaderNotice::of(window.get())->accessibleName(), QStringLiteral("Undo Rename Profile"));
}
