#pragma once
// The Advanced tab's section of the `tarv` tool's link: its status, the one button that
// installs, removes or replaces it, and the failure of the last press. The link is looked at,
// made and removed on a worker, and where the folder needs an administrator the same change
// runs through the privileged runner; the window goes on meanwhile, and each answer shows
// when it comes.

#include "control/CommandLineToolInstaller.h"
#include "ui/widgets/FormSection.h"

#include <functional>
#include <memory>
#include <optional>

class PrivilegedRunner;
class OneThreadWorker;
class QLabel;
class QPushButton;

class CommandLineToolSection : public FormSection {
    Q_OBJECT
public:
    CommandLineToolSection(CommandLineToolInstaller installer, PrivilegedRunner& runner, QWidget* parent = nullptr);
    ~CommandLineToolSection() override;

    // The tool beside the running application.
    static QString bundledToolPath();

    CommandLineToolInstaller::Status status() const { return m_status; }
    QString statusText() const;
    const std::optional<QString>& failure() const { return m_failure; }
    QPushButton* actionButton() const { return m_button; }
    bool isWaitingForAdministrator() const { return m_waiting; }
    // A look at the link, or a press (its change, the administrator's run, the status after
    // it), has not answered yet.
    bool isBusy() const { return m_pending > 0 || m_changing; }

    void refreshStatus();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Runs `work` on the worker; what it gives back then runs here.
    void offThread(std::function<std::function<void()>()> work);
    void perform(bool install);
    void performed(const std::optional<CommandLineToolInstaller::InstallError>& error, bool install);
    void finish(const std::optional<QString>& failure);
    void showState();

    CommandLineToolInstaller m_installer;
    PrivilegedRunner& m_runner;
    CommandLineToolInstaller::Status m_status;
    std::optional<QString> m_failure;
    bool m_waiting = false;
    // From a press until its outcome and the status after it are shown.
    bool m_changing = false;
    int m_pending = 0;
    // One thread: looks and changes happen in the order asked.
    std::unique_ptr<OneThreadWorker> m_worker;
    QLabel* m_statusLabel = nullptr;
    QPushButton* m_button = nullptr;
    QLabel* m_failureLabel = nullptr;
};
