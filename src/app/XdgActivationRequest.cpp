#include "app/XdgActivationRequest.h"

#include "xdg-activation-v1-client-protocol.h"

#include <QSocketNotifier>
#include <QTimer>

#include <wayland-client.h>

#include <cerrno>
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
    const auto failLater = [this](const QString& reason) {
        QTimer::singleShot(0, this, [this, reason] { emit failed(reason); });
    };
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        // Without it libwayland would try "wayland-0", which may be another session's.
        failLater(QStringLiteral("There is no Wayland display."));
        return;
    }
    // A local socket: connecting asks nothing of the compositor yet, so it does not wait on it.
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        failLater(QStringLiteral("The Wayland compositor could not be reached (%1).")
                      .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    m_connection = std::make_unique<Connection>();
    m_connection->display = display;
    m_connection->registry = wl_display_get_registry(display);
    wl_registry_add_listener(m_connection->registry, &registryListener, m_connection.get());
    m_connection->sync = wl_display_sync(display);
    wl_callback_add_listener(m_connection->sync, &syncListener, m_connection.get());

    const int fd = wl_display_get_fd(display);
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &XdgActivationRequest::readEvents);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &XdgActivationRequest::flush);
    flush();
}

XdgActivationRequest::~XdgActivationRequest()
{
    // The notifiers go before the connection closes their descriptor.
    delete m_readNotifier;
    delete m_writeNotifier;
}

void XdgActivationRequest::flush()
{
    if (!m_connection)
        return;
    if (wl_display_flush(m_connection->display) >= 0) {
        m_writeNotifier->setEnabled(false);
    } else if (errno == EAGAIN) {
        // The socket is full: the rest goes when it takes more.
        m_writeNotifier->setEnabled(true);
    } else {
        finish();
        emit failed(QStringLiteral("The connection to the Wayland compositor was lost."));
    }
}

void XdgActivationRequest::readEvents()
{
    if (!m_connection)
        return;
    wl_display* display = m_connection->display;
    // The socket has something: reading it here takes what is there and never waits.
    bool broken = false;
    while (!broken && wl_display_prepare_read(display) != 0)
        broken = wl_display_dispatch_pending(display) < 0;
    if (!broken)
        broken = wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0;
    if (broken || wl_display_get_error(display) != 0) {
        finish();
        emit failed(QStringLiteral("The connection to the Wayland compositor was lost."));
        return;
    }
    afterDispatch();
}

void XdgActivationRequest::afterDispatch()
{
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
    flush();
}

void XdgActivationRequest::finish()
{
    // One of them may be delivering the signal that led here.
    for (QSocketNotifier* notifier : {m_readNotifier, m_writeNotifier}) {
        if (!notifier)
            continue;
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
    m_connection.reset();
}
