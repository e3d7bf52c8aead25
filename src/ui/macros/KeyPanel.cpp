#include "ui/macros/KeyPanel.h"

#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "macros/ShortcutsCatalog.h"
#include "ui/macros/ActionEditor.h"
#include "ui/macros/IconPicker.h"
#include "ui/macros/KeyTile.h"
#include "ui/macros/WheelGuard.h"
#include "ui/widgets/DeviceIconGlyph.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/ScreenReaderNotice.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/SymbolLabel.h"
#include "ui/widgets/TabOrder.h"
#include "ui/widgets/WindowUndo.h"
#include "ui/widgets/WrappingText.h"

#include <QAccessible>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

// A titled section of rows, named for finding it, with an optional footer.
FormSection* makeSection(const QString& name, const QString& title, const QString& footer = {})
{
    auto* section = new FormSection(title);
    section->setObjectName(name + QStringLiteral("Container"));
    section->box()->setObjectName(name);
    section->footer()->setObjectName(name + QStringLiteral("Footer"));
    section->setFooter(footer);
    return section;
}

// The icon row's button: flat, so the style draws no frame that could show the focus; it
// draws a ring in the accent itself while it has the focus.
class IconRowButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPushButton::paintEvent(event);
        if (!hasFocus())
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 5, 5);
    }
};

bool runsThroughDevice(MacroAction::Kind kind)
{
    return kind == MacroAction::Kind::keystroke || kind == MacroAction::Kind::media ||
           kind == MacroAction::Kind::typeText;
}

}  // namespace

// --- TintSwatch ----------------------------------------------------------------------------

TintSwatch::TintSwatch(KeyTint tint, QWidget* parent) : QAbstractButton(parent), m_tint(tint)
{
    setObjectName(QStringLiteral("tintSwatch:") + keyTintRawValue(tint));
    setCheckable(true);
    setToolTip(KeyInspector::tintName(tint));
    // The row's label names the group to the eye only: a screen reader hears each swatch as a tint.
    setAccessibleName(QStringLiteral("Tint: ") + KeyInspector::tintName(tint));
    setCursor(Qt::PointingHandCursor);
    // The swatches of a row are one group, as radio buttons are: Tab stops at the key's tint
    // only and the arrows move between the tints.
    setAutoExclusive(true);
    setFocusPolicy(Qt::TabFocus);
}

QSize TintSwatch::sizeHint() const
{
    const int side = diameter + 2 * ringOutset;
    return {side, side};
}

void TintSwatch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Faded while the section is disabled, as the other controls of the section are.
    if (!isEnabled())
        painter.setOpacity(0.35);
    const QRectF swatch(QRectF(rect()).center() - QPointF(diameter / 2.0, diameter / 2.0), QSizeF(diameter, diameter));
    painter.setPen(Qt::NoPen);
    painter.setBrush(KeyInspector::swatchColor(m_tint));
    painter.drawEllipse(swatch);
    // The ring of the swatch under the keyboard takes the accent, as the grid's focused key does.
    if (isChecked() || hasFocus()) {
        painter.setPen(QPen(palette().color(hasFocus() ? QPalette::Highlight : QPalette::WindowText), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(swatch.adjusted(-ringOutset + 1, -ringOutset + 1, ringOutset - 1, ringOutset - 1));
    }
}

// --- KeyInspector --------------------------------------------------------------------------

QString KeyInspector::kindTitle(MacroAction::Kind kind)
{
    switch (kind) {
    case MacroAction::Kind::unassigned: return QStringLiteral("None");
    case MacroAction::Kind::keystroke: return QStringLiteral("Keystroke");
    case MacroAction::Kind::media: return QStringLiteral("Media Key");
    case MacroAction::Kind::openApp: return QStringLiteral("Open App");
    case MacroAction::Kind::openURL: return QStringLiteral("Open URL");
    case MacroAction::Kind::runShortcut: return QStringLiteral("Run Shortcut");
    case MacroAction::Kind::typeText: return QStringLiteral("Type Text");
    case MacroAction::Kind::screenshot: return QStringLiteral("Screenshot");
    case MacroAction::Kind::showScreen: return QStringLiteral("Show Screen");
    }
    return {};
}

MacroAction KeyInspector::newAction(MacroAction::Kind kind)
{
    switch (kind) {
    case MacroAction::Kind::unassigned: return MacroAction::unassigned();
    case MacroAction::Kind::keystroke: return MacroAction::keystroke({4, HIDModifiers::none()});
    case MacroAction::Kind::media: return MacroAction::media(MediaKey::playPause);
    case MacroAction::Kind::openApp: return MacroAction::openApp({});
    case MacroAction::Kind::openURL: return MacroAction::openURL(QStringLiteral("https://"));
    case MacroAction::Kind::runShortcut: return MacroAction::runShortcut({});
    case MacroAction::Kind::typeText: return MacroAction::typeText({});
    case MacroAction::Kind::screenshot:
        return MacroAction::screenshot({ScreenshotOptions::Mode::selection, ScreenshotOptions::Destination::file});
    case MacroAction::Kind::showScreen: return MacroAction::showScreen({});
    }
    return MacroAction::unassigned();
}

QString KeyInspector::tintName(KeyTint tint)
{
    switch (tint) {
    case KeyTint::neutral: return QStringLiteral("Neutral");
    case KeyTint::amber: return QStringLiteral("Amber");
    case KeyTint::blue: return QStringLiteral("Blue");
    case KeyTint::green: return QStringLiteral("Green");
    case KeyTint::red: break;
    }
    return QStringLiteral("Red");
}

QColor KeyInspector::swatchColor(KeyTint tint)
{
    switch (tint) {
    case KeyTint::neutral: return {0x8A, 0x90, 0x99};
    case KeyTint::amber: return {0xFF, 0xB0, 0x20};
    case KeyTint::blue: return {0x3B, 0x82, 0xF6};
    case KeyTint::green: return {0x22, 0xC5, 0x5E};
    case KeyTint::red: break;
    }
    return {0xEF, 0x44, 0x44};
}

KeyInspector::KeyInspector(DeviceManager& deviceManager, ShortcutsCatalog& shortcuts, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager), m_shortcuts(shortcuts)
{
    setObjectName(QStringLiteral("keyInspector"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(14);

    // Key N: the look of the key.
    FormSection* key = makeSection(QStringLiteral("keySection"), QString());
    m_keySection = key->box();
    m_labelField = new QLineEdit;
    m_labelField->setObjectName(QStringLiteral("labelField"));
    leaveUndoToWindow(m_labelField);
    key->rows()->addRow(QStringLiteral("Label"), m_labelField);

    m_iconButton = new IconRowButton;
    m_iconButton->setObjectName(QStringLiteral("iconButton"));
    m_iconButton->setFlat(true);
    auto* iconLayout = new QHBoxLayout(m_iconButton);
    iconLayout->setContentsMargins(6, 0, 6, 0);
    iconLayout->setSpacing(6);
    m_iconGlyph = new QLabel;
    m_iconGlyph->setObjectName(QStringLiteral("iconGlyph"));
    m_iconText = PlainText::label();
    m_iconText->setObjectName(QStringLiteral("iconText"));
    auto* chevron = new QLabel;
    chevron->setPixmap(symbolIcon(QStringLiteral("chevron.up.chevron.down")).pixmap(10, 10));
    for (QLabel* label : {m_iconGlyph, m_iconText, chevron})
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    iconLayout->addWidget(m_iconGlyph);
    iconLayout->addWidget(m_iconText);
    iconLayout->addWidget(chevron);
    iconLayout->addStretch(1);
    m_iconButton->setMinimumHeight(26);
    key->rows()->addRow(QStringLiteral("Icon"), m_iconButton);
    connect(m_iconButton, &QPushButton::clicked, this, &KeyInspector::openIconPicker);

    auto* swatches = new QWidget;
    auto* swatchLayout = new QHBoxLayout(swatches);
    swatchLayout->setContentsMargins(0, 0, 0, 0);
    swatchLayout->setSpacing(8 - 2 * TintSwatch::ringOutset);
    for (KeyTint tint : allKeyTints) {
        auto* swatch = new TintSwatch(tint);
        m_swatches.append(swatch);
        swatchLayout->addWidget(swatch, 0, Qt::AlignVCenter);
        connect(swatch, &TintSwatch::clicked, this, [this, tint] {
            commit([tint](MacroButton& b) { b.tint = tint; }, QStringLiteral("Change Tint"));
            // A press that stored nothing (the slot is gone) leaves the ring on the key's tint.
            for (TintSwatch* s : m_swatches)
                s->setChecked(s->tint() == m_button.tint);
        });
    }
    swatchLayout->addStretch(1);
    key->rows()->addRow(QStringLiteral("Tint"), swatches);
    layout->addWidget(key);

    connect(m_labelField, &QLineEdit::textEdited, this, [this](const QString& text) {
        commit([&text](MacroButton& b) { b.label = text; }, QStringLiteral("Edit Label"), QStringLiteral("label"));
    });

    // Action: the kind, and under it the fields of that kind.
    FormSection* action = makeSection(QStringLiteral("actionSection"), QStringLiteral("Action"));
    m_kindPicker = new QComboBox;
    m_kindPicker->setObjectName(QStringLiteral("kindPicker"));
    WheelGuard::install(m_kindPicker);
    for (MacroAction::Kind kind : MacroAction::allKinds)
        m_kindPicker->addItem(kindTitle(kind));
    action->rows()->addRow(QStringLiteral("Action"), m_kindPicker);
    // The action editor of the key's kind goes under the kind picker.
    auto* actionEditorSlot = new QWidget;
    actionEditorSlot->setObjectName(QStringLiteral("actionEditorSlot"));
    auto* slotLayout = new QVBoxLayout(actionEditorSlot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    m_actionEditor = new ActionEditor(m_deviceManager, m_shortcuts);
    // Tab goes from the kind to its fields, then on to Latching, whichever kind is shown.
    m_actionEditor->setTabPredecessor(m_kindPicker);
    slotLayout->addWidget(m_actionEditor);
    connect(m_actionEditor, &ActionEditor::actionEdited, this, [this](const MacroAction& edited, const QString& field) {
        // The editor only ever writes the kind it shows; a key that changed kind meanwhile keeps it.
        if (edited.kind() != m_button.action.kind())
            return;
        commit([&edited](MacroButton& b) { b.action = edited; }, QStringLiteral("Edit Action"), field);
    });
    action->rows()->addRow(actionEditorSlot);
    m_actionRows = action->rows();
    m_problem = new SymbolLabel(QStringLiteral("exclamationmark.triangle"), QString(), SymbolLabel::orange());
    m_problem->setObjectName(QStringLiteral("keyProblem"));
    m_actionRows->addRow(m_problem);
    // The kind picker and the fields of every kind in one column.
    const int labelWidth = ActionEditor::labelWidth(fontMetrics(), {QStringLiteral("Action")});
    FormSection::setLabelWidth(action->rows(), labelWidth);
    m_actionEditor->setLabelWidth(labelWidth);
    layout->addWidget(action);
    connect(m_kindPicker, &QComboBox::activated, this, [this](int row) {
        if (row < 0 || row >= int(MacroAction::allKinds.size()))
            return;
        const MacroAction::Kind kind = MacroAction::allKinds[std::size_t(row)];
        // The same kind again keeps the action as the user edited it.
        if (kind == m_button.action.kind())
            return;
        // The arrows on the closed picker go through the kinds: each kind comes back as the key
        // had it while it is shown, and the steps in a row are one, so looking changes nothing.
        const MacroAction action = m_kindsSeen.value(int(kind), newAction(kind));
        commit([&action](MacroButton& b) { b.action = action; }, QStringLiteral("Change Action"), QStringLiteral("kind"));
    });

    FormSection* behavior = makeSection(QStringLiteral("behaviorSection"), QStringLiteral("Behavior"),
                                   QStringLiteral("Stays lit on Tarv until pressed again."));
    m_behaviorSection = behavior->box();
    m_latchingToggle = new QCheckBox(QStringLiteral("Latching"));
    m_latchingToggle->setObjectName(QStringLiteral("latchingToggle"));
    behavior->rows()->addRow(m_latchingToggle);
    layout->addWidget(behavior);
    connect(m_latchingToggle, &QCheckBox::clicked, this, [this](bool on) {
        commit([on](MacroButton& b) { b.isToggle = on; }, QStringLiteral("Change Latching"));
    });

    m_buttonsSection = new QWidget;
    m_buttonsSection->setObjectName(QStringLiteral("keyButtonsSection"));
    auto* buttons = new QVBoxLayout(m_buttonsSection);
    buttons->setContentsMargins(0, 0, 0, 0);
    m_testButton = new QPushButton(symbolIcon(QStringLiteral("play.fill")), QStringLiteral("Test Key"));
    m_testButton->setObjectName(QStringLiteral("testKeyButton"));
    m_testButton->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
    m_clearButton = new QPushButton(QStringLiteral("Clear Key"));
    m_clearButton->setObjectName(QStringLiteral("clearKeyButton"));
    // The destructive role: the platform's red.
    QPalette red = m_clearButton->palette();
    red.setColor(QPalette::ButtonText, QColor(0xFF, 0x3B, 0x30));
    m_clearButton->setPalette(red);
    // What the last test did; a failure would otherwise show only in the log.
    m_testOutcome = new WrappingText;
    m_testOutcome->setObjectName(QStringLiteral("testKeyOutcome"));
    m_testOutcome->hide();
    m_testNote = new QLabel;
    m_testNote->setObjectName(QStringLiteral("testKeyNote"));
    m_testNote->setWordWrap(true);
    m_testNote->setFont(FormSection::relativeFont(font(), -1));
    FormSection::setSecondaryText(m_testNote);
    m_testNote->hide();
    buttons->addWidget(m_testButton);
    buttons->addWidget(m_testNote);
    buttons->addWidget(m_testOutcome);
    buttons->addWidget(m_clearButton);
    layout->addWidget(m_buttonsSection);
    layout->addStretch(1);
    connect(m_testButton, &QPushButton::clicked, this, &KeyInspector::runTest);
    connect(m_clearButton, &QPushButton::clicked, this, &KeyInspector::clearKey);

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &KeyInspector::showTestRule);
    connect(m_actionEditor, &ActionEditor::notesChanged, this, &KeyInspector::describeActionControls);
}

template <class Edit> void KeyInspector::commit(Edit edit, const QString& actionName, const QString& field)
{
    ProfileStore& store = m_deviceManager.profiles();
    MacroProfile profile = store.activeProfile();
    if (m_index < 0 || m_index >= profile.buttons.size())
        return;
    edit(profile.buttons[m_index]);
    store.updateKey(profile, actionName, field.isEmpty() ? QString() : field + u'/' + QString::number(m_index));
}

void KeyInspector::writeIcon(const std::optional<DeviceIcon>& icon)
{
    commit([&icon](MacroButton& b) { b.icon = icon; }, QStringLiteral("Change Icon"));
}

void KeyInspector::writeEmoji(const std::optional<QString>& emoji)
{
    commit([&emoji](MacroButton& b) { b.emoji = emoji; }, QStringLiteral("Change Icon"));
}

void KeyInspector::writeLook(const std::optional<DeviceIcon>& icon, const std::optional<QString>& emoji)
{
    commit(
        [&icon, &emoji](MacroButton& b) {
            b.icon = icon;
            b.emoji = emoji;
        },
        QStringLiteral("Change Icon"));
}

void KeyInspector::openIconPicker()
{
    if (!m_iconPicker) {
        m_iconPicker = new IconPickerPopover(this);
        connect(m_iconPicker, &IconPickerPopover::chosen, this, &KeyInspector::writeLook);
    }
    m_iconPicker->setKeyLook(m_button.icon, m_button.emoji);
    m_iconPicker->popup(m_iconButton);
}

void KeyInspector::focusLabel()
{
    if (m_labelField->isEnabled()) {
        m_labelField->setFocus(Qt::ShortcutFocusReason);
        m_labelField->selectAll();
    } else {
        m_kindPicker->setFocus(Qt::ShortcutFocusReason);
    }
}

QString KeyInspector::testSucceededText(MacroAction::Kind kind)
{
    switch (kind) {
    case MacroAction::Kind::keystroke:
    case MacroAction::Kind::media:
    case MacroAction::Kind::typeText: return QStringLiteral("\u2713 Sent through Tarv");
    case MacroAction::Kind::openApp:
    case MacroAction::Kind::openURL: return QStringLiteral("\u2713 Opened on this computer");
    case MacroAction::Kind::runShortcut: return QStringLiteral("\u2713 The shortcut ran");
    case MacroAction::Kind::screenshot: return QStringLiteral("\u2713 Screenshot taken");
    case MacroAction::Kind::showScreen: return QStringLiteral("\u2713 Shown on Tarv");
    case MacroAction::Kind::unassigned: break;
    }
    return {};
}

void KeyInspector::runTest()
{
    const quint64 run = ++m_testRun;
    const MacroAction::Kind kind = m_button.action.kind();
    showTestOutcome(QStringLiteral("Running\u2026"), false);
    const QPointer<KeyInspector> self(this);
    m_deviceManager.pressMacroKey(m_index, [self, run, kind](const std::optional<QString>& failure) {
        if (!self || self->m_testRun != run)
            return;
        if (failure)
            self->showTestOutcome(QStringLiteral("\u2717 ") + *failure, true);
        else
            self->showTestOutcome(testSucceededText(kind), false);
        // Heard where the user is: Ctrl+T runs the test from anywhere in the window.
        ScreenReaderNotice::say(self, self->m_testOutcome->text());
    });
}

void KeyInspector::showTestOutcome(const QString& text, bool failed)
{
    m_testOutcome->setText(text);
    m_testOutcome->setTextColor(failed ? QColor(0xFF, 0x3B, 0x30) : FormSection::secondaryColor(this));
    m_testOutcome->setVisible(!text.isEmpty());
    describeTestKey();
}

void KeyInspector::clearKey()
{
    if (m_buttonsSection->isVisibleTo(this))
        m_deviceManager.profiles().clearKey(m_index);
}

void KeyInspector::setKey(int index, const MacroButton& button)
{
    const QUuid profileID = m_deviceManager.profiles().activeProfile().id;
    const bool indexChanged = index != m_index;
    const bool profileChanged = profileID != m_profileID;
    const bool lookChanged = button.icon != m_button.icon || button.emoji != m_button.emoji;
    // The outcome belongs to the key and the action that were tested: a duplicated profile
    // shows the same action in the same slot, but it was not tested.
    if (indexChanged || profileChanged || button.action != m_button.action) {
        ++m_testRun;
        showTestOutcome(QString(), false);
    }
    m_index = index;
    m_profileID = profileID;
    m_button = button;
    if (indexChanged || profileChanged) {
        m_kindsSeen.clear();
        // Another key's problem is read with its controls, not said as news.
        m_saidProblem = button.action.setupProblem();
    }
    m_kindsSeen.insert(int(button.action.kind()), button.action);
    if (indexChanged)
        m_keySection->setTitle(QStringLiteral("Key ") + QString::number(index + 1));

    // The text the user is typing equals the stored label: it is left alone, caret and all.
    if (m_labelField->text() != button.label) {
        const QSignalBlocker blocker(m_labelField);
        m_labelField->setText(button.label);
    }
    showIcon();
    for (TintSwatch* swatch : m_swatches) {
        const QSignalBlocker blocker(swatch);
        const bool selected = swatch->tint() == button.tint;
        if (swatch->isChecked() != selected)
            swatch->setChecked(selected);
        // Tab enters the row at the key's tint, as it enters a group of radio buttons at the
        // checked one; the arrows then go from there.
        swatch->setFocusPolicy(selected ? Qt::TabFocus : Qt::NoFocus);
    }
    m_actionEditor->setAction(button.action, indexChanged);
    // Hidden, the picker is brought up to date when it opens.
    if (m_iconPicker && (indexChanged || lookChanged || m_iconPicker->isVisible()))
        m_iconPicker->setKeyLook(button.icon, button.emoji);
    const int kindRow = int(button.action.kind());
    if (m_kindPicker->currentIndex() != kindRow) {
        const QSignalBlocker blocker(m_kindPicker);
        m_kindPicker->setCurrentIndex(kindRow);
    }
    if (m_latchingToggle->isChecked() != button.isToggle) {
        const QSignalBlocker blocker(m_latchingToggle);
        m_latchingToggle->setChecked(button.isToggle);
    }

    const bool assigned = button.action.kind() != MacroAction::Kind::unassigned;
    m_keySection->setEnabled(assigned);
    m_behaviorSection->parentWidget()->setVisible(assigned);
    m_buttonsSection->setVisible(assigned);
    showTestRule();
}

void KeyInspector::showIcon()
{
    QPalette palette = m_iconText->palette();
    palette.setColor(QPalette::WindowText, this->palette().color(QPalette::WindowText));
    QFont font = this->font();
    if (m_button.emoji) {
        font.setFamilies({QString::fromLatin1(KeyTile::emojiFamily), font.family()});
        m_iconGlyph->hide();
        m_iconText->setText(*m_button.emoji);
    } else if (m_button.icon) {
        // Drawing the glyph costs more than the rest of a keystroke's work: it is drawn again
        // only when what it is drawn from changed.
        const GlyphLook look{*m_button.icon, QGuiApplication::palette().color(QPalette::WindowText),
                             qApp->devicePixelRatio()};
        if (look != m_shownGlyph) {
            m_iconGlyph->setPixmap(deviceIconImage(*m_button.icon).pixmap(16, 16));
            m_shownGlyph = look;
        }
        m_iconGlyph->show();
        m_iconText->setText(m_button.icon->label());
    } else {
        m_iconGlyph->hide();
        m_iconText->setText(QStringLiteral("None"));
        palette.setColor(QPalette::WindowText, FormSection::secondaryColor(this));
    }
    // A widget ignores a palette or font equal to its own: nothing is announced again.
    m_iconText->setPalette(palette);
    m_iconText->setFont(font);
    // The button shows the icon as its content: a screen reader hears it with the row's name,
    // as the toolbar's buttons say what they show.
    const QString name = QStringLiteral("Icon: ") + m_iconText->text();
    if (m_iconButton->accessibleName() != name)
        m_iconButton->setAccessibleName(name);
}

void KeyInspector::showTestRule()
{
    const MacroAction& action = m_button.action;
    const bool throughDevice = runsThroughDevice(action.kind());
    const bool away = throughDevice && !m_deviceManager.state().isConnected();
    m_testButton->setToolTip(throughDevice ? QStringLiteral("Send through Tarv (Ctrl+T)")
                                           : QStringLiteral("Run on this computer (Ctrl+T)"));
    // Said in words as well as by the disabled button: the grid's mark has it only as a tooltip.
    const QString problem = action.setupProblem();
    m_problem->setText(problem + QStringLiteral(" Test Key works once the action is set up."));
    m_actionRows->setRowVisible(m_problem, !problem.isEmpty());
    // A problem that comes or changes as the user edits the action is heard as it shows.
    if (problem != m_saidProblem) {
        m_saidProblem = problem;
        if (!problem.isEmpty())
            ScreenReaderNotice::say(this, m_problem->text());
    }
    const QString note =
        problem.isEmpty() && away ? QStringLiteral("Test Key sends the key through Tarv, which is not connected.") : QString();
    m_testNote->setText(note);
    m_testNote->setVisible(!note.isEmpty());
    m_testButton->setEnabled(problem.isEmpty() && !away);
    describeActionControls();
    describeTestKey();
}

void KeyInspector::describeActionControls()
{
    // Test Key, disabled, is no Tab stop: the action's own controls say what is missing, each
    // with the note under it, and a screen reader hears them change as the user types.
    const QString problem = m_button.action.setupProblem().isEmpty() ? QString() : m_problem->text();
    QList<QWidget*> controls = TabOrder::stops(m_actionEditor);
    controls.prepend(m_kindPicker);
    for (QWidget* control : std::as_const(controls)) {
        QStringList parts{m_actionEditor->noteFor(control), problem};
        parts.removeAll(QString());
        const QString said = parts.join(u' ');
        if (control->accessibleDescription() != said)
            control->setAccessibleDescription(said);
    }
}

void KeyInspector::describeTestKey()
{
    // What shows under the button: why it waits, or what the last test did.
    const QString said = !m_button.action.setupProblem().isEmpty() ? m_problem->text()
                         : !m_testNote->text().isEmpty()           ? m_testNote->text()
                                                                   : m_testOutcome->text();
    if (m_testButton->accessibleDescription() != said)
        m_testButton->setAccessibleDescription(said);
}
