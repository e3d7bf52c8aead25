#include "support/GeneratedCertificates.h"

#include <QHostAddress>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace GeneratedCertificates {

namespace {

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using Certificate = std::unique_ptr<X509, X509Free>;

// Kept for the life of the process: every certificate made holds it.
EVP_PKEY* theKey()
{
    static EVP_PKEY* const key = EVP_EC_gen("P-256");
    return key;
}

long nextSerial = 1;

void addExtension(X509* certificate, X509* issuer, int nid, const QByteArray& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate of `subject` issued by `issuer` (itself when none), not signed yet.
Certificate unsigned_(const QString& subject, X509* issuer)
{
    Certificate made(X509_new());
    X509_set_version(made.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(made.get()), nextSerial++);
    X509_gmtime_adj(X509_getm_notBefore(made.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(made.get()), 3600L * 24 * 365 * 10);
    X509_set_pubkey(made.get(), theKey());
    const QByteArray name = subject.toUtf8();
    X509_NAME_add_entry_by_txt(X509_get_subject_name(made.get()), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(name.constData()), -1, -1, 0);
    X509_set_issuer_name(made.get(), X509_get_subject_name(issuer ? issuer : made.get()));
    return made;
}

Certificate authority(const QString& subject, X509* issuer)
{
    Certificate made = unsigned_(subject, issuer);
    addExtension(made.get(), issuer ? issuer : made.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(made.get(), issuer ? issuer : made.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
    X509_sign(made.get(), theKey(), EVP_sha256());
    return made;
}

QByteArray pemOf(X509* certificate)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QByteArray pem(data, qsizetype(size));
    BIO_free(bio);
    return pem;
}

} // namespace

struct Authority::Made {
    Certificate certificate;
};

QByteArray keyPem()
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, theKey(), nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QByteArray pem(data, qsizetype(size));
    BIO_free(bio);
    return pem;
}

Authority::Authority(const QString& name) : Authority(std::make_unique<Made>(Made{authority(name, nullptr)})) {}

Authority::Authority(std::unique_ptr<Made> made) : m_made(std::move(made)) {}

Authority::~Authority() = default;

Authority::Authority(Authority&&) noexcept = default;

Authority Authority::intermediate(const QString& name) const
{
    return Authority(std::make_unique<Made>(Made{authority(name, m_made->certificate.get())}));
}

QByteArray Authority::serverPem(const QStringList& names) const
{
    Certificate made = unsigned_(names.value(0), m_made->certificate.get());
    QStringList alternatives;
    for (const QString& name : names)
        alternatives.append((QHostAddress(name).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) + name);
    X509* issuer = m_made->certificate.get();
    addExtension(made.get(), issuer, NID_basic_constraints, "CA:FALSE");
    addExtension(made.get(), issuer, NID_ext_key_usage, "serverAuth");
    addExtension(made.get(), issuer, NID_subject_alt_name, alternatives.join(u',').toUtf8());
    X509_sign(made.get(), theKey(), EVP_sha256());
    return pemOf(made.get());
}

QByteArray Authority::pem() const
{
    return pemOf(m_made->certificate.get());
}

QString Authority::hashedName() const
{
    const unsigned long hash = X509_NAME_hash_ex(X509_get_subject_name(m_made->certificate.get()), nullptr, nullptr, nullptr);
    return QStringLiteral("%1.0").arg(hash, 8, 16, QLatin1Char('0'));
}

std::vector<Authority> strangers(int count)
{
    std::vector<Authority> made;
    made.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        made.emplace_back(QStringLiteral("Stranger %1").arg(i));
    return made;
}

} // namespace GeneratedCertificates
