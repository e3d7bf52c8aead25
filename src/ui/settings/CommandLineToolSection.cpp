#include "ui/settings/CommandLineToolSection.h"

#include "platform/OneThreadWorker.h"
#include "ui/settings/PrivilegedRunner.h"
#include "ui/settings/SettingsForm.h"
#include "ui/widgets/PlainText.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

using Status = CommandLineToolInstaller::Status;
using InstallError = CommandLineToolInstaller::InstallError;

CommandLineToolSection::CommandLineToolSection(CommandLineToolInstaller installer, PrivilegedRunner& runner,
                                               QWidget* parent)
    : FormSection(QStringLiteral("Command-Line Tool"), parent), m_installer(std::move(installer)), m_runner(runner),
      m_worker(std::make_unique<OneThreadWorker>())
{
    setObjectName(QStringLiteral("commandLineToolSection"));
    auto* label = new QWidget;
    auto* lines = new QVBoxLayout(label);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(2);
    lines->addWidget(new QLabel(QStringLiteral("tarv command")));
    m_statusLabel = PlainText::label();
    m_statusLabel->setObjectName(QStringLiteral("toolStatusLabel"));
    m_statusLabel->setFont(relativeFont(m_statusLabel->font(), -1));
    setSecondaryText(m_statusLabel);
    m_statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lines->addWidget(m_statusLabel);

    m_button = new QPushButton;
    m_button->setObjectName(QStringLiteral("toolActionButton"));
    auto* row = new QWidget;
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->addWidget(label, 1);
    rowLayout->addWidget(m_button, 0, Qt::AlignVCenter);
    rows()->addRow(row);
    m_failureLabel = SettingsForm::failureLabel("toolFailureLabel");
    rows()->addRow(m_failureLabel);
    setFooter(QStringLiteral("<code>tarv notify</code>, <code>tarv snapshot</code> and <code>tarv screen</code> from "
                             "any shell. The link points into this copy of Tarv, so install it again if the app "
                             "moves."));
    // Our own text, with the commands set in code type.
    footer()->setTextFormat(Qt::RichText);

    connect(m_button, &QPushButton::clicked, this, [this] { perform(m_status.kind != Status::Kind::installed); });
    showState();
}

// The worker ends first: a change under way finishes, and its answer goes with the section.
CommandLineToolSection::~CommandLineToolSection() = default;

QString CommandLineToolSection::bundledToolPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tarv");
}

QString CommandLineToolSection::statusText() const
{
    const QString link = m_installer.linkPath();
    switch (m_status.kind) {
    case Status::Kind::notInstalled:
        return QStringLiteral("Not installed");
    case Status::Kind::installed:
        return QStringLiteral("Installed at ") + link;
    case Status::Kind::occupied:
        break;
    }
    return m_status.destination ? link + QStringLiteral(" points to ") + *m_status.destination
                                : link + QStringLiteral(" is another file");
}

void CommandLineToolSection::offThread(std::function<std::function<void()>()> work)
{
    ++m_pending;
    m_worker->run(this, std::move(work), [this](const std::function<void()>& then) {
        --m_pending;
        then();
        showState();
    });
}

void CommandLineToolSection::refreshStatus()
{
    offThread([this, installer = m_installer]() -> std::function<void()> {
        const Status status = installer.installerStatus();
        return [this, status] { m_status = status; };
    });
}

void CommandLineToolSection::showEvent(QShowEvent* event)
{
    refreshStatus();
    FormSection::showEvent(event);
}

void CommandLineToolSection::perform(bool install)
{
    if (m_changing)
        return;
    m_changing = true;
    m_failure.reset();
    showState();
    offThread([this, installer = m_installer, install]() -> std::function<void()> {
        const std::optional<InstallError> error = install ? installer.install() : installer.uninstall();
        return [this, error, install] { performed(error, install); };
    });
}

void CommandLineToolSection::performed(const std::optional<InstallError>& error, bool install)
{
    if (error && error->kind == InstallError::Kind::needsAdministrator) {
        const std::optional<QString> command = m_installer.privilegedCommand(install);
        if (!command) {
            finish(CommandLineToolInstaller::missingToolText());
            return;
        }
        m_waiting = true;
        showState();
        m_runner.run(*command, [section = QPointer(this)](const std::optional<QString>& failure) {
            if (section)
                section->finish(failure);
        });
        return;
    }
    finish(error ? std::optional(error->text()) : std::nullopt);
}

void CommandLineToolSection::finish(const std::optional<QString>& failure)
{
    m_waiting = false;
    m_failure = failure;
    // The press ends once the status after it is shown.
    offThread([this, installer = m_installer]() -> std::function<void()> {
        const Status status = installer.installerStatus();
        return [this, status] {
            m_status = status;
            m_changing = false;
        };
    });
    showState();
}

void CommandLineToolSection::showState()
{
    m_statusLabel->setText(statusText());
    // The button's text is a verb; a screen reader hears what it acts on, and the state beside it.
    switch (m_status.kind) {
    case Status::Kind::notInstalled:
        m_button->setText(QStringLiteral("Install…"));
        m_button->setAccessibleName(QStringLiteral("Install the tarv command…"));
        break;
    case Status::Kind::installed:
        m_button->setText(QStringLiteral("Remove"));
        m_button->setAccessibleName(QStringLiteral("Remove the tarv command"));
        break;
    case Status::Kind::occupied:
        m_button->setText(QStringLiteral("Replace…"));
        m_button->setAccessibleName(QStringLiteral("Replace the tarv command…"));
        break;
    }
    m_button->setAccessibleDescription(m_statusLabel->text());
    // One change, and one password prompt, at a time.
    m_button->setEnabled(!m_changing);
    SettingsForm::showFailure(m_failureLabel, m_failure);
}
