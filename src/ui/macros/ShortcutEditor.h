#pragma once
// Edits one key chord: record it by pressing it, pick one of the common desktop shortcuts,
// choose the key from a grouped list, and switch each modifier on or off. It keeps only the
// chord it is shown; every change is reported as a whole new chord for the caller to store.

#include "macros/KeyChord.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class ChordLabel;
class QComboBox;
class QFormLayout;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class ShortcutCapturePopup;

// A chord of the desktop itself, offered for when the recorder cannot capture it.
struct SystemShortcut {
    QString title;
    KeyChord chord;
};

class ShortcutEditor : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutEditor(QWidget* parent = nullptr);

    // The ten common desktop shortcuts, in menu order.
    static const QList<SystemShortcut>& systemShortcuts();
    // The chord as it reads: the modifiers' names, then the key's label ("Shift+Super+4").
    static QString chordText(const KeyChord& chord);

    void setChord(const KeyChord& chord);
    const KeyChord& chord() const { return m_chord; }

    // The titles of its rows, and the width their column takes so that they line up with the
    // rows of the form around the editor.
    static const QStringList& rowTitles();
    void setLabelWidth(int width);

    bool isRecording() const;
    // The recorder while it shows.
    ShortcutCapturePopup* capturePopup() const;

    QLabel* chordLabel() const;
    QPushButton* recordButton() const { return m_recordButton; }
    QMenu* systemShortcutsMenu() const { return m_systemMenu; }
    QComboBox* keyPicker() const { return m_keyPicker; }
    // The modifier buttons in the order Ctrl, Alt, Shift, Super.
    const QList<QToolButton*>& modifierButtons() const { return m_modifierButtons; }

signals:
    void chordEdited(const KeyChord& chord);

private:
    void record();
    void edit(const KeyChord& chord);
    void showChord();

    KeyChord m_chord;
    QPointer<ShortcutCapturePopup> m_capture;
    QFormLayout* m_form = nullptr;
    ChordLabel* m_chordText = nullptr;
    QPushButton* m_recordButton = nullptr;
    QToolButton* m_systemButton = nullptr;
    QMenu* m_systemMenu = nullptr;
    QComboBox* m_keyPicker = nullptr;
    QList<QToolButton*> m_modifierButtons;
};
