// Handing the clipboard to an X11 clipboard manager at quit, against a manager of the test's own
// on its own X connection and thread.

#include "app/ClipboardHandOver.h"

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

bool testDisplayReady();

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply->atom;
    std::free(reply);
    return found;
}

// A clipboard manager: it owns CLIPBOARD_MANAGER and, asked to save the clipboard, copies its
// text and says so, as desktop clipboard managers do; a silent one never answers.
class FakeClipboardManager {
public:
    explicit FakeClipboardManager(bool answers) : m_answers(answers)
    {
        m_connection = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
        m_manager = atom(m_connection, "CLIPBOARD_MANAGER");
        m_clipboard = atom(m_connection, "CLIPBOARD");
        m_text = atom(m_connection, "UTF8_STRING");
        m_copy = atom(m_connection, "FAKE_MANAGER_COPY");
        xcb_set_selection_owner(m_connection, m_window, m_manager, XCB_CURRENT_TIME);
        std::free(xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_manager), nullptr));
        if (::pipe(m_wake) != 0)
            std::abort();
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeClipboardManager()
    {
        const char stop = 1;
        while (::write(m_wake[1], &stop, 1) < 0) {
        }
        m_thread.join();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
        xcb_disconnect(m_connection);
    }

    QByteArray saved()
    {
        const std::lock_guard lock(m_mutex);
        return m_saved;
    }

private:
    // The next event, or none once the test ends the manager.
    xcb_generic_event_t* next()
    {
        for (;;) {
            if (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
                return event;
            pollfd watched[2] = {{xcb_get_file_descriptor(m_connection), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (::poll(watched, 2, -1) < 0 || watched[1].revents != 0 || xcb_connection_has_error(m_connection))
                return nullptr;
        }
    }

    void serve()
    {
        xcb_selection_request_event_t request{};
        while (xcb_generic_event_t* event = next()) {
            const int type = event->response_type & 0x7f;
            if (type == XCB_SELECTION_REQUEST && m_answers) {
                // Asked to save: fetch the clipboard's text onto this window.
                request = *reinterpret_cast<xcb_selection_request_event_t*>(event);
                xcb_convert_selection(m_connection, m_window, m_clipboard, m_text, m_copy, XCB_CURRENT_TIME);
                xcb_flush(m_connection);
            } else if (type == XCB_SELECTION_NOTIFY && request.requestor != XCB_NONE) {
                xcb_get_property_reply_t* data = xcb_get_property_reply(
                    m_connection, xcb_get_property(m_connection, 1, m_window, m_copy, XCB_ATOM_ANY, 0, 1 << 20), nullptr);
                {
                    const std::lock_guard lock(m_mutex);
                    if (data)
                        m_saved = QByteArray(static_cast<const char*>(xcb_get_property_value(data)),
                                             xcb_get_property_value_length(data));
                }
                std::free(data);
                xcb_selection_notify_event_t done{};
                done.response_type = XCB_SELECTION_NOTIFY;
                done.requestor = request.requestor;
                done.selection = request.selection;
                done.target = request.target;
                done.property = request.property;
                done.time = request.time;
                xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                               reinterpret_cast<const char*>(&done));
                xcb_flush(m_connection);
                request = {};
            }
            std::free(event);
        }
    }

    bool m_answers;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_manager = 0, m_clipboard = 0, m_text = 0, m_copy = 0;
    int m_wake[2] = {-1, -1};
    std::mutex m_mutex;
    QByteArray m_saved;
    std::thread m_thread;
};

} // namespace

// The manager gets the copy while the hand-over runs, and Tarv owns nothing afterwards, so the
// application's own teardown neither asks again nor waits.
TEST(ClipboardHandOverTest, AManagerThatAnswersHasTheCopyAndTarvKeepsNoSelection)
{
    if (!testDisplayReady())
        GTEST_SKIP() << "needs Xvfb";
    FakeClipboardManager manager(true);
    const QString copied = QStringLiteral("frame log ✓ 12:00");
    QGuiApplication::clipboard()->setText(copied);
    QGuiApplication::clipboard()->setText(copied, QClipboard::Selection);
    ASSERT_TRUE(QGuiApplication::clipboard()->ownsClipboard());

    EXPECT_EQ(ClipboardHandOver::handOver(std::chrono::minutes(10)), ClipboardHandOver::Outcome::taken);
    EXPECT_EQ(QString::fromUtf8(manager.saved()), copied);
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsSelection());
}

// A manager that never answers costs the bound and no more: Tarv lets go of the clipboard all
// the same, where Qt's teardown would have waited seconds for the answer.
TEST(ClipboardHandOverTest, AManagerThatNeverAnswersCostsOnlyTheBound)
{
    if (!testDisplayReady())
        GTEST_SKIP() << "needs Xvfb";
    FakeClipboardManager manager(false);
    QGuiApplication::clipboard()->setText(QStringLiteral("copied"));
    QGuiApplication::clipboard()->setText(QStringLiteral("selected"), QClipboard::Selection);

    EXPECT_EQ(ClipboardHandOver::handOver(std::chrono::milliseconds(0)), ClipboardHandOver::Outcome::notAnswered);
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsSelection());
}
