#include "ui/widgets/ControlName.h"

#include <QComboBox>
#include <QLabel>

void nameControl(QWidget* control, const QString& name)
{
    control->setAccessibleName(name);
    if (!qobject_cast<QComboBox*>(control))
        return;
    Q_ASSERT(control->parentWidget());
    // A buddy names only a control beside it, in the same parent.
    auto* label = new QLabel(control->parentWidget());
    label->setObjectName(control->objectName() + QStringLiteral("Name"));
    label->setTextFormat(Qt::PlainText);
    label->setText(name);
    label->setBuddy(control);
    label->hide();
}
