// Logging in and out.
#include "web/webapi.h"

#include "webauth/loginthrottle.h"
#include "webauth/webaccounts.h"
#include "webauth/weblog.h"
#include "webauth/websessions.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace tavirin {

namespace {

QByteArray sessionCookie(const QByteArray& token, bool https, bool clear = false) {
    QByteArray c = "tavirin_session=" + token + "; Path=/; HttpOnly; SameSite=Strict";
    if (https) c += "; Secure";
    if (clear) c += "; Max-Age=0";
    return c;
}

QString minutesText(int seconds) {
    return QString::number((seconds + 59) / 60);
}

}  // namespace

void WebApi::login(const WebRequest& r, WebResponder& out) {
    if (auto refused = refuseForeign(r, nullptr, false)) {
        out.send(*refused);
        return;
    }
    const std::optional<QJsonObject> body = jsonBody(r);
    const std::optional<WebRole> role =
        body ? roleFromId(body->value(QStringLiteral("role")).toString()) : std::nullopt;
    const QJsonValue password = body ? body->value(QStringLiteral("password")) : QJsonValue();
    if (!role || !password.isString()) {
        out.send(errorReply(400, "bad-request",
                            QStringLiteral("โปรดเลือกบทบาท (ครู หรือ ผู้ดูแล) และใส่รหัสผ่าน")));
        return;
    }
    if (password.toString().size() > 256) {
        out.send(errorReply(401, "wrong-password", QStringLiteral("รหัสผ่านไม่ถูกต้อง")));
        return;
    }
    const LoginThrottle::Verdict v = p_.throttle.check(r.peer, *role);
    if (!v.allowed) {
        const QString message =
            v.cause == LoginThrottle::Cause::Address
                ? QStringLiteral("ใส่รหัสผ่านผิดหลายครั้งเกินไป โปรดรอ %1 นาทีแล้วลองใหม่")
                : QStringLiteral("มีการใส่รหัสผ่านของ%2ผิดหลายครั้งเกินไป โปรดรอ %1 นาทีแล้วลองใหม่");
        WebReply reply = errorReply(429, "throttled",
                                    message.arg(minutesText(v.retryAfterSeconds), roleName(*role)));
        QJsonObject o = QJsonDocument::fromJson(reply.body).object();
        o.insert(QStringLiteral("retryAfter"), v.retryAfterSeconds);
        reply.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
        reply.headers.append({"Retry-After", QByteArray::number(v.retryAfterSeconds)});
        out.send(reply);
        return;
    }
    const QHostAddress peer = r.peer;
    const bool https = r.https;
    const WebRole who = *role;
    p_.accounts.check(
        who, password.toString(), this,
        [this, out, peer, https, who](WebAccounts::CheckResult result) mutable {
            switch (result) {
                case WebAccounts::CheckResult::Right: {
                    p_.throttle.right(peer, who);
                    const std::optional<WebSession> made = p_.sessions.create(who, peer);
                    if (!made) {
                        out.send(errorReply(500, "failed",
                                            QStringLiteral("เข้าสู่ระบบไม่ได้ในขณะนี้ โปรดลองใหม่")));
                        return;
                    }
                    const WebSession& s = *made;
                    qCInfo(lcWeb).noquote() << roleId(who) << "logged in from" << peer.toString();
                    WebReply reply = jsonReply(QJsonDocument(
                        QJsonObject{{QStringLiteral("token"), QString::fromLatin1(s.token)},
                                    {QStringLiteral("role"), roleId(who)},
                                    {QStringLiteral("csrf"), QString::fromLatin1(s.csrf)}}));
                    reply.headers.append({"Set-Cookie", sessionCookie(s.token, https)});
                    out.send(reply);
                    return;
                }
                case WebAccounts::CheckResult::Wrong:
                    qCWarning(lcWeb).noquote()
                        << "a wrong password for" << roleId(who) << "from" << peer.toString();
                    p_.throttle.wrong(peer, who);
                    out.send(errorReply(401, "wrong-password", QStringLiteral("รหัสผ่านไม่ถูกต้อง")));
                    return;
                case WebAccounts::CheckResult::NoPassword:
                    out.send(errorReply(
                        409, "no-password",
                        QStringLiteral("ยังไม่ได้ตั้งรหัสผ่านของ%1 โปรดตั้งที่เครื่องตีออด (เมนูเครือข่าย)")
                            .arg(roleName(who))));
                    return;
                case WebAccounts::CheckResult::Busy:
                    out.send(errorReply(
                        503, "busy", QStringLiteral("มีผู้เข้าสู่ระบบพร้อมกันมากเกินไป โปรดลองใหม่อีกครั้ง")));
                    return;
            }
        });
}

void WebApi::logout(const WebRequest& r, const WebSession* s, WebResponder& out) {
    if (s) {
        qCInfo(lcWeb).noquote() << roleId(s->role) << "logged out from" << r.peer.toString();
        p_.sessions.remove(s->token);
    }
    WebReply reply =
        jsonReply(QJsonDocument(QJsonObject{{QStringLiteral("status"), QStringLiteral("done")},
                                            {QStringLiteral("message"), QString()}}));
    reply.headers.append({"Set-Cookie", sessionCookie({}, r.https, true)});
    out.send(reply);
}

WebReply WebApi::session(const WebRequest& r, const WebSession& s) {
    return jsonReply(
        QJsonDocument(QJsonObject{{QStringLiteral("role"), roleId(s.role)},
                                  {QStringLiteral("csrf"), QString::fromLatin1(s.csrf)},
                                  {QStringLiteral("https"), r.https}}));
}

}  // namespace tavirin
