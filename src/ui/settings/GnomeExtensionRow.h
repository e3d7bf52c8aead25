#pragma once
// The row of the Auto-Switching tab on GNOME's Wayland session: what Tarv's GNOME Shell
// extension still needs, in words, with the button that takes the one step that helps, and
// the step's failure in red under it.

#include <QWidget>

class GnomeExtensionSetup;
class QLabel;
class QPushButton;

class GnomeExtensionRow : public QWidget {
    Q_OBJECT
public:
    explicit GnomeExtensionRow(GnomeExtensionSetup& setup, QWidget* parent = nullptr);

    QLabel* stateLabel() const { return m_state; }
    QPushButton* stepButton() const { return m_button; }
    QLabel* failureLabel() const { return m_failure; }
    // Whether there is anything to say: a step to take, a wait or a failure.
    bool hasNews() const;

signals:
    void newsChanged();

private:
    void showState();

    GnomeExtensionSetup& m_setup;
    QLabel* m_state = nullptr;
    QPushButton* m_button = nullptr;
    QLabel* m_failure = nullptr;
};
