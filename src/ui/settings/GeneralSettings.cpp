#include "ui/settings/GeneralSettings.h"

#include "ui/settings/AutostartHint.h"
#include "ui/settings/BuildInfo.h"
#include "ui/settings/LoginItem.h"
#include "ui/settings/SettingsForm.h"
#include "ui/widgets/FormSection.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QProcessEnvironment>
#include <QSystemTrayIcon>

GeneralSettings::GeneralSettings(LoginItem* loginItem, QWidget* parent) : QWidget(parent), m_loginItem(loginItem)
{
    m_loginItem->setParent(this);

    auto* login = new FormSection(QString());
    m_login = login;
    login->setObjectName(QStringLiteral("loginSection"));
    m_openAtLogin = new QCheckBox(QStringLiteral("Open Tarv at login"));
    m_openAtLogin->setObjectName(QStringLiteral("openAtLoginSwitch"));
    m_failure = SettingsForm::failureLabel("loginFailureLabel");
    login->rows()->addRow(m_openAtLogin);
    login->rows()->addRow(m_failure);
    m_startHint = new QLabel;
    m_startHint->setObjectName(QStringLiteral("loginStartHint"));
    m_startHint->setTextFormat(Qt::PlainText);
    m_startHint->setWordWrap(true);
    m_startHint->setFont(FormSection::relativeFont(m_startHint->font(), -1));
    FormSection::setSecondaryText(m_startHint);
    // The line to copy into the desktop's configuration.
    m_startLine = new QLabel;
    m_startLine->setObjectName(QStringLiteral("loginStartLine"));
    m_startLine->setTextFormat(Qt::PlainText);
    m_startLine->setFont(FormSection::monospacedFont(-1));
    m_startLine->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    login->rows()->addRow(m_startHint);
    login->rows()->addRow(m_startLine);
    showStartHint();
    showWhereTarvKeepsRunning();

    auto* about = new FormSection(QString());
    about->setObjectName(QStringLiteral("versionSection"));
    auto* version = FormSection::valueLabel("versionValue");
    version->setText(BuildInfo::versionText(BuildInfo::version(), BuildInfo::build()));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    about->rows()->addRow(QStringLiteral("Version"), version);

    auto* layout = SettingsForm::tabLayout(this);
    layout->addWidget(login);
    layout->addWidget(about);

    // The switch asks; the entry file then says what is so, also after a failure that
    // changed no text. Until the answer comes the switch shows what was asked.
    connect(m_openAtLogin, &QCheckBox::clicked, this, [this](bool on) { m_loginItem->setEnabled(on); });
    connect(m_loginItem, &LoginItem::isEnabledChanged, this, &GeneralSettings::showLoginItem);
    connect(m_loginItem, &LoginItem::failureChanged, this, &GeneralSettings::showLoginItem);
    connect(m_loginItem, &LoginItem::busyChanged, this, &GeneralSettings::showLoginItem);
    // An entry changed by the desktop's own settings shows when the user comes back, and so
    // does a tray that came or went meanwhile (asked only while the tab shows: the answer may
    // come from the tray's host).
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            return;
        m_loginItem->refresh();
        if (isVisible())
            showWhereTarvKeepsRunning();
    });
    showLoginItem();
}

void GeneralSettings::showEvent(QShowEvent* event)
{
    m_loginItem->refresh();
    showLoginItem();
    showWhereTarvKeepsRunning();
    QWidget::showEvent(event);
}

void GeneralSettings::showLoginItem()
{
    // The switch stays enabled while a change is written, so the focus stays on it: a second
    // press is written after the first, and the switch shows the file once the last answers.
    if (!m_loginItem->isChanging())
        m_openAtLogin->setChecked(m_loginItem->isEnabled());
    SettingsForm::showFailure(m_failure, m_loginItem->failure());
}

void GeneralSettings::showStartHint()
{
    const std::optional<AutostartHint> hint =
        AutostartHint::forSession(QProcessEnvironment::systemEnvironment(), m_loginItem->program());
    m_startHint->setText(hint ? hint->text() : QString());
    m_startLine->setText(hint ? hint->line : QString());
    m_startLine->setAccessibleName(hint ? hint->text() : QString());
    m_startHint->setVisible(hint.has_value());
    m_startLine->setVisible(hint.has_value());
}

void GeneralSettings::showWhereTarvKeepsRunning()
{
    // Without a tray nothing on the desktop shows that Tarv still runs, nor opens its window.
    m_login->setFooter(QSystemTrayIcon::isSystemTrayAvailable()
                           ? QStringLiteral("The device only works while Tarv is running. "
                                            "Closing the window leaves it running in the tray.")
                           : QStringLiteral("The device only works while Tarv is running. Closing the window "
                                            "leaves it running; start Tarv again to show the window."));
}
