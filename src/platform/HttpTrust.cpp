#include "platform/HttpTrust.h"

#include "platform/BoundedFile.h"

#include <QFile>
#include <QHostAddress>
#include <QUrl>

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using Certificate = std::unique_ptr<X509, X509Free>;

// Holds the certificates it lists without owning them.
struct StackFree {
    void operator()(STACK_OF(X509) * stack) const { sk_X509_free(stack); }
};
using Stack = std::unique_ptr<STACK_OF(X509), StackFree>;

struct ContextFree {
    void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};

// How many names one check looks up at most: a server's chain and the authorities above it are
// a handful, and what a server sends must not make Tarv read a folder without end.
constexpr int maxLookups = 32;
// Certificates of one subject in one folder: the first of them is ".0", the next ".1", ….
constexpr int maxPerName = 64;

struct PemCertificate {
    QByteArray der;
    bool withTrustSettings;
};

// The certificates of PEM text, decoded from base64 only: what they hold is read when needed.
QList<PemCertificate> pemCertificates(const QByteArray& text)
{
    static const QByteArray begin = QByteArrayLiteral("-----BEGIN ");
    static const QByteArray dashes = QByteArrayLiteral("-----");
    QList<PemCertificate> found;
    qsizetype at = 0;
    while ((at = text.indexOf(begin, at)) >= 0) {
        const qsizetype labelStart = at + begin.size();
        const qsizetype labelEnd = text.indexOf(dashes, labelStart);
        if (labelEnd < 0)
            break;
        const QByteArray label = text.mid(labelStart, labelEnd - labelStart);
        if (label.contains('\n')) {
            at = labelStart;
            continue;
        }
        const QByteArray end = "-----END " + label + dashes;
        const qsizetype bodyStart = labelEnd + dashes.size();
        const qsizetype bodyEnd = text.indexOf(end, bodyStart);
        // A block cut off ends the text: nothing after it can close it.
        if (bodyEnd < 0)
            break;
        at = bodyEnd + end.size();
        const bool withTrustSettings = label == "TRUSTED CERTIFICATE";
        if (!withTrustSettings && label != "CERTIFICATE" && label != "X509 CERTIFICATE")
            continue;
        QByteArray der = QByteArray::fromBase64(text.mid(bodyStart, bodyEnd - bodyStart));
        if (!der.isEmpty())
            found.append({std::move(der), withTrustSettings});
    }
    return found;
}

// The hash OpenSSL names a certificate's file by in a folder (its subject's), read without
// decoding the whole certificate: decoding its key is what makes reading a certificate slow,
// and a file may hold tens of thousands. Only an index: a certificate found through it is
// decoded and compared whole before it counts.
std::optional<unsigned long> subjectHash(const QByteArray& der)
{
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    const unsigned char* const end = p + der.size();
    long length = 0;
    int tag = 0;
    int kind = 0;
    // Reads the head of the next element, leaving `p` at its content; refuses an indefinite
    // length, which DER never has.
    const auto head = [&] {
        if (p >= end)
            return false;
        const int flags = ASN1_get_object(&p, &length, &tag, &kind, long(end - p));
        return (flags & 0x80) == 0 && (flags & 0x01) == 0;
    };
    const auto enter = [&] { return head() && kind == V_ASN1_UNIVERSAL && tag == V_ASN1_SEQUENCE; };
    const auto skip = [&] {
        if (!head())
            return false;
        p += length;
        return true;
    };
    // The certificate, then the part of it that is signed.
    if (!enter() || !enter())
        return std::nullopt;
    // The version comes first, when it is there.
    const unsigned char* const first = p;
    if (!head())
        return std::nullopt;
    if (kind == V_ASN1_CONTEXT_SPECIFIC && tag == 0)
        p += length;
    else
        p = first;
    // Serial number, signature algorithm, issuer, validity.
    for (int i = 0; i < 4; ++i) {
        if (!skip())
            return std::nullopt;
    }
    const unsigned char* subject = p;
    if (!skip())
        return std::nullopt;
    X509_NAME* name = d2i_X509_NAME(nullptr, &subject, long(p - subject));
    if (!name)
        return std::nullopt;
    int ok = 0;
    const unsigned long hash = X509_NAME_hash_ex(name, nullptr, nullptr, &ok);
    X509_NAME_free(name);
    return ok ? std::optional(hash) : std::nullopt;
}

Certificate decode(const QByteArray& der, bool withTrustSettings)
{
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    return Certificate(withTrustSettings ? d2i_X509_AUX(nullptr, &p, long(der.size()))
                                         : d2i_X509(nullptr, &p, long(der.size())));
}

bool isHashedName(const char* name)
{
    int i = 0;
    for (; i < 8; ++i) {
        if (name[i] == '\0' || !std::strchr("0123456789abcdef", name[i]))
            return false;
    }
    if (name[i++] != '.' || name[i] == '\0')
        return false;
    for (; name[i] != '\0'; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
    }
    return true;
}

} // namespace

class HttpTrust::Lookup {
public:
    explicit Lookup(const HttpTrust& trust) : m_trust(trust) {}

    // Adds the authorities named `name` that are not among `found` yet; false once the
    // lookups of this check are spent.
    bool addIssuers(const X509_NAME* name, std::vector<Certificate>& found)
    {
        if (++m_lookups > maxLookups)
            return false;
        int ok = 0;
        const unsigned long hash = X509_NAME_hash_ex(name, nullptr, nullptr, &ok);
        if (!ok)
            return true;
        const auto take = [&](Certificate certificate) {
            if (!certificate || X509_NAME_cmp(X509_get_subject_name(certificate.get()), name) != 0)
                return;
            const bool known = std::any_of(found.cbegin(), found.cend(),
                                           [&](const Certificate& other) { return X509_cmp(other.get(), certificate.get()) == 0; });
            if (!known)
                found.push_back(std::move(certificate));
        };
        for (auto it = m_trust.m_file.constFind(hash); it != m_trust.m_file.cend() && it.key() == hash; ++it)
            take(decode(it->der, it->withTrustSettings));
        for (const QString& folder : m_trust.m_folders) {
            for (int n = 0; n < maxPerName; ++n) {
                const QString path = folder + QStringLiteral("/%1.%2").arg(hash, 8, 16, QLatin1Char('0')).arg(n);
                const auto read = readBoundedFile(path, maxFolderFileBytes);
                if (const auto* failure = std::get_if<BoundedReadFailure>(&read)) {
                    if (failure->kind == BoundedReadFailure::Kind::absent)
                        break;
                    continue;
                }
                for (const PemCertificate& pem : pemCertificates(std::get<QByteArray>(read)))
                    take(decode(pem.der, pem.withTrustSettings));
            }
        }
        return true;
    }

private:
    const HttpTrust& m_trust;
    int m_lookups = 0;
};

HttpTrust::Sources HttpTrust::sources(const QByteArray& certFile, const QByteArray& certDir)
{
    Sources sources;
    sources.file = QFile::decodeName(certFile.isEmpty() ? QByteArray(X509_get_default_cert_file()) : certFile);
    const QString folders = QFile::decodeName(certDir.isEmpty() ? QByteArray(X509_get_default_cert_dir()) : certDir);
    sources.folders = folders.split(u':', Qt::SkipEmptyParts);
    return sources;
}

HttpTrust::HttpTrust(const Sources& sources, QStringList* problems) : m_folders(sources.folders)
{
    const auto note = [problems](const QString& line) {
        if (problems)
            problems->append(line);
    };
    const auto read = readBoundedFile(sources.file, maxFileBytes);
    if (const auto* failure = std::get_if<BoundedReadFailure>(&read)) {
        note(QStringLiteral("the certificate authorities of %1 cannot be read: %2")
                 .arg(sources.file, failure->kind == BoundedReadFailure::Kind::absent
                                        ? QStringLiteral("there is no such file")
                                        : failure->reason));
    } else {
        for (PemCertificate& pem : pemCertificates(std::get<QByteArray>(read))) {
            if (const std::optional<unsigned long> hash = subjectHash(pem.der))
                m_file.insert(*hash, Stored{std::move(pem.der), pem.withTrustSettings});
        }
        if (m_file.isEmpty())
            note(QStringLiteral("%1 holds no certificate authority").arg(sources.file));
    }
    // A folder is looked in as chains need it: here only whether it can be, once.
    for (const QString& folder : sources.folders) {
        DIR* dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir) {
            note(QStringLiteral("the folder of certificate authorities %1 cannot be read: %2")
                     .arg(folder, qt_error_string(errno)));
            continue;
        }
        bool hashed = false;
        while (const dirent* entry = ::readdir(dir)) {
            if (isHashedName(entry->d_name)) {
                hashed = true;
                break;
            }
        }
        ::closedir(dir);
        if (!hashed)
            note(QStringLiteral("the folder %1 holds no certificate authority under a hashed name "
                                "(as \"openssl rehash\" names them)")
                     .arg(folder));
    }
    ERR_clear_error();
}

std::optional<QString> HttpTrust::check(const QList<QSslCertificate>& chain, const QString& host) const
{
    const QString refused = QStringLiteral("the certificate of ") + host + QStringLiteral(" is refused: ");
    if (chain.isEmpty())
        return QStringLiteral("the server ") + host + QStringLiteral(" sent no certificate");
    std::vector<Certificate> sent;
    for (const QSslCertificate& certificate : chain) {
        Certificate decoded = decode(certificate.toDer(), false);
        if (!decoded)
            return refused + QStringLiteral("it cannot be read");
        sent.push_back(std::move(decoded));
    }

    // The authorities that issued any certificate sent, and those that issued them in turn.
    std::vector<Certificate> authorities;
    std::vector<X509*> asking;
    for (const Certificate& certificate : sent)
        asking.push_back(certificate.get());
    Lookup lookup(*this);
    for (size_t i = 0; i < asking.size(); ++i) {
        const size_t before = authorities.size();
        if (!lookup.addIssuers(X509_get_issuer_name(asking[i]), authorities))
            break;
        for (size_t j = before; j < authorities.size(); ++j)
            asking.push_back(authorities[j].get());
    }

    Stack untrusted(sk_X509_new_null());
    Stack trusted(sk_X509_new_null());
    std::unique_ptr<X509_STORE_CTX, ContextFree> context(X509_STORE_CTX_new());
    bool ready = untrusted && trusted && context;
    for (size_t i = 1; ready && i < sent.size(); ++i)
        ready = sk_X509_push(untrusted.get(), sent[i].get()) > 0;
    for (size_t i = 0; ready && i < authorities.size(); ++i)
        ready = sk_X509_push(trusted.get(), authorities[i].get()) > 0;
    ready = ready && X509_STORE_CTX_init(context.get(), nullptr, sent.front().get(), untrusted.get()) == 1;
    if (ready) {
        X509_STORE_CTX_set0_trusted_stack(context.get(), trusted.get());
        ready = X509_STORE_CTX_set_default(context.get(), "ssl_server") == 1;
    }
    X509_VERIFY_PARAM* parameters = ready ? X509_STORE_CTX_get0_param(context.get()) : nullptr;
    if (parameters) {
        X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (QHostAddress address; address.setAddress(host)) {
            ready = X509_VERIFY_PARAM_set1_ip_asc(parameters, address.toString().toLatin1().constData()) == 1;
        } else {
            const QByteArray name = QUrl::toAce(host);
            ready = !name.isEmpty() && X509_VERIFY_PARAM_set1_host(parameters, name.constData(), size_t(name.size())) == 1;
        }
    }
    if (!ready) {
        ERR_clear_error();
        return refused + QStringLiteral("it cannot be checked");
    }
    const bool verified = X509_verify_cert(context.get()) == 1;
    const int error = X509_STORE_CTX_get_error(context.get());
    ERR_clear_error();
    if (verified)
        return std::nullopt;
    return refused + QString::fromLatin1(X509_verify_cert_error_string(error));
}
