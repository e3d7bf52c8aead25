#include "ui/settings/SettingsForm.h"

#include "ui/widgets/FormSection.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolLabel.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>

QVBoxLayout* SettingsForm::tabLayout(QWidget* tab)
{
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(14);
    return layout;
}

QLabel* SettingsForm::failureLabel(const char* objectName)
{
    // Failures quote names and paths from outside.
    auto* label = PlainText::label();
    label->setObjectName(QLatin1String(objectName));
    label->setWordWrap(true);
    label->setFont(FormSection::relativeFont(label->font(), -1));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, SymbolLabel::red());
    label->setPalette(palette);
    label->hide();
    return label;
}

void SettingsForm::showFailure(QLabel* label, const std::optional<QString>& failure)
{
    label->setText(failure.value_or(QString()));
    // A form lays out a row it was told is shown; a row whose widget only hides itself keeps
    // its place in the form's reckoning, and the rows around it get squeezed.
    auto* form = qobject_cast<QFormLayout*>(label->parentWidget() ? label->parentWidget()->layout() : nullptr);
    if (form && form->indexOf(label) >= 0)
        form->setRowVisible(label, failure.has_value());
    else
        label->setVisible(failure.has_value());
}
