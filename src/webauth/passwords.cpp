#include "webauth/passwords.h"

#include "webauth/weblog.h"

#include <QRegularExpression>

#include <sodium.h>

namespace tavirin {

namespace {

// The largest limits a stored hash may ask for. Ours use 64 MiB and 2 passes; a little
// headroom lets the limits grow later without making old hashes uncheckable.
constexpr qint64 kMaxMemoryKiB = 256 * 1024;
constexpr qint64 kMaxPasses = 16;

// The UTF-8 copy handed to libsodium, wiped when it goes.
class SecretUtf8 {
public:
    explicit SecretUtf8(const QString& text) : bytes_(text.toUtf8()) {}
    ~SecretUtf8() {
        if (!bytes_.isEmpty()) sodium_memzero(bytes_.data(), size_t(bytes_.size()));
    }
    SecretUtf8(const SecretUtf8&) = delete;
    SecretUtf8& operator=(const SecretUtf8&) = delete;
    const char* data() const { return bytes_.constData(); }
    unsigned long long size() const { return static_cast<unsigned long long>(bytes_.size()); }

private:
    QByteArray bytes_;
};

}  // namespace

bool sodiumReady() {
    // A function-local static is initialised once even when threads race to it.
    static const bool ready = [] {
        if (sodium_init() < 0) {
            qCCritical(lcWeb) << "libsodium could not start: no password can be checked";
            return false;
        }
        return true;
    }();
    return ready;
}

int minimumPasswordLength(WebRole role) {
    return role == WebRole::Admin ? 8 : 6;
}

QString checkPasswordRules(WebRole role, const QString& password) {
    int codePoints = 0;
    for (qsizetype i = 0; i < password.size(); ++i) {
        const QChar c = password.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= password.size() || !password.at(i + 1).isLowSurrogate())
                return QStringLiteral("รหัสผ่านมีอักขระที่ไม่ถูกต้อง");
            ++i;
        } else if (c.isLowSurrogate()) {
            return QStringLiteral("รหัสผ่านมีอักขระที่ไม่ถูกต้อง");
        } else if (c.category() == QChar::Other_Control) {
            return QStringLiteral(
                "รหัสผ่านมีอักขระควบคุม (เช่น แท็บหรือการขึ้นบรรทัดใหม่) "
                "ซึ่งใช้ในรหัสผ่านไม่ได้");
        }
        ++codePoints;
    }
    const int minimum = minimumPasswordLength(role);
    if (codePoints < minimum)
        return QStringLiteral("รหัสผ่านของ%1ต้องยาวอย่างน้อย %2 ตัวอักษร")
            .arg(roleName(role))
            .arg(minimum);
    if (codePoints > kMaxPasswordLength)
        return QStringLiteral("รหัสผ่านยาวได้ไม่เกิน %1 ตัวอักษร").arg(kMaxPasswordLength);
    return {};
}

std::optional<QString> hashPassword(const QString& password) {
    if (!sodiumReady()) return std::nullopt;
    const SecretUtf8 secret(password);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, secret.data(), secret.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        qCWarning(lcWeb) << "hashing a password failed (out of memory?)";
        return std::nullopt;
    }
    return QString::fromLatin1(out);
}

bool isUsableHash(const QString& hash) {
    // $argon2id$v=19$m=<KiB>,t=<passes>,p=<lanes>$<salt>$<hash>, both in unpadded base64.
    static const QRegularExpression form(QStringLiteral(
        "^\\$argon2id\\$v=19\\$m=([0-9]{1,10}),t=([0-9]{1,10}),p=1\\$[A-Za-z0-9+/]{11,64}\\$"
        "[A-Za-z0-9+/]{22,88}$"));
    if (hash.size() >= qsizetype(crypto_pwhash_STRBYTES)) return false;
    const QRegularExpressionMatch m = form.match(hash);
    if (!m.hasMatch()) return false;
    const qint64 memory = m.captured(1).toLongLong();
    const qint64 passes = m.captured(2).toLongLong();
    if (memory < 8 || memory > kMaxMemoryKiB || passes < 1 || passes > kMaxPasses) return false;
    // libsodium's own parser has the last word on the form.
    if (!sodiumReady()) return false;
    const QByteArray text = hash.toLatin1();
    return crypto_pwhash_argon2id_str_needs_rehash(text.constData(),
                                                   crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                                   crypto_pwhash_MEMLIMIT_INTERACTIVE) >= 0;
}

bool verifyPassword(const QString& hash, const QString& password) {
    if (!isUsableHash(hash)) return false;
    const QByteArray text = hash.toLatin1();
    const SecretUtf8 secret(password);
    return crypto_pwhash_str_verify(text.constData(), secret.data(), secret.size()) == 0;
}

}  // namespace tavirin
