// Editing a key from the keyboard: Tab goes through its controls from top to bottom whatever
// the action's kind and however often it changed, the action's field is one Tab from the kind,
// Escape goes back to the grid, and the tint row and the icon row show the focus.

#include "MacrosFixture.h"
#include "support/Bytes.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

#include <algorithm>

namespace {

// The controls Tab stops at in the key's editing panel, from the Label field on, as the
// window's focus chain holds them: taking Tab, shown and enabled.
QStringList tabStops(KeyInspector* panel, bool backwards = false)
{
    QWidget* start = panel->findChild<QLineEdit*>(QStringLiteral("labelField"));
    QStringList stops;
    QWidget* w = start;
    do {
        if (panel->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(w->window()) &&
            w->isEnabled())
            stops.append(w->objectName());
        w = backwards ? w->previousInFocusChain() : w->nextInFocusChain();
    } while (w != start);
    if (backwards && !stops.isEmpty())
        std::rotate(stops.begin(), stops.begin() + 1, stops.end());
    return stops;
}

// Types text as a keyboard with its own layout does: each character comes as the key's text,
// which QTest's own typing takes for ASCII only.
void typeText(QWidget* widget, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

QStringList reversed(QStringList list)
{
    std::reverse(list.begin(), list.end());
    return list;
}

QStringList fieldsOf(MacroAction::Kind kind)
{
    switch (kind) {
    case MacroAction::Kind::unassigned: return {};
    case MacroAction::Kind::keystroke:
        return {"recordButton",       "systemShortcutsButton", "keyPicker",          "ctrlModifierButton",
                "altModifierButton", "shiftModifierButton",   "superModifierButton"};
    case MacroAction::Kind::media: return {"mediaKeyPicker"};
    case MacroAction::Kind::openApp: return {"chooseAppButton"};
    case MacroAction::Kind::openURL: return {"urlField"};
    case MacroAction::Kind::runShortcut: return {"shortcutPicker"};
    case MacroAction::Kind::typeText: return {"textField"};
    case MacroAction::Kind::screenshot: return {"capturePicker", "saveToPicker"};
    case MacroAction::Kind::showScreen: return {"screenPicker"};
    }
    return {};
}

}  // namespace

class KeyEditorKeyboardTest : public MacrosTest {
protected:
    // The panel's controls for the key shown, top to bottom: its look, the kind, the kind's
    // fields, then latching and the key's buttons.
    QStringList expectedStops()
    {
        const MacroAction::Kind kind = page().inspector()->button().action.kind();
        if (kind == MacroAction::Kind::unassigned)
            return {"kindPicker"};
        QStringList stops{"labelField", "iconButton",
                          QStringLiteral("tintSwatch:") + keyTintRawValue(page().inspector()->button().tint),
                          "kindPicker"};
        stops += fieldsOf(kind);
        stops << "latchingToggle";
        if (find<QPushButton>("testKeyButton")->isEnabled())
            stops << "testKeyButton";
        stops << "clearKeyButton";
        return stops;
    }

    void expectTabGoesTopToBottom(const char* when)
    {
        KeyInspector* panel = page().inspector();
        const QStringList expected = expectedStops();
        EXPECT_EQ(tabStops(panel), expected) << when;
        EXPECT_EQ(tabStops(panel, true), reversed(expected)) << when;
    }

    void focusAndWait(QWidget* widget)
    {
        QApplication::setActiveWindow(window.get());
        widget->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(waitUntil([&] { return widget->hasFocus(); })) << widget->objectName().toStdString();
    }
};

TEST_F(KeyEditorKeyboardTest, TabGoesTopToBottomForEveryKindAfterAnyNumberOfChangesAndForEveryKeyShown)
{
    page();
    connectAndGreet();
    QComboBox* kinds = find<QComboBox>("kindPicker");
    expectTabGoesTopToBottom("the first key");
    // Every kind, then back through them in another order, then on another key.
    const QList<int> rows = {1, 2, 3, 4, 5, 6, 7, 8, 0, 6, 3, 8, 1, 4, 7, 2, 5};
    for (int row : rows) {
        choose(kinds, row);
        ASSERT_EQ(page().inspector()->button().action.kind(), MacroAction::allKinds[std::size_t(row)]);
        expectTabGoesTopToBottom(qPrintable(kinds->currentText()));
    }
    for (int index : {11, 3, 0}) {
        clickTile(index);
        expectTabGoesTopToBottom(qPrintable(QStringLiteral("key %1").arg(index + 1)));
        choose(kinds, 6);
        expectTabGoesTopToBottom(qPrintable(QStringLiteral("key %1, Type Text").arg(index + 1)));
    }
}

TEST_F(KeyEditorKeyboardTest, OneTabFromTheKindReachesItsFieldWhereTypedTextIsStored)
{
    page();
    clickTile(11);
    QComboBox* kinds = find<QComboBox>("kindPicker");
    for (int row = 1; row < kinds->count(); ++row) {
        focusAndWait(kinds);
        choose(kinds, row);
        QTest::keyClick(kinds, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), fieldsOf(MacroAction::allKinds[std::size_t(row)]).first())
            << kinds->itemText(row).toStdString();
    }

    focusAndWait(kinds);
    choose(kinds, 6);
    const bool latching = active().buttons[11].isToggle;
    QTest::keyClick(kinds, Qt::Key_Tab);
    typeText(QApplication::focusWidget(), QStringLiteral("h\u00E9llo w\u00F6rld"));
    EXPECT_EQ(active().buttons[11].action, MacroAction::typeText(QStringLiteral("h\u00E9llo w\u00F6rld")));
    EXPECT_EQ(active().buttons[11].isToggle, latching);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), kinds);
}

TEST_F(KeyEditorKeyboardTest, EscapeInAFieldGoesBackToTheSelectedKeyAndKeepsTheEdit)
{
    page();
    clickTile(2);
    QLineEdit* label = find<QLineEdit>("labelField");
    focusAndWait(label);
    label->selectAll();
    QTest::keyClicks(label, QStringLiteral("Lamp"));
    QTest::keyClick(label, Qt::Key_Escape);
    EXPECT_TRUE(page().canvas()->hasFocus());
    EXPECT_TRUE(page().canvas()->tile(2)->isFocusShown());
    EXPECT_EQ(active().buttons[2].label, QStringLiteral("Lamp"));

    // A picker and a check box hand Escape on as well.
    for (const char* name : {"kindPicker", "latchingToggle"}) {
        auto* field = find<QWidget>(name);
        focusAndWait(field);
        QTest::keyClick(field, Qt::Key_Escape);
        EXPECT_TRUE(page().canvas()->hasFocus()) << name;
    }
}

TEST_F(KeyEditorKeyboardTest, TheTintRowIsOneStopWhoseArrowsChooseTheTintAndItsFocusIsDrawn)
{
    page();
    const auto swatch = [&](KeyTint tint) {
        return window->findChild<TintSwatch*>(QStringLiteral("tintSwatch:") + keyTintRawValue(tint));
    };
    MacroButton blue = active().buttons[0];
    blue.tint = KeyTint::blue;
    putKey(0, blue);
    EXPECT_EQ(tabStops(page().inspector()).filter(QStringLiteral("tintSwatch")), QStringList{"tintSwatch:blue"});

    TintSwatch* focused = swatch(KeyTint::blue);
    const QImage unfocused = focused->grab().toImage();
    focusAndWait(focused);
    EXPECT_NE(focused->grab().toImage(), unfocused);

    // The swatches stand in the order of the tints: green right of blue, amber left of it.
    const int steps = window->undoStack(SidebarItem::macros)->count();
    QTest::keyClick(focused, Qt::Key_Right);
    EXPECT_EQ(active().buttons[0].tint, KeyTint::green);
    EXPECT_TRUE(swatch(KeyTint::green)->hasFocus());
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), steps + 1);
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Change Tint"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    EXPECT_EQ(active().buttons[0].tint, KeyTint::amber);
    EXPECT_TRUE(swatch(KeyTint::amber)->hasFocus());
    EXPECT_EQ(tabStops(page().inspector()).filter(QStringLiteral("tintSwatch")), QStringList{"tintSwatch:amber"});
}

TEST_F(KeyEditorKeyboardTest, TheIconButtonDrawsItsFocus)
{
    page();
    auto* icon = find<QPushButton>("iconButton");
    const QImage unfocused = icon->grab().toImage();
    focusAndWait(icon);
    EXPECT_NE(icon->grab().toImage(), unfocused);
}
