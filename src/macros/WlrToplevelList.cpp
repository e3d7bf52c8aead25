#include "macros/WlrToplevelList.h"

#include "macros/WaylandSocket.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The newest version whose events this file knows; a newer compositor speaks this one to us.
constexpr std::uint32_t managerVersion = 3;

} // namespace

struct WlrToplevelList::Handle {
    Connection* connection = nullptr;
    zwlr_foreign_toplevel_handle_v1* proxy = nullptr;
    // The compositor's changes come in groups that its done event closes.
    Toplevel pending;
    Toplevel current;
    quint64 activatedOrder = 0;
};

struct WlrToplevelList::Connection {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    std::uint32_t managerName = 0;
    wl_callback* sync = nullptr;
    std::vector<std::unique_ptr<Handle>> handles;
    quint64 activations = 0;
    bool globalsKnown = false; // the first sync came back: every global was announced
    bool listed = false;       // the second came back: every window that was open was announced
    bool finished = false;     // the compositor stopped listing
    bool changed = false;      // a window changed since the last look

    ~Connection()
    {
        for (const auto& handle : handles)
            zwlr_foreign_toplevel_handle_v1_destroy(handle->proxy);
        if (sync)
            wl_callback_destroy(sync);
        if (manager)
            zwlr_foreign_toplevel_manager_v1_destroy(manager);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }

    void askForSync();
};

namespace {

using Connection = WlrToplevelList::Connection;
using Handle = WlrToplevelList::Handle;

void handleTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title)
{
    static_cast<Handle*>(data)->pending.title = QString::fromUtf8(title);
}

void handleAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId)
{
    static_cast<Handle*>(data)->pending.appId = QString::fromUtf8(appId);
}

void handleOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}

void handleState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states)
{
    bool activated = false;
    const auto* values = static_cast<const std::uint32_t*>(states->data);
    for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i)
        activated = activated || values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
    static_cast<Handle*>(data)->pending.activated = activated;
}

void handleDone(void* data, zwlr_foreign_toplevel_handle_v1*)
{
    auto* handle = static_cast<Handle*>(data);
    if (handle->pending == handle->current)
        return;
    if (handle->pending.activated && !handle->current.activated)
        handle->activatedOrder = ++handle->connection->activations;
    handle->current = handle->pending;
    handle->connection->changed = true;
}

void handleClosed(void* data, zwlr_foreign_toplevel_handle_v1* proxy)
{
    auto* handle = static_cast<Handle*>(data);
    Connection* connection = handle->connection;
    zwlr_foreign_toplevel_handle_v1_destroy(proxy);
    // Frees the handle itself: nothing below may touch it.
    std::erase_if(connection->handles, [handle](const auto& h) { return h.get() == handle; });
    connection->changed = true;
}

void handleParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

const zwlr_foreign_toplevel_handle_v1_listener handleListener = {
    .title = handleTitle,
    .app_id = handleAppId,
    .output_enter = handleOutput,
    .output_leave = handleOutput,
    .state = handleState,
    .done = handleDone,
    .closed = handleClosed,
    .parent = handleParent,
};

void managerToplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* proxy)
{
    auto* connection = static_cast<Connection*>(data);
    auto handle = std::make_unique<Handle>();
    handle->connection = connection;
    handle->proxy = proxy;
    zwlr_foreign_toplevel_handle_v1_add_listener(proxy, &handleListener, handle.get());
    connection->handles.push_back(std::move(handle));
    connection->changed = true;
}

void managerFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager)
{
    auto* connection = static_cast<Connection*>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    connection->manager = nullptr;
    connection->finished = true;
}

const zwlr_foreign_toplevel_manager_v1_listener managerListener = {
    .toplevel = managerToplevel,
    .finished = managerFinished,
};

void registryGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                    std::uint32_t version)
{
    auto* connection = static_cast<Connection*>(data);
    if (connection->manager || connection->finished
        || std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0)
        return;
    connection->manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(version, managerVersion)));
    connection->managerName = name;
    zwlr_foreign_toplevel_manager_v1_add_listener(connection->manager, &managerListener, connection);
}

void registryGlobalRemove(void* data, wl_registry*, std::uint32_t name)
{
    auto* connection = static_cast<Connection*>(data);
    if (connection->manager && name == connection->managerName)
        connection->finished = true;
}

const wl_registry_listener registryListener = {
    .global = registryGlobal,
    .global_remove = registryGlobalRemove,
};

void syncDone(void* data, wl_callback* callback, std::uint32_t)
{
    auto* connection = static_cast<Connection*>(data);
    wl_callback_destroy(callback);
    connection->sync = nullptr;
    if (!connection->globalsKnown) {
        connection->globalsKnown = true;
        // The windows open now are announced after the bind: one more round for them.
        if (connection->manager)
            connection->askForSync();
    } else {
        connection->listed = true;
    }
}

const wl_callback_listener syncListener = {
    .done = syncDone,
};

} // namespace

void WlrToplevelList::Connection::askForSync()
{
    sync = wl_display_sync(display);
    wl_callback_add_listener(sync, &syncListener, this);
}

WlrToplevelList::WlrToplevelList(QObject* parent) : QObject(parent)
{
    wl_display* display = WaylandSocket::connectToCompositor(m_failure);
    if (!display) {
        m_state = State::Unreachable;
        return;
    }
    m_connection = std::make_unique<Connection>();
    m_connection->display = display;
    m_connection->registry = wl_display_get_registry(display);
    wl_registry_add_listener(m_connection->registry, &registryListener, m_connection.get());
    m_connection->askForSync();

    m_socket = new WaylandSocket(display, this);
    connect(m_socket, &WaylandSocket::dispatched, this, &WlrToplevelList::afterDispatch);
    connect(m_socket, &WaylandSocket::lost, this, [this] { fail(State::Lost, WaylandSocket::lostText()); });
    m_socket->flush();
}

WlrToplevelList::~WlrToplevelList()
{
    // The socket goes before the connection closes its descriptor.
    delete m_socket;
}

void WlrToplevelList::afterDispatch()
{
    if (!m_connection)
        return;
    if (m_connection->globalsKnown && !m_connection->manager && !m_connection->finished) {
        fail(State::Absent, QStringLiteral("This Wayland compositor lists no windows to other programs."));
        return;
    }
    if (m_connection->finished) {
        fail(State::Lost, QStringLiteral("The Wayland compositor stopped listing its windows."));
        return;
    }
    const bool changed = std::exchange(m_connection->changed, false);
    if (m_state == State::Connecting && m_connection->listed) {
        m_state = State::Listing;
        emit stateChanged();
        return;
    }
    if (changed && m_state == State::Listing)
        emit toplevelsChanged();
}

void WlrToplevelList::fail(State state, const QString& failure)
{
    if (m_socket) {
        m_socket->stop();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_connection.reset();
    m_state = state;
    m_failure = failure;
    emit stateChanged();
}

QList<WlrToplevelList::Toplevel> WlrToplevelList::toplevels() const
{
    QList<Toplevel> out;
    if (m_state != State::Listing)
        return out;
    for (const auto& handle : m_connection->handles)
        out.append(handle->current);
    return out;
}

std::optional<WlrToplevelList::Toplevel> WlrToplevelList::activated() const
{
    if (m_state != State::Listing)
        return std::nullopt;
    const Handle* front = nullptr;
    for (const auto& handle : m_connection->handles) {
        if (handle->current.activated && (!front || handle->activatedOrder > front->activatedOrder))
            front = handle.get();
    }
    if (!front)
        return std::nullopt;
    return front->current;
}
