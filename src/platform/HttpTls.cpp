#include "platform/HttpTls.h"

#include "platform/BoundedFile.h"

#include <QDir>
#include <QPromise>
#include <QRegularExpression>
#include <QSet>
#include <QThreadPool>

#include <memory>

namespace HttpTls {

namespace {

// Far beyond any bundle of authorities; a larger file is no such bundle.
constexpr qint64 maxFileBytes = 16 * 1024 * 1024;

QList<QSslCertificate> fromFile(const QString& path)
{
    const std::optional<QByteArray> bytes = readRegularFile(path, maxFileBytes);
    return bytes ? QSslCertificate::fromData(*bytes, QSsl::Pem) : QList<QSslCertificate>();
}

// OpenSSL finds an authority in such a folder by the hash of its name: only files named so count.
QList<QSslCertificate> fromFolders(const QString& folders)
{
    static const QRegularExpression hashed(QStringLiteral("^[0-9a-f]{8}\\.[0-9]+$"));
    QList<QSslCertificate> found;
    for (const QString& folder : folders.split(u':', Qt::SkipEmptyParts)) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files | QDir::System, QDir::Name)) {
            if (hashed.match(name).hasMatch())
                found += fromFile(dir.filePath(name));
        }
    }
    return found;
}

QSslConfiguration make()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    std::optional<QList<QSslCertificate>> system;
    const auto systems = [&system] {
        if (!system)
            system = QSslConfiguration::systemCaCertificates();
        return *system;
    };
    const auto trusted = authorities(qgetenv("SSL_CERT_FILE"), qgetenv("SSL_CERT_DIR"), systems);
    // Variables that name the system's own authorities (as many installations set them) leave
    // Qt to find them itself, as each connection needs one: a connection given a list of
    // authorities holds every one of them from its start.
    if (trusted && QSet(trusted->cbegin(), trusted->cend()) != QSet(systems().cbegin(), systems().cend()))
        configuration.setCaCertificates(*trusted);
    return configuration;
}

} // namespace

std::optional<QList<QSslCertificate>> authorities(const QByteArray& certFile, const QByteArray& certDir,
                                                  const std::function<QList<QSslCertificate>()>& system)
{
    if (certFile.isEmpty() && certDir.isEmpty())
        return std::nullopt;
    QList<QSslCertificate> trusted = certFile.isEmpty() ? system() : fromFile(QString::fromLocal8Bit(certFile));
    trusted += certDir.isEmpty() ? system() : fromFolders(QString::fromLocal8Bit(certDir));
    // The system's folder and bundle hold the same authorities: each goes to a connection once.
    QSet<QSslCertificate> seen;
    trusted.removeIf([&seen](const QSslCertificate& certificate) {
        const bool again = seen.contains(certificate);
        seen.insert(certificate);
        return again;
    });
    return trusted;
}

QFuture<QSslConfiguration> configuration()
{
    static const QFuture<QSslConfiguration> made = [] {
        auto promise = std::make_shared<QPromise<QSslConfiguration>>();
        promise->start();
        QFuture<QSslConfiguration> future = promise->future();
        // On the shared thread pool, which the application waits for as it ends (Tarv ends
        // without its teardown while work runs there): OpenSSL tears itself down as the process
        // ends, under any thread still reading with it. Ahead of the work queued there, on a
        // thread more than the pool's own for as long as it reads: the first https connection
        // waits for none of the pool's other work, and that work waits for none of these files
        // (a folder on a slow file system).
        QThreadPool* pool = QThreadPool::globalInstance();
        pool->start(
            [promise, pool] {
                promise->addResult(make());
                pool->reserveThread();
                promise->finish();
            },
            1);
        pool->releaseThread();
        return future;
    }();
    return made;
}

} // namespace HttpTls
