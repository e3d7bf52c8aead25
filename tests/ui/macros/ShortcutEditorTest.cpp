// The shortcut editor of a keystroke key and its recorder, in the inspector of the main window:
// the chord's text, the key picker and the modifier buttons, the common desktop shortcuts,
// and recording from key events that carry native scan codes as X11 and Wayland deliver
// them, with a keyboard grab double standing in for X11's.

#include "MacrosFixture.h"

#include "ui/macros/ActionEditor.h"
#include "ui/macros/KeyboardGrab.h"
#include "ui/macros/ShortcutCapture.h"
#include "ui/macros/ShortcutEditor.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

// XKB key codes (evdev + 8) of the keys the tests press.
constexpr quint32 scanEscape = 9;
constexpr quint32 scanK = 45;
constexpr quint32 scanLeftCtrl = 37;
constexpr quint32 scanM = 58;
constexpr quint32 scanLeftShift = 50;
constexpr quint32 scanLeftSuper = 133;
constexpr quint32 scanCalculator = 148;

struct GrabLog {
    KeyboardGrab::Result answer = KeyboardGrab::Result::grabbed;
    int grabs = 0;
    bool held = false;
};

class FakeGrab final : public KeyboardGrab {
public:
    explicit FakeGrab(GrabLog& log) : m_log(log) {}
    Result grab(QWindow*) override
    {
        ++m_log.grabs;
        m_log.held = m_log.answer == Result::grabbed;
        return m_log.answer;
    }
    void release() override { m_log.held = false; }

private:
    GrabLog& m_log;
};

}  // namespace

class ShortcutEditorTest : public MacrosTest {
protected:
    GrabLog grabLog;

    void SetUp() override
    {
        KeyboardGrab::setFactory([this] { return std::make_unique<FakeGrab>(grabLog); });
    }
    void TearDown() override { KeyboardGrab::setFactory({}); }

    ShortcutEditor* editChord(const KeyChord& chord)
    {
        page();
        putKey(0, key(QStringLiteral("Key"), MacroAction::keystroke(chord)));
        clickTile(0);
        ShortcutEditor* editor = page().inspector()->actionEditor()->shortcutEditor();
        EXPECT_NE(editor, nullptr);
        return editor;
    }
    KeyChord storedChord() const
    {
        const KeyChord* chord = active().buttons[0].action.as<KeyChord>();
        return chord ? *chord : KeyChord{0xFFFF, {}};
    }
    ShortcutCapturePopup* record(ShortcutEditor* editor)
    {
        editor->recordButton()->click();
        EXPECT_TRUE(editor->isRecording());
        return editor->capturePopup();
    }
    // A key as the desktop delivers it: the application's shortcuts get their say first, then
    // the key event goes to the widget with its scan code.
    static void sendKey(QWidget* target, QEvent::Type type, int qtKey, Qt::KeyboardModifiers modifiers, quint32 scan)
    {
        if (type == QEvent::KeyPress && qt_sendShortcutOverrideEvent(target, 0, qtKey, modifiers))
            return;
        QKeyEvent event(type, qtKey, modifiers, scan, 0, 0);
        QApplication::sendEvent(target, &event);
    }
    static void press(QWidget* target, int qtKey, Qt::KeyboardModifiers modifiers, quint32 scan)
    {
        sendKey(target, QEvent::KeyPress, qtKey, modifiers, scan);
    }
    static QString held(ShortcutCapturePopup* popup)
    {
        return popup->findChild<QLabel*>(QStringLiteral("heldModifiers"))->text();
    }
};

TEST_F(ShortcutEditorTest, KeyPickerAndModifierButtonsEachChangeTheirPartOnly)
{
    // A keypad key is in none of the picker's groups: its label shows, the picker selects none.
    ShortcutEditor* editor = editChord({89, {}});
    EXPECT_EQ(editor->chordLabel()->text(), QStringLiteral("Pad 1"));
    EXPECT_EQ(editor->keyPicker()->currentIndex(), -1);

    const int steps = window->undoStack(SidebarItem::macros)->count();
    choose(editor->keyPicker(), editor->keyPicker()->findData(20, Qt::UserRole));
    EXPECT_EQ(storedChord(), (KeyChord{20, {}}));
    editor->modifierButtons()[3]->click();  // Super
    editor->modifierButtons()[0]->click();  // Ctrl
    EXPECT_EQ(storedChord(), (KeyChord{20, HIDModifiers::control() | HIDModifiers::command()}));
    EXPECT_EQ(editor->chordLabel()->text(), QStringLiteral("Ctrl+Super+Q"));
    // A new key keeps every modifier; switching one off keeps the key and the others.
    choose(editor->keyPicker(), editor->keyPicker()->findData(104, Qt::UserRole));
    EXPECT_EQ(storedChord(), (KeyChord{104, HIDModifiers::control() | HIDModifiers::command()}));
    editor->modifierButtons()[3]->click();
    EXPECT_EQ(storedChord(), (KeyChord{104, HIDModifiers::control()}));
    EXPECT_TRUE(editor->modifierButtons()[0]->isChecked());
    EXPECT_FALSE(editor->modifierButtons()[3]->isChecked());
    EXPECT_EQ(editor->keyPicker()->currentText(), QStringLiteral("F13"));
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), steps + 5);
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Edit Action"));

    // All four modifiers read in the desktop's order.
    editor = editChord({16, HIDModifiers{0x0F}});
    EXPECT_EQ(editor->chordLabel()->text(), QStringLiteral("Ctrl+Alt+Shift+Super+M"));
    QStringList buttons;
    for (QToolButton* button : editor->modifierButtons())
        buttons << button->text() + u'/' + button->toolTip();
    EXPECT_EQ(buttons, (QStringList{"Ctrl/Control", "Alt/Alt", "Shift/Shift", "Super/Super"}));
}

TEST_F(ShortcutEditorTest, CommonShortcutsReplaceTheWholeChord)
{
    ShortcutEditor* editor = editChord({16, HIDModifiers::control() | HIDModifiers::shift()});
    QStringList titles;
    for (QAction* action : editor->systemShortcutsMenu()->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{"Activities Overview (Super)", "Lock Screen (Super+L)", "Switch Windows (Alt+Tab)",
                                   "Show Desktop (Super+D)", "Run a Command (Alt+F2)", "Close Window (Alt+F4)",
                                   "Open a Terminal (Ctrl+Alt+T)", "Screenshot (Print)",
                                   "Screenshot of a Window (Alt+Print)", "Log Out (Ctrl+Alt+Delete)"}));
    // Each title's chord reads as the title says.
    for (const SystemShortcut& shortcut : ShortcutEditor::systemShortcuts()) {
        QString text = ShortcutEditor::chordText(shortcut.chord);
        EXPECT_TRUE(shortcut.title.endsWith(u'(' + text.replace(QStringLiteral("\u21E5"), QStringLiteral("Tab"))
                                                      .replace(QStringLiteral("\u2326"), QStringLiteral("Delete")) +
                                            u')'))
            << shortcut.title.toStdString();
    }
    editor->systemShortcutsMenu()->actions()[2]->trigger();
    EXPECT_EQ(storedChord(), (KeyChord{0x2B, HIDModifiers::option()}));
    editor->systemShortcutsMenu()->actions()[0]->trigger();
    EXPECT_EQ(storedChord(), (KeyChord{0xE3, {}}));
    EXPECT_EQ(editor->chordLabel()->text(), QStringLiteral("Super"));
}

TEST_F(ShortcutEditorTest, TheShortcutRowKeepsItsLayoutWhateverTheChordsLength)
{
    ShortcutEditor* editor = editChord({4, {}});
    const auto settle = [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); };
    const auto placeOf = [&](const QWidget* widget) {
        return QRect(widget->mapTo(window.get(), QPoint()), widget->size());
    };
    const auto rows = [&] {
        QList<QRect> out{placeOf(editor->recordButton()), placeOf(editor->keyPicker())};
        for (const QToolButton* button : editor->modifierButtons())
            out.append(placeOf(button));
        return out;
    };
    settle();
    const QList<QRect> shortChord = rows();

    ShortcutCapturePopup* popup = record(editor);
    press(popup, Qt::Key_Control, Qt::ControlModifier, scanLeftCtrl);
    press(popup, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier, scanLeftShift);
    press(popup, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, scanK);
    ASSERT_EQ(storedChord(), (KeyChord{14, HIDModifiers::control() | HIDModifiers::shift()}));
    ASSERT_EQ(page().inspector()->actionEditor()->shortcutEditor(), editor);
    settle();
    EXPECT_EQ(editor->chordLabel()->text(), QStringLiteral("Ctrl+Shift+K"));
    EXPECT_EQ(rows(), shortChord);

    // A common shortcut, and every modifier on a key with a long label.
    editor->systemShortcutsMenu()->actions().last()->trigger();
    settle();
    EXPECT_EQ(rows(), shortChord);
    for (QToolButton* button : editor->modifierButtons())
        if (!button->isChecked())
            button->click();
    settle();
    EXPECT_EQ(storedChord().modifiers, HIDModifiers{0x0F});
    EXPECT_EQ(rows(), shortChord);
    EXPECT_GE(editor->keyPicker()->height(), editor->keyPicker()->minimumSizeHint().height());
}

// The recorder takes the keyboard focus while it waits, so a screen reader says what it asks for
// (its headline and caption), and gives it back to Record… when it closes.
TEST_F(ShortcutEditorTest, TheRecorderHasTheFocusWhileItWaits)
{
    ShortcutEditor* editor = editChord({16, {}});
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    editor->recordButton()->setFocus(Qt::TabFocusReason);
    ShortcutCapturePopup* popup = record(editor);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), popup);
    QAccessibleInterface* heard = QAccessible::queryAccessibleInterface(popup);
    EXPECT_EQ(heard->text(QAccessible::Name), QStringLiteral("Press the new shortcut"));
    EXPECT_TRUE(heard->text(QAccessible::Description).contains(QStringLiteral("Escape"))) << heard->text(QAccessible::Description).toStdString();
    press(popup, Qt::Key_Escape, Qt::NoModifier, scanEscape);
    EXPECT_FALSE(editor->isRecording());
    EXPECT_EQ(QApplication::focusWidget(), editor->recordButton());
}

TEST_F(ShortcutEditorTest, EscapeAloneCancelsWhileEscapeWithModifiersIsAChord)
{
    ShortcutEditor* editor = editChord({16, {}});
    ShortcutCapturePopup* popup = record(editor);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(held(popup), QStringLiteral("Waiting…"));
    press(popup, Qt::Key_Escape, Qt::NoModifier, scanEscape);
    EXPECT_FALSE(editor->isRecording());
    EXPECT_EQ(storedChord(), (KeyChord{16, {}}));

    popup = record(editor);
    press(popup, Qt::Key_Escape, Qt::AltModifier | Qt::MetaModifier, scanEscape);
    EXPECT_EQ(storedChord(), (KeyChord{0x29, HIDModifiers::option() | HIDModifiers::command()}));
    EXPECT_FALSE(editor->isRecording());
    EXPECT_EQ(editor->chordLabel()->text(), QStringLiteral("Alt+Super+\u238B"));
}

TEST_F(ShortcutEditorTest, HeldModifiersShowLiveAndTheKeyDownsOwnModifiersAreRecorded)
{
    ShortcutEditor* editor = editChord({4, {}});
    ShortcutCapturePopup* popup = record(editor);
    // The modifier key's own bit counts whether or not the event already carries it.
    press(popup, Qt::Key_Meta, Qt::NoModifier, scanLeftSuper);
    EXPECT_EQ(held(popup), QStringLiteral("Super+"));
    press(popup, Qt::Key_Shift, Qt::MetaModifier | Qt::ShiftModifier, scanLeftShift);
    EXPECT_EQ(held(popup), QStringLiteral("Shift+Super+"));
    sendKey(popup, QEvent::KeyRelease, Qt::Key_Shift, Qt::MetaModifier | Qt::ShiftModifier, scanLeftShift);
    sendKey(popup, QEvent::KeyRelease, Qt::Key_Meta, Qt::MetaModifier, scanLeftSuper);
    EXPECT_EQ(held(popup), QStringLiteral("Waiting…"));
    EXPECT_TRUE(editor->isRecording());
    EXPECT_EQ(storedChord(), (KeyChord{4, {}}));

    // A key the device cannot send is swallowed; the recorder waits on.
    press(popup, Qt::Key_Launch1, Qt::NoModifier, scanCalculator);
    press(popup, Qt::Key_unknown, Qt::NoModifier, 0);
    EXPECT_TRUE(editor->isRecording());
    EXPECT_EQ(storedChord(), (KeyChord{4, {}}));

    // Shift was last reported held, but the key went down with Ctrl alone.
    press(popup, Qt::Key_Shift, Qt::ShiftModifier, scanLeftShift);
    press(popup, Qt::Key_M, Qt::ControlModifier, scanM);
    EXPECT_EQ(storedChord(), (KeyChord{16, HIDModifiers::control()}));
    EXPECT_FALSE(editor->isRecording());
}

TEST_F(ShortcutEditorTest, ApplicationShortcutsDoNotFireWhileRecording)
{
    ShortcutEditor* editor = editChord({4, {}});
    auto* action = new QAction(window.get());
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    action->setShortcutContext(Qt::ApplicationShortcut);
    window->addAction(action);
    QSignalSpy fired(action, &QAction::triggered);
    // Shortcuts act only for an active window.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    press(editor->chordLabel(), Qt::Key_K, Qt::ControlModifier, scanK);
    ASSERT_EQ(fired.count(), 1);

    ShortcutCapturePopup* popup = record(editor);
    press(popup, Qt::Key_K, Qt::ControlModifier, scanK);
    EXPECT_EQ(fired.count(), 1);
    EXPECT_EQ(storedChord(), (KeyChord{14, HIDModifiers::control()}));
    // Closed, the application's shortcuts act again.
    press(editor->chordLabel(), Qt::Key_K, Qt::ControlModifier, scanK);
    EXPECT_EQ(fired.count(), 2);
}

TEST_F(ShortcutEditorTest, TheKeyboardIsGivenBackHoweverTheRecorderCloses)
{
    ShortcutEditor* editor = editChord({4, {}});
    ShortcutCapturePopup* popup = record(editor);
    EXPECT_TRUE(grabLog.held);
    EXPECT_TRUE(popup->holdsKeyboard());
    EXPECT_EQ(popup->findChild<QLabel*>(QStringLiteral("captureCaption"))->text(),
              QStringLiteral("System shortcuts such as Super+L or Alt+Tab are captured too. Press Escape to cancel."));
    press(popup, Qt::Key_M, Qt::NoModifier, scanM);
    EXPECT_FALSE(grabLog.held);

    // Dismissed as a click outside dismisses it.
    popup = record(editor);
    EXPECT_TRUE(grabLog.held);
    popup->close();
    EXPECT_FALSE(grabLog.held);
    EXPECT_FALSE(editor->isRecording());

    // The editor goes away while recording: another key selected, the rows rebuilt.
    record(editor);
    EXPECT_TRUE(grabLog.held);
    putKey(1, key(QStringLiteral("Other"), MacroAction::keystroke({5, {}})));
    clickTile(1);
    EXPECT_FALSE(grabLog.held);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // Without a grab (Wayland) the caption says what cannot be recorded; keys still arrive.
    grabLog.answer = KeyboardGrab::Result::unsupported;
    editor = page().inspector()->actionEditor()->shortcutEditor();
    popup = record(editor);
    EXPECT_FALSE(popup->holdsKeyboard());
    EXPECT_TRUE(popup->findChild<QLabel*>(QStringLiteral("captureCaption"))->text().startsWith(
        QStringLiteral("On Wayland only the keys the compositor passes on reach Tarv")));
    press(popup, Qt::Key_M, Qt::ControlModifier, scanM);
    EXPECT_EQ(active().buttons[1].action, MacroAction::keystroke({16, HIDModifiers::control()}));
}
