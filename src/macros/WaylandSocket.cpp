#include "macros/WaylandSocket.h"

#include <QSocketNotifier>

#include <wayland-client.h>

#include <cerrno>
#include <cstring>

wl_display* WaylandSocket::connectToCompositor(QString& failure)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        // Without it libwayland would try "wayland-0", which may be another session's.
        failure = QStringLiteral("There is no Wayland display.");
        return nullptr;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        failure = QStringLiteral("The Wayland compositor could not be reached (%1).")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return display;
}

WaylandSocket::WaylandSocket(wl_display* display, QObject* parent) : QObject(parent), m_display(display)
{
    const int fd = wl_display_get_fd(display);
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &WaylandSocket::readEvents);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &WaylandSocket::flush);
}

WaylandSocket::~WaylandSocket()
{
    // The notifiers go before the owner closes their descriptor.
    delete m_readNotifier;
    delete m_writeNotifier;
}

void WaylandSocket::flush()
{
    if (!m_writeNotifier)
        return;
    if (wl_display_flush(m_display) >= 0) {
        m_writeNotifier->setEnabled(false);
    } else if (errno == EAGAIN) {
        // The socket is full: the rest goes when it takes more.
        m_writeNotifier->setEnabled(true);
    } else {
        fail();
    }
}

void WaylandSocket::readEvents()
{
    if (!m_readNotifier)
        return;
    // The socket has something: reading it here takes what is there and never waits.
    bool broken = false;
    while (!broken && wl_display_prepare_read(m_display) != 0)
        broken = wl_display_dispatch_pending(m_display) < 0;
    if (!broken)
        broken = wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0;
    if (broken || wl_display_get_error(m_display) != 0) {
        fail();
        return;
    }
    // Requests made while dispatching (a bind, a sync, a proxy let go) go out now.
    flush();
    if (m_readNotifier)
        emit dispatched();
}

void WaylandSocket::stop()
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
}

void WaylandSocket::fail()
{
    stop();
    emit lost();
}
