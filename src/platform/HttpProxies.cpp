#include "platform/HttpProxies.h"

#include <QHostAddress>

#include <algorithm>
#include <optional>

namespace HttpProxies {

namespace {

QByteArray firstSet(const char* lower, const char* upper)
{
    QByteArray value = qgetenv(lower).trimmed();
    if (value.isEmpty() && upper)
        value = qgetenv(upper).trimmed();
    return value;
}

std::optional<int> portOf(const QByteArray& digits)
{
    if (digits.isEmpty() || digits.size() > 5 ||
        !std::all_of(digits.cbegin(), digits.cend(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int port = digits.toInt();
    return port >= 1 && port <= 65535 ? std::optional(port) : std::nullopt;
}

// An entry's host and its port (-1 for any), or none for an entry that is neither.
std::optional<std::pair<QByteArray, int>> entryOf(const QByteArray& entry)
{
    if (entry.startsWith('[')) {
        const qsizetype close = entry.indexOf(']');
        if (close < 0)
            return std::nullopt;
        const QByteArray after = entry.mid(close + 1);
        if (after.isEmpty() || after.startsWith('/'))
            return std::pair(entry.mid(1, close - 1) + after, -1);
        const std::optional<int> port = after.startsWith(':') ? portOf(after.mid(1)) : std::nullopt;
        return port ? std::optional(std::pair(entry.mid(1, close - 1), *port)) : std::nullopt;
    }
    // More than one colon: an address of IPv6 without a port.
    if (entry.count(':') != 1)
        return std::pair(entry, -1);
    const qsizetype colon = entry.indexOf(':');
    const std::optional<int> port = portOf(entry.mid(colon + 1));
    return port ? std::optional(std::pair(entry.left(colon), *port)) : std::nullopt;
}

bool addressMatches(const QHostAddress& address, const QByteArray& entry)
{
    const qsizetype slash = entry.indexOf('/');
    QHostAddress network;
    if (!network.setAddress(QString::fromLatin1(slash < 0 ? entry : entry.left(slash))) ||
        network.protocol() != address.protocol())
        return false;
    const int all = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    int bits = all;
    if (slash >= 0) {
        const QByteArray digits = entry.mid(slash + 1);
        bool ok = !digits.isEmpty() && digits.size() <= 3 &&
                  std::all_of(digits.cbegin(), digits.cend(), [](char c) { return c >= '0' && c <= '9'; });
        bits = ok ? digits.toInt() : -1;
        if (bits < 0 || bits > all)
            return false;
        // As curl reads it: no bits are all of them.
        if (bits == 0)
            bits = all;
    }
    return address.isInSubnet(network, bits);
}

QByteArray withoutTrailingDot(QByteArray name)
{
    if (name.endsWith('.'))
        name.chop(1);
    return name;
}

} // namespace

Settings fromEnvironment()
{
    return {firstSet("http_proxy", nullptr), firstSet("https_proxy", "HTTPS_PROXY"), firstSet("no_proxy", "NO_PROXY")};
}

QString Proxy::name() const
{
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

bool bypasses(const QByteArray& noProxy, const QString& host, int port)
{
    const QByteArray list = noProxy.trimmed();
    if (list == "*")
        return true;
    QHostAddress address;
    const bool isAddress = address.setAddress(host);
    const QByteArray name = withoutTrailingDot(host.toLatin1().toLower());
    for (QByteArray token : list.split(',')) {
        for (const QByteArray& raw : token.replace('\t', ' ').split(' ')) {
            const std::optional<std::pair<QByteArray, int>> entry = entryOf(raw);
            if (!entry || entry->first.isEmpty() || (entry->second >= 0 && entry->second != port))
                continue;
            if (isAddress) {
                if (addressMatches(address, entry->first))
                    return true;
                continue;
            }
            QByteArray suffix = withoutTrailingDot(entry->first.toLower());
            if (suffix.startsWith('.'))
                suffix.remove(0, 1);
            if (!suffix.isEmpty() && (name == suffix || name.endsWith('.' + suffix)))
                return true;
        }
    }
    return false;
}

Choice choose(const QUrl& url, const Settings& settings)
{
    const bool https = url.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
    const QByteArray value = (https ? settings.https : settings.http).trimmed();
    if (value.isEmpty() ||
        bypasses(settings.noProxy, url.host(QUrl::FullyEncoded), url.port(https ? 443 : 80)))
        return std::monostate();
    QString text = QString::fromLocal8Bit(value);
    if (!text.contains(u"://"))
        text.prepend(u"http://");
    const QUrl address(text, QUrl::StrictMode);
    const QString variable = https ? QStringLiteral("https_proxy") : QStringLiteral("http_proxy");
    if (!address.isValid() || address.host().isEmpty())
        return QStringLiteral("the proxy in ") + variable + QStringLiteral(" is not an address");
    if (address.scheme().compare(u"http", Qt::CaseInsensitive) != 0)
        return QStringLiteral("the proxy in ") + variable + QStringLiteral(" is not an http:// proxy");
    Proxy proxy;
    proxy.host = address.host();
    // What curl takes for a proxy without a port.
    proxy.port = quint16(address.port(1080));
    if (!address.userName().isEmpty()) {
        const QByteArray credentials = address.userName(QUrl::FullyDecoded).toUtf8() + ':' +
                                       address.password(QUrl::FullyDecoded).toUtf8();
        proxy.authorization = "Basic " + credentials.toBase64();
    }
    return proxy;
}

} // namespace HttpProxies
