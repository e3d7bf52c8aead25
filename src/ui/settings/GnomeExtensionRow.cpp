#include "ui/settings/GnomeExtensionRow.h"

#include "macros/GnomeExtensionSetup.h"
#include "ui/settings/SettingsForm.h"
#include "ui/widgets/PlainText.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

GnomeExtensionRow::GnomeExtensionRow(GnomeExtensionSetup& setup, QWidget* parent)
    : QWidget(parent), m_setup(setup)
{
    setObjectName(QStringLiteral("gnomeExtensionRow"));
    m_state = PlainText::label();
    m_state->setObjectName(QStringLiteral("gnomeExtensionState"));
    m_state->setWordWrap(true);
    m_button = new QPushButton;
    m_button->setObjectName(QStringLiteral("gnomeExtensionButton"));
    m_failure = SettingsForm::failureLabel("gnomeExtensionFailure");

    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(m_state, 1);
    line->addWidget(m_button, 0, Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(line);
    layout->addWidget(m_failure);

    connect(m_button, &QPushButton::clicked, &m_setup, &GnomeExtensionSetup::takeStep);
    connect(&m_setup, &GnomeExtensionSetup::changed, this, &GnomeExtensionRow::showState);
    showState();
}

bool GnomeExtensionRow::hasNews() const
{
    return !m_setup.text().isEmpty() || !m_setup.failure().isEmpty();
}

void GnomeExtensionRow::showState()
{
    const bool hadNews = !m_state->text().isEmpty() || !m_failure->text().isEmpty();
    m_state->setText(m_setup.text());
    const QString title = m_setup.stepTitle();
    m_button->setText(title);
    // The button says what it does; a screen reader hears why beside it.
    m_button->setAccessibleDescription(m_setup.text());
    m_button->setVisible(!title.isEmpty());
    // One step at a time.
    m_button->setEnabled(!m_setup.isBusy());
    SettingsForm::showFailure(m_failure, m_setup.failure().isEmpty() ? std::nullopt
                                                                      : std::optional(m_setup.failure()));
    if (hadNews != hasNews())
        emit newsChanged();
}
