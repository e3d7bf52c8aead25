#pragma once
// Names a control that has no label of its own beside it, for assistive technology.

class QString;
class QWidget;

// Gives `control` the accessible name `name`.
void nameControl(QWidget* control, const QString& name);
