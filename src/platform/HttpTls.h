#pragma once
// TLS for every web request of the process, made once: the configuration each connection starts
// from and the authorities its server is checked against (HttpTrust), as OpenSSL's own tools
// take them from the environment: SSL_CERT_FILE names a file of PEM certificates in place of
// the system's bundle, and SSL_CERT_DIR folders (separated by ':') of hashed certificate names
// in place of the system's folder; the half not named stays the system's.
//
// Qt checks nothing itself: a connection is handed on only once its server's certificates
// passed check(), before a byte of the request goes out.

#include "platform/HttpTrust.h"

#include <QFuture>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include <memory>
#include <optional>

namespace HttpTls {

struct Setup {
    QSslConfiguration configuration;
    std::shared_ptr<const HttpTrust> trust;
};

// Made on the shared thread pool on first use, off the caller's thread: the files it reads are
// outside data. A file or folder that cannot be read, or holds no authority, is named once in
// the log.
QFuture<Setup> setup();

// Checks a server's certificates off the caller's thread, since it may read the folders: none
// when they hold, else why not.
QFuture<std::optional<QString>> check(std::shared_ptr<const HttpTrust> trust, QList<QSslCertificate> chain,
                                      QString host);

} // namespace HttpTls
