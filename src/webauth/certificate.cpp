#include "webauth/certificate.h"

#include "platform/setaside.h"
#include "webauth/weblog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <optional>

namespace tavirin {

namespace {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using PKeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using PKeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using NamePtr = std::unique_ptr<X509_NAME, Deleter<X509_NAME_free>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using IntegerPtr = std::unique_ptr<ASN1_INTEGER, Deleter<ASN1_INTEGER_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, Deleter<ASN1_TIME_free>>;
using GeneralNamePtr = std::unique_ptr<GENERAL_NAME, Deleter<GENERAL_NAME_free>>;
using GeneralNamesPtr = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES_free>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using Ia5Ptr = std::unique_ptr<ASN1_IA5STRING, Deleter<ASN1_IA5STRING_free>>;
using OctetsPtr = std::unique_ptr<ASN1_OCTET_STRING, Deleter<ASN1_OCTET_STRING_free>>;

constexpr qint64 kMaxPemSize = 1024 * 1024;  // far above any certificate; a bigger file is not one
constexpr int kValidYears = 10;

// The text of OpenSSL's latest error (the queue is emptied), for the log.
QString sslError() {
    unsigned long code = 0, last = 0;
    while ((code = ERR_get_error()) != 0) last = code;
    if (last == 0) return QStringLiteral("no detail");
    char text[256];
    ERR_error_string_n(last, text, sizeof text);
    return QString::fromLatin1(text);
}

// Never asks for a passphrase (OpenSSL's default would read the terminal).
int noPassphrase(char*, int, int, void*) {
    return 0;
}

QByteArray bioBytes(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? QByteArray(data, size) : QByteArray();
}

BioPtr memoryBio(const QByteArray& bytes) {
    return BioPtr(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
}

std::optional<QByteArray> readSmallFile(const QString& path, QString* why) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = f.errorString();
        return std::nullopt;
    }
    if (f.size() > kMaxPemSize) {
        *why = QStringLiteral("%1 bytes, too large").arg(f.size());
        return std::nullopt;
    }
    return f.readAll();
}

QByteArray certificatePem(X509* cert) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1) return {};
    return bioBytes(bio.get());
}

// PKCS#8, through OpenSSL's secure heap so the copy it makes is wiped when freed.
QByteArray keyPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_secmem()));
    if (!bio ||
        PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    return bioBytes(bio.get());
}

std::optional<QSsl::KeyAlgorithm> qtAlgorithm(EVP_PKEY* key) {
    switch (EVP_PKEY_get_base_id(key)) {
        case EVP_PKEY_EC:
            return QSsl::Ec;
        case EVP_PKEY_RSA:
            return QSsl::Rsa;
        default:
            return std::nullopt;
    }
}

// A pair in Qt's types from OpenSSL's, or the reason it cannot be.
struct QtPair {
    QSslCertificate certificate;
    QSslKey key;
};
std::optional<QtPair> toQt(X509* cert, EVP_PKEY* key, QString* why) {
    const std::optional<QSsl::KeyAlgorithm> algorithm = qtAlgorithm(key);
    if (!algorithm) {
        *why = QStringLiteral("the key is neither EC nor RSA");
        return std::nullopt;
    }
    QByteArray pem = keyPem(key);
    QtPair pair{QSslCertificate(certificatePem(cert), QSsl::Pem),
                QSslKey(pem, *algorithm, QSsl::Pem, QSsl::PrivateKey)};
    OPENSSL_cleanse(pem.data(), size_t(pem.size()));
    if (pair.certificate.isNull() || pair.key.isNull()) {
        *why = QStringLiteral("Qt's TLS backend does not read the pair");
        return std::nullopt;
    }
    return pair;
}

struct Loaded {
    QtPair pair;
    QString problem;      // English, for the log; "" when loaded
    QString reason;       // Thai, for the window
    bool replace = true;  // files exist that a new pair would take the place of
};

Loaded loadPair(const QString& certPath, const QString& keyPath, const QDateTime& now) {
    Loaded out;
    const bool haveCert = QFileInfo::exists(certPath), haveKey = QFileInfo::exists(keyPath);
    if (!haveCert && !haveKey) {
        out.problem = QStringLiteral("no certificate yet");
        out.reason = QStringLiteral("ยังไม่มีใบรับรองของหน้าเว็บ จึงสร้างใหม่");
        out.replace = false;
        return out;
    }
    if (!haveCert || !haveKey) {
        const QString missing = haveCert ? keyPath : certPath;
        out.problem = QStringLiteral("%1 is missing").arg(missing);
        out.reason =
            QStringLiteral("ไม่พบไฟล์ %1 จึงสร้างใบรับรองใหม่").arg(QFileInfo(missing).fileName());
        return out;
    }

    QString why;
    const std::optional<QByteArray> certBytes = readSmallFile(certPath, &why);
    X509Ptr cert;
    if (certBytes) {
        BioPtr bio = memoryBio(*certBytes);
        if (bio) cert.reset(PEM_read_bio_X509(bio.get(), nullptr, noPassphrase, nullptr));
        if (!cert) why = sslError();
    }
    if (!cert) {
        out.problem = QStringLiteral("%1 is not a readable certificate (%2)").arg(certPath, why);
        out.reason = QStringLiteral("อ่านไฟล์ใบรับรองไม่ได้ จึงสร้างใหม่");
        return out;
    }

    std::optional<QByteArray> keyBytes = readSmallFile(keyPath, &why);
    PKeyPtr key;
    if (keyBytes) {
        BioPtr bio = memoryBio(*keyBytes);
        if (bio) key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr));
        if (!key) why = sslError();
        OPENSSL_cleanse(keyBytes->data(), size_t(keyBytes->size()));
    }
    if (!key) {
        out.problem = QStringLiteral("%1 is not a readable private key (%2)").arg(keyPath, why);
        out.reason = QStringLiteral("อ่านไฟล์กุญแจของใบรับรองไม่ได้ จึงสร้างใหม่");
        return out;
    }

    if (X509_check_private_key(cert.get(), key.get()) != 1) {
        ERR_clear_error();
        out.problem = QStringLiteral("the certificate and the key do not belong together");
        out.reason = QStringLiteral("ใบรับรองกับกุญแจไม่เข้าคู่กัน จึงสร้างใหม่");
        return out;
    }

    const time_t t = time_t(now.toSecsSinceEpoch());
    const int fromCmp = ASN1_TIME_cmp_time_t(X509_get0_notBefore(cert.get()), t);
    const int untilCmp = ASN1_TIME_cmp_time_t(X509_get0_notAfter(cert.get()), t);
    if (fromCmp == -2 || untilCmp == -2) {
        ERR_clear_error();
        out.problem = QStringLiteral("the certificate's validity dates cannot be read");
        out.reason = QStringLiteral("อ่านวันที่ของใบรับรองไม่ได้ จึงสร้างใหม่");
        return out;
    }
    if (fromCmp > 0) {
        out.problem = QStringLiteral("the certificate is not valid yet (is the clock right?)");
        out.reason = QStringLiteral("ใบรับรองยังไม่ถึงวันเริ่มใช้ จึงสร้างใหม่");
        return out;
    }
    if (untilCmp <= 0) {
        out.problem = QStringLiteral("the certificate has expired");
        out.reason = QStringLiteral("ใบรับรองหมดอายุแล้ว จึงสร้างใหม่");
        return out;
    }

    std::optional<QtPair> pair = toQt(cert.get(), key.get(), &why);
    if (!pair) {
        out.problem = QStringLiteral("the pair cannot be used (%1)").arg(why);
        out.reason = QStringLiteral("ใช้ใบรับรองที่มีอยู่ไม่ได้ จึงสร้างใหม่");
        return out;
    }
    out.pair = std::move(*pair);
    return out;
}

PKeyPtr makeKey() {
    PKeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_group_name(ctx.get(), SN_X9_62_prime256v1) <= 0)
        return nullptr;
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_generate(ctx.get(), &key) <= 0) return nullptr;
    return PKeyPtr(key);
}

bool setTime(X509* cert, bool notBefore, const QDateTime& when) {
    TimePtr t(ASN1_TIME_set(nullptr, time_t(when.toSecsSinceEpoch())));
    if (!t) return false;
    return (notBefore ? X509_set1_notBefore(cert, t.get()) : X509_set1_notAfter(cert, t.get())) ==
           1;
}

bool setSerial(X509* cert) {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return false;
    // Positive and a full 16 bytes long: top bit clear, the next one set.
    bytes[0] = (bytes[0] & 0x7f) | 0x40;
    BnPtr bn(BN_bin2bn(bytes, sizeof bytes, nullptr));
    if (!bn) return false;
    IntegerPtr serial(BN_to_ASN1_INTEGER(bn.get(), nullptr));
    return serial && X509_set_serialNumber(cert, serial.get()) == 1;
}

bool setNames(X509* cert) {
    NamePtr name(X509_NAME_new());
    const auto add = [&](const char* field, const char* value) {
        return X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8,
                                          reinterpret_cast<const unsigned char*>(value), -1, -1,
                                          0) == 1;
    };
    return name && add("CN", "Tavirin") && add("O", "Tavirin school bells") &&
           X509_set_subject_name(cert, name.get()) == 1 &&
           X509_set_issuer_name(cert, name.get()) == 1;
}

bool pushName(GENERAL_NAMES* names, int type, ASN1_STRING* value) {
    GeneralNamePtr name(GENERAL_NAME_new());
    if (!name) {
        ASN1_STRING_free(value);
        return false;
    }
    GENERAL_NAME_set0_value(name.get(), type, value);
    if (sk_GENERAL_NAME_push(names, name.get()) <= 0) return false;
    (void)name.release();  // the stack owns it now
    return true;
}

// The names and addresses the page is reached by. A name that is not a host name is left
// out (logged); an IDN name goes in its ASCII form.
bool setAltNames(X509* cert, const QStringList& hostNames, const QList<QHostAddress>& addresses) {
    GeneralNamesPtr names(sk_GENERAL_NAME_new_null());
    if (!names) return false;
    QStringList seenNames;
    for (const QString& host : hostNames) {
        const QByteArray ace = QUrl::toAce(host.trimmed());
        const QString key = QString::fromLatin1(ace).toLower();
        if (ace.isEmpty() || ace.contains(' ') || ace.contains('/')) {
            qCWarning(lcWeb).noquote()
                << "the certificate leaves out the host name" << host << "(not a host name)";
            continue;
        }
        if (seenNames.contains(key)) continue;
        seenNames.append(key);
        Ia5Ptr value(ASN1_IA5STRING_new());
        if (!value || ASN1_STRING_set(value.get(), ace.constData(), int(ace.size())) != 1)
            return false;
        if (!pushName(names.get(), GEN_DNS, value.release())) return false;
    }
    QList<QByteArray> seenAddresses;
    for (QHostAddress address : addresses) {
        QByteArray bytes;
        bool v4 = false;
        const quint32 ip4 = address.toIPv4Address(&v4);
        if (v4) {
            bytes = QByteArray(4, '\0');
            for (int i = 0; i < 4; ++i) bytes[i] = char((ip4 >> (24 - 8 * i)) & 0xff);
        } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            const Q_IPV6ADDR ip6 = address.toIPv6Address();
            bytes = QByteArray(reinterpret_cast<const char*>(ip6.c), 16);
        } else {
            qCWarning(lcWeb).noquote() << "the certificate leaves out the address"
                                       << address.toString() << "(not an IP address)";
            continue;
        }
        if (seenAddresses.contains(bytes)) continue;
        seenAddresses.append(bytes);
        OctetsPtr value(ASN1_OCTET_STRING_new());
        if (!value || ASN1_OCTET_STRING_set(
                          value.get(), reinterpret_cast<const unsigned char*>(bytes.constData()),
                          int(bytes.size())) != 1)
            return false;
        if (!pushName(names.get(), GEN_IPADD, value.release())) return false;
    }
    if (sk_GENERAL_NAME_num(names.get()) == 0) return true;  // an empty list is not allowed
    return X509_add1_ext_i2d(cert, NID_subject_alt_name, names.get(), 0, X509V3_ADD_DEFAULT) == 1;
}

bool addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    ExtensionPtr ext(X509V3_EXT_nconf_nid(nullptr, &ctx, nid, value));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

struct Made {
    PKeyPtr key;
    X509Ptr cert;
};

std::optional<Made> makePair(const QStringList& hostNames, const QList<QHostAddress>& addresses,
                             const QDateTime& now, QString* why) {
    ERR_clear_error();
    Made made{makeKey(), X509Ptr(X509_new())};
    X509* cert = made.cert.get();
    const bool built = made.key && cert && X509_set_version(cert, X509_VERSION_3) == 1 &&
                       setSerial(cert) && setTime(cert, true, now.addDays(-1)) &&
                       setTime(cert, false, now.addYears(kValidYears)) && setNames(cert) &&
                       X509_set_pubkey(cert, made.key.get()) == 1 &&
                       addExtension(cert, NID_basic_constraints, "critical,CA:FALSE") &&
                       addExtension(cert, NID_key_usage, "critical,digitalSignature") &&
                       addExtension(cert, NID_ext_key_usage, "serverAuth") &&
                       addExtension(cert, NID_subject_key_identifier, "hash") &&
                       setAltNames(cert, hostNames, addresses) &&
                       X509_sign(cert, made.key.get(), EVP_sha256()) > 0;
    if (!built) {
        *why = sslError();
        return std::nullopt;
    }
    return made;
}

// Written whole or not at all; a secret file is made owner-only before any byte is in it.
bool writeFile(const QString& path, const QByteArray& bytes, bool secret, QString* why) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        *why = f.errorString();
        return false;
    }
    const QFile::Permissions mode =
        secret ? (QFile::ReadOwner | QFile::WriteOwner)
               : (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (!f.setPermissions(mode)) {
        *why = QStringLiteral("cannot set the file's permissions: %1").arg(f.errorString());
        f.cancelWriting();
        return false;
    }
    if (f.write(bytes) != bytes.size() || !f.commit()) {
        *why = f.errorString();
        return false;
    }
    return true;
}

bool makeFolder(const QString& folder, QString* why) {
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    if (QFileInfo(clean).isDir()) return true;
    const QString parent = QFileInfo(clean).absolutePath();
    if (!QDir().mkpath(parent) ||
        !QDir().mkdir(clean, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        *why = QStringLiteral("cannot make the folder %1").arg(clean);
        return false;
    }
    return true;
}

// The old files leave their place under a new name before the new pair is written.
bool setAside(const QString& path, const QDateTime& now, QString* why) {
    if (!QFileInfo::exists(path)) return true;
    const QString aside = damagedCopyPath(path, now.toLocalTime());
    if (!QFile::rename(path, aside)) {
        *why = QStringLiteral("cannot set %1 aside").arg(path);
        return false;
    }
    qCWarning(lcWeb).noquote() << "the old" << QFileInfo(path).fileName() << "was set aside as"
                               << aside;
    return true;
}

}  // namespace

CertificateResult ensureCertificate(const QString& folder, const QStringList& hostNames,
                                    const QList<QHostAddress>& addresses, const QDateTime& now) {
    const QDir dir(folder);
    const QString certPath = dir.filePath(QLatin1String(kCertificateFile));
    const QString keyPath = dir.filePath(QLatin1String(kKeyFile));

    Loaded loaded = loadPair(certPath, keyPath, now);
    if (loaded.problem.isEmpty()) {
        qCInfo(lcWeb).noquote() << "the page's certificate was loaded:"
                                << sha256Fingerprint(loaded.pair.certificate);
        return {true, loaded.pair.certificate, loaded.pair.key, QString(), false, true};
    }
    if (loaded.replace)
        qCWarning(lcWeb).noquote() << "a new certificate is made for the page:" << loaded.problem;
    else
        qCInfo(lcWeb).noquote() << "a new certificate is made for the page:" << loaded.problem;

    CertificateResult result;
    QString why;
    std::optional<Made> made = makePair(hostNames, addresses, now, &why);
    std::optional<QtPair> pair;
    if (made) pair = toQt(made->cert.get(), made->key.get(), &why);
    if (!pair) {
        qCCritical(lcWeb).noquote() << "no certificate could be made:" << why;
        result.reason = QStringLiteral("สร้างใบรับรองของหน้าเว็บไม่ได้ (%1)").arg(why);
        return result;
    }
    result.ok = true;
    result.certificate = pair->certificate;
    result.key = pair->key;
    result.madeNew = true;
    result.reason = loaded.reason;

    QByteArray key = keyPem(made->key.get());
    const bool written = makeFolder(folder, &why) && setAside(certPath, now, &why) &&
                         setAside(keyPath, now, &why) && writeFile(keyPath, key, true, &why) &&
                         writeFile(certPath, certificatePem(made->cert.get()), false, &why);
    OPENSSL_cleanse(key.data(), size_t(key.size()));
    if (!written) {
        qCWarning(lcWeb).noquote()
            << "the new certificate was not saved, it serves this run only:" << why;
        result.saved = false;
        result.reason += QStringLiteral(" (บันทึกใบรับรองลงเครื่องไม่ได้ จะใช้ได้จนปิดโปรแกรม)");
        return result;
    }
    qCInfo(lcWeb).noquote() << "the new certificate was saved in" << folder << "-"
                            << sha256Fingerprint(result.certificate);
    return result;
}

QString sha256Fingerprint(const QSslCertificate& certificate) {
    if (certificate.isNull()) return {};
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

}  // namespace tavirin
