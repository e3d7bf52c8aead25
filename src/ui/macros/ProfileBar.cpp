#include "ui/macros/ProfileBar.h"

#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "ui/macros/WheelGuard.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/WindowUndo.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace {

QString quoted(const QString& name)
{
    return QStringLiteral("\u201C") + name + QStringLiteral("\u201D");
}

}  // namespace

ProfileBar::ProfileBar(DeviceManager& deviceManager, QWidget* parent)
    : QFrame(parent), m_deviceManager(deviceManager)
{
    setObjectName(QStringLiteral("profileBar"));
    // A bar of its own shade with a hairline on top, as a bottom bar is drawn.
    setAutoFillBackground(true);
    QPalette shade = palette();
    shade.setColor(QPalette::Window, shade.color(QPalette::Window).darker(104));
    setPalette(shade);
    setFrameShape(QFrame::NoFrame);

    m_picker = new QComboBox;
    m_picker->setObjectName(QStringLiteral("profilePicker"));
    WheelGuard::install(m_picker);
    m_picker->setToolTip(QStringLiteral("Switch the profile shown on Tarv"));
    m_picker->setMinimumWidth(90);
    m_picker->setMaximumWidth(170);
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_picker, &QComboBox::activated, this, [this](int row) {
        const QUuid id(m_picker->itemData(row).toString());
        emit selectionResetRequested();
        m_deviceManager.profiles().activateProfile(id);
    });

    m_renameField = new QLineEdit;
    m_renameField->setObjectName(QStringLiteral("renameField"));
    leaveUndoToWindow(m_renameField);
    m_renameField->setPlaceholderText(QStringLiteral("Profile name"));
    m_renameField->setAccessibleName(QStringLiteral("Profile name"));
    m_renameField->setToolTip(QStringLiteral("Rename this profile"));
    m_renameField->setMinimumWidth(80);
    m_renameField->setMaximumWidth(170);
    // Every edit is stored as typed: no commit step, no trimming, empty allowed.
    connect(m_renameField, &QLineEdit::textEdited, this, [this](const QString& text) {
        ProfileStore& store = m_deviceManager.profiles();
        store.renameProfile(store.activeID(), text);
    });

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("profileMenu"));
    m_newAction = m_menu->addAction(QStringLiteral("New Empty Profile"));
    m_newAction->setObjectName(QStringLiteral("newProfileAction"));
    connect(m_newAction, &QAction::triggered, this, [this] {
        emit selectionResetRequested();
        m_deviceManager.profiles().addProfile(false);
    });
    // The copy keeps the selected slot: the selection stays.
    m_duplicateAction = m_menu->addAction(QString());
    m_duplicateAction->setObjectName(QStringLiteral("duplicateProfileAction"));
    connect(m_duplicateAction, &QAction::triggered, this, [this] { m_deviceManager.profiles().addProfile(true); });
    m_menu->addSeparator();
    m_deleteAction = m_menu->addAction(QString());
    m_deleteAction->setObjectName(QStringLiteral("deleteProfileAction"));
    connect(m_deleteAction, &QAction::triggered, this, &ProfileBar::confirmDelete);

    m_menuButton = new QToolButton;
    m_menuButton->setObjectName(QStringLiteral("profileMenuButton"));
    m_menuButton->setIcon(symbolIcon(QStringLiteral("plus")));
    m_menuButton->setToolTip(QStringLiteral("Add, duplicate or delete profiles"));
    m_menuButton->setAccessibleName(QStringLiteral("Add, duplicate or delete profiles"));
    m_menuButton->setMenu(m_menu);
    // The menu's arrow shows, as a menu button's indicator does.
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setToolButtonStyle(Qt::ToolButtonIconOnly);

    m_resendButton = new QPushButton(QStringLiteral("Resend to Tarv"));
    m_resendButton->setObjectName(QStringLiteral("resendButton"));
    m_resendButton->setToolTip(QStringLiteral("Rebuild the Home screen on Tarv from this profile"));
    connect(m_resendButton, &QPushButton::clicked, this, [this] { m_deviceManager.showHome(); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addWidget(m_picker);
    layout->addWidget(m_renameField);
    layout->addWidget(m_menuButton);
    layout->addStretch(1);
    layout->addWidget(m_resendButton);
    m_picker->setAccessibleName(QStringLiteral("Profile"));

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &ProfileBar::showConnection);
    refresh();
    showConnection();
}

void ProfileBar::refresh()
{
    const ProfileStore& store = m_deviceManager.profiles();
    const MacroProfile& active = store.activeProfile();
    {
        const QSignalBlocker blocker(m_picker);
        const QList<MacroProfile>& profiles = store.profiles();
        // Rebuilt only when a name or the order changed: the list stays as it is while keys change.
        bool same = m_pickerEntries.size() == profiles.size();
        for (int i = 0; same && i < profiles.size(); ++i)
            same = m_pickerEntries[i].first == profiles[i].id && m_pickerEntries[i].second == profiles[i].shownName();
        if (!same) {
            m_picker->clear();
            m_pickerEntries.clear();
            for (const MacroProfile& profile : profiles) {
                m_picker->addItem(profile.shownName(), profile.id.toString());
                m_pickerEntries.append({profile.id, profile.shownName()});
            }
        }
        int row = -1;
        for (int i = 0; row < 0 && i < m_pickerEntries.size(); ++i) {
            if (m_pickerEntries[i].first == active.id)
                row = i;
        }
        if (m_picker->currentIndex() != row)
            m_picker->setCurrentIndex(row);
    }
    if (m_renameField->text() != active.name) {
        const QSignalBlocker blocker(m_renameField);
        m_renameField->setText(active.name);
    }
    // An action ignores a text equal to its own: the menus are not told of a change while keys are edited.
    m_duplicateAction->setText(PlainText::actionText(QStringLiteral("Duplicate ") + quoted(active.name)));
    m_deleteAction->setText(
        PlainText::actionText(QStringLiteral("Delete ") + quoted(active.name) + QStringLiteral("…")));
    m_deleteAction->setEnabled(store.profiles().size() >= 2);
}

void ProfileBar::showConnection()
{
    m_resendButton->setEnabled(m_deviceManager.state().isConnected());
}

void ProfileBar::confirmDelete()
{
    if (m_confirmation)
        return;
    const MacroProfile& active = m_deviceManager.profiles().activeProfile();
    // The profile named in the question is the one deleted, whatever becomes active meanwhile.
    const QUuid named = active.id;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Delete ") + quoted(active.name) + u'?',
                                QStringLiteral("Delete ") + quoted(active.name) + u'?', QMessageBox::Cancel, window());
    box->setObjectName(QStringLiteral("deleteConfirmation"));
    box->setTextFormat(Qt::PlainText);
    // Undo brings a deleted profile back: the question no longer says it cannot be undone.
    box->setInformativeText(QStringLiteral("Its keys are removed."));
    QPushButton* deleteButton = box->addButton(QStringLiteral("Delete Profile"), QMessageBox::DestructiveRole);
    deleteButton->setObjectName(QStringLiteral("deleteProfileButton"));
    box->setDefaultButton(QMessageBox::Cancel);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_confirmation = box;
    connect(box, &QMessageBox::finished, this, [this, box, deleteButton, named] {
        const bool confirmed = box->clickedButton() == deleteButton;
        m_confirmation = nullptr;
        if (!confirmed)
            return;
        ProfileStore& store = m_deviceManager.profiles();
        const auto& profiles = store.profiles();
        const bool stillThere = std::any_of(profiles.cbegin(), profiles.cend(),
                                            [&](const MacroProfile& p) { return p.id == named; });
        if (!stillThere)
            return;
        emit selectionResetRequested();
        store.deleteProfile(named);
    });
    box->open();
}
