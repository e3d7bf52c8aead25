#include "platform/WebAddress.h"

#include "platform/VisibleText.h"

namespace {

bool isWeb(const QString& scheme)
{
    return scheme == u"http" || scheme == u"https";
}

// The authority as written, where the parser takes it from: after "scheme://", up to the first
// "/", "?" or "#".
QStringView writtenAuthority(const QString& text)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0 || QStringView(text).mid(colon + 1, 2) != u"//")
        return {};
    const QStringView rest = QStringView(text).sliced(colon + 3);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != u'/' && rest[end] != u'?' && rest[end] != u'#')
        ++end;
    return rest.first(end);
}

std::variant<QUrl, QString> readFetched(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || !isWeb(url.scheme()) || url.host().isEmpty())
        return QStringLiteral("must be an http or https URL");
    return url;
}

std::variant<QUrl, QString> readOpened(const QString& text)
{
    // Tolerant, as browsers are of blanks and the like in a path or query; the host and user
    // name are held to the strict reading below.
    const QUrl url(text, QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (!isWeb(scheme) && scheme != u"mailto"))
        return QStringLiteral("must be an http, https or mailto address");
    if (scheme == u"mailto") {
        if (url.path().isEmpty() || !url.authority().isEmpty())
            return QStringLiteral("must be mailto: followed by a recipient");
        return url;
    }
    const QString host = url.host(QUrl::FullyEncoded);
    if (!url.userInfo().isEmpty())
        return QStringLiteral("names a user before \"@\" (") + url.userInfo(QUrl::FullyEncoded) +
               QStringLiteral("), and would open the host ") + host +
               QStringLiteral(": an address a button opens may not name a user");
    if (writtenAuthority(text).contains(u'%'))
        return QStringLiteral("writes its host with % escapes, and would open the host ") + host +
               QStringLiteral(": write the host as it is");
    if (host.isEmpty())
        return QStringLiteral("has no host after its scheme, as in https://example.com/");
    return url;
}

}  // namespace

std::variant<QUrl, QString> readWebAddress(const QString& text, AddressUse use)
{
    return use == AddressUse::fetched ? readFetched(text) : readOpened(text);
}

QString shownAddress(const QUrl& url)
{
    QString shown = url.toString(QUrl::FullyEncoded);
    const QString ace = url.host(QUrl::FullyEncoded);
    if (ace.isEmpty())
        return shown;
    const QString unicode = QUrl::fromAce(ace.toLatin1(), QUrl::IgnoreIDNWhitelist);
    if (unicode != ace)
        shown += QStringLiteral(" (") + approvalText(unicode) + u')';
    return shown;
}
