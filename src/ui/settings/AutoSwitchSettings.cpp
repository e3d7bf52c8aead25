#include "ui/settings/AutoSwitchSettings.h"

#include "hub/DeviceManager.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "ui/settings/SettingsForm.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolLabel.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QUuid>

AutoSwitchSettings::AutoSwitchSettings(DeviceManager& deviceManager, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager)
{
    ProfileAutoSwitcher& switcher = m_deviceManager.autoSwitcher();
    ProfileStore& profiles = m_deviceManager.profiles();

    auto* section = new FormSection(QString());
    section->setObjectName(QStringLiteral("autoSwitchSection"));
    m_switch = new QCheckBox(QStringLiteral("Switch profiles with the app in front"));
    m_switch->setObjectName(QStringLiteral("autoSwitchSwitch"));
    section->rows()->addRow(m_switch);
    m_fallback = new QComboBox;
    m_fallback->setObjectName(QStringLiteral("fallbackPicker"));
    m_fallback->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    section->rows()->addRow(QStringLiteral("For all other apps"), m_fallback);
    section->setFooter(QStringLiteral("Link apps to a profile with the Auto-Switch button in Macros. Turning this off "
                                      "is the same as Pause Auto-Switching in the Device menu."));

    auto* layout = SettingsForm::tabLayout(this);
    if (!switcher.canFollowApplications() && !switcher.unavailableReason().isEmpty()) {
        // Orange, with the warning sign: switching is on as far as Tarv goes, yet nothing moves.
        auto* reason = new SymbolLabel(QStringLiteral("exclamationmark.triangle"), switcher.unavailableReason(),
                                       SymbolLabel::orange(), 0);
        reason->setObjectName(QStringLiteral("autoSwitchUnavailable"));
        reason->textLabel()->setObjectName(QStringLiteral("autoSwitchUnavailableText"));
        reason->setContentsMargins(4, 0, 4, 0);
        layout->addWidget(reason);
    }
    layout->addWidget(section);

    connect(m_switch, &QCheckBox::clicked, this, [this](bool on) { m_deviceManager.autoSwitcher().setPaused(!on); });
    connect(m_fallback, &QComboBox::activated, this, [this](int index) {
        const QVariant id = m_fallback->itemData(index);
        m_deviceManager.profiles().setFallbackProfile(id.isValid() ? std::optional(id.toUuid()) : std::nullopt);
    });
    connect(&switcher, &ProfileAutoSwitcher::isPausedChanged, this, &AutoSwitchSettings::showPause);
    connect(&profiles, &ProfileStore::profilesChanged, this, &AutoSwitchSettings::fillProfiles);
    connect(&profiles, &ProfileStore::fallbackIDChanged, this, &AutoSwitchSettings::fillProfiles);
    fillProfiles();
    showPause();
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
