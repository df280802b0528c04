// The commands of the page: announce now, ring a period, today's changes, the emergency and
// its all clear, music and radio stopped. Each is the core's own command, journalled with
// who asked from where.
#include "web/webapi.h"

#include "calendar/calendar.h"
#include "core/bellcore.h"
#include "core/emergency.h"
#include "journal/journal.h"
#include "store/emergencykinds.h"

#include <QJsonArray>
#include <QJsonObject>

namespace tavirin {

namespace {

WebReply badRequest(const QString& message) {
    return errorReply(400, "bad-request", message);
}

// A JSON number that is a whole number (a period, minutes); nothing for 1.5, "3" or true.
std::optional<int> wholeNumber(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d != double(qint64(d)) || d < -1e6 || d > 1e6) return std::nullopt;
    return int(d);
}

QString todayActionText(const QString& change, int value) {
    if (change == QLatin1String("none")) return QStringLiteral("ยกเลิกการเปลี่ยนแปลงวันนี้");
    if (change == QLatin1String("no-bells")) return QStringLiteral("งดออดทั้งวันนี้");
    if (change == QLatin1String("weekday"))
        return QStringLiteral("วันนี้ใช้ตารางออด") + weekdayText(value);
    if (change == QLatin1String("shift"))
        return shiftText(value) + QStringLiteral(" (ที่เหลือของวันนี้)");
    if (change == QLatin1String("skip-next")) return QStringLiteral("ข้ามออดครั้งถัดไป");
    return QStringLiteral("เปลี่ยนแปลงวันนี้: ") + change.left(40);
}

}  // namespace

WebReply WebApi::command(const WebRequest& r, const WebSession& s, const QString& action,
                         const std::function<Outcome()>& run) {
    const Outcome o = run();
    record(r, s, action, o);
    return outcomeReply(o);
}

WebReply WebApi::announce(const WebRequest& r, const WebSession& s) {
    if (!jsonBody(r)) return badRequest(QStringLiteral("ข้อมูลที่ส่งมาไม่ใช่ JSON"));
    return command(r, s, QStringLiteral("บอกเวลาขณะนี้"), [this] { return p_.core.announceNow(); });
}

WebReply WebApi::ring(const WebRequest& r, const WebSession& s) {
    const std::optional<QJsonObject> body = jsonBody(r);
    const std::optional<int> period =
        body ? wholeNumber(body->value(QStringLiteral("period"))) : std::nullopt;
    if (!period) return badRequest(QStringLiteral("โปรดระบุช่วง (period) เป็นตัวเลข 1 ถึง 24"));
    if (*period < 1 || *period > 24)
        return errorReply(400, "bad-value",
                          QStringLiteral("ไม่มีช่วงที่ %1 (มีช่วงที่ 1 ถึง 24)").arg(*period));
    return command(r, s, QStringLiteral("ตีออดช่วงที่ %1 ทันที").arg(*period),
                   [this, p = *period] { return p_.core.ringPeriod(p); });
}

WebReply WebApi::today(const WebRequest& r, const WebSession& s) {
    const std::optional<QJsonObject> body = jsonBody(r);
    if (!body || !body->value(QStringLiteral("change")).isString())
        return badRequest(QStringLiteral("โปรดระบุการเปลี่ยนแปลง (change)"));
    const QString change = body->value(QStringLiteral("change")).toString();
    int value = 0;
    if (change == QLatin1String("weekday") || change == QLatin1String("shift")) {
        const std::optional<int> v = wholeNumber(body->value(QStringLiteral("value")));
        if (!v) return badRequest(QStringLiteral("โปรดระบุค่า (value) เป็นตัวเลข"));
        value = *v;
    }
    return command(r, s, todayActionText(change, value), [this, change, value] {
        return p_.core.setTodayChange(change, value, BellCore::Asker::Remote);
    });
}

WebReply WebApi::kinds() {
    QJsonArray list;
    for (const EmergencyKind& k : p_.core.emergency().kinds())
        list.append(QJsonObject{{QStringLiteral("id"), k.id}, {QStringLiteral("name"), k.name}});
    return jsonReply(QJsonDocument(list));
}

WebReply WebApi::emergency(const WebRequest& r, const WebSession& s) {
    const std::optional<QJsonObject> body = jsonBody(r);
    if (!body || !body->value(QStringLiteral("kind")).isString())
        return badRequest(QStringLiteral("โปรดเลือกชนิดของเหตุฉุกเฉิน (kind)"));
    const QString kind = body->value(QStringLiteral("kind")).toString();
    const std::optional<EmergencyKind> k = findEmergencyKind(p_.core.emergency().kinds(), kind);
    const QString action = QStringLiteral("เริ่มเหตุฉุกเฉิน: ") + (k ? k->name : kind.left(40));
    return command(r, s, action,
                   [this, kind] { return p_.core.startEmergency(kind, journal::kFromPage); });
}

WebReply WebApi::allClear(const WebRequest& r, const WebSession& s) {
    if (!jsonBody(r)) return badRequest(QStringLiteral("ข้อมูลที่ส่งมาไม่ใช่ JSON"));
    return command(r, s, QStringLiteral("สิ้นสุดเหตุฉุกเฉิน"),
                   [this] { return p_.core.allClear(journal::kFromPage); });
}

WebReply WebApi::mediaStop(const WebRequest& r, const WebSession& s) {
    if (!jsonBody(r)) return badRequest(QStringLiteral("ข้อมูลที่ส่งมาไม่ใช่ JSON"));
    return command(r, s, QStringLiteral("หยุดเพลงและวิทยุ"), [this] { return p_.core.stopMedia(); });
}

}  // namespace tavirin
