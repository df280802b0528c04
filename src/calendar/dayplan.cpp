#include "calendar/dayplan.h"

#include "platform/clock.h"
#include "store/keylayout.h"
#include "store/programstore.h"

#include <algorithm>

namespace tavirin {

namespace {

constexpr int kDaySeconds = 24 * 60 * 60;

int twoDigits(const QString& s) {
    if (s.size() != 2 || !s[0].isDigit() || !s[1].isDigit()) return -1;
    return s[0].digitValue() * 10 + s[1].digitValue();
}

const QString kTodayOnly = QStringLiteral(" (เฉพาะวันนี้)");

}  // namespace

std::optional<int> periodSeconds(const Period& p) {
    const int h = twoDigits(p.hour), m = twoDigits(p.minute);
    if (h < 0 || h > 23 || m < 0 || m > 59) return std::nullopt;
    return h * 3600 + m * 60;
}

QString minutesText(int seconds) {
    return clockMinutesText(QTime(0, 0).addSecs(seconds));
}

AfterBell afterBellOf(const QString& stored) {
    if (stored.size() == 1) switch (stored.at(0).unicode()) {
            case u'0':
                return AfterBell::AmplifierOff;
            case u'1':
                return AfterBell::Radio1;
            case u'2':
                return AfterBell::Radio2;
            case u'3':
                return AfterBell::Radio3;
            case u'4':
                return AfterBell::Music;
            default:
                break;
        }
    return AfterBell::Unknown;
}

QString afterBellText(AfterBell a) {
    switch (a) {
        case AfterBell::AmplifierOff:
            return QStringLiteral("0");
        case AfterBell::Radio1:
            return QStringLiteral("1");
        case AfterBell::Radio2:
            return QStringLiteral("2");
        case AfterBell::Radio3:
            return QStringLiteral("3");
        case AfterBell::Music:
            return QStringLiteral("4");
        case AfterBell::Unknown:
            break;
    }
    return {};
}

QString PeriodPlan::caption() const {
    switch (state) {
        case State::Rings:
            return clockText(due);
        case State::Quiet:
            return kQuietTrigger;
        case State::NotInUse:
            break;
    }
    return kNotInUseTrigger;
}

QStringList DayPlan::triggers() const {
    QStringList t;
    for (const PeriodPlan& p : periods) t << p.caption();
    return t;
}

DueTimes DayPlan::dueTimes() const {
    DueTimes d;
    for (std::size_t i = 0; i < periods.size(); ++i) d[i] = periods[i].due;
    return d;
}

QString DayPlan::shutdownCaption() const {
    if (!shutdownAt.isValid()) return QStringLiteral("no:no:00");
    return clockText(shutdownAt);
}

std::optional<int> DayPlan::seconds(int n) const {
    const PeriodPlan& p = periods.at(std::size_t(n - 1));
    if (!p.rings()) return std::nullopt;
    return p.due.msecsSinceStartOfDay() / 1000;
}

std::optional<int> DayPlan::nextBell(int afterSeconds) const {
    std::optional<int> next;
    for (int n = 1; n <= 24; ++n)
        if (const std::optional<int> t = seconds(n);
            t && *t > afterSeconds && (!next || *t < *next))
            next = t;
    return next;
}

std::array<DayProgram, 7> readAllDayPrograms(const ProgramStore& store) {
    std::array<DayProgram, 7> programs;
    for (int d = 1; d <= 7; ++d) programs[std::size_t(d - 1)] = readDayProgram(store, d);
    return programs;
}

DayPlan planDay(const ProgramStore& store, QDate date, int ownDay, QTime now) {
    return planDay(readAllDayPrograms(store), readCalendar(store), readTodayChanges(store, date),
                   date, ownDay, now);
}

DayPlan planDay(const std::array<DayProgram, 7>& programs, const Calendar& calendar,
                const TodayChanges& todayIn, QDate date, int ownDay, QTime now) {
    DayPlan plan;
    plan.date = date;
    plan.ownDay = ownDay;
    const TodayChanges today = todayIn.date == date && date.isValid() ? todayIn : TodayChanges{};

    // The order of precedence: a change for today only, then the calendar's ruling entry.
    const QList<qsizetype> on = entriesOn(calendar, date);
    const bool todayRules = today.noBells || today.weekday != 0;
    for (qsizetype i = 0; i < on.size(); ++i) {
        if (i == 0 && !todayRules)
            plan.entry = calendar[on[i]];
        else
            plan.overruled.append(calendar[on[i]]);
    }

    int calendarShift = 0;
    QString quietReason;
    QuietBell::Cause quietCause = QuietBell::Cause::CalendarEntry;
    plan.programDay = ownDay;
    if (today.noBells) {
        plan.noBells = true;
        quietReason = QStringLiteral("งดออดทั้งวัน") + kTodayOnly;
        quietCause = QuietBell::Cause::TodayChange;
        plan.summary << quietReason;
    } else if (today.weekday != 0) {
        plan.programDay = today.weekday;
        if (today.weekday == ownDay && !plan.overruled.isEmpty())
            plan.summary << QStringLiteral("ตีออดตามปกติแทน ") + entryTitle(plan.overruled.first()) +
                                kTodayOnly;
        else
            plan.summary << QStringLiteral("ใช้ตารางออด") + weekdayText(today.weekday) + kTodayOnly;
    } else if (plan.entry) {
        const CalendarEntry& e = *plan.entry;
        plan.summary << entryTitle(e) + QStringLiteral(" — ") + ruleText(e);
        if (e.kind == RuleKind::NoBells) {
            plan.noBells = true;
            quietReason = entryTitle(e);
        } else if (e.kind == RuleKind::OtherWeekday) {
            plan.programDay = e.weekday;
        } else {
            calendarShift = e.minutes;
        }
    }
    plan.application = keys::dayApplication(plan.programDay);
    const DayProgram empty;
    const DayProgram& program = plan.programDay >= 1 && plan.programDay <= 7
                                    ? programs[std::size_t(plan.programDay - 1)]
                                    : empty;
    plan.shutdownAt = shutdownTime(program);

    const bool skipsHere = today.skipApplication == plan.application;
    const int nowSeconds = now.isValid() ? now.msecsSinceStartOfDay() / 1000 : -1;
    for (int n = 1; n <= 24; ++n) {
        PeriodPlan& pp = plan.periods[std::size_t(n - 1)];
        pp.application = plan.application;
        const Period& stored = program.period(n);
        pp.afterBell = afterBellOf(stored.afterBellMedia);
        if (stored.enabled == QLatin1String("1")) pp.addOn = stored.soundFile;
        const std::optional<int> base = periodSeconds(stored);
        if (!base) continue;  // not in use
        pp.base = minutesText(*base);
        const auto quiet = [&](int at, QuietBell::Cause cause, const QString& reason) {
            pp.state = PeriodPlan::State::Quiet;
            pp.quietCause = cause;
            pp.note = minutesText(at) + QStringLiteral(" — ") + reason;
            plan.quiet.append({n, QTime(0, 0).addSecs(at), cause, reason});
        };
        if (plan.noBells) {
            quiet(*base, quietCause, quietReason);
            continue;
        }
        // Each shift moves what the board showed when it was made: the calendar's the whole
        // day, a shift of today's the bells after the moment it was made.
        int t = *base + calendarShift * 60;
        for (const TodayChanges::Shift& s : today.shifts)
            if (t > s.from.msecsSinceStartOfDay() / 1000) t += s.minutes * 60;
        if (t < 0 || t >= kDaySeconds) {
            quiet(*base, QuietBell::Cause::PastMidnight, QStringLiteral("เลื่อนแล้วเลยเที่ยงคืน"));
            continue;
        }
        const QTime due = QTime(0, 0).addSecs(t);
        const QString trigger = clockText(due);
        // A skipped bell is over once its time has passed.
        if (skipsHere && today.skippedPeriods.contains(n) && (nowSeconds < 0 || t >= nowSeconds)) {
            quiet(t, QuietBell::Cause::TodayChange, QStringLiteral("ข้ามออดนี้") + kTodayOnly);
            auto skip = std::find_if(plan.skips.begin(), plan.skips.end(),
                                     [&](const DayPlan::Skip& s) { return s.seconds == t; });
            if (skip == plan.skips.end()) skip = plan.skips.insert(plan.skips.end(), {t, {}});
            skip->periods.append(n);
            continue;
        }
        const auto rang = std::find_if(today.rang.cbegin(), today.rang.cend(), [&](const auto& r) {
            return r.application == plan.application && r.period == n && r.base == pp.base &&
                   r.at != trigger;
        });
        if (rang != today.rang.cend()) {
            quiet(t, QuietBell::Cause::AlreadyRang,
                  QStringLiteral("ดังไปแล้ววันนี้ เวลา ") + rang->at.left(5));
            continue;
        }
        pp.state = PeriodPlan::State::Rings;
        pp.due = due;
        if (t != *base) pp.note = QStringLiteral("เลื่อนจาก ") + pp.base;
    }
    std::stable_sort(plan.quiet.begin(), plan.quiet.end(),
                     [](const QuietBell& a, const QuietBell& b) { return a.at < b.at; });

    // The day's changes in force, as the main window lists them.
    plan.today = today;
    if (!plan.noBells) {
        for (const TodayChanges::Shift& s : today.shifts)
            plan.summary << QStringLiteral("ออดหลัง %1 %2")
                                    .arg(s.from.toString(QStringLiteral("HH:mm")),
                                         shiftText(s.minutes)) +
                                kTodayOnly;
        std::sort(
            plan.skips.begin(), plan.skips.end(),
            [](const DayPlan::Skip& a, const DayPlan::Skip& b) { return a.seconds < b.seconds; });
        for (const DayPlan::Skip& s : std::as_const(plan.skips))
            plan.summary << QStringLiteral("ข้ามออด ") + minutesText(s.seconds) + kTodayOnly;
        if (!plan.skips.isEmpty()) plan.refreshAt = QTime(0, 0).addSecs(plan.skips.first().seconds);
    }
    return plan;
}

}  // namespace tavirin
