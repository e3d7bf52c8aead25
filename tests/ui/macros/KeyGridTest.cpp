// The key grid: selection by click, drops with the texts they accept and refuse, the context
// menu's moves and their enabled states, accessible names and what a screen reader reads of the
// grid, and the pixels of a tile.

#include "MacrosFixture.h"

#include "device/MontserratMetrics.h"
#include "pages/KeyLabel.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>

namespace {

// Drops a text onto a tile as another program would; whether the drop was taken.
bool dropText(KeyTile* tile, const std::optional<QString>& text)
{
    QMimeData mime;
    if (text)
        mime.setText(*text);
    else
        mime.setData(QStringLiteral("application/octet-stream"), "3");
    // The drag enters first: Qt hands a drop only to the widget that took the drag in.
    QDragEnterEvent enter(tile->rect().center(), Qt::MoveAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(tile, &enter);
    QDropEvent drop(QPointF(tile->rect().center()), Qt::MoveAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(tile, &drop);
    return drop.isAccepted();
}

// A tile drawn with its room for the ring: the tile itself spans (3, 3) to (113, 80).
QImage drawTile(const MacroButton& button, bool selected = false)
{
    QImage image(116, 83, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    KeyTile::paint(painter, QRectF(3, 3, 110, 77), button, selected, QGuiApplication::palette());
    painter.end();
    return image;
}

bool near(QRgb pixel, const QColor& color, int tolerance = 3)
{
    return qAbs(qRed(pixel) - color.red()) <= tolerance && qAbs(qGreen(pixel) - color.green()) <= tolerance &&
           qAbs(qBlue(pixel) - color.blue()) <= tolerance && qAlpha(pixel) == 255;
}

int pixelsNear(const QImage& image, const QColor& color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += near(image.pixel(x, y), color, 12);
    return count;
}

MacroButton keystroke(const QString& label, KeyTint tint = KeyTint::neutral)
{
    MacroButton button;
    button.label = label;
    button.action = MacroAction::keystroke({4, {}});
    button.tint = tint;
    return button;
}

}  // namespace

TEST_F(MacrosTest, AClickSelectsAKeyAndAClickOnTheSelectedKeyKeepsIt)
{
    MacrosView& view = page();
    clickTile(6);
    EXPECT_EQ(view.selection(), 6);
    EXPECT_TRUE(view.canvas()->tile(6)->isSelected());
    EXPECT_FALSE(view.canvas()->tile(0)->isSelected());
    EXPECT_EQ(find<QGroupBox>("keySection")->title(), QStringLiteral("Key 7"));
    clickTile(6);
    EXPECT_EQ(view.selection(), 6);
}

TEST_F(MacrosTest, ADroppedIndexSwapsTheKeysAndTheSelectionFollowsTheDraggedKey)
{
    MacrosView& view = page();
    const QList<MacroButton> before = active().buttons;
    KeyCanvas* canvas = view.canvas();

    EXPECT_TRUE(dropText(canvas->tile(1), QStringLiteral("5")));
    EXPECT_EQ(active().buttons[1], before[5]);
    EXPECT_EQ(active().buttons[5], before[1]);
    EXPECT_EQ(view.selection(), 1);
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Move Key"));

    // "-0" reads as slot 0; a plus sign is allowed too.
    EXPECT_TRUE(dropText(canvas->tile(2), QStringLiteral("-0")));
    EXPECT_EQ(active().buttons[2], before[0]);
    EXPECT_EQ(view.selection(), 2);
    EXPECT_TRUE(dropText(canvas->tile(3), QStringLiteral("+2")));
    EXPECT_EQ(view.selection(), 3);

    // Refused: onto itself, past the keys, negative, not a plain integer, too large, no text.
    const QList<MacroButton> now = active().buttons;
    for (const QString& text : {QStringLiteral("7"), QStringLiteral("12"), QStringLiteral("-1"), QString(),
                                QStringLiteral("two"), QStringLiteral(" 3"), QStringLiteral("3 "),
                                QStringLiteral("1 2"), QStringLiteral("+"), QStringLiteral("--1"),
                                QStringLiteral("99999999999999999999")})
        EXPECT_FALSE(dropText(canvas->tile(7), text)) << text.toStdString();
    EXPECT_FALSE(dropText(canvas->tile(7), std::nullopt));
    EXPECT_EQ(active().buttons, now);
    EXPECT_EQ(view.selection(), 3);

    EXPECT_EQ(KeyCanvas::droppedIndex(QStringLiteral("9223372036854775807")), std::optional<qint64>(INT64_MAX));
    EXPECT_EQ(KeyCanvas::droppedIndex(QStringLiteral("-9223372036854775808")), std::optional<qint64>(INT64_MIN));
    EXPECT_EQ(KeyCanvas::droppedIndex(QStringLiteral("9223372036854775808")), std::nullopt);
    EXPECT_EQ(KeyCanvas::droppedIndex(QStringLiteral("٣")), std::nullopt);
}

TEST_F(MacrosTest, DraggingAKeyOntoItselfLeavesTheSelectionAsItWas)
{
    MacrosView& view = page();
    clickTile(2);
    const QList<MacroButton> before = active().buttons;
    KeyTile* tile = view.canvas()->tile(7);
    const QPoint centre = tile->rect().center();
    // The press that starts a drag is not a click: it selects nothing.
    QTest::mousePress(tile, Qt::LeftButton, {}, centre);
    EXPECT_EQ(view.selection(), 2);
    QTest::mouseMove(tile, centre + QPoint(QApplication::startDragDistance() + 4, 0));
    EXPECT_FALSE(dropText(tile, QStringLiteral("7")));
    QTest::mouseRelease(tile, Qt::LeftButton, {}, centre);
    EXPECT_EQ(view.selection(), 2);
    EXPECT_TRUE(view.canvas()->tile(2)->isSelected());
    EXPECT_FALSE(tile->isSelected());
    EXPECT_EQ(active().buttons, before);
}

TEST_F(MacrosTest, TheContextMenuMovesAKeyWithinTheDevicesGridAndKeepsTheSelection)
{
    MacrosView& view = page();
    KeyCanvas* canvas = view.canvas();
    const auto enabled = [&](int index) {
        std::unique_ptr<QMenu> menu(canvas->makeContextMenu(index, nullptr));
        QList<bool> states;
        QStringList texts;
        for (QAction* action : menu->actions()) {
            states.append(action->isEnabled());
            texts.append(action->text());
        }
        EXPECT_EQ(texts, (QStringList{"Move Left", "Move Right", "Move Up", "Move Down"}));
        return states;
    };
    EXPECT_EQ(enabled(0), (QList<bool>{false, true, false, true}));
    EXPECT_EQ(enabled(4), (QList<bool>{false, true, true, true}));
    EXPECT_EQ(enabled(11), (QList<bool>{true, false, true, false}));
    EXPECT_EQ(enabled(6), (QList<bool>{true, true, true, true}));

    clickTile(4);
    const QList<MacroButton> before = active().buttons;
    std::unique_ptr<QMenu> menu(canvas->makeContextMenu(4, nullptr));
    menu->findChild<QAction*>(QStringLiteral("moveUpAction"))->trigger();
    EXPECT_EQ(active().buttons[0], before[4]);
    EXPECT_EQ(active().buttons[4], before[0]);
    EXPECT_EQ(view.selection(), 4);
    EXPECT_EQ(find<QAction>("undoAction")->text(), QStringLiteral("Undo Move Key"));

}

TEST_F(MacrosTest, TilesAreNamedByTheirKeyAndSlot)
{
    MacrosView& view = page();
    putKey(0, key(QStringLiteral("Lamp"), MacroAction::unassigned()));
    putKey(1, key(QStringLiteral("A very long label"), MacroAction::media(MediaKey::mute)));
    putKey(2, key(QString(), MacroAction::media(MediaKey::mute)));
    EXPECT_EQ(view.canvas()->tile(0)->accessibleName(), QStringLiteral("Empty slot 1"));
    EXPECT_EQ(view.canvas()->tile(1)->accessibleName(), QStringLiteral("A very long label, slot 2"));
    EXPECT_EQ(view.canvas()->tile(2)->accessibleName(), QStringLiteral(", slot 3"));
}

TEST_F(MacrosTest, ArrowsHomeAndEndSelectKeysAndTheKeyUnderTheKeyboardShowsIt)
{
    MacrosView& view = page();
    KeyCanvas* canvas = view.canvas();
    QApplication::setActiveWindow(window.get());
    canvas->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitUntil([&] { return canvas->hasFocus(); }));
    EXPECT_TRUE(canvas->tile(0)->isFocusShown());
    QTest::keyClick(canvas, Qt::Key_Right);
    QTest::keyClick(canvas, Qt::Key_Down);
    EXPECT_EQ(view.selection(), 5);
    EXPECT_EQ(find<QGroupBox>("keySection")->title(), QStringLiteral("Key 6"));
    EXPECT_TRUE(canvas->tile(5)->isFocusShown());
    EXPECT_FALSE(canvas->tile(0)->isFocusShown());
    QTest::keyClick(canvas, Qt::Key_End);
    EXPECT_EQ(view.selection(), 11);
    QTest::keyClick(canvas, Qt::Key_Down);
    QTest::keyClick(canvas, Qt::Key_Right);
    EXPECT_EQ(view.selection(), 11);
    QTest::keyClick(canvas, Qt::Key_Home);
    EXPECT_EQ(view.selection(), 0);
}

// A screen reader reads the grid as a list of the keys in slot order; wherever the arrows, Home and
// End go, the focused item is the selected key, named as its tile, and no other key is focused.
TEST_F(MacrosTest, TheAccessibleFocusFollowsTheArrowsThroughTheGrid)
{
    MacrosView& view = page();
    KeyCanvas* canvas = view.canvas();
    putKey(2, key(QStringLiteral("Lamp"), MacroAction::media(MediaKey::mute)));
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(canvas);
    ASSERT_EQ(grid->role(), QAccessible::List);
    EXPECT_EQ(grid->text(QAccessible::Name), QStringLiteral("Keys"));
    ASSERT_EQ(grid->childCount(), int(canvas->buttons().size()));
    for (int slot = 0; slot < grid->childCount(); ++slot) {
        QAccessibleInterface* key = grid->child(slot);
        EXPECT_EQ(key->role(), QAccessible::ListItem);
        EXPECT_EQ(key->text(QAccessible::Name), KeyCanvas::accessibleName(canvas->buttons()[slot], slot));
        EXPECT_EQ(grid->indexOfChild(key), slot);
        EXPECT_EQ(key->parent(), grid);
    }

    QApplication::setActiveWindow(window.get());
    canvas->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitUntil([&] { return canvas->hasFocus(); }));
    const Qt::Key keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End};
    QRandomGenerator random(63);
    for (int press = 0; press < 200; ++press) {
        const Qt::Key pressed = keys[random.bounded(int(std::size(keys)))];
        QTest::keyClick(canvas, pressed);
        const int selected = view.selection();
        QAccessibleInterface* focused = grid->focusChild();
        ASSERT_NE(focused, nullptr);
        ASSERT_EQ(focused, grid->child(selected)) << "after " << QKeySequence(pressed).toString().toStdString();
        EXPECT_EQ(focused->text(QAccessible::Name), canvas->tile(selected)->accessibleName());
        for (int slot = 0; slot < grid->childCount(); ++slot) {
            EXPECT_EQ(grid->child(slot)->state().focused, slot == selected) << slot;
            EXPECT_EQ(grid->child(slot)->state().selected, slot == selected) << slot;
        }
    }

    canvas->clearFocus();
    for (int slot = 0; slot < grid->childCount(); ++slot)
        EXPECT_FALSE(grid->child(slot)->state().focused) << slot;
}

TEST_F(MacrosTest, ReturnOrF2OnTheGridPutsTheKeyboardInTheLabelField)
{
    MacrosView& view = page();
    putKey(1, key(QStringLiteral("Lamp"), MacroAction::media(MediaKey::mute)));
    QApplication::setActiveWindow(window.get());
    QLineEdit* label = find<QLineEdit>("labelField");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_F2}) {
        view.canvas()->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(waitUntil([&] { return view.canvas()->hasFocus(); }));
        view.setSelection(0);
        QTest::keyClick(view.canvas(), Qt::Key_Right);
        QTest::keyClick(view.canvas(), key);
        EXPECT_TRUE(label->hasFocus()) << key;
        EXPECT_EQ(label->selectedText(), QStringLiteral("Lamp"));
    }
}

TEST_F(MacrosTest, TheMenuKeyOpensTheSelectedKeysMenu)
{
    MacrosView& view = page();
    KeyCanvas* canvas = view.canvas();
    view.setSelection(4);
    QTest::keyClick(canvas, Qt::Key_F10, Qt::ShiftModifier);
    auto* menu = canvas->findChild<QMenu*>(QStringLiteral("keyContextMenu"));
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->findChild<QAction*>(QStringLiteral("moveLeftAction"))->isEnabled());
    EXPECT_TRUE(menu->findChild<QAction*>(QStringLiteral("moveUpAction"))->isEnabled());
    menu->close();
}

TEST_F(MacrosTest, CtrlArrowsMoveTheSelectedKeyAsOneUndoStepAndTheSelectionGoesWithIt)
{
    MacrosView& view = page();
    KeyCanvas* canvas = view.canvas();
    view.setSelection(4);
    const QList<MacroButton> before = active().buttons;
    const int steps = window->undoStack(SidebarItem::macros)->count();
    QTest::keyClick(canvas, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(active().buttons[5], before[4]);
    EXPECT_EQ(active().buttons[4], before[5]);
    EXPECT_EQ(view.selection(), 5);
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), steps + 1);
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Move Key"));
    // The device's grid ends at the first column: nothing moves.
    view.setSelection(4);
    QTest::keyClick(canvas, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(window->undoStack(SidebarItem::macros)->count(), steps + 1);
    EXPECT_EQ(view.selection(), 4);
}

TEST_F(MacrosTest, DeleteOrBackspaceOnTheGridClearsTheSelectedKeyAsOneStep)
{
    MacrosView& view = page();
    KeyCanvas* canvas = view.canvas();
    for (Qt::Key key : {Qt::Key_Delete, Qt::Key_Backspace}) {
        view.setSelection(1);
        const MacroButton before = active().buttons[1];
        ASSERT_NE(before.action, MacroAction::unassigned());
        const int steps = window->undoStack(SidebarItem::macros)->index();
        QTest::keyClick(canvas, key);
        EXPECT_EQ(active().buttons[1].action, MacroAction::unassigned()) << key;
        EXPECT_EQ(window->undoStack(SidebarItem::macros)->index(), steps + 1);
        EXPECT_EQ(window->undoStack(SidebarItem::macros)->undoText(), QStringLiteral("Clear Key"));
        // A key with nothing to clear: no step.
        QTest::keyClick(canvas, key);
        EXPECT_EQ(window->undoStack(SidebarItem::macros)->index(), steps + 1);
        trigger("undoAction");
        EXPECT_EQ(active().buttons[1], before);
    }
}

TEST_F(MacrosTest, TheKeysMenuNamesTheKeysOfItsMoves)
{
    MacrosView& view = page();
    std::unique_ptr<QMenu> menu(view.canvas()->makeContextMenu(5, nullptr));
    QStringList shortcuts;
    for (QAction* action : menu->actions()) {
        EXPECT_TRUE(action->isShortcutVisibleInContextMenu()) << action->text().toStdString();
        shortcuts.append(action->shortcut().toString());
    }
    EXPECT_EQ(shortcuts, (QStringList{"Ctrl+Left", "Ctrl+Right", "Ctrl+Up", "Ctrl+Down"}));
}

TEST_F(MacrosTest, UndoAndRedoOfAMoveSelectTheKeyThatMoved)
{
    MacrosView& view = page();
    KeyCanvas* canvas = view.canvas();
    const QList<MacroButton> before = active().buttons;
    view.setSelection(4);
    QTest::keyClick(canvas, Qt::Key_Right, Qt::ControlModifier);
    ASSERT_EQ(view.selection(), 5);
    view.setSelection(9);
    trigger("undoAction");
    EXPECT_EQ(active().buttons, before);
    EXPECT_EQ(view.selection(), 4);
    EXPECT_EQ(find<QGroupBox>("keySection")->title(), QStringLiteral("Key 5"));
    trigger("redoAction");
    EXPECT_EQ(active().buttons[5], before[4]);
    EXPECT_EQ(view.selection(), 5);

    // The menu's move leaves the selection on the slot; undo and redo still follow the key.
    std::unique_ptr<QMenu> menu(canvas->makeContextMenu(5, nullptr));
    menu->findChild<QAction*>(QStringLiteral("moveDownAction"))->trigger();
    EXPECT_EQ(view.selection(), 5);
    trigger("undoAction");
    EXPECT_EQ(view.selection(), 5);
    trigger("redoAction");
    EXPECT_EQ(view.selection(), 9);
    EXPECT_EQ(active().buttons[9], before[4]);

    // Another edit's undo leaves the selection where it is.
    view.setSelection(2);
    find<QPushButton>("clearKeyButton")->click();
    trigger("undoAction");
    EXPECT_EQ(view.selection(), 2);
}

TEST(KeyTileTest, UnlitLitAndTintedKeysUseTheirFillsBordersAndContentColours)
{
    // Unlit neutral: dark fill, grey hairline, near-white content.
    const QImage unlit = drawTile(keystroke(QStringLiteral("MM")));
    EXPECT_TRUE(near(unlit.pixel(15, 41), KeyTile::unlitFill()));
    EXPECT_TRUE(near(unlit.pixel(58, 3), KeyTile::unlitBorder()));
    EXPECT_TRUE(near(unlit.pixel(58, 4), KeyTile::unlitFill()));
    EXPECT_GT(pixelsNear(unlit, QColor(0xF2, 0xF4, 0xF6)), 10);
    EXPECT_EQ(pixelsNear(unlit, QColor(0xFF, 0xB0, 0x20)), 0);

    // Lit neutral: amber face, a 2-point amber border and amber content.
    MacroButton lit = keystroke(QStringLiteral("MM"));
    lit.isToggle = true;
    lit.isActive = true;
    const QImage litImage = drawTile(lit);
    EXPECT_TRUE(near(litImage.pixel(15, 41), QColor(0x2A, 0x20, 0x08)));
    EXPECT_TRUE(near(litImage.pixel(58, 3), QColor(0xFF, 0xB0, 0x20)));
    EXPECT_TRUE(near(litImage.pixel(58, 4), QColor(0xFF, 0xB0, 0x20)));
    EXPECT_TRUE(near(litImage.pixel(58, 5), QColor(0x2A, 0x20, 0x08)));
    EXPECT_EQ(pixelsNear(litImage, QColor(0xF2, 0xF4, 0xF6)), 0);

    // Active but not latching draws unlit; so does latching but not active.
    MacroButton activeOnly = lit;
    activeOnly.isToggle = false;
    EXPECT_EQ(drawTile(activeOnly), unlit);

    // Blue, unlit and lit.
    const QImage blue = drawTile(keystroke(QStringLiteral("MM"), KeyTint::blue));
    EXPECT_TRUE(near(blue.pixel(15, 41), KeyTile::unlitFill()));
    EXPECT_GT(pixelsNear(blue, QColor(0x3B, 0x82, 0xF6)), 10);
    MacroButton blueLit = keystroke(QStringLiteral("MM"), KeyTint::blue);
    blueLit.isToggle = blueLit.isActive = true;
    const QImage blueLitImage = drawTile(blueLit);
    EXPECT_TRUE(near(blueLitImage.pixel(15, 41), QColor(0x0B, 0x1A, 0x33)));
    EXPECT_TRUE(near(blueLitImage.pixel(58, 3), QColor(0x3B, 0x82, 0xF6)));
}

TEST(KeyTileTest, EmptyKeysAreDashedOutlinesAndUnsetActionsWearTheBadge)
{
    // A label without an action is an empty slot: no fill at all.
    MacroButton lamp;
    lamp.label = QStringLiteral("Lamp");
    const QImage empty = drawTile(lamp);
    EXPECT_EQ(qAlpha(empty.pixel(15, 41)), 0);
    EXPECT_EQ(pixelsNear(empty, KeyTile::unlitFill()), 0);
    // The dashes: the top edge is drawn in places and open in others.
    int inked = 0;
    for (int x = 20; x < 96; ++x)
        inked += qAlpha(empty.pixel(x, 3)) > 0;
    EXPECT_GT(inked, 20);
    EXPECT_LT(inked, 66);

    MacroButton unset = keystroke(QStringLiteral("Web"));
    unset.action = MacroAction::openURL(QStringLiteral("https://"));
    const QImage badged = drawTile(unset);
    const QRectF badge = KeyTile::badgeRect(QRectF(3, 3, 110, 77));
    EXPECT_TRUE(near(badged.pixel(int(badge.left() + 3), int(badge.center().y())), KeyTile::badgeOrange(), 6));
    EXPECT_TRUE(near(badged.pixel(int(badge.center().x()), int(badge.top() + badge.height() * 0.4)), Qt::white, 6));
    EXPECT_EQ(pixelsNear(drawTile(keystroke(QStringLiteral("Web"))), KeyTile::badgeOrange()), 0);

    // The selection ring lies outside the tile, in the accent colour.
    const QImage selected = drawTile(keystroke(QStringLiteral("MM")), true);
    EXPECT_TRUE(near(selected.pixel(58, 1), QGuiApplication::palette().color(QPalette::Highlight), 6));
    EXPECT_EQ(qAlpha(drawTile(keystroke(QStringLiteral("MM"))).pixel(58, 1)), 0);
}

TEST(KeyTileTest, TheTileShowsTheLabelAsTheDeviceCutsIt)
{
    // Twelve characters, wider than the device's key in its font, with a symbol it lacks.
    const MacroButton copy = keystroke(QStringLiteral("Copy \u2702 Stuff"));
    const QString shown = DynamicUIDemo::visibleKeyLabel(copy);
    EXPECT_EQ(shown, QStringLiteral("Copy   Stuf"));
    EXPECT_LE(MontserratMetrics::textWidth(shown, 18), DynamicUIDemo::keyLabelRoom);
}

