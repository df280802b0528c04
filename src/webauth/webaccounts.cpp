#include "webauth/webaccounts.h"

#include "store/programstore.h"
#include "webauth/passwords.h"
#include "webauth/weblog.h"

namespace tavirin {

namespace {

// Checked instead when a role has no password, so the answer takes as long as a real one
// and the timing does not tell which roles are set. Nobody knows its password.
constexpr auto kDummyHash =
    "$argon2id$v=19$m=65536,t=2,p=1$l6WBNfLpiLxhfxyYioYEAQ$"
    "73uIzTqJXxTLqPwCTLn5709AcIf9z+lcV9+y1xs/8XQ";

// Carries one answer from the pool's thread to the caller's context. Qt's queued
// connection drops the answer safely when the context is destroyed in the meantime.
class CheckRelay final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void finished(tavirin::WebAccounts::CheckResult result);
};

}  // namespace

WebAccounts::WebAccounts(ProgramStore& store, QObject* parent) : QObject(parent), store_(store) {
    pool_.setMaxThreadCount(1);
    pool_.setObjectName(QStringLiteral("tavirin-password-check"));
    (void)sodiumReady();  // started here rather than on the first login
}

WebAccounts::~WebAccounts() {
    pool_.clear();
    pool_.waitForDone();
}

Result WebAccounts::setPassword(WebRole role, const QString& password) {
    const QString refused = checkPasswordRules(role, password);
    if (!refused.isEmpty()) return Result::failure(refused);
    const std::optional<QString> hash = hashPassword(password);
    if (!hash) return Result::failure(QStringLiteral("ตั้งรหัสผ่านไม่ได้: เครื่องเข้ารหัสผ่านไม่ได้"));
    const Result saved = store_.SaveSetting(QLatin1String(kApplication), QLatin1String(kSection),
                                            roleId(role), *hash);
    if (!saved) {
        qCWarning(lcWeb).noquote()
            << "the" << roleId(role) << "password was not saved:" << saved.error;
        return Result::failure(
            QStringLiteral("บันทึกรหัสผ่านของ%1ไม่ได้ (%2)").arg(roleName(role), saved.error));
    }
    qCInfo(lcWeb).noquote() << "the" << roleId(role) << "password was changed";
    emit passwordChanged(role);
    return Result::success();
}

bool WebAccounts::hasPassword(WebRole role) const {
    return !storedHash(role).isEmpty();
}

QString WebAccounts::storedHash(WebRole role) const {
    const QString text =
        store_.GetSetting(QLatin1String(kApplication), QLatin1String(kSection), roleId(role));
    if (text.isEmpty()) return {};
    if (isUsableHash(text)) return text;
    QString& logged = loggedDamaged_[role == WebRole::Admin ? 0 : 1];
    if (logged != text) {
        logged = text;
        // The text itself stays out of the log: it is a hash of someone's password.
        qCWarning(lcWeb).noquote()
            << "the stored" << roleId(role)
            << "password is not an Argon2id hash this program can check (" << text.size()
            << "characters): the role counts as having no password";
    }
    return {};
}

void WebAccounts::check(WebRole role, const QString& password, QObject* context,
                        std::function<void(CheckResult)> done) {
    if (!context || !done) {
        qCWarning(lcWeb) << "a password check without a context or a callback was ignored";
        return;
    }
    if (pending_ >= kMaxWaiting + 1) {
        qCWarning(lcWeb).noquote()
            << "a login as" << roleId(role) << "was refused: the password checks are all busy";
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done(CheckResult::Busy); }, Qt::QueuedConnection);
        return;
    }

    const QString hash = storedHash(role);
    auto* relay = new CheckRelay(this);
    // Connected first, so the count is down before the caller hears the answer.
    connect(
        relay, &CheckRelay::finished, this, [this] { --pending_; }, Qt::QueuedConnection);
    connect(
        relay, &CheckRelay::finished, context,
        [done = std::move(done)](CheckResult result) { done(result); }, Qt::QueuedConnection);
    ++pending_;
    pool_.start([relay, hash, password] {
        const bool known = !hash.isEmpty();
        const bool match = verifyPassword(known ? hash : QString::fromLatin1(kDummyHash), password);
        const CheckResult result =
            !known ? CheckResult::NoPassword : (match ? CheckResult::Right : CheckResult::Wrong);
        emit relay->finished(result);
        relay->deleteLater();
    });
}

}  // namespace tavirin

#include "webaccounts.moc"
