#pragma once
// An address from a screen file, read once the way it will be used: what a source fetches and
// what a button opens is that reading, and what the approval shows is written from it too, so
// the text is never read a second time, by another reader, into another address.

#include <QString>
#include <QUrl>

#include <variant>

enum class AddressUse {
    // A url source: http or https with a host, read strictly; a user name and password in it
    // are sent as the request's credentials.
    fetched,
    // What a button opens in the desktop's browser or mail program: http or https with a host
    // and no user name, or mailto with a recipient. A host written with % escapes is refused,
    // as a fetched one is: it would open decoded, as another host than the one that reads.
    opened,
};

// The address, or a phrase saying why it is refused.
std::variant<QUrl, QString> readWebAddress(const QString& text, AddressUse use);

// The address as it is fetched or opened: normalised, percent-encoded, its host in ASCII
// (punycode); where the host reads otherwise in Unicode, that follows in brackets, written as
// an approval writes a name ("https://xn--bcher-kva.de/ (bücher.de)").
QString shownAddress(const QUrl& url);
