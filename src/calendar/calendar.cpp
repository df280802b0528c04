#include "calendar/calendar.h"

#include "platform/clock.h"
#include "platform/logging.h"
#include "store/dayprogram.h"
#include "store/programstore.h"

#include <algorithm>

namespace tavirin {

namespace {

const QString kEntries = QStringLiteral("entries");
const QString kCount = QStringLiteral("count");
const QString kToday = QStringLiteral("today");

QString entryKey(qsizetype i) {
    return QStringLiteral("e") + QString::number(i + 1);
}

QString kindName(RuleKind k) {
    switch (k) {
        case RuleKind::NoBells:
            return QStringLiteral("nobells");
        case RuleKind::OtherWeekday:
            return QStringLiteral("weekday");
        case RuleKind::Shift:
            return QStringLiteral("shift");
    }
    return {};
}

std::optional<RuleKind> kindOf(const QString& s) {
    for (RuleKind k : {RuleKind::NoBells, RuleKind::OtherWeekday, RuleKind::Shift})
        if (kindName(k) == s) return k;
    return std::nullopt;
}

QString timeText(QTime t) {
    return clockText(t);
}

}  // namespace

// The name comes last, so it may hold '|' itself.
QString encodeEntry(const CalendarEntry& e) {
    const int arg = e.kind == RuleKind::OtherWeekday ? e.weekday
                    : e.kind == RuleKind::Shift      ? e.minutes
                                                     : 0;
    return QStringList{e.start.toString(Qt::ISODate), e.end.toString(Qt::ISODate), kindName(e.kind),
                       QString::number(arg), e.name}
        .join(u'|');
}

std::optional<CalendarEntry> decodeEntry(const QString& s) {
    const QStringList parts = s.split(u'|');
    if (parts.size() < 5) return std::nullopt;
    CalendarEntry e;
    e.start = QDate::fromString(parts[0], Qt::ISODate);
    e.end = QDate::fromString(parts[1], Qt::ISODate);
    const std::optional<RuleKind> kind = kindOf(parts[2]);
    bool isNumber = false;
    const int arg = parts[3].toInt(&isNumber);
    if (!kind || !isNumber) return std::nullopt;
    e.kind = *kind;
    if (e.kind == RuleKind::OtherWeekday) e.weekday = arg;
    if (e.kind == RuleKind::Shift) e.minutes = arg;
    e.name = parts.mid(4).join(u'|');
    // Only what the panel itself could have saved: the years are not looked at, an entry
    // saved years ago stays as it was.
    if (!checkEntry(e, QDate()).isEmpty()) return std::nullopt;
    return e;
}

Calendar readCalendar(const ProgramStore& store) {
    Calendar cal;
    bool isNumber = false;
    const QString countText = store.GetSetting(kCalendarApplication, kEntries, kCount);
    const int count = countText.toInt(&isNumber);
    if (countText.isEmpty()) return cal;  // a store from before the calendar
    if (!isNumber || count < 0 || count > calendarlimits::kMaxEntries) {
        qCWarning(lcCalendar) << "the stored calendar's count" << countText
                              << "is not a number of entries; the calendar reads as empty";
        return cal;
    }
    for (int i = 0; i < count; ++i) {
        const QString raw = store.GetSetting(kCalendarApplication, kEntries, entryKey(i));
        if (const std::optional<CalendarEntry> e = decodeEntry(raw))
            cal.append(*e);
        else
            qCWarning(lcCalendar).noquote()
                << "calendar entry" << i + 1 << "cannot be read and is left out:" << raw;
    }
    return cal;
}

Result writeCalendar(ProgramStore& store, const Calendar& calendar) {
    ProgramStore::Burst burst(store, ProgramStore::Burst::OnFailure::RollBack);
    Result failed;
    const auto put = [&](const QString& key, const QString& value) {
        // Unchanged keys are not written: the burst stays as small as the change.
        if (failed && store.GetSetting(kCalendarApplication, kEntries, key) != value)
            failed = store.SaveSetting(kCalendarApplication, kEntries, key, value);
    };
    bool isNumber = false;
    const int before = store.GetSetting(kCalendarApplication, kEntries, kCount).toInt(&isNumber);
    for (qsizetype i = 0; i < calendar.size(); ++i) put(entryKey(i), encodeEntry(calendar[i]));
    // Nothing is ever deleted from the store: entries past the end are emptied.
    for (qsizetype i = calendar.size(); isNumber && i < before; ++i) put(entryKey(i), QString());
    put(kCount, QString::number(calendar.size()));
    const Result done = burst.finish();
    return failed ? done : failed;
}

TodayChanges readTodayChanges(const ProgramStore& store, QDate date) {
    TodayChanges c;
    const auto get = [&](const char* key) {
        return store.GetSetting(kCalendarApplication, kToday, QString::fromLatin1(key));
    };
    const QDate stored = QDate::fromString(get("date"), Qt::ISODate);
    if (!date.isValid() || stored != date) return c;  // none, or over
    c.date = date;
    c.noBells = get("nobells") == u"1";
    const int weekday = get("weekday").toInt();
    c.weekday = weekday >= 1 && weekday <= 7 ? weekday : 0;
    for (const QString& s : get("shifts").split(u';', Qt::SkipEmptyParts)) {
        const QStringList p = s.split(u' ');
        bool isNumber = false;
        TodayChanges::Shift shift{QTime::fromString(p.value(0), QStringLiteral("HH:mm:ss")),
                                  p.value(1).toInt(&isNumber)};
        if (shift.from.isValid() && isNumber && shift.minutes != 0 &&
            qAbs(shift.minutes) <= calendarlimits::kMaxShiftMinutes)
            c.shifts.append(shift);
    }
    const QStringList skip = get("skip").split(u' ', Qt::SkipEmptyParts);
    c.skipApplication = skip.value(0);
    for (qsizetype i = 1; i < skip.size(); ++i)
        if (const int n = skip[i].toInt(); n >= 1 && n <= 24) c.skippedPeriods.append(n);
    for (const QString& s : get("rang").split(u';', Qt::SkipEmptyParts)) {
        const QStringList p = s.split(u' ');
        if (p.size() == 4) c.rang.append({p[0], p[1].toInt(), p[2], p[3]});
    }
    return c;
}

Result writeTodayChanges(ProgramStore& store, const TodayChanges& c) {
    ProgramStore::Burst burst(store, ProgramStore::Burst::OnFailure::RollBack);
    QStringList shifts, rang;
    for (const TodayChanges::Shift& s : c.shifts)
        shifts << timeText(s.from) + u' ' + (s.minutes > 0 ? QStringLiteral("+") : QString()) +
                      QString::number(s.minutes);
    for (const TodayChanges::Rang& r : c.rang)
        rang << QStringList{r.application, QString::number(r.period), r.base, r.at}.join(u' ');
    QStringList skip;
    if (!c.skippedPeriods.isEmpty()) skip << c.skipApplication;
    for (int p : c.skippedPeriods) skip << QString::number(p);
    const std::pair<const char*, QString> values[] = {
        {"date", c.date.toString(Qt::ISODate)},
        {"nobells", c.noBells ? QStringLiteral("1") : QStringLiteral("0")},
        {"weekday", QString::number(c.weekday)},
        {"shifts", shifts.join(u';')},
        {"skip", skip.join(u' ')},
        {"rang", rang.join(u';')},
    };
    Result failed;
    for (const auto& [key, value] : values)
        if (failed)
            failed =
                store.SaveSetting(kCalendarApplication, kToday, QString::fromLatin1(key), value);
    const Result done = burst.finish();
    return failed ? done : failed;
}

QDate firstAllowedDate(QDate today) {
    return QDate(today.year() - 1, 1, 1);
}

QDate lastAllowedDate(QDate today) {
    return QDate(today.year() + calendarlimits::kYearsAhead, 12, 31);
}

QString checkEntry(const CalendarEntry& e, QDate today) {
    using namespace calendarlimits;
    if (!e.start.isValid() || !e.end.isValid()) return QStringLiteral("วันที่ไม่ถูกต้อง");
    if (e.end < e.start) return QStringLiteral("วันสิ้นสุดอยู่ก่อนวันเริ่มต้น");
    if (e.days() > kMaxDays)
        return QStringLiteral("ช่วงวันยาวเกิน %1 วัน กรุณาแบ่งเป็นหลายรายการ").arg(kMaxDays);
    if (today.isValid() && (e.start < firstAllowedDate(today) || e.end > lastAllowedDate(today)))
        return QStringLiteral("ใส่ได้เฉพาะวันที่ตั้งแต่ %1 ถึง %2")
            .arg(thaiDate(firstAllowedDate(today)), thaiDate(lastAllowedDate(today)));
    if (e.name.trimmed().isEmpty()) return QStringLiteral("กรุณาใส่ชื่อรายการ");
    if (e.name.size() > kMaxNameLength)
        return QStringLiteral("ชื่อยาวเกิน %1 ตัวอักษร").arg(kMaxNameLength);
    if (std::any_of(e.name.cbegin(), e.name.cend(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        return QStringLiteral("ชื่อมีอักขระที่ใช้ไม่ได้");
    if (e.kind == RuleKind::OtherWeekday && (e.weekday < 1 || e.weekday > 7))
        return QStringLiteral("กรุณาเลือกวันที่จะใช้ตารางออด");
    if (e.kind == RuleKind::Shift && (e.minutes == 0 || qAbs(e.minutes) > kMaxShiftMinutes))
        return QStringLiteral("เลื่อนออดได้ 1 ถึง %1 นาที").arg(kMaxShiftMinutes);
    return {};
}

QString thaiDate(QDate d) {
    static const char* const months[] = {"ม.ค.", "ก.พ.", "มี.ค.", "เม.ย.", "พ.ค.", "มิ.ย.",
                                         "ก.ค.", "ส.ค.", "ก.ย.", "ต.ค.",  "พ.ย.", "ธ.ค."};
    if (!d.isValid()) return {};
    return QStringLiteral("%1 %2 %3")
        .arg(d.day())
        .arg(QString::fromUtf8(months[d.month() - 1]))
        .arg(d.year() + 543);
}

QString thaiRange(const CalendarEntry& e) {
    if (e.start == e.end) return thaiDate(e.start);
    return thaiDate(e.start) + QStringLiteral(" – ") + thaiDate(e.end);
}

QString weekdayText(int weekday) {
    const WeekdayRow* row = weekdayRow(weekday);
    return row ? row->chooserEntry : QString();
}

QString shiftText(int minutes) {
    return minutes > 0 ? QStringLiteral("เลื่อนออดช้าลง %1 นาที").arg(minutes)
                       : QStringLiteral("เลื่อนออดเร็วขึ้น %1 นาที").arg(-minutes);
}

QString ruleText(const CalendarEntry& e) {
    switch (e.kind) {
        case RuleKind::NoBells:
            return QStringLiteral("ไม่มีออด");
        case RuleKind::OtherWeekday:
            return QStringLiteral("ใช้ตารางออด") + weekdayText(e.weekday);
        case RuleKind::Shift:
            return shiftText(e.minutes);
    }
    return {};
}

QString entryTitle(const CalendarEntry& e) {
    if (e.kind == RuleKind::NoBells && !e.name.startsWith(QStringLiteral("วันหยุด")))
        return QStringLiteral("วันหยุด ") + e.name;
    return e.name;
}

QList<qsizetype> entriesOn(const Calendar& calendar, QDate date) {
    QList<qsizetype> on;
    for (qsizetype i = 0; i < calendar.size(); ++i)
        if (calendar[i].covers(date)) on.append(i);
    // The shortest range first; of equal length, the one added last.
    std::sort(on.begin(), on.end(), [&](qsizetype a, qsizetype b) {
        const qint64 da = calendar[a].days(), db = calendar[b].days();
        return da != db ? da < db : a > b;
    });
    return on;
}

std::optional<qsizetype> rulingEntry(const Calendar& calendar, QDate date) {
    const QList<qsizetype> on = entriesOn(calendar, date);
    if (on.isEmpty()) return std::nullopt;
    return on.first();
}

}  // namespace tavirin
