#pragma once
// The certificate authorities web requests trust, and the check of a server's certificates
// against them. They come from where OpenSSL's own tools take them: a file of PEM certificates
// (SSL_CERT_FILE, else the system's bundle) and folders of certificates under hashed names
// (SSL_CERT_DIR, else the system's folder). The file is indexed by subject once; a folder is
// looked in only for the names a chain asks for, as OpenSSL looks in the system's. So checking
// a server costs the same whether ten authorities are trusted or fifty thousand.
//
// Qt cannot be given them: it builds a new store of every authority it is given for each
// connection, and OpenSSL sorts that store anew after each one added.

#include <QByteArray>
#include <QList>
#include <QMultiHash>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <optional>

class HttpTrust {
public:
    // Far beyond any bundle of authorities; a larger file is no such bundle.
    static constexpr qint64 maxFileBytes = 256 * 1024 * 1024;
    // A certificate in a folder is a file of one certificate, or a few.
    static constexpr qint64 maxFolderFileBytes = 1024 * 1024;

    struct Sources {
        QString file;
        QStringList folders;
        friend bool operator==(const Sources&, const Sources&) = default;
    };
    // Where OpenSSL's tools look, given the values of SSL_CERT_FILE and SSL_CERT_DIR (folders
    // separated by ':'); what is not set stays the system's.
    static Sources sources(const QByteArray& certFile, const QByteArray& certDir);

    // Reads the file and looks at the folders. Each that cannot be read, or holds no
    // certificate, gets a line in `problems` that names it.
    explicit HttpTrust(const Sources& sources, QStringList* problems = nullptr);

    // Whether `chain` (the server's own certificate first, then what it sent to go with it)
    // leads to a trusted authority and names `host` (a name or an address): none when it does,
    // else why not, for a user. Safe to call from several threads at once.
    std::optional<QString> check(const QList<QSslCertificate>& chain, const QString& host) const;

    // How many certificates of the file were indexed.
    qsizetype fileCertificates() const { return m_file.size(); }

private:
    struct Stored {
        QByteArray der;
        // Written as TRUSTED CERTIFICATE: the certificate followed by what it is trusted for.
        bool withTrustSettings;
    };

    // The authorities that may have issued certificates: the work of one check.
    class Lookup;

    QMultiHash<unsigned long, Stored> m_file;
    QStringList m_folders;
};
