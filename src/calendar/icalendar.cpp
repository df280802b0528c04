#include "calendar/icalendar.h"

#include "platform/logging.h"

#include <QCryptographicHash>
#include <QTimeZone>

#include <libical/ical.h>

#include <memory>

namespace tavirin {

namespace {

const char* const kKindProperty = "X-TAVIRIN-KIND";
// A rule repeating more often than daily is walked only this far looking for its days.
constexpr int kMaxSteps = 20000;

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

// The day a start or end falls on here. A time in UTC is turned into local time; any other
// time is taken as written (a VTIMEZONE is not looked at: a holiday is a whole day).
QDate dayOf(const icaltimetype& t) {
    if (icaltime_is_null_time(t)) return {};
    const QDate d(t.year, t.month, t.day);
    if (icaltime_is_date(t) || !icaltime_is_utc(t)) return d;
    return QDateTime(d, QTime(t.hour, t.minute, t.second), QTimeZone::utc()).toLocalTime().date();
}

bool isMidnight(const icaltimetype& t) {
    return icaltime_is_date(t) || (t.hour == 0 && t.minute == 0 && t.second == 0);
}

// The last day of an event that starts on `start`: DTEND is exclusive for a whole day and for
// a time at midnight.
QDate lastDay(icalcomponent* ev, QDate start) {
    const icaltimetype end = icalcomponent_get_dtend(ev);
    QDate last = dayOf(end);
    if (!last.isValid()) return start;
    if (isMidnight(end)) last = last.addDays(-1);
    return last < start ? start : last;
}

QString nameOf(icalcomponent* ev) {
    const char* summary = icalcomponent_get_summary(ev);
    QString name = summary ? QString::fromUtf8(summary) : QString();
    for (QChar& c : name)
        if (c.category() == QChar::Other_Control) c = u' ';
    name = name.simplified().left(calendarlimits::kMaxNameLength);
    return name.isEmpty() ? QStringLiteral("(ไม่มีชื่อ)") : name;
}

// The rule this program wrote; a holiday for anything else.
void readKind(icalcomponent* ev, CalendarEntry& e) {
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_X_PROPERTY)) {
        const char* name = icalproperty_get_x_name(p);
        const char* value = icalproperty_get_x(p);
        if (!name || !value || qstricmp(name, kKindProperty) != 0) continue;
        const QString v = QString::fromUtf8(value).trimmed();
        bool isNumber = false;
        if (v.startsWith(QLatin1String("weekday="))) {
            const int d = v.mid(8).toInt(&isNumber);
            if (isNumber) {
                e.kind = RuleKind::OtherWeekday;
                e.weekday = d;
            }
        } else if (v.startsWith(QLatin1String("shift="))) {
            const int m = v.mid(6).toInt(&isNumber);
            if (isNumber) {
                e.kind = RuleKind::Shift;
                e.minutes = m;
            }
        }
    }
}

QList<QDate> exceptions(icalcomponent* ev) {
    QList<QDate> out;
    for (icalproperty* p = icalcomponent_get_first_property(ev, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_EXDATE_PROPERTY))
        out.append(dayOf(icalproperty_get_exdate(p)));
    return out;
}

class Reader {
public:
    explicit Reader(QDate today)
        : first_(firstAllowedDate(today)), last_(lastAllowedDate(today)), today_(today) {}

    // False once the file holds more than the limit.
    bool event(icalcomponent* ev) {
        const icaltimetype dtstart = icalcomponent_get_dtstart(ev);
        const QDate start = dayOf(dtstart);
        if (!start.isValid()) {
            ++out.events;
            ++out.unusable;
            return out.events <= icallimits::kMaxEvents;
        }
        CalendarEntry e;
        e.start = start;
        e.end = lastDay(ev, start);
        e.name = nameOf(ev);
        readKind(ev, e);
        icalproperty* rrule = icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY);
        if (!rrule) return occurrence(e);

        const qint64 length = e.start.daysTo(e.end);
        const QList<QDate> skip = exceptions(ev);
        icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(rrule), dtstart);
        if (!it) return occurrence(e);  // a rule libical cannot follow: the first date alone
        bool within = true;
        for (int step = 0; within && step < kMaxSteps; ++step) {
            const icaltimetype next = icalrecur_iterator_next(it);
            const QDate d = dayOf(next);
            if (!d.isValid() || d > last_) break;
            if (d < first_ || skip.contains(d)) continue;
            CalendarEntry one = e;
            one.start = d;
            one.end = d.addDays(length);
            within = occurrence(one);
        }
        icalrecur_iterator_free(it);
        return within;
    }

    ICalImport out;

private:
    bool occurrence(const CalendarEntry& e) {
        ++out.events;
        if (e.start < first_ || e.end > last_) {
            ++out.outside;
        } else if (!checkEntry(e, today_).isEmpty()) {
            ++out.unusable;
        } else if (!out.entries.contains(e)) {
            out.entries.append(e);
        }
        return out.events <= icallimits::kMaxEvents;
    }

    QDate first_, last_, today_;
};

icaltimetype icalDay(QDate d) {
    icaltimetype t = icaltime_null_date();
    t.year = d.year();
    t.month = d.month();
    t.day = d.day();
    return t;
}

QByteArray kindValue(const CalendarEntry& e) {
    switch (e.kind) {
        case RuleKind::NoBells:
            return "nobells";
        case RuleKind::OtherWeekday:
            return "weekday=" + QByteArray::number(e.weekday);
        case RuleKind::Shift:
            return "shift=" + QByteArray(e.minutes > 0 ? "+" : "") + QByteArray::number(e.minutes);
    }
    return {};
}

}  // namespace

ICalImport parseICalendar(const QByteArray& bytes, QDate today) {
    ICalImport none;
    if (bytes.size() > icallimits::kMaxFileBytes) {
        none.error = QStringLiteral("ไฟล์ใหญ่เกินไป (เกิน %1 MB) ไม่ใช่ไฟล์ปฏิทินวันหยุด")
                         .arg(icallimits::kMaxFileBytes / (1024 * 1024));
        return none;
    }
    // libical reads a C string; a file holding a zero byte is no calendar.
    if (bytes.contains('\0') || !bytes.toUpper().contains("BEGIN:VCALENDAR")) {
        none.error = QStringLiteral("ไฟล์นี้ไม่ใช่ไฟล์ปฏิทิน (.ics)");
        return none;
    }
    icalerror_set_errors_are_fatal(0);
    Component root(icalparser_parse_string(bytes.constData()));
    icalerror_clear_errno();
    if (!root) {
        none.error = QStringLiteral("ไฟล์นี้ไม่ใช่ไฟล์ปฏิทิน (.ics)");
        return none;
    }
    Reader reader(today);
    const auto walk = [&](icalcomponent* cal) {
        for (icalcomponent* ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT))
            if (!reader.event(ev)) return false;
        return true;
    };
    // One calendar, or several one after the other (libical then wraps them in an XROOT).
    bool within = true;
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        within = walk(root.get());
    } else {
        for (icalcomponent* cal =
                 icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             cal && within;
             cal = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            within = walk(cal);
    }
    ICalImport out = reader.out;
    if (!within) {
        none.error = QStringLiteral(
                         "ไฟล์นี้มีเหตุการณ์มากเกินไป (เกิน %1 รายการ) "
                         "ไม่ใช่ไฟล์ปฏิทินวันหยุดของโรงเรียน")
                         .arg(icallimits::kMaxEvents);
        qCWarning(lcCalendar) << "calendar file refused: more than" << icallimits::kMaxEvents
                              << "events";
        return none;
    }
    if (out.entries.isEmpty() && out.outside > 0)
        out.error = QStringLiteral("ทุกวันที่ในไฟล์นี้อยู่นอกช่วงที่ใส่ได้ (ตั้งแต่ %1 ถึง %2)")
                        .arg(thaiDate(firstAllowedDate(today)), thaiDate(lastAllowedDate(today)));
    else if (out.entries.isEmpty())
        out.error = QStringLiteral("ไม่พบวันที่ใด ๆ ในไฟล์นี้");
    qCInfo(lcCalendar) << "calendar file read:" << out.events << "events," << out.entries.size()
                       << "usable," << out.outside << "outside the allowed years," << out.unusable
                       << "without a usable date";
    return out;
}

QByteArray toICalendar(const Calendar& calendar, const QDateTime& stamp) {
    Component root(icalcomponent_new_vcalendar());
    icalcomponent_add_property(root.get(),
                               icalproperty_new_prodid("-//Tavirin//School calendar//TH"));
    icalcomponent_add_property(root.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(root.get(), icalproperty_new_calscale("GREGORIAN"));
    const icaltimetype dtstamp = icaltime_from_timet_with_zone(time_t(stamp.toSecsSinceEpoch()), 0,
                                                               icaltimezone_get_utc_timezone());
    for (qsizetype i = 0; i < calendar.size(); ++i) {
        const CalendarEntry& e = calendar[i];
        icalcomponent* ev = icalcomponent_new_vevent();
        const QByteArray uid = "tavirin-" +
                               QCryptographicHash::hash(e.start.toString(Qt::ISODate).toUtf8() +
                                                            e.name.toUtf8() + kindValue(e),
                                                        QCryptographicHash::Sha1)
                                   .toHex()
                                   .left(16) +
                               '-' + QByteArray::number(i + 1) + "@tavirin";
        icalcomponent_add_property(ev, icalproperty_new_uid(uid.constData()));
        icalcomponent_add_property(ev, icalproperty_new_dtstamp(dtstamp));
        icalcomponent_add_property(ev, icalproperty_new_dtstart(icalDay(e.start)));
        icalcomponent_add_property(ev, icalproperty_new_dtend(icalDay(e.end.addDays(1))));
        icalcomponent_add_property(ev, icalproperty_new_summary(e.name.toUtf8().constData()));
        icalcomponent_add_property(ev,
                                   icalproperty_new_description(ruleText(e).toUtf8().constData()));
        icalcomponent_add_property(ev, icalproperty_new_transp(ICAL_TRANSP_TRANSPARENT));
        icalproperty* kind = icalproperty_new_x(kindValue(e).constData());
        icalproperty_set_x_name(kind, kKindProperty);
        icalcomponent_add_property(ev, kind);
        icalcomponent_add_component(root.get(), ev);
    }
    char* text = icalcomponent_as_ical_string_r(root.get());
    const QByteArray out(text);
    icalmemory_free_buffer(text);
    return out;
}

}  // namespace tavirin
