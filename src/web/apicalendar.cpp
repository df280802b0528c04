// The school's calendar: its entries listed, added (one, or the year's public holidays) and
// removed, through the same rules the calendar panel uses.
#include "web/webapi.h"

#include "calendar/calendar.h"
#include "calendar/dayrules.h"
#include "core/bellcore.h"
#include "platform/clock.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>

namespace tavirin {

namespace {

// An entry's id names its place and its content: an id read before someone else changed the
// calendar removes nothing else.
QString entryId(qsizetype index, const CalendarEntry& e) {
    const QByteArray h =
        QCryptographicHash::hash(encodeEntry(e).toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("%1-%2").arg(index).arg(QString::fromLatin1(h.left(12)));
}

QString ruleId(RuleKind k) {
    switch (k) {
        case RuleKind::NoBells:
            return QStringLiteral("no-bells");
        case RuleKind::OtherWeekday:
            return QStringLiteral("weekday");
        case RuleKind::Shift:
            return QStringLiteral("shift");
    }
    return {};
}

std::optional<int> whole(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d != double(qint64(d)) || d < -100000 || d > 100000) return std::nullopt;
    return int(d);
}

}  // namespace

WebReply WebApi::calendar() {
    const Calendar cal = readCalendar(p_.core.store());
    QJsonArray list;
    for (qsizetype i = 0; i < cal.size(); ++i) {
        const CalendarEntry& e = cal[i];
        list.append(QJsonObject{
            {QStringLiteral("id"), entryId(i, e)},
            {QStringLiteral("start"), e.start.toString(Qt::ISODate)},
            {QStringLiteral("end"), e.end.toString(Qt::ISODate)},
            {QStringLiteral("name"), e.name},
            {QStringLiteral("rule"), ruleId(e.kind)},
            {QStringLiteral("weekday"), e.weekday},
            {QStringLiteral("minutes"), e.minutes},
            {QStringLiteral("text"), thaiRange(e) + QStringLiteral("  ") + entryTitle(e) +
                                         QStringLiteral(" · ") + ruleText(e)},
        });
    }
    return jsonReply(QJsonDocument(QJsonObject{{QStringLiteral("entries"), list}}));
}

WebReply WebApi::addCalendar(const WebRequest& r, const WebSession& s) {
    const std::optional<QJsonObject> body = jsonBody(r);
    if (!body) return errorReply(400, "bad-request", QStringLiteral("ข้อมูลที่ส่งมาไม่ใช่ JSON"));
    DayRules& rules = p_.core.rules();
    if (body->contains(QStringLiteral("holidays"))) {
        const std::optional<int> year = whole(body->value(QStringLiteral("holidays")));
        if (!year || *year < 1900 || *year > 2999)
            return errorReply(400, "bad-value", QStringLiteral("ปีไม่ถูกต้อง (ใช้ปี ค.ศ. เช่น 2027)"));
        const qsizetype before = readCalendar(p_.core.store()).size();
        WebReply reply = command(r, s, QStringLiteral("เพิ่มวันหยุดราชการปี %1").arg(*year + 543), [&] {
            // Pressing the page's button for the year's holidays is the confirmation.
            return rules.confirmedElsewhere([&] { return rules.addThaiHolidays(*year); });
        });
        if (reply.status == 200) {
            QJsonObject o = QJsonDocument::fromJson(reply.body).object();
            o.insert(QStringLiteral("added"), int(readCalendar(p_.core.store()).size() - before));
            reply.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
        }
        return reply;
    }
    CalendarEntry e;
    e.start = QDate::fromString(body->value(QStringLiteral("start")).toString(), Qt::ISODate);
    e.end = QDate::fromString(body->value(QStringLiteral("end")).toString(), Qt::ISODate);
    e.name = body->value(QStringLiteral("name")).toString().trimmed();
    const QString rule = body->value(QStringLiteral("rule")).toString();
    if (!e.start.isValid() || !e.end.isValid())
        return errorReply(400, "bad-value", QStringLiteral("วันที่ไม่ถูกต้อง (ใช้ YYYY-MM-DD)"));
    if (rule == QLatin1String("no-bells")) {
        e.kind = RuleKind::NoBells;
    } else if (rule == QLatin1String("weekday")) {
        e.kind = RuleKind::OtherWeekday;
        e.weekday = whole(body->value(QStringLiteral("weekday"))).value_or(0);
    } else if (rule == QLatin1String("shift")) {
        e.kind = RuleKind::Shift;
        e.minutes = whole(body->value(QStringLiteral("minutes"))).value_or(0);
    } else {
        return errorReply(400, "bad-value", QStringLiteral("กฎต้องเป็น no-bells, weekday หรือ shift"));
    }
    // The panel's own checks (dates, years, names, weekday, minutes) are the rules' own.
    WebReply reply = command(r, s, QStringLiteral("เพิ่มในปฏิทิน: ") + e.name.left(60), [&] {
        return rules.withoutQuestions([&] { return rules.addEntry(e); });
    });
    if (reply.status == 200) {
        QJsonObject o = QJsonDocument::fromJson(reply.body).object();
        o.insert(QStringLiteral("added"), 1);
        reply.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    }
    return reply;
}

WebReply WebApi::removeCalendar(const WebRequest& r, const WebSession& s) {
    const QString id = r.query.queryItemValue(QStringLiteral("id"));
    const Calendar cal = readCalendar(p_.core.store());
    for (qsizetype i = 0; i < cal.size(); ++i) {
        if (entryId(i, cal[i]) != id) continue;
        DayRules& rules = p_.core.rules();
        return command(r, s, QStringLiteral("ลบจากปฏิทิน: ") + entryTitle(cal[i]).left(60), [&] {
            // The page asked its person before it sent this.
            return rules.confirmedElsewhere([&] { return rules.removeEntry(i); });
        });
    }
    return errorReply(404, "not-found",
                      QStringLiteral("ไม่พบรายการนี้ในปฏิทิน (อาจถูกแก้ไปแล้ว โปรดโหลดใหม่)"));
}

}  // namespace tavirin
