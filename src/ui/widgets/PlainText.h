#pragma once
// Text from outside shown exactly as it is: a player's title, a file, profile or application
// name, a command, an address, a log line. Qt reads a label's or tool tip's text that looks
// like markup as markup (and loads the images it names), and the "&" of an action's or
// button's text as the mark of a keyboard mnemonic. A title or name is shown as one line:
// oneLineText (platform/OneLineText.h) wherever it goes, built into actionText.

#include <QString>

class QLabel;
class QWidget;

namespace PlainText {

// A label that never reads its text as markup.
QLabel* label(const QString& text = QString(), QWidget* parent = nullptr);
// Makes an existing label show its text as it is.
void make(QLabel* label);
// A tool tip that shows the text literally, also when it looks like markup.
QString toolTip(const QString& text);
// The text of an action, menu entry or button as one line, with each "&" shown as itself
// and no tab to start a shortcut column.
QString actionText(const QString& text);

} // namespace PlainText
