#include "platform/HttpTls.h"

#include <openssl/crypto.h>

#include <QPromise>
#include <QSslSocket>
#include <QThreadPool>

#include <functional>
#include <memory>

namespace HttpTls {

namespace {

Setup make()
{
    QStringList problems;
    auto trust = std::make_shared<const HttpTrust>(
        HttpTrust::sources(qgetenv("SSL_CERT_FILE"), qgetenv("SSL_CERT_DIR")), &problems);
    for (const QString& problem : std::as_const(problems))
        qWarning("Web requests: %s", qPrintable(problem));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // Nothing for Qt to load into each connection, nor to check: HttpTrust checks the server.
    configuration.setCaCertificates({});
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return Setup{std::move(configuration), std::move(trust)};
}

// Runs `work` on the shared thread pool, which the application waits for as it ends (Tarv ends
// without its teardown while work runs there): OpenSSL tears itself down as the process ends,
// under any thread still using it. Ahead of the work queued there, on a thread more than the
// pool's own for as long as it runs: a connection waits for none of the pool's other work, and
// that work waits for none of these files (a folder on a slow file system). What OpenSSL kept
// for the thread (its error queue) goes with the work: OpenSSL forgets it once it tore itself
// down, and the pool's threads may outlive that.
template <typename T>
QFuture<T> besideThePool(std::function<T()> work)
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    QFuture<T> future = promise->future();
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->start(
        [promise, pool, work = std::move(work)] {
            promise->addResult(work());
            OPENSSL_thread_stop();
            pool->reserveThread();
            promise->finish();
        },
        1);
    pool->releaseThread();
    return future;
}

} // namespace

QFuture<Setup> setup()
{
    static const QFuture<Setup> made = besideThePool<Setup>(make);
    return made;
}

QFuture<std::optional<QString>> check(std::shared_ptr<const HttpTrust> trust, QList<QSslCertificate> chain,
                                      QString host)
{
    return besideThePool<std::optional<QString>>(
        [trust = std::move(trust), chain = std::move(chain), host = std::move(host)] { return trust->check(chain, host); });
}

} // namespace HttpTls
