#include "web/webapi.h"

#include "core/bellcore.h"
#include "journal/journal.h"
#include "platform/clock.h"
#include "webauth/weblog.h"
#include "webauth/websessions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace tavirin {

namespace {

const QByteArray kCookie = QByteArrayLiteral("tavirin_session");

}  // namespace

std::optional<QJsonObject> jsonBody(const WebRequest& r) {
    if (r.body.trimmed().isEmpty()) return QJsonObject{};
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

WebReply outcomeReply(const Outcome& o) {
    switch (o.status) {
        case Outcome::Status::Done:
        case Outcome::Status::Waiting:
            return jsonReply(QJsonDocument(
                QJsonObject{{QStringLiteral("status"), o.status == Outcome::Status::Done
                                                           ? QStringLiteral("done")
                                                           : QStringLiteral("waiting")},
                            {QStringLiteral("message"), o.reason}}));
        case Outcome::Status::Refused:
            return errorReply(409, "refused",
                              o.reason.isEmpty() ? QStringLiteral("ไม่ได้ทำตามคำสั่ง") : o.reason);
        case Outcome::Status::Failed:
            return errorReply(500, "failed", o.reason);
    }
    return errorReply(500, "failed", o.reason);
}

WebApi::WebApi(Parts parts, QObject* parent) : QObject(parent), p_(std::move(parts)) {
    addRoutes();
    keepAlive_.setInterval(20000);
    connect(&keepAlive_, &QTimer::timeout, this, &WebApi::keepStreamsOpen);
    connect(&p_.core, &BellCore::stateChanged, this, &WebApi::pushState);
}

WebApi::~WebApi() {
    closeStreams();
}

void WebApi::addRoutes() {
    using R = const WebRequest&;
    using S = const WebSession*;
    using O = WebResponder&;
    auto reply = [](auto f) { return [f](R r, S s, O out) { out.send(f(r, *s)); }; };
    routes_ = {
        {"POST", "/api/v1/login", Need::Nobody, [this](R r, S, O out) { login(r, out); }},
        {"POST", "/api/v1/logout", Need::Nobody, [this](R r, S s, O out) { logout(r, s, out); }},
        {"GET", "/api/v1/session", Need::Teacher,
         reply([this](R r, const WebSession& s) { return session(r, s); })},
        {"GET", "/api/v1/state", Need::Teacher,
         reply([this](R, const WebSession&) { return state(); })},
        {"GET", "/api/v1/events", Need::Teacher, [this](R r, S s, O out) { events(r, *s, out); }},
        {"POST", "/api/v1/announce", Need::Teacher,
         reply([this](R r, const WebSession& s) { return announce(r, s); })},
        {"POST", "/api/v1/ring", Need::Teacher,
         reply([this](R r, const WebSession& s) { return ring(r, s); })},
        {"POST", "/api/v1/today", Need::Teacher,
         reply([this](R r, const WebSession& s) { return today(r, s); })},
        {"GET", "/api/v1/kinds", Need::Teacher,
         reply([this](R, const WebSession&) { return kinds(); })},
        {"POST", "/api/v1/emergency", Need::Teacher,
         reply([this](R r, const WebSession& s) { return emergency(r, s); })},
        {"POST", "/api/v1/allclear", Need::Admin,
         reply([this](R r, const WebSession& s) { return allClear(r, s); })},
        {"POST", "/api/v1/media/stop", Need::Teacher,
         reply([this](R r, const WebSession& s) { return mediaStop(r, s); })},
        {"GET", "/api/v1/journal", Need::Teacher,
         reply([this](R r, const WebSession&) { return journalDay(r); })},
        {"GET", "/api/v1/journal.csv", Need::Admin,
         reply([this](R r, const WebSession&) { return journalCsv(r); })},
        {"GET", "/api/v1/sounds", Need::Teacher,
         reply([this](R, const WebSession&) { return sounds(); })},
        {"GET", "/api/v1/programs/", Need::Teacher,
         reply([this](R r, const WebSession&) { return program(r); }), true},
        {"PUT", "/api/v1/programs/", Need::Admin,
         reply([this](R r, const WebSession& s) { return saveProgram(r, s); }), true},
        {"GET", "/api/v1/calendar", Need::Teacher,
         reply([this](R, const WebSession&) { return calendar(); })},
        {"POST", "/api/v1/calendar", Need::Admin,
         reply([this](R r, const WebSession& s) { return addCalendar(r, s); })},
        {"DELETE", "/api/v1/calendar", Need::Admin,
         reply([this](R r, const WebSession& s) { return removeCalendar(r, s); })},
        {"GET", "/api/v1/settings", Need::Admin,
         reply([this](R, const WebSession&) { return settings(); })},
        {"PUT", "/api/v1/settings/password", Need::Admin,
         reply([this](R r, const WebSession& s) { return setPassword(r, s); })},
    };
}

const WebApi::Route* WebApi::find(const WebRequest& r, bool* pathKnown) const {
    *pathKnown = false;
    for (const Route& route : routes_) {
        const QLatin1String path(route.path);
        const bool matches =
            route.prefix ? r.path.startsWith(path) && r.path.size() > path.size() : r.path == path;
        if (!matches) continue;
        *pathKnown = true;
        if (r.method == route.method) return &route;
    }
    return nullptr;
}

const WebSession* WebApi::sessionOf(const WebRequest& r, bool* byCookie) {
    *byCookie = false;
    const QByteArray auth = r.header("authorization");
    if (auth.startsWith("Bearer ")) return p_.sessions.find(auth.mid(7).trimmed());
    const QByteArray token = r.cookie(kCookie);
    if (token.isEmpty()) return nullptr;
    *byCookie = true;
    return p_.sessions.find(token);
}

// A browser sends the cookie with any request a page of another site makes; only the page's
// own code knows the CSRF token, and a browser names a foreign page in Origin.
std::optional<WebReply> WebApi::refuseForeign(const WebRequest& r, const WebSession* s,
                                              bool byCookie) {
    const QByteArray origin = r.header("origin");
    if (!origin.isEmpty() && origin != r.ownOrigin()) {
        qCWarning(lcWeb).noquote()
            << r.method << r.path << "from" << r.peer.toString() << "refused: foreign origin"
            << QString::fromLatin1(origin.left(100));
        return errorReply(403, "csrf", QStringLiteral("คำขอนี้มาจากหน้าเว็บอื่น จึงไม่ได้ทำ"));
    }
    if (s && byCookie && !WebSessions::csrfMatches(*s, r.header("x-csrf-token"))) {
        qCWarning(lcWeb).noquote() << r.method << r.path << "from" << r.peer.toString()
                                   << "refused: no or wrong CSRF token";
        return errorReply(403, "csrf",
                          QStringLiteral("คำขอนี้ไม่มีรหัสยืนยันของหน้าเว็บ โปรดเปิดหน้าใหม่แล้วลองอีกครั้ง"));
    }
    return std::nullopt;
}

void WebApi::handle(const WebRequest& r, WebResponder out) {
    bool pathKnown = false;
    const Route* route = find(r, &pathKnown);
    if (!route) {
        out.send(pathKnown ? errorReply(405, "method", QStringLiteral("ใช้วิธีนี้กับที่อยู่นี้ไม่ได้"))
                           : errorReply(404, "not-found", QStringLiteral("ไม่พบสิ่งที่ขอ")));
        return;
    }
    const bool changes = r.method != "GET";
    bool byCookie = false;
    const WebSession* s = sessionOf(r, &byCookie);
    if (route->need != Need::Nobody) {
        if (!s) {
            out.send(errorReply(401, "login-required", QStringLiteral("โปรดเข้าสู่ระบบก่อน")));
            return;
        }
        if (route->need == Need::Admin && s->role != WebRole::Admin) {
            qCInfo(lcWeb).noquote() << r.method << r.path << "from" << r.peer.toString()
                                    << "refused: the teacher's role";
            out.send(errorReply(403, "forbidden", QStringLiteral("เฉพาะผู้ดูแลเท่านั้น")));
            return;
        }
    }
    if (changes) {
        if (auto refused = refuseForeign(r, s, byCookie)) {
            out.send(*refused);
            return;
        }
    }
    route->run(r, s, out);
}

void WebApi::record(const WebRequest& r, const WebSession& s, const QString& action,
                    const Outcome& o) {
    static const char* const words[] = {"done", "refused", "failed", "waiting"};
    const QString outcome = QString::fromLatin1(words[int(o.status)]);
    qCInfo(lcWeb).noquote() << roleId(s.role) << r.peer.toString() << action << outcome << o.reason;
    if (Journal* j = p_.core.journal())
        j->recordAction({p_.core.clock().now(), journal::kFromPage, roleId(s.role),
                         r.peer.toString(), action, outcome, o.reason});
}

}  // namespace tavirin
