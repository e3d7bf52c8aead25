#pragma once
// Host names turned into addresses on threads of their own that nothing waits for, not by Qt's
// lookups, which the application object waits for as it goes: a name server that keeps silent
// holds a lookup for as long as the resolver's own time-outs, ten seconds and more.
//
// A name being looked up is looked up once, however many want it meanwhile. Each share (a kind
// of caller: screen files, artwork, stock quotes) looks up at most perShare names at once, so
// one kind of caller cannot take every lookup from the others.

#include <QByteArray>
#include <QFuture>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <variant>

namespace HostLookups {

// Turns a host name in its ASCII form into addresses, blocking; none when it names nothing.
using LookUp = std::function<QList<QHostAddress>(const QByteArray& host)>;

inline constexpr int perShare = 8;

// The addresses of `host` as `with` finds them (the system's resolver when none), or why no
// lookup could start. Lookups of the same name with the same function are one while it runs.
std::variant<QFuture<QList<QHostAddress>>, QString> lookUp(const QByteArray& host,
                                                           const std::shared_ptr<const LookUp>& with,
                                                           const QByteArray& share);

} // namespace HostLookups
