#include "macros/X11WindowFacts.h"

#include <QFileInfo>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

bool isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || qEnvironmentVariable("XDG_SESSION_TYPE").compare(u"wayland", Qt::CaseInsensitive) == 0;
}

X11WindowFacts::X11WindowFacts(xcb_connection_t* connection) : m_connection(connection)
{
    m_gtkAppIdAtom = internAtom("_GTK_APPLICATION_ID");
    m_utf8Atom = internAtom("UTF8_STRING");
    m_pidAtom = internAtom("_NET_WM_PID");
}

std::uint32_t X11WindowFacts::rootWindow(xcb_connection_t* connection, int screenNumber)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i)
        xcb_screen_next(&it);
    return it.data->root;
}

std::uint32_t X11WindowFacts::internAtom(const char* name) const
{
    const auto cookie = xcb_intern_atom(m_connection, 0, std::uint16_t(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_connection, cookie, nullptr);
    const std::uint32_t atom = reply ? reply->atom : std::uint32_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

QByteArray X11WindowFacts::property(std::uint32_t window, std::uint32_t atom, std::uint32_t type) const
{
    const auto cookie = xcb_get_property(m_connection, 0, window, atom, type, 0, 4096);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
    QByteArray out;
    if (reply && reply->type != XCB_ATOM_NONE) {
        const int length = xcb_get_property_value_length(reply);
        if (length > 0)
            out = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), length);
    }
    std::free(reply);
    return out;
}

QList<std::uint32_t> X11WindowFacts::values(std::uint32_t window, std::uint32_t atom, std::uint32_t type) const
{
    const QByteArray raw = property(window, atom, type);
    QList<std::uint32_t> out;
    for (qsizetype at = 0; at + qsizetype(sizeof(std::uint32_t)) <= raw.size(); at += sizeof(std::uint32_t)) {
        std::uint32_t value = 0;
        std::memcpy(&value, raw.constData() + at, sizeof value);
        out.append(value);
    }
    return out;
}

WindowFacts X11WindowFacts::facts(std::uint32_t window) const
{
    WindowFacts facts;
    facts.gtkApplicationId = QString::fromUtf8(property(window, m_gtkAppIdAtom, m_utf8Atom));
    const QList<QByteArray> wmClass = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
    if (!wmClass.isEmpty())
        facts.wmInstance = QString::fromLatin1(wmClass.value(0));
    if (wmClass.size() > 1)
        facts.wmClass = QString::fromLatin1(wmClass.value(1));
    const QList<std::uint32_t> pid = values(window, m_pidAtom, XCB_ATOM_CARDINAL);
    if (!pid.isEmpty()) {
        facts.ownProcess = pid.front() == std::uint32_t(::getpid());
        if (pid.front() > 0) {
            const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid.front())).symLinkTarget();
            facts.executable = QFileInfo(exe).fileName();
        }
    }
    return facts;
}
