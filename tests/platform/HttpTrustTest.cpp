// The authorities a web request trusts and the check of a server's certificates against them,
// with thousands of authorities made by the test, in a file and in a folder of hashed names.

#include "platform/HttpTrust.h"
#include "support/GeneratedCertificates.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <openssl/x509.h>

namespace {

using GeneratedCertificates::Authority;

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Puts each authority in `folder` under its hashed name, as "openssl rehash" does.
void rehashInto(const QString& folder, const std::vector<const Authority*>& authorities)
{
    QDir().mkpath(folder);
    for (const Authority* authority : authorities) {
        QString name = authority->hashedName();
        for (int n = 1; QFile::exists(folder + u'/' + name); ++n)
            name = name.chopped(1) + QString::number(n);
        write(folder + u'/' + name, authority->pem());
    }
}

QList<QSslCertificate> chainOf(const QByteArrayList& pems)
{
    QList<QSslCertificate> chain;
    for (const QByteArray& pem : pems)
        chain.append(QSslCertificate(pem));
    return chain;
}

// A root, an authority below it and a server certificate the latter issued.
class HttpTrustTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }

    Authority root{QStringLiteral("Tarv Test Root")};
    Authority middle = root.intermediate(QStringLiteral("Tarv Test Issuing"));
    QByteArray server = middle.serverPem({QStringLiteral("localhost"), QStringLiteral("127.0.0.1")});
    QTemporaryDir dir;
};

} // namespace

TEST_F(HttpTrustTest, SourcesAreWhereOpenSslsToolsLook)
{
    const HttpTrust::Sources system = HttpTrust::sources({}, {});
    EXPECT_EQ(system.file, QString::fromLocal8Bit(X509_get_default_cert_file()));
    EXPECT_EQ(system.folders, QStringList{QString::fromLocal8Bit(X509_get_default_cert_dir())});
    EXPECT_EQ(HttpTrust::sources("/etc/company.pem", "/a::/b:"),
              (HttpTrust::Sources{QStringLiteral("/etc/company.pem"), {QStringLiteral("/a"), QStringLiteral("/b")}}));
    // The half not named stays the system's.
    EXPECT_EQ(HttpTrust::sources({}, "/a").file, system.file);
    EXPECT_EQ(HttpTrust::sources("/etc/company.pem", {}).folders, system.folders);
}

// The root may stand in the file or in a folder, beside thousands of others; the server may send
// the authority between it and the root, or leave it to be found among the trusted too.
TEST_F(HttpTrustTest, AServerIsTrustedThroughTheFileOrAFolderAmongThousands)
{
    const std::vector<Authority> strangers = GeneratedCertificates::strangers(5000);
    QByteArray strangerBundle;
    for (const Authority& stranger : strangers)
        strangerBundle += stranger.pem();
    const QString emptyFolder = path(QStringLiteral("empty"));
    QDir().mkpath(emptyFolder);
    write(path(QStringLiteral("empty/00000000.0")), {});
    write(path(QStringLiteral("with-root.pem")), strangerBundle + root.pem());
    write(path(QStringLiteral("strangers.pem")), strangerBundle);
    write(path(QStringLiteral("issuing.pem")), middle.pem());
    // A folder is looked in by name alone: how many files it holds changes nothing of a check,
    // and each file made costs the test time.
    std::vector<const Authority*> folder;
    for (size_t i = 0; i < 500; ++i)
        folder.push_back(&strangers[i]);
    folder.push_back(&root);
    rehashInto(path(QStringLiteral("hashed")), folder);

    const QList<QSslCertificate> full = chainOf({server, middle.pem()});
    const QList<QSslCertificate> alone = chainOf({server});
    const struct {
        const char* what;
        HttpTrust::Sources sources;
        QList<QSslCertificate> chain;
    } trusting[] = {
        {"root in the file", {path(QStringLiteral("with-root.pem")), {emptyFolder}}, full},
        {"root in a folder", {path(QStringLiteral("strangers.pem")), {emptyFolder, path(QStringLiteral("hashed"))}}, full},
        {"issuer in the file, root in a folder", {path(QStringLiteral("issuing.pem")), {path(QStringLiteral("hashed"))}}, alone},
    };
    for (const auto& [what, sources, chain] : trusting) {
        QStringList problems;
        const HttpTrust trust(sources, &problems);
        EXPECT_EQ(problems, QStringList()) << what;
        EXPECT_EQ(trust.check(chain, QStringLiteral("localhost")), std::nullopt) << what;
        EXPECT_EQ(trust.check(chain, QStringLiteral("127.0.0.1")), std::nullopt) << what;
        EXPECT_EQ(trust.check(chain, QStringLiteral("other.test")),
                  QStringLiteral("the certificate of other.test is refused: hostname mismatch"))
            << what;
        EXPECT_EQ(trust.check(chain, QStringLiteral("127.0.0.2")),
                  QStringLiteral("the certificate of 127.0.0.2 is refused: IP address mismatch"))
            << what;
    }

    // Without the root, neither what the server sends nor what is trusted leads anywhere.
    const HttpTrust strangersOnly({path(QStringLiteral("strangers.pem")), {emptyFolder}});
    EXPECT_EQ(strangersOnly.fileCertificates(), qsizetype(strangers.size()));
    EXPECT_EQ(strangersOnly.check(full, QStringLiteral("localhost")),
              QStringLiteral("the certificate of localhost is refused: unable to get local issuer certificate"));
    // A server that sends the root itself is no more trusted for it.
    EXPECT_EQ(strangersOnly.check(chainOf({server, middle.pem(), root.pem()}), QStringLiteral("localhost")),
              QStringLiteral("the certificate of localhost is refused: self-signed certificate in certificate chain"));
    const HttpTrust issuerOnly({path(QStringLiteral("issuing.pem")), {emptyFolder}});
    EXPECT_EQ(issuerOnly.check(alone, QStringLiteral("localhost")),
              QStringLiteral("the certificate of localhost is refused: unable to get issuer certificate"));
    EXPECT_EQ(strangersOnly.check({}, QStringLiteral("localhost")), QStringLiteral("the server localhost sent no certificate"));
}

// Each file or folder that adds nothing is named, in words that say why.
TEST_F(HttpTrustTest, WhatCannotBeReadOrHoldsNoAuthorityIsNamed)
{
    write(path(QStringLiteral("notes.txt")), "no certificates here\n");
    QDir().mkpath(path(QStringLiteral("unhashed")));
    write(path(QStringLiteral("unhashed/company.pem")), root.pem());
    write(path(QStringLiteral("unhashed/0123abcd.pem")), root.pem());
    QStringList problems;
    const HttpTrust absent({path(QStringLiteral("missing.pem")), {path(QStringLiteral("missing")), path(QStringLiteral("unhashed"))}},
                           &problems);
    EXPECT_EQ(problems, (QStringList{
                            QStringLiteral("the certificate authorities of %1 cannot be read: there is no such file")
                                .arg(path(QStringLiteral("missing.pem"))),
                            QStringLiteral("the folder of certificate authorities %1 cannot be read: No such file or directory")
                                .arg(path(QStringLiteral("missing"))),
                            QStringLiteral("the folder %1 holds no certificate authority under a hashed name (as \"openssl "
                                           "rehash\" names them)")
                                .arg(path(QStringLiteral("unhashed"))),
                        }));
    problems.clear();
    const HttpTrust unusable({path(QStringLiteral("notes.txt")), {}}, &problems);
    EXPECT_EQ(problems, QStringList{path(QStringLiteral("notes.txt")) + QStringLiteral(" holds no certificate authority")});
    problems.clear();
    const HttpTrust notAFile({QStringLiteral("/dev/zero"), {}}, &problems);
    EXPECT_EQ(problems, QStringList{QStringLiteral("the certificate authorities of /dev/zero cannot be read: it is a device, "
                                                   "not a regular file")});
}

// Whatever a damaged certificate in the file holds, cut short or with any bytes changed, it
// costs only itself: the others are still found.
TEST_F(HttpTrustTest, DamagedCertificatesInTheFileHarmNoOther)
{
    const QByteArray good = root.pem();
    const QByteArray der = QSslCertificate(Authority(QStringLiteral("Stranger")).pem()).toDer();
    const auto asPem = [](const QByteArray& bytes) {
        return "-----BEGIN CERTIFICATE-----\n" + bytes.toBase64() + "\n-----END CERTIFICATE-----\n";
    };
    QByteArray cut;
    for (qsizetype size = 0; size < der.size(); ++size)
        cut += asPem(der.left(size));
    QRandomGenerator random(74);
    QByteArray changed;
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = der;
        for (int flips = 1 + int(random.bounded(4)); flips > 0; --flips)
            bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
        changed += asPem(bytes);
    }
    const QByteArray unterminated = "-----BEGIN CERTIFICATE-----\nMIIB";
    write(path(QStringLiteral("damaged.pem")), cut + good + changed + "-----BEGIN \n" + unterminated);
    const HttpTrust trust({path(QStringLiteral("damaged.pem")), {}});
    EXPECT_EQ(trust.check(chainOf({server, middle.pem()}), QStringLiteral("localhost")), std::nullopt);
}
