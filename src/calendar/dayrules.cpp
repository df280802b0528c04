#include "calendar/dayrules.h"

#include "calendar/backup.h"
#include "calendar/icalendar.h"
#include "calendar/thaiholidays.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/logging.h"
#include "store/keylayout.h"
#include "store/programstore.h"

#include <QFile>
#include <QSaveFile>

namespace tavirin {

const QString DayRules::kCalendarTitle = QStringLiteral("ปฏิทินโรงเรียน");
const QString DayRules::kTodayTitle = QStringLiteral("เปลี่ยนเฉพาะวันนี้");

namespace {

constexpr int kDaySeconds = 24 * 60 * 60;

const QString kNotSaved = QStringLiteral("บันทึกไม่สำเร็จ ข้อมูลยังเป็นเหมือนเดิม\n(ดิสก์อาจเต็มหรือเขียนไม่ได้)");

int secondsOf(QTime t) {
    return t.msecsSinceStartOfDay() / 1000;
}

std::optional<int> triggerSeconds(const PeriodPlan& p) {
    if (!p.rings()) return std::nullopt;
    return secondsOf(p.due);
}

}  // namespace

DayRules::DayRules(ProgramStore& store, const Clock& clock, Dialogs& dialogs)
    : store_(store), clock_(clock), dialogs_(dialogs) {}

QDate DayRules::todayDate() const {
    return clock_.now().date();
}

int DayRules::secondsNow() const {
    return secondsOf(clock_.now().time());
}

Calendar DayRules::calendar() const {
    return readCalendar(store_);
}

TodayChanges DayRules::todayChanges() const {
    return readTodayChanges(store_, todayDate());
}

DayPlan DayRules::today() const {
    const QDateTime now = clock_.now();
    return planDay(store_, now.date(), now.date().dayOfWeek(), now.time());
}

DayPlan DayRules::plan(QDate date) const {
    return planDay(store_, date, date.dayOfWeek());
}

Outcome DayRules::refuse(const QString& why) {
    qCInfo(lcCalendar).noquote() << "refused:" << why;
    return Outcome::refused(why);
}

bool DayRules::confirm(const QString& title, const QString& question) {
    if (questionsAnswered_) {
        qCInfo(lcCalendar).noquote() << "confirmed by the one who asked:" << question;
        return true;
    }
    if (!questionsRefused_) return dialogs_.askYesNo(title, question);
    qCInfo(lcCalendar).noquote() << "a question no one at the PC can answer; refused:" << question;
    refusedQuestion_ = question;
    return false;
}

Outcome DayRules::confirmedElsewhere(const std::function<Outcome()>& op) {
    questionsAnswered_ = true;
    Outcome o = op();
    questionsAnswered_ = false;
    return o;
}

Outcome DayRules::withoutQuestions(const std::function<Outcome()>& op) {
    questionsRefused_ = true;
    refusedQuestion_.clear();
    Outcome o = op();
    questionsRefused_ = false;
    if (!refusedQuestion_.isEmpty() && o.status == Outcome::Status::Refused && o.reason.isEmpty())
        o.reason = QStringLiteral("ต้องยืนยันที่เครื่องตีออด: ") + refusedQuestion_;
    refusedQuestion_.clear();
    return o;
}

void DayRules::notifyChanged(bool programsChanged) {
    for (const auto& changed : changed_) changed(programsChanged);
}

Outcome DayRules::commit(const char* what, const Calendar& calendar, TodayChanges changes,
                         const QString& title) {
    const QDateTime now = clock_.now();
    const QDate date = now.date();
    const int nowSeconds = secondsOf(now.time());
    const std::array<DayProgram, 7> programs = readAllDayPrograms(store_);
    const Calendar calendarBefore = readCalendar(store_);
    const TodayChanges todayBefore = readTodayChanges(store_, date);
    changes.date = date;
    const DayPlan before =
        planDay(programs, calendarBefore, todayBefore, date, date.dayOfWeek(), now.time());
    const DayPlan after = planDay(programs, calendar, changes, date, date.dayOfWeek(), now.time());

    // The same bell (same program, period and time there) before and after the change.
    QStringList lost;
    for (int n = 1; n <= 24; ++n) {
        const PeriodPlan& b = before.periods[std::size_t(n - 1)];
        const PeriodPlan& a = after.periods[std::size_t(n - 1)];
        const std::optional<int> tb = triggerSeconds(b), ta = triggerSeconds(a);
        if (!tb || !ta || *tb == *ta || b.application != a.application || b.base != a.base)
            continue;
        if (*tb <= nowSeconds && *ta > nowSeconds) {
            // It has rung (or its time passed with the program off): not a second time today.
            changes.rang.append({a.application, n, a.base, clockText(b.due)});
        } else if (*tb > nowSeconds && *ta <= nowSeconds) {
            lost << QStringLiteral("ช่วงที่ %1 เวลา %2 (เวลาใหม่ %3)")
                        .arg(n)
                        .arg(clockMinutesText(b.due), clockMinutesText(a.due));
        }
    }
    if (!lost.isEmpty() &&
        !confirm(title, QStringLiteral("ออดต่อไปนี้ของวันนี้จะไม่ดัง เพราะเวลาใหม่ผ่านไปแล้ว:\n") +
                            lost.join(u'\n') + QStringLiteral("\n\nต้องการบันทึกหรือไม่ ?"))) {
        qCInfo(lcCalendar) << what << "not saved: the operator kept the bells still to come";
        return Outcome::refused({});
    }

    Result r;
    {
        ProgramStore::Burst burst(store_, ProgramStore::Burst::OnFailure::RollBack);
        Result written;
        if (calendar != calendarBefore) written = writeCalendar(store_, calendar);
        // A day without changes stays without a record of its own.
        const bool untouched =
            changes == todayBefore ||
            (todayBefore == TodayChanges{} && changes.isEmpty() && changes.rang.isEmpty());
        if (written && !untouched) written = writeTodayChanges(store_, changes);
        const Result synced = burst.finish();
        r = written ? synced : written;
    }
    if (!r) {
        qCWarning(lcCalendar).noquote() << what << "not saved, the store is as it was:" << r.error;
        return Outcome::failed(kNotSaved);
    }
    qCInfo(lcCalendar).noquote() << what << "saved;" << calendar.size() << "calendar entries";
    notifyChanged(false);
    return Outcome::done();
}

// ---- the calendar ----

QString DayRules::shiftLeavesDay(const CalendarEntry& e) const {
    if (e.kind != RuleKind::Shift) return {};
    // Every weekday the range holds, with the program it has now.
    for (qint64 i = 0; i < qMin<qint64>(7, e.days()); ++i) {
        const int day = e.start.addDays(i).dayOfWeek();
        const DayProgram program = readDayProgram(store_, day);
        for (int n = 1; n <= 24; ++n) {
            const std::optional<int> t = periodSeconds(program.period(n));
            if (!t) continue;
            const int moved = *t + e.minutes * 60;
            if (moved < 0 || moved >= kDaySeconds)
                return QStringLiteral("%1 ทำให้ออด%2 เวลา %3 เลยเที่ยงคืน\nกรุณาเลื่อนให้น้อยลง")
                    .arg(shiftText(e.minutes), weekdayText(day), minutesText(*t));
        }
    }
    return {};
}

Outcome DayRules::addEntry(const CalendarEntry& e) {
    if (QString why = checkEntry(e, todayDate()); !why.isEmpty()) return refuse(why);
    if (QString why = shiftLeavesDay(e); !why.isEmpty()) return refuse(why);
    Calendar cal = calendar();
    if (cal.size() >= calendarlimits::kMaxEntries)
        return refuse(QStringLiteral("ปฏิทินมีได้ไม่เกิน %1 รายการ").arg(calendarlimits::kMaxEntries));
    cal.append(e);
    return commit("calendar entry added", cal, todayChanges(), kCalendarTitle);
}

Outcome DayRules::changeEntry(qsizetype index, const CalendarEntry& e) {
    Calendar cal = calendar();
    if (index < 0 || index >= cal.size()) return refuse(QStringLiteral("ไม่มีรายการนี้ในปฏิทิน"));
    if (QString why = checkEntry(e, todayDate()); !why.isEmpty()) return refuse(why);
    if (QString why = shiftLeavesDay(e); !why.isEmpty()) return refuse(why);
    cal[index] = e;  // keeps its place among the entries of equal length
    return commit("calendar entry changed", cal, todayChanges(), kCalendarTitle);
}

Outcome DayRules::removeEntry(qsizetype index) {
    Calendar cal = calendar();
    if (index < 0 || index >= cal.size()) return refuse(QStringLiteral("ไม่มีรายการนี้ในปฏิทิน"));
    const CalendarEntry e = cal[index];
    if (!confirm(kCalendarTitle,
                 QStringLiteral("ลบ \"%1\" (%2) ออกจากปฏิทินหรือไม่ ?").arg(e.name, thaiRange(e))))
        return Outcome::refused({});
    cal.removeAt(index);
    return commit("calendar entry removed", cal, todayChanges(), kCalendarTitle);
}

Outcome DayRules::addEntries(const Calendar& entries, const std::function<QString(int)>& question) {
    Calendar cal = calendar();
    Calendar fresh;
    for (const CalendarEntry& e : entries)
        if (!cal.contains(e) && !fresh.contains(e)) fresh.append(e);
    if (fresh.isEmpty()) return refuse(QStringLiteral("ทุกรายการอยู่ในปฏิทินแล้ว"));
    if (cal.size() + fresh.size() > calendarlimits::kMaxEntries)
        return refuse(QStringLiteral("ปฏิทินมีได้ไม่เกิน %1 รายการ (มีอยู่ %2 จะเพิ่มอีก %3)")
                          .arg(calendarlimits::kMaxEntries)
                          .arg(cal.size())
                          .arg(fresh.size()));
    const QString ask =
        question(int(fresh.size())) +
        (fresh.size() < entries.size()
             ? QStringLiteral("\n(อีก %1 รายการมีอยู่ในปฏิทินแล้ว)").arg(entries.size() - fresh.size())
             : QString()) +
        QStringLiteral(
            "\n\nวันที่มีหลายรายการ ใช้รายการที่ช่วงวันสั้นที่สุด "
            "ถ้ายาวเท่ากันใช้รายการที่เพิ่มทีหลัง\n\nต้องการเพิ่มหรือไม่ ?");
    if (!confirm(kCalendarTitle, ask)) return Outcome::refused({});
    cal += fresh;
    return commit("calendar entries added", cal, todayChanges(), kCalendarTitle);
}

Outcome DayRules::addThaiHolidays(int year) {
    const QDate today = todayDate();
    if (year < firstAllowedDate(today).year() || year > lastAllowedDate(today).year())
        return refuse(QStringLiteral("เพิ่มวันหยุดได้เฉพาะปี พ.ศ. %1 ถึง %2")
                          .arg(firstAllowedDate(today).year() + 543)
                          .arg(lastAllowedDate(today).year() + 543));
    return addEntries(fixedThaiHolidays(year), [year](int count) {
        return QStringLiteral(
                   "เพิ่มวันหยุดราชการที่ตรงกับวันที่เดิมทุกปีของปี พ.ศ. %1 "
                   "จำนวน %2 รายการลงในปฏิทิน (ไม่มีออด)")
            .arg(year + 543)
            .arg(count);
    });
}

std::optional<Outcome> DayRules::readFile(const QString& path, qint64 limit, QByteArray* bytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        qCWarning(lcCalendar).noquote() << "cannot read" << path << ":" << f.errorString();
        return Outcome::failed(QStringLiteral("เปิดไฟล์ไม่ได้\n%1").arg(path));
    }
    *bytes = f.read(limit + 1);
    return std::nullopt;
}

Outcome DayRules::writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        qCWarning(lcCalendar).noquote() << "cannot write" << path << ":" << f.errorString();
        return Outcome::failed(QStringLiteral("บันทึกไฟล์ไม่ได้\n%1").arg(path));
    }
    qCInfo(lcCalendar).noquote() << "written" << path;
    return Outcome::done(QStringLiteral("บันทึกไฟล์แล้ว\n%1").arg(path));
}

Outcome DayRules::importICalendar(const QString& path) {
    QByteArray bytes;
    if (std::optional<Outcome> unread = readFile(path, icallimits::kMaxFileBytes, &bytes))
        return *unread;
    const ICalImport in = parseICalendar(bytes, todayDate());
    if (!in.error.isEmpty()) {
        qCWarning(lcCalendar).noquote() << "calendar file" << path << "refused:" << in.error;
        return Outcome::failed(in.error);
    }
    const QDate today = todayDate();
    return addEntries(in.entries, [&](int count) {
        QString q = QStringLiteral("พบ %1 รายการในไฟล์ จะเพิ่ม %2 รายการลงในปฏิทิน (ไม่มีออด)")
                        .arg(in.events)
                        .arg(count);
        if (in.outside > 0)
            q += QStringLiteral("\n(ข้าม %1 รายการที่อยู่นอกช่วง %2 ถึง %3)")
                     .arg(in.outside)
                     .arg(thaiDate(firstAllowedDate(today)), thaiDate(lastAllowedDate(today)));
        if (in.unusable > 0) q += QStringLiteral("\n(ข้าม %1 รายการที่ไม่มีวันที่ที่ใช้ได้)").arg(in.unusable);
        return q;
    });
}

Outcome DayRules::exportICalendar(const QString& path) {
    return writeFile(path, toICalendar(calendar(), clock_.now()));
}

Outcome DayRules::exportBackup(const QString& path) {
    return writeFile(path, toBackupFile(readBackup(store_), clock_.now()));
}

Outcome DayRules::importBackup(const QString& path) {
    QByteArray bytes;
    if (std::optional<Outcome> unread = readFile(path, backuplimits::kMaxFileBytes, &bytes))
        return *unread;
    QString why;
    const std::optional<Backup> backup = parseBackupFile(bytes, &why);
    if (!backup) return Outcome::failed(why);
    if (!confirm(kCalendarTitle, QStringLiteral("ข้อมูลสำรองนี้จะแทนที่ตารางออดทั้ง 7 วัน ที่อยู่วิทยุออนไลน์ "
                                                "และปฏิทินทั้งหมดของเครื่องนี้ (ปฏิทินในไฟล์มี %1 รายการ)\n"
                                                "ข้อมูลเดิมจะหายไป\n\nต้องการนำเข้าหรือไม่ ?")
                                     .arg(backup->calendar.size())))
        return Outcome::refused({});
    if (const Result r = writeBackup(store_, *backup); !r) {
        qCWarning(lcCalendar).noquote()
            << "backup" << path << "not restored, the store is as it was:" << r.error;
        return Outcome::failed(kNotSaved);
    }
    qCInfo(lcCalendar).noquote() << "backup restored from" << path;
    notifyChanged(true);
    return Outcome::done();
}

// ---- today only ----

Outcome DayRules::noBellsToday() {
    TodayChanges c = todayChanges();
    c.noBells = true;
    c.weekday = 0;
    return commit("no bells today", calendar(), c, kTodayTitle);
}

Outcome DayRules::ringWeekdayToday(int weekday) {
    if (weekday < 1 || weekday > 7)
        return refuse(QStringLiteral("วันในสัปดาห์ต้องเป็น 1 (จันทร์) ถึง 7 (อาทิตย์)"));
    TodayChanges c = todayChanges();
    c.noBells = false;
    c.weekday = weekday;
    return commit("another weekday's program today", calendar(), c, kTodayTitle);
}

Outcome DayRules::shiftRemainingToday(int minutes) {
    if (minutes == 0 || qAbs(minutes) > calendarlimits::kMaxShiftMinutes)
        return refuse(QStringLiteral("เลื่อนออดได้ครั้งละ 1 ถึง %1 นาที (เร็วขึ้นหรือช้าลง)")
                          .arg(calendarlimits::kMaxShiftMinutes));
    const QDateTime now = clock_.now();
    const int nowSeconds = secondsOf(now.time());
    const DayPlan plan = today();
    TodayChanges c = todayChanges();
    if (c.shifts.size() + c.skippedPeriods.size() >= calendarlimits::kMaxTodayChanges)
        return refuse(QStringLiteral("วันนี้เปลี่ยนไปหลายครั้งแล้ว กรุณายกเลิกบางรายการก่อน"));
    bool any = false;
    for (int n = 1; n <= 24; ++n) {
        const std::optional<int> t = plan.seconds(n);
        if (!t || *t <= nowSeconds) continue;
        any = true;
        const int moved = *t + minutes * 60;
        if (moved < 0 || moved >= kDaySeconds)
            return refuse(QStringLiteral("%1 ทำให้ออดเวลา %2 เลยเที่ยงคืน\nกรุณาเลื่อนให้น้อยลง")
                              .arg(shiftText(minutes), minutesText(*t)));
    }
    if (!any) return refuse(QStringLiteral("วันนี้ไม่มีออดเหลือแล้ว"));
    c.shifts.append({QTime(0, 0).addSecs(nowSeconds), minutes});
    return commit("today's remaining bells shifted", calendar(), c, kTodayTitle);
}

Outcome DayRules::skipNextBell() {
    const DayPlan plan = today();
    const std::optional<int> next = plan.nextBell(secondsNow());
    if (!next) return refuse(QStringLiteral("วันนี้ไม่มีออดเหลือแล้ว"));
    TodayChanges c = todayChanges();
    if (c.shifts.size() + c.skippedPeriods.size() >= calendarlimits::kMaxTodayChanges)
        return refuse(QStringLiteral("วันนี้เปลี่ยนไปหลายครั้งแล้ว กรุณายกเลิกบางรายการก่อน"));
    // Skips of another program (today's program was changed since) are over.
    if (c.skipApplication != plan.application) c.skippedPeriods.clear();
    c.skipApplication = plan.application;
    for (int n = 1; n <= 24; ++n)
        if (plan.seconds(n) == next) c.skippedPeriods.append(n);
    return commit("the next bell skipped", calendar(), c, kTodayTitle);
}

Outcome DayRules::takeBackToday() {
    TodayChanges c = todayChanges();
    if (!c.noBells && c.weekday == 0 && c.shifts.isEmpty() && c.skippedPeriods.isEmpty())
        return refuse(QStringLiteral("วันนี้ไม่มีการเปลี่ยนแปลงให้ยกเลิก"));
    // What rang before a change stays rung.
    c.noBells = false;
    c.weekday = 0;
    c.shifts.clear();
    c.skippedPeriods.clear();
    c.skipApplication.clear();
    return commit("today's changes taken back", calendar(), c, kTodayTitle);
}

QList<DayRules::Undo> DayRules::changesInForce() {
    const DayPlan plan = today();
    const TodayChanges& c = plan.today;
    QList<Undo> out;
    const auto undo = [this](const char* what, std::function<void(TodayChanges&)> change) {
        return [this, what, change] {
            TodayChanges t = todayChanges();
            change(t);
            return commit(what, calendar(), t, kTodayTitle);
        };
    };
    if (c.noBells)
        out.append({QStringLiteral("ยกเลิก: งดออดทั้งวัน"),
                    undo("no bells today taken back", [](TodayChanges& t) { t.noBells = false; })});
    if (c.weekday != 0)
        out.append({QStringLiteral("ยกเลิก: ใช้ตารางออด") + weekdayText(c.weekday),
                    undo("today's weekday taken back", [](TodayChanges& t) { t.weekday = 0; })});
    if (!plan.noBells) {
        for (const TodayChanges::Shift& s : c.shifts)
            out.append({QStringLiteral("ยกเลิก: ออดหลัง %1 %2")
                            .arg(clockMinutesText(s.from), shiftText(s.minutes)),
                        undo("a shift of today taken back",
                             [s](TodayChanges& t) { t.shifts.removeOne(s); })});
        for (const DayPlan::Skip& s : plan.skips)
            out.append({QStringLiteral("ยกเลิก: ข้ามออด ") + minutesText(s.seconds),
                        undo("a skipped bell taken back", [s](TodayChanges& t) {
                            for (int n : s.periods) t.skippedPeriods.removeAll(n);
                        })});
    }
    // A calendar entry is taken back for today only: today rings its own program.
    if (plan.entry && c.weekday == 0 && !c.noBells)
        out.append({QStringLiteral("ตีออดตามปกติวันนี้ (ไม่ใช้ \"%1\")").arg(plan.entry->name),
                    [this, day = plan.ownDay] { return ringWeekdayToday(day); }});
    return out;
}

}  // namespace tavirin
