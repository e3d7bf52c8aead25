// The recorder on a real X server: while it shows, it holds the keyboard, so a chord sent the
// way a keyboard sends it (xdotool, through XTEST) reaches the recorder and not the window
// that has the input focus; once it closes, keys reach that window again.

#include "ui/macros/ShortcutCapture.h"
#include "support/WaitUntil.h"
#include "ui/macros/ShortcutEditor.h"

#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>

bool testDisplayReady();

namespace {

// A window of another X client that records the keys it is sent.
class OtherClientWindow {
public:
    OtherClientWindow()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        const std::uint32_t mask = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 50, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(m_connection, m_window);
        focus();
    }
    ~OtherClientWindow() { xcb_disconnect(m_connection); }

    // Gives this window the input focus, as a window manager would on a click.
    void focus()
    {
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, m_window, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }
    // The key codes pressed in this window since the last call.
    QList<int> takeKeyPresses()
    {
        std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        QList<int> keys;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS)
                keys.append(reinterpret_cast<xcb_key_press_event_t*>(event)->detail);
            std::free(event);
        }
        return keys;
    }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
};

bool sendKeys(const char* chord)
{
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(chord)}) == 0;
}

}  // namespace

TEST(ShortcutGrabX11, AChordReachesTheRecorderWhileItGrabsAndAnotherWindowAfterItCloses)
{
    if (!testDisplayReady())
        GTEST_SKIP() << "Xvfb and xdotool (Debian packages xvfb, xdotool) are needed";
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));

    ShortcutEditor editor;
    QObject::connect(&editor, &ShortcutEditor::chordEdited, &editor, &ShortcutEditor::setChord);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    OtherClientWindow other;

    editor.recordButton()->click();
    ShortcutCapturePopup* popup = editor.capturePopup();
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(waitUntil([&] { return popup->holdsKeyboard(); }));
    // The focus stays with the other window; only the grab sends the keys to the recorder.
    other.focus();
    ASSERT_TRUE(sendKeys("super+x"));
    EXPECT_TRUE(waitUntil([&] { return editor.chord() == (KeyChord{0x1B, HIDModifiers::command()}); }));
    EXPECT_EQ(editor.chord(), (KeyChord{0x1B, HIDModifiers::command()}));
    EXPECT_FALSE(editor.isRecording());
    EXPECT_EQ(other.takeKeyPresses(), QList<int>{});

    // Given back: the next chord goes to the focused window (b is key code 56).
    other.focus();
    ASSERT_TRUE(sendKeys("ctrl+b"));
    QList<int> received;
    ASSERT_TRUE(waitUntil([&] { return (received += other.takeKeyPresses()).contains(56); }));
    EXPECT_EQ(editor.chord(), (KeyChord{0x1B, HIDModifiers::command()}));
}
