#include "app/ClipboardHandOver.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace ClipboardHandOver {

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

xcb_window_t selectionOwner(xcb_connection_t* connection, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_NONE);
    std::free(reply);
    return owner;
}

// Ends the loop with the manager's answer to the request from `requestor`.
class AnswerFilter final : public QAbstractNativeEventFilter {
public:
    AnswerFilter(xcb_window_t requestor, QEventLoop& loop) : m_requestor(requestor), m_loop(loop) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
        if (notify->requestor != m_requestor)
            return false;
        m_loop.exit(int(notify->property != XCB_NONE ? Outcome::taken : Outcome::refused));
        return true;
    }

private:
    xcb_window_t m_requestor;
    QEventLoop& m_loop;
};

Outcome askManager(xcb_connection_t* connection, std::chrono::milliseconds bound)
{
    const xcb_atom_t manager = atom(connection, "CLIPBOARD_MANAGER");
    if (manager == XCB_ATOM_NONE || selectionOwner(connection, manager) == XCB_NONE)
        return Outcome::nothingToHand;
    const xcb_atom_t saveTargets = atom(connection, "SAVE_TARGETS");
    const xcb_atom_t property = atom(connection, "TARV_SAVE_TARGETS");
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (saveTargets == XCB_ATOM_NONE || property == XCB_ATOM_NONE || !screen)
        return Outcome::nothingToHand;

    // The manager answers on a window of this request's own; with no targets named on it, it
    // saves every target the clipboard offers.
    const xcb_window_t requestor = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, requestor, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    QEventLoop loop;
    AnswerFilter filter(requestor, loop);
    QAbstractEventDispatcher::instance()->installNativeEventFilter(&filter);
    QTimer::singleShot(bound, &loop, [&loop] { loop.exit(int(Outcome::notAnswered)); });
    xcb_convert_selection(connection, requestor, manager, saveTargets, property, XCB_CURRENT_TIME);
    xcb_flush(connection);
    const auto outcome = Outcome(loop.exec());
    QAbstractEventDispatcher::instance()->removeNativeEventFilter(&filter);
    xcb_destroy_window(connection, requestor);
    xcb_flush(connection);
    return outcome;
}

} // namespace

Outcome handOver(std::chrono::milliseconds bound)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return Outcome::nothingToHand;
    QClipboard* clipboard = QGuiApplication::clipboard();
    const Outcome outcome =
        clipboard->ownsClipboard() ? askManager(x11->connection(), bound) : Outcome::nothingToHand;
    // Only what is Tarv's own: letting go of a selection another program holds would empty it.
    if (clipboard->ownsClipboard())
        clipboard->clear(QClipboard::Clipboard);
    if (clipboard->ownsSelection())
        clipboard->clear(QClipboard::Selection);
    return outcome;
}

} // namespace ClipboardHandOver
