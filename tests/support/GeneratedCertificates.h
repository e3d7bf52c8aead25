#pragma once
// Certificate authorities and server certificates made by the tests as they run, valid from an
// hour ago for ten years. One P-256 key stands for every one of them, so that thousands are
// made in a fraction of a second: making keys is the slow part, and nothing here is secret.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace GeneratedCertificates {

// The one private key, in PEM, for a server to show its certificate with.
QByteArray keyPem();

class Authority {
public:
    // A self-signed authority.
    explicit Authority(const QString& name);
    ~Authority();
    Authority(Authority&&) noexcept;

    // An authority this one certifies.
    Authority intermediate(const QString& name) const;
    // A server certificate for `names`, host names or IP addresses, issued by this authority.
    QByteArray serverPem(const QStringList& names) const;

    QByteArray pem() const;
    // The name OpenSSL looks this authority up by in a folder: its subject's hash, "%08lx.0".
    QString hashedName() const;

private:
    struct Made;
    explicit Authority(std::unique_ptr<Made> made);
    std::unique_ptr<Made> m_made;
};

// `count` self-signed authorities that certify nothing of the tests'.
std::vector<Authority> strangers(int count);

} // namespace GeneratedCertificates
