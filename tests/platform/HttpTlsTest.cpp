// TLS for the web requests of the process, made once, off the thread that asks for it.

#include "HttpTestCertificates.h"
#include "platform/HttpTls.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSslSocket>
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

// Qt is given nothing to load into each connection, nor anything to check by itself: the server
// is checked against the authorities read once.
TEST(HttpTlsTest, EveryConnectionStartsWithoutAuthoritiesOfItsOwn)
{
    QTemporaryDir dir;
    write(dir.filePath(QStringLiteral("ca.pem")), HttpTestCertificates::authority);
    qputenv("SSL_CERT_FILE", dir.filePath(QStringLiteral("ca.pem")).toLocal8Bit());
    const QFuture<HttpTls::Setup> made = HttpTls::setup();
    ASSERT_TRUE(waitUntil([&made] { return made.isFinished(); }));
    qunsetenv("SSL_CERT_FILE");
    const HttpTls::Setup setup = made.result();
    EXPECT_TRUE(setup.configuration.caCertificates().isEmpty());
    EXPECT_EQ(setup.configuration.peerVerifyMode(), QSslSocket::VerifyNone);
    ASSERT_TRUE(setup.trust);
    EXPECT_EQ(setup.trust->fileCertificates(), 1);
    const QFuture<std::optional<QString>> checked =
        HttpTls::check(setup.trust, {QSslCertificate(HttpTestCertificates::server)}, QStringLiteral("origin.test"));
    ASSERT_TRUE(waitUntil([&checked] { return checked.isFinished(); }));
    EXPECT_EQ(checked.result(), std::nullopt);
}

// The first https connection waits for no other work of the shared pool, however long that runs.
TEST(HttpTlsTest, TheAuthoritiesAreReadWhileThePoolIsBusy)
{
    QThreadPool* pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    std::promise<void> release;
    pool->start([released = release.get_future().share()] { released.wait(); });
    const QFuture<HttpTls::Setup> made = HttpTls::setup();
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
    QFuture<HttpTls::Setup> made;
    {
        int argc = 1;
        char name[] = "tarv";
        char* argv[] = {name, nullptr};
        QCoreApplication application(argc, argv);
        made = HttpTls::setup();
    }
    qunsetenv("SSL_CERT_DIR");
    EXPECT_TRUE(made.isFinished());
}
