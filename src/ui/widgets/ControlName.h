#pragma once
// Names a control that has no label of its own beside it, for assistive technology.

class QString;
class QWidget;

// Gives `control` the accessible name `name`. A combo box is named on this platform by the labels
// whose buddy it is (its own name is the item it shows): it gets such a label as well, one that
// never shows, so call this once the control has its parent.
void nameControl(QWidget* control, const QString& name);
