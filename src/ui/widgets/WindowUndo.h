#pragma once
// A field whose edits are steps of its page's undo stack leaves Ctrl+Z and Ctrl+Shift+Z to the
// window's Undo and Redo. Its own history would take back its typing out of turn (past a step
// made since in another control) and unheard by a screen reader.

class QLineEdit;

void leaveUndoToWindow(QLineEdit* field);
