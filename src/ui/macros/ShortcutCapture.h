#pragma once
// The shortcut recorder: a small popup under "Record…" that waits for the next chord and hands
// it over. While it shows, every key of the application goes to it (no application shortcut
// fires), and on X11 it holds the whole keyboard, so chords the window manager would take
// are recorded too. The grab is given back whenever the popup goes away.

#include "macros/KeyChord.h"
#include "ui/macros/KeyboardGrab.h"

#include <QFrame>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class QKeyEvent;
class QLabel;

// The one decision for every key event while recording, from the event's native scan code.
class KeyMonitor {
public:
    std::function<void(HIDModifiers)> onModifiers;
    std::function<void(const KeyChord&)> onKey;
    std::function<void()> onCancel;

    // A modifier key went down or up: `modifiers` is what is held now. Otherwise a key went
    // down with `modifiers` held. Returns whether the event is used up.
    bool handle(std::uint32_t nativeScanCode, HIDModifiers modifiers, bool isModifierChange);

    // What a Qt key event means to handle(): the modifiers of the event (for a modifier key,
    // those held once it went down or up) and whether it is a modifier change.
    static HIDModifiers modifiersOf(const QKeyEvent& event, bool* isModifierChange = nullptr);
};

class ShortcutCapturePopup : public QFrame {
    Q_OBJECT
public:
    static constexpr int popoverWidth = 260;
    // How long the grab is asked for again while the window is still being mapped.
    static constexpr int grabRetryMs = 20;
    static constexpr int grabAttempts = 25;

    explicit ShortcutCapturePopup(QWidget* parent = nullptr);
    ~ShortcutCapturePopup() override;

    // Shows the popup under `anchor` and starts listening.
    void popUp(QWidget* anchor);

    HIDModifiers heldModifiers() const { return m_held; }
    // Whether the whole keyboard is held now (X11).
    bool holdsKeyboard() const { return m_grabResult == KeyboardGrab::Result::grabbed; }

    // The caption for what the desktop lets the recorder see.
    static QString captionText(KeyboardGrab::Result grab);

signals:
    // A chord was pressed; the popup closes right after.
    void chordRecorded(const KeyChord& chord);
    // The popup went away, however it was closed.
    void finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startMonitor();
    void stopMonitor();
    void tryGrab();
    void showHeld();
    void showCaption();

    KeyMonitor m_monitor;
    bool m_shown = false;
    bool m_listening = false;
    std::unique_ptr<KeyboardGrab> m_grab;
    KeyboardGrab::Result m_grabResult = KeyboardGrab::Result::notYet;
    int m_grabAttemptsLeft = 0;
    QTimer m_grabRetry;
    HIDModifiers m_held;
    QLabel* m_heldLabel = nullptr;
    QLabel* m_caption = nullptr;
};
