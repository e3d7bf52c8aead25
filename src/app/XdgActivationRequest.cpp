#include "app/XdgActivationRequest.h"

#include "xdg-activation-v1-client-protocol.h"

#include "macros/WaylandSocket.h"

#include <QTimer>

#include <wayland-client.h>

#include <cstring>
#include <optional>

struct XdgActivationRequest::Connection {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    xdg_activation_v1* activation = nullptr;
    xdg_activation_token_v1* token = nullptr;
    wl_callback* sync = nullptr;
    bool globalsKnown = false;
    std::optional<QString> answer;

    ~Connection()
    {
        if (token)
            xdg_activation_token_v1_destroy(token);
        if (sync)
            wl_callback_destroy(sync);
        if (activation)
            xdg_activation_v1_destroy(activation);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }
};

namespace {

using Connection = XdgActivationRequest::Connection;

void registryGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t)
{
    auto* connection = static_cast<Connection*>(data);
    if (connection->activation || std::strcmp(interface, xdg_activation_v1_interface.name) != 0)
        return;
    connection->activation =
        static_cast<xdg_activation_v1*>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}

void registryGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener registryListener = {
    .global = registryGlobal,
    .global_remove = registryGlobalRemove,
};

void syncDone(void* data, wl_callback* callback, std::uint32_t)
{
    auto* connection = static_cast<Connection*>(data);
    wl_callback_destroy(callback);
    connection->sync = nullptr;
    connection->globalsKnown = true;
}

const wl_callback_listener syncListener = {
    .done = syncDone,
};

void tokenDone(void* data, xdg_activation_token_v1*, const char* token)
{
    static_cast<Connection*>(data)->answer = QString::fromUtf8(token);
}

const xdg_activation_token_v1_listener tokenListener = {
    .done = tokenDone,
};

} // namespace

XdgActivationRequest::XdgActivationRequest(QString appId, QObject* parent)
    : QObject(parent), m_appId(std::move(appId))
{
    QString failure;
    wl_display* display = WaylandSocket::connectToCompositor(failure);
    if (!display) {
        QTimer::singleShot(0, this, [this, failure] { emit failed(failure); });
        return;
    }
    m_connection = std::make_unique<Connection>();
    m_connection->display = display;
    m_connection->registry = wl_display_get_registry(display);
    wl_registry_add_listener(m_connection->registry, &registryListener, m_connection.get());
    m_connection->sync = wl_display_sync(display);
    wl_callback_add_listener(m_connection->sync, &syncListener, m_connection.get());

    m_socket = new WaylandSocket(display, this);
    connect(m_socket, &WaylandSocket::dispatched, this, &XdgActivationRequest::afterDispatch);
    connect(m_socket, &WaylandSocket::lost, this, [this] {
        finish();
        emit failed(WaylandSocket::lostText());
    });
    m_socket->flush();
}

XdgActivationRequest::~XdgActivationRequest()
{
    // The socket goes before the connection closes its descriptor.
    delete m_socket;
}

void XdgActivationRequest::afterDispatch()
{
    if (!m_connection)
        return;
    Connection& connection = *m_connection;
    if (connection.answer) {
        const QString token = *connection.answer;
        finish();
        emit tokenReady(token);
        return;
    }
    if (!connection.globalsKnown || connection.token)
        return;
    if (!connection.activation) {
        finish();
        emit failed(QStringLiteral("This Wayland compositor hands out no activation tokens."));
        return;
    }
    connection.token = xdg_activation_v1_get_activation_token(connection.activation);
    xdg_activation_token_v1_add_listener(connection.token, &tokenListener, m_connection.get());
    if (!m_appId.isEmpty())
        xdg_activation_token_v1_set_app_id(connection.token, m_appId.toUtf8().constData());
    xdg_activation_token_v1_commit(connection.token);
    m_socket->flush();
}

void XdgActivationRequest::finish()
{
    if (m_socket) {
        m_socket->stop();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_connection.reset();
}
