#pragma once
// The Advanced tab's section of the `tarv` tool's link: its status, the one button that
// installs, removes or replaces it, and the failure of the last press. Where the folder needs
// an administrator, the same change runs through the privileged runner; the window goes on
// meanwhile, and its answer arrives later.

#include "control/CommandLineToolInstaller.h"
#include "ui/widgets/FormSection.h"

#include <optional>

class PrivilegedRunner;
class QLabel;
class QPushButton;

class CommandLineToolSection : public FormSection {
    Q_OBJECT
public:
    CommandLineToolSection(CommandLineToolInstaller installer, PrivilegedRunner& runner, QWidget* parent = nullptr);

    // The tool beside the running application.
    static QString bundledToolPath();

    CommandLineToolInstaller::Status status() const { return m_status; }
    QString statusText() const;
    const std::optional<QString>& failure() const { return m_failure; }
    QPushButton* actionButton() const { return m_button; }
    bool isWaitingForAdministrator() const { return m_waiting; }

    void refreshStatus();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void perform(bool install);
    void finish(const std::optional<QString>& failure);
    void showState();

    CommandLineToolInstaller m_installer;
    PrivilegedRunner& m_runner;
    CommandLineToolInstaller::Status m_status;
    std::optional<QString> m_failure;
    bool m_waiting = false;
    QLabel* m_statusLabel = nullptr;
    QPushButton* m_button = nullptr;
    QLabel* m_failureLabel = nullptr;
};
