// The certificate authorities a web request trusts, as OpenSSL's own tools read the environment.

#include "HttpTestCertificates.h"
#include "platform/HttpTls.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <future>

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

// SSL_CERT_FILE stands for the system's bundle and SSL_CERT_DIR for its folder, whose files
// count under their hashed names only; the half not named stays the system's.
TEST(HttpTlsTest, TheVariablesReplaceTheSystemsFileAndFolder)
{
    QTemporaryDir dir;
    const QSslCertificate authority(HttpTestCertificates::authority);
    const QSslCertificate server(HttpTestCertificates::server);
    // The system's own, which the folder holds as well.
    const QSslCertificate system = authority;
    write(dir.filePath(QStringLiteral("company.pem")), HttpTestCertificates::server);
    QDir(dir.path()).mkdir(QStringLiteral("hashed"));
    write(dir.filePath(QStringLiteral("hashed/0a1b2c3d.0")), HttpTestCertificates::authority);
    write(dir.filePath(QStringLiteral("hashed/company.pem")), HttpTestCertificates::server);
    QDir(dir.path()).mkdir(QStringLiteral("more"));
    write(dir.filePath(QStringLiteral("more/ffffffff.1")), HttpTestCertificates::server);
    const auto systems = [&] { return QList<QSslCertificate>{system}; };
    const QByteArray file = dir.filePath(QStringLiteral("company.pem")).toLocal8Bit();
    const QByteArray folders = dir.filePath(QStringLiteral("hashed")).toLocal8Bit() + ':' +
                               dir.filePath(QStringLiteral("more")).toLocal8Bit();

    EXPECT_EQ(HttpTls::authorities({}, {}, systems), std::nullopt);
    EXPECT_EQ(HttpTls::authorities(file, {}, systems), (QList<QSslCertificate>{server, system}));
    EXPECT_EQ(HttpTls::authorities({}, folders, systems), (QList<QSslCertificate>{system, server}));
    // Each authority once, however many places name it.
    EXPECT_EQ(HttpTls::authorities(file, folders, systems), (QList<QSslCertificate>{server, authority}));
    // A file that is none, or no regular file, adds nothing and waits for nothing.
    EXPECT_EQ(HttpTls::authorities("/dev/zero", {}, systems), (QList<QSslCertificate>{system}));
}

// The first https connection waits for no other work of the shared pool, however long that runs.
TEST(HttpTlsTest, TheAuthoritiesAreReadWhileThePoolIsBusy)
{
    QThreadPool* pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    std::promise<void> release;
    pool->start([released = release.get_future().share()] { released.wait(); });
    const QFuture<QSslConfiguration> made = HttpTls::configuration();
    EXPECT_TRUE(waitUntil([&made] { return made.isFinished(); }));
    release.set_value();
    pool->waitForDone();
    pool->setMaxThreadCount(threads);
}

// The authorities are read once, when the first https connection needs them, while the
// application lives: OpenSSL tears itself down as the process ends, under any thread still
// reading with it, and a Tarv that quits meanwhile would end in a crash.
TEST(HttpTlsTest, TheAuthoritiesAreReadWithinTheApplicationsLife)
{
    QTemporaryDir dir;
    // A folder of authorities that takes a while to read.
    for (int i = 0; i < 400; ++i)
        write(dir.filePath(QStringLiteral("%1.0").arg(i, 8, 16, QLatin1Char('0'))),
              HttpTestCertificates::authority.repeated(8));
    qputenv("SSL_CERT_DIR", dir.path().toLocal8Bit());
    QFuture<QSslConfiguration> made;
    {
        int argc = 1;
        char name[] = "tarv";
        char* argv[] = {name, nullptr};
        QCoreApplication application(argc, argv);
        made = HttpTls::configuration();
    }
    qunsetenv("SSL_CERT_DIR");
    EXPECT_TRUE(made.isFinished());
}
