#pragma once
// What the Settings tabs share: the form's layout, and the red text under a control whose
// own command failed.

#include <QString>

#include <optional>

class QLabel;
class QVBoxLayout;
class QWidget;

namespace SettingsForm {

// The tab's column of sections, with the room Settings keeps around them.
QVBoxLayout* tabLayout(QWidget* tab);
// Hidden until it has a text: callout size, red, wrapping.
QLabel* failureLabel(const char* objectName);
void showFailure(QLabel* label, const std::optional<QString>& failure);

}  // namespace SettingsForm
