#include "ui/widgets/ControlName.h"

#include <QWidget>

void nameControl(QWidget* control, const QString& name)
{
    control->setAccessibleName(name);
}
