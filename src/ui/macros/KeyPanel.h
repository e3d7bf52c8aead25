#pragma once
// The inspector of one key of the active profile: its label, icon and tint, the kind of its
// action, whether it latches, a test run and clearing. It keeps no key of its own: every edit
// is a commit of an edited copy of the active profile with the edit's undo name, and the page
// hands it the stored key again after each change. Controls are updated in place, so a field
// the user is typing in keeps its focus and caret.

#include "macros/MacroButton.h"

#include <QAbstractButton>
#include <QColor>
#include <QHash>
#include <QUuid>
#include <QWidget>

#include <optional>

class ActionEditor;
class DeviceManager;
class IconPickerPopover;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QFormLayout;
class QPushButton;
class ShortcutsCatalog;
class SymbolLabel;
class WrappingText;

// One tint's round swatch, ringed while it is the key's tint.
class TintSwatch : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int diameter = 16;
    static constexpr int ringOutset = 3;

    explicit TintSwatch(KeyTint tint, QWidget* parent = nullptr);
    KeyTint tint() const { return m_tint; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KeyTint m_tint;
};

class KeyInspector : public QWidget {
    Q_OBJECT
public:
    KeyInspector(DeviceManager& deviceManager, ShortcutsCatalog& shortcuts, QWidget* parent = nullptr);

    // Shows the key in a slot of the active profile; controls that already show it stay as they are.
    void setKey(int index, const MacroButton& button);
    int index() const { return m_index; }
    const MacroButton& button() const { return m_button; }
    ShortcutsCatalog& shortcuts() const { return m_shortcuts; }

    static QString kindTitle(MacroAction::Kind kind);
    // The action a key gets when the user picks a kind.
    static MacroAction newAction(MacroAction::Kind kind);
    static QString tintName(KeyTint tint);
    static QColor swatchColor(KeyTint tint);

    // The writes of the icon row's picker, each one commit named "Change Icon".
    void writeIcon(const std::optional<DeviceIcon>& icon);
    void writeEmoji(const std::optional<QString>& emoji);
    // A choice of the picker: both at once, one step.
    void writeLook(const std::optional<DeviceIcon>& icon, const std::optional<QString>& emoji);

    ActionEditor* actionEditor() const { return m_actionEditor; }
    // The popup of the icon row; made when first opened.
    IconPickerPopover* iconPicker() const { return m_iconPicker; }
    void openIconPicker();
    // Puts the keyboard in the Label field, or in the action picker while the key has no action
    // (its label cannot be edited then).
    void focusLabel();
    // Clear Key: the key shown becomes empty, as one undo step. A key without an action shows
    // no Clear Key and has nothing to clear.
    void clearKey();

private:
    // Copies the active profile, applies the edit to the key in this slot and commits it; an
    // index the profile no longer has makes it a no-op. Edits of one `field` in a row are one step.
    template <class Edit> void commit(Edit edit, const QString& actionName, const QString& field = {});
    void showIcon();
    void showTestRule();
    // The descriptions a screen reader says with the action's controls and with Test Key: the
    // notes and the problem shown under them.
    void describeActionControls();
    void describeTestKey();
    void runTest();
    // The outcome of the last Test Key beside it; an empty text hides it.
    void showTestOutcome(const QString& text, bool failed);
    static QString testSucceededText(MacroAction::Kind kind);

    DeviceManager& m_deviceManager;
    ShortcutsCatalog& m_shortcuts;
    int m_index = -1;
    // The profile the key shown belongs to.
    QUuid m_profileID;
    MacroButton m_button;
    // The action of each kind the key shown had since it was shown, for the kind picker to
    // bring back as the user goes through the kinds.
    QHash<int, MacroAction> m_kindsSeen;
    // What the icon row's glyph was last drawn from.
    struct GlyphLook {
        DeviceIcon icon;
        QColor color;
        qreal devicePixelRatio = 1;
        friend bool operator==(const GlyphLook&, const GlyphLook&) = default;
    };
    std::optional<GlyphLook> m_shownGlyph;

    QGroupBox* m_keySection = nullptr;
    QLineEdit* m_labelField = nullptr;
    QPushButton* m_iconButton = nullptr;
    QLabel* m_iconGlyph = nullptr;
    QLabel* m_iconText = nullptr;
    QList<TintSwatch*> m_swatches;
    QComboBox* m_kindPicker = nullptr;
    ActionEditor* m_actionEditor = nullptr;
    QFormLayout* m_actionRows = nullptr;
    // What the action lacks to run, in words, under its fields (the grid only marks the key).
    SymbolLabel* m_problem = nullptr;
    // The problem last shown for the key shown, to say a new one once.
    QString m_saidProblem;
    IconPickerPopover* m_iconPicker = nullptr;
    QGroupBox* m_behaviorSection = nullptr;
    QCheckBox* m_latchingToggle = nullptr;
    QWidget* m_buttonsSection = nullptr;
    QPushButton* m_testButton = nullptr;
    // Why Test Key is disabled while the action is set up: the device it goes through is away.
    QLabel* m_testNote = nullptr;
    WrappingText* m_testOutcome = nullptr;
    // Counts test runs: an outcome that arrives after another run or another key is dropped.
    quint64 m_testRun = 0;
    QPushButton* m_clearButton = nullptr;
};
