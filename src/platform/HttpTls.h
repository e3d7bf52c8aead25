#pragma once
// The TLS configuration every web request starts from, made once for the process: the
// certificate authorities it trusts, as OpenSSL's own tools take them from the environment.
// SSL_CERT_FILE names a file of PEM certificates in place of the system's bundle, and
// SSL_CERT_DIR folders (separated by ':') of hashed certificate names in place of the system's
// folder; the half not named stays the system's. Without either, the system's authorities.

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <functional>
#include <optional>

namespace HttpTls {

// Made on the shared thread pool on first use, off the caller's thread: the files it reads are
// outside data.
QFuture<QSslConfiguration> configuration();

// The authorities the two variables name, the system's (as `system` gives them) standing for
// the one not set; none when neither is set.
std::optional<QList<QSslCertificate>> authorities(const QByteArray& certFile, const QByteArray& certDir,
                                                  const std::function<QList<QSslCertificate>()>& system);

} // namespace HttpTls
