#pragma once
// The macros page in the main window, shown, over a hub built as the application builds it and
// the fake device; with helpers that act as the user does.

#include "app/ShellFixture.h"

#include "ui/macros/KeyCanvas.h"
#include "ui/macros/KeyPanel.h"
#include "ui/macros/KeyTile.h"
#include "ui/macros/MacrosView.h"
#include "ui/macros/ProfileBar.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QUndoStack>

class MacrosTest : public ShellTest {
protected:
    MacrosView& page()
    {
        if (!window) {
            makeWindow();
            window->show();
        }
        return *window->macrosView();
    }

    template <class T> T* find(const char* name)
    {
        page();
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    const MacroProfile& active() const { return profiles->activeProfile(); }

    // Triggers a window action as its menu item would, checking that it is enabled.
    void trigger(const char* name)
    {
        QAction* action = find<QAction>(name);
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    }

    void clickTile(int index)
    {
        KeyTile* tile = page().canvas()->tile(index);
        QTest::mouseClick(tile, Qt::LeftButton, {}, tile->rect().center());
    }

    // Chooses an entry of a combo box as the user does.
    static void choose(QComboBox* box, int row)
    {
        box->setCurrentIndex(row);
        emit box->activated(row);
    }

    // Replaces key `index` of the active profile without an undo step.
    void putKey(int index, const MacroButton& button)
    {
        MacroProfile profile = active();
        profile.buttons[index] = button;
        QUndoStack* stack = profiles->undoStack();
        profiles->setUndoStack(nullptr);
        profiles->updateKey(profile, QStringLiteral("Test"));
        profiles->setUndoStack(stack);
    }

    static MacroButton key(const QString& label, MacroAction action)
    {
        MacroButton button;
        button.label = label;
        button.action = std::move(action);
        return button;
    }
};
