#pragma once
// The proxy a web request goes through, as the environment names it for every program:
// http_proxy for http addresses (only in lower case: a CGI program's HTTP_PROXY comes from
// whoever sent the request), https_proxy or HTTPS_PROXY for https, and no_proxy or NO_PROXY for
// the hosts that are reached directly. The lower-case form wins where both are set.
//
// no_proxy holds names, each matching itself and every name under it ("example.com" and
// ".example.com" both match "www.example.com", not "notexample.com"), addresses and networks
// ("10.0.0.0/8", "::1"), each perhaps with a port that then has to match too, or "*" alone
// for every host. Names are not looked up to match addresses.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <variant>

namespace HttpProxies {

struct Settings {
    QByteArray http;
    QByteArray https;
    QByteArray noProxy;
};

Settings fromEnvironment();

// An http proxy: requests to http addresses go to it whole; https ones through a tunnel.
struct Proxy {
    QString host;
    quint16 port = 0;
    // "Basic …" for the user and password of the proxy's address, else empty.
    QByteArray authorization;

    // Host and port, as a user would write them.
    QString name() const;
};

// Direct, the proxy, or why the proxy named cannot be used.
using Choice = std::variant<std::monostate, Proxy, QString>;

Choice choose(const QUrl& url, const Settings& settings);

// Whether a host (as a URL holds it) and port are in a no_proxy list.
bool bypasses(const QByteArray& noProxy, const QString& host, int port);

} // namespace HttpProxies
