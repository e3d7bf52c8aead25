#include "ui/settings/AutoSwitchSettings.h"

#include "hub/DeviceManager.h"
#include "macros/GnomeExtensionSetup.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "ui/settings/GnomeExtensionRow.h"
#include "ui/settings/SettingsForm.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolLabel.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QUuid>

AutoSwitchSettings::AutoSwitchSettings(DeviceManager& deviceManager,
                                       std::unique_ptr<GnomeExtensionSetup> gnomeExtension, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager), m_gnomeExtension(gnomeExtension.release())
{
    ProfileAutoSwitcher& switcher = m_deviceManager.autoSwitcher();
    ProfileStore& profiles = m_deviceManager.profiles();

    auto* section = new FormSection(QString());
    m_section = section;
    section->setObjectName(QStringLiteral("autoSwitchSection"));
    m_switch = new QCheckBox(QStringLiteral("Switch profiles with the app in front"));
    m_switch->setObjectName(QStringLiteral("autoSwitchSwitch"));
    section->rows()->addRow(m_switch);
    if (m_gnomeExtension) {
        m_gnomeRow = new GnomeExtensionRow(*m_gnomeExtension);
        section->rows()->addRow(m_gnomeRow);
        const auto showRow = [this] { m_section->rows()->setRowVisible(m_gnomeRow, m_gnomeRow->hasNews()); };
        connect(m_gnomeRow, &GnomeExtensionRow::newsChanged, this, showRow);
        showRow();
    }
    m_source = new QLabel;
    m_source->setObjectName(QStringLiteral("autoSwitchSource"));
    m_source->setTextFormat(Qt::PlainText);
    m_source->setWordWrap(true);
    m_source->setFont(FormSection::relativeFont(m_source->font(), -2));
    FormSection::setSecondaryText(m_source);
    section->rows()->addRow(m_source);
    m_fallback = new QComboBox;
    m_fallback->setObjectName(QStringLiteral("fallbackPicker"));
    m_fallback->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    section->rows()->addRow(QStringLiteral("For all other apps"), m_fallback);
    section->setFooter(QStringLiteral("Link apps to a profile with the Auto-Switch button in Macros. Turning this off "
                                      "is the same as Pause Auto-Switching in the Device menu."));

    auto* layout = SettingsForm::tabLayout(this);
    // Orange, with the warning sign: switching is on as far as Tarv goes, yet nothing moves.
    m_unavailable = new SymbolLabel(QStringLiteral("exclamationmark.triangle"), QString(), SymbolLabel::orange(), 0);
    m_unavailable->setObjectName(QStringLiteral("autoSwitchUnavailable"));
    m_unavailable->textLabel()->setObjectName(QStringLiteral("autoSwitchUnavailableText"));
    m_unavailable->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(m_unavailable);
    layout->addWidget(section);

    connect(m_switch, &QCheckBox::clicked, this, [this](bool on) { m_deviceManager.autoSwitcher().setPaused(!on); });
    connect(m_fallback, &QComboBox::activated, this, [this](int index) {
        const QVariant id = m_fallback->itemData(index);
        m_deviceManager.profiles().setFallbackProfile(id.isValid() ? std::optional(id.toUuid()) : std::nullopt);
    });
    connect(&switcher, &ProfileAutoSwitcher::isPausedChanged, this, &AutoSwitchSettings::showPause);
    connect(&switcher, &ProfileAutoSwitcher::sourceChanged, this, &AutoSwitchSettings::showSource);
    connect(&profiles, &ProfileStore::profilesChanged, this, &AutoSwitchSettings::fillProfiles);
    connect(&profiles, &ProfileStore::fallbackIDChanged, this, &AutoSwitchSettings::fillProfiles);
    fillProfiles();
    showPause();
    showSource();
    // The last child goes last, after the row that follows it.
    if (m_gnomeExtension)
        m_gnomeExtension->setParent(this);
}

void AutoSwitchSettings::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_gnomeExtension)
        m_gnomeExtension->refresh();
}

void AutoSwitchSettings::showSource()
{
    const ProfileAutoSwitcher& switcher = m_deviceManager.autoSwitcher();
    const bool follows = switcher.canFollowApplications();
    const QString reason = follows ? QString() : switcher.unavailableReason();
    m_unavailable->setText(reason);
    m_unavailable->setVisible(!reason.isEmpty());
    const QString description = follows ? switcher.sourceDescription() : QString();
    m_source->setText(description);
    m_source->setVisible(!description.isEmpty());
    // Where no way to learn the app in front is left, the switch would change nothing.
    m_switch->setEnabled(follows || reason.isEmpty());
    // Said to a screen reader on the switch they concern: whether it can do anything here.
    m_switch->setAccessibleDescription(follows ? description : reason);
}

void AutoSwitchSettings::showPause()
{
    const bool paused = m_deviceManager.autoSwitcher().isPaused();
    m_switch->setChecked(!paused);
    // Paused, the stored fallback still shows, but cannot be changed.
    m_fallback->setEnabled(!paused);
}

void AutoSwitchSettings::fillProfiles()
{
    const ProfileStore& store = m_deviceManager.profiles();
    const QList<MacroProfile>& profiles = store.profiles();
    // The profiles come after the first row and the separator.
    constexpr int firstProfileRow = 2;
    int selected = 0;
    // Key edits change no name: the list the picker holds stays as it is.
    bool same = m_fallback->count() == profiles.size() + firstProfileRow;
    for (int i = 0; i < profiles.size(); ++i) {
        const int row = i + firstProfileRow;
        if (store.fallbackID() == profiles[i].id)
            selected = row;
        same = same && m_fallback->itemData(row).toUuid() == profiles[i].id &&
               m_fallback->itemText(row) == profiles[i].shownName();
    }
    if (same && m_fallback->currentIndex() == selected)
        return;
    const QSignalBlocker blocker(m_fallback);
    m_fallback->clear();
    m_fallback->addItem(QStringLiteral("Keep the Current Profile"));
    m_fallback->insertSeparator(1);
    for (const MacroProfile& profile : profiles)
        m_fallback->addItem(profile.shownName(), profile.id);
    m_fallback->setCurrentIndex(selected);
}
