#include "ui/macros/ShortcutEditor.h"

#include "macros/HIDKeyTables.h"
#include "ui/macros/ChordLabel.h"
#include "ui/macros/ShortcutCapture.h"
#include "ui/macros/WheelGuard.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolIcon.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QToolButton>

namespace {

constexpr int usageRole = Qt::UserRole;

struct ModifierButton {
    const char* label;
    const char* help;
    HIDModifiers flag;
    const char* objectName;
};

constexpr ModifierButton modifierButtonTable[] = {
    {"Ctrl", "Control", HIDModifiers::control(), "ctrlModifierButton"},
    {"Alt", "Alt", HIDModifiers::option(), "altModifierButton"},
    {"Shift", "Shift", HIDModifiers::shift(), "shiftModifierButton"},
    {"Super", "Super", HIDModifiers::command(), "superModifierButton"},
};

QList<SystemShortcut> buildSystemShortcuts()
{
    const HIDModifiers none = HIDModifiers::none();
    const HIDModifiers ctrl = HIDModifiers::control();
    const HIDModifiers alt = HIDModifiers::option();
    const HIDModifiers super = HIDModifiers::command();
    return {
        // The Super key alone: its own usage, no modifier bits.
        {QStringLiteral("Activities Overview (Super)"), {0xE3, none}},
        {QStringLiteral("Lock Screen (Super+L)"), {0x0F, super}},
        {QStringLiteral("Switch Windows (Alt+Tab)"), {0x2B, alt}},
        {QStringLiteral("Show Desktop (Super+D)"), {0x07, super}},
        {QStringLiteral("Run a Command (Alt+F2)"), {0x3B, alt}},
        {QStringLiteral("Close Window (Alt+F4)"), {0x3D, alt}},
        {QStringLiteral("Open a Terminal (Ctrl+Alt+T)"), {0x17, ctrl | alt}},
        {QStringLiteral("Screenshot (Print)"), {0x46, none}},
        {QStringLiteral("Screenshot of a Window (Alt+Print)"), {0x46, alt}},
        {QStringLiteral("Log Out (Ctrl+Alt+Delete)"), {0x4C, ctrl | alt}},
    };
}

}  // namespace

const QList<SystemShortcut>& ShortcutEditor::systemShortcuts()
{
    static const QList<SystemShortcut> shortcuts = buildSystemShortcuts();
    return shortcuts;
}

QString ShortcutEditor::chordText(const KeyChord& chord)
{
    return modifierGlyphs(chord.modifiers) + hidKeyLabel(chord.usage);
}

ShortcutEditor::ShortcutEditor(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("shortcutEditor"));

    // "Shortcut": the chord, and under it the recorder and the common shortcuts. The chord has
    // a line of its own, so however long it is, nothing beside it moves.
    m_chordText = new ChordLabel;
    m_chordText->setObjectName(QStringLiteral("chordText"));
    m_chordText->setFont(FormSection::monospacedFont(0));
    m_recordButton = new QPushButton(QStringLiteral("Record…"));
    m_recordButton->setObjectName(QStringLiteral("recordButton"));
    m_recordButton->setFixedWidth(m_recordButton->fontMetrics().horizontalAdvance(m_recordButton->text()) + 24);
    connect(m_recordButton, &QPushButton::clicked, this, &ShortcutEditor::record);

    m_systemMenu = new QMenu(this);
    m_systemMenu->setObjectName(QStringLiteral("systemShortcutsMenu"));
    for (const SystemShortcut& shortcut : systemShortcuts()) {
        QAction* action = m_systemMenu->addAction(shortcut.title);
        const KeyChord chord = shortcut.chord;
        connect(action, &QAction::triggered, this, [this, chord] { edit(chord); });
    }
    m_systemButton = new QToolButton;
    m_systemButton->setObjectName(QStringLiteral("systemShortcutsButton"));
    m_systemButton->setIcon(symbolIcon(QStringLiteral("list.bullet")));
    m_systemButton->setToolTip(QStringLiteral("Common system shortcuts, for when the recorder cannot capture them"));
    m_systemButton->setAccessibleName(m_systemButton->toolTip());
    m_systemButton->setMenu(m_systemMenu);
    m_systemButton->setPopupMode(QToolButton::InstantPopup);
    // The symbol alone, without the menu's arrow.
    m_systemButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));

    auto* chordRow = new QWidget;
    auto* chordLayout = new QHBoxLayout(chordRow);
    chordLayout->setContentsMargins(0, 0, 0, 0);
    chordLayout->addWidget(m_chordText);
    chordLayout->addStretch(1);
    auto* recordRow = new QWidget;
    auto* recordLayout = new QHBoxLayout(recordRow);
    recordLayout->setContentsMargins(0, 0, 0, 0);
    recordLayout->setSpacing(8);
    recordLayout->addWidget(m_recordButton);
    recordLayout->addWidget(m_systemButton);
    recordLayout->addStretch(1);

    // "Key": the usages of the key groups, each group under its title.
    m_keyPicker = new QComboBox;
    m_keyPicker->setObjectName(QStringLiteral("keyPicker"));
    WheelGuard::install(m_keyPicker);
    auto* model = new QStandardItemModel(m_keyPicker);
    for (const HIDKeyGroup& group : hidKeyGroups()) {
        auto* header = new QStandardItem(group.title);
        header->setFlags(Qt::NoItemFlags);
        QFont bold = m_keyPicker->font();
        bold.setBold(true);
        header->setFont(bold);
        model->appendRow(header);
        for (std::uint16_t usage : group.usages) {
            auto* item = new QStandardItem(hidKeyDisplayName(usage));
            item->setData(usage, usageRole);
            model->appendRow(item);
        }
    }
    m_keyPicker->setModel(model);
    connect(m_keyPicker, &QComboBox::activated, this, [this](int row) {
        const QVariant usage = m_keyPicker->itemData(row, usageRole);
        if (!usage.isValid())
            return;
        KeyChord chord = m_chord;
        chord.usage = std::uint16_t(usage.toUInt());
        edit(chord);
    });

    // "Modifiers": one toggle per modifier.
    auto* modifierRow = new QWidget;
    auto* modifierLayout = new QHBoxLayout(modifierRow);
    modifierLayout->setContentsMargins(0, 0, 0, 0);
    modifierLayout->setSpacing(6);
    for (const ModifierButton& row : modifierButtonTable) {
        auto* button = new QToolButton;
        button->setText(QString::fromLatin1(row.label));
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setObjectName(QString::fromLatin1(row.objectName));
        button->setCheckable(true);
        button->setToolTip(QString::fromLatin1(row.help));
        button->setAccessibleName(QString::fromLatin1(row.help));
        const HIDModifiers flag = row.flag;
        connect(button, &QToolButton::toggled, this, [this, flag](bool on) {
            KeyChord chord = m_chord;
            if (on)
                chord.modifiers.insert(flag);
            else
                chord.modifiers.remove(flag);
            edit(chord);
        });
        modifierLayout->addWidget(button);
        m_modifierButtons.append(button);
    }
    modifierLayout->addStretch(1);

    m_form = new QFormLayout(this);
    m_form->setContentsMargins(0, 0, 0, 0);
    FormSection::matchRows(m_form);
    m_form->addRow(QStringLiteral("Shortcut"), chordRow);
    m_form->addRow(QString(), recordRow);
    m_form->addRow(QStringLiteral("Key"), m_keyPicker);
    m_form->addRow(QStringLiteral("Modifiers"), modifierRow);

    showChord();
}

QLabel* ShortcutEditor::chordLabel() const
{
    return m_chordText;
}

bool ShortcutEditor::isRecording() const
{
    return !m_capture.isNull();
}

ShortcutCapturePopup* ShortcutEditor::capturePopup() const
{
    return m_capture.data();
}

void ShortcutEditor::setChord(const KeyChord& chord)
{
    m_chord = chord;
    showChord();
}

void ShortcutEditor::edit(const KeyChord& chord)
{
    if (chord == m_chord) {
        // A toggle the store did not change goes back to what the chord says.
        showChord();
        return;
    }
    emit chordEdited(chord);
}

void ShortcutEditor::showChord()
{
    m_chordText->setChord(chordText(m_chord));
    {
        const QSignalBlocker blocker(m_keyPicker);
        // A usage in none of the groups leaves the picker without a selection.
        m_keyPicker->setCurrentIndex(m_keyPicker->findData(m_chord.usage, usageRole));
    }
    for (int i = 0; i < m_modifierButtons.size(); ++i) {
        const QSignalBlocker blocker(m_modifierButtons[i]);
        m_modifierButtons[i]->setChecked(m_chord.modifiers.contains(modifierButtonTable[i].flag));
    }
}

void ShortcutEditor::record()
{
    if (m_capture)
        return;
    m_capture = new ShortcutCapturePopup(this);
    connect(m_capture, &ShortcutCapturePopup::chordRecorded, this, &ShortcutEditor::edit);
    connect(m_capture, &ShortcutCapturePopup::finished, this, [this] {
        if (m_capture)
            m_capture->deleteLater();
        m_capture = nullptr;
    });
    m_capture->popUp(m_recordButton);
}

const QStringList& ShortcutEditor::rowTitles()
{
    static const QStringList titles{QStringLiteral("Shortcut"), QStringLiteral("Key"), QStringLiteral("Modifiers")};
    return titles;
}

void ShortcutEditor::setLabelWidth(int width)
{
    FormSection::setLabelWidth(m_form, width);
}
