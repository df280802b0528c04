// The page's own settings, seen from the page: where it is served, its certificate, and the
// roles' passwords.
#include "web/webapi.h"

#include "core/bellcore.h"
#include "webauth/webaccounts.h"
#include "webauth/websessions.h"

#include <QJsonObject>

namespace tavirin {

WebReply WebApi::settings() {
    return jsonReply(QJsonDocument(p_.settings ? p_.settings() : QJsonObject()));
}

WebReply WebApi::setPassword(const WebRequest& r, const WebSession& s) {
    const std::optional<QJsonObject> body = jsonBody(r);
    const std::optional<WebRole> role =
        body ? roleFromId(body->value(QStringLiteral("role")).toString()) : std::nullopt;
    const QJsonValue password = body ? body->value(QStringLiteral("password")) : QJsonValue();
    if (!role || !password.isString())
        return errorReply(400, "bad-request", QStringLiteral("โปรดระบุบทบาทและรหัสผ่านใหม่"));
    const QString action = QStringLiteral("เปลี่ยนรหัสผ่านของ") + roleName(*role);
    // Hashing takes a tenth of a second of this thread: never while a bell is on its way.
    if (p_.core.bellInProgress()) {
        const Outcome o = Outcome::refused(QStringLiteral("กำลังตีออดอยู่ กรุณารอให้ออดจบก่อน"));
        record(r, s, action, o);
        return outcomeReply(o);
    }
    const Result written = p_.accounts.setPassword(*role, password.toString());
    const Outcome o =
        written ? Outcome::done(QStringLiteral("เปลี่ยนรหัสผ่านแล้ว ผู้ที่เข้าสู่ระบบด้วยรหัสเดิมต้องเข้าใหม่"))
                : Outcome::refused(written.error);
    record(r, s, action, o);
    const WebReply reply = outcomeReply(o);
    // The one who changed it stays logged in.
    if (written) p_.sessions.removeRole(*role, s.token);
    return reply;
}

}  // namespace tavirin
