#include "ui/widgets/WindowUndo.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

class WindowUndoFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        // Not taken here, the keys go on to the window's shortcuts.
        return key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo);
    }
};

}  // namespace

void leaveUndoToWindow(QLineEdit* field)
{
    field->installEventFilter(new WindowUndoFilter(field));
}
