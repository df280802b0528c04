#pragma once

#include "platform/result.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>

namespace tavirin {

class ProgramStore;

// What a calendar entry does to the days it covers.
enum class RuleKind {
    NoBells,       // a holiday, a term break
    OtherWeekday,  // ring the program of another weekday (an exam day rung as a Saturday)
    Shift,         // every bell of the day earlier or later by some minutes
};

// One entry of the school's calendar: a date range with a Thai name and one rule.
struct CalendarEntry {
    QDate start;
    QDate end;  // inclusive, never before start
    QString name;
    RuleKind kind = RuleKind::NoBells;
    int weekday = 0;  // OtherWeekday: 1 Monday .. 7 Sunday
    int minutes = 0;  // Shift: -kMaxShiftMinutes .. kMaxShiftMinutes, never 0

    bool covers(QDate d) const { return start <= d && d <= end; }
    qint64 days() const { return start.daysTo(end) + 1; }
    bool operator==(const CalendarEntry&) const = default;
};

// The entries in the order they were added: on a day two entries of the same length cover,
// the later one rules.
using Calendar = QList<CalendarEntry>;

// Changes made for one day only. Each is stored with the date it is for, so it is over by
// itself when that date is: at midnight, or at the next start on a later day.
struct TodayChanges {
    struct Shift {
        QTime from;       // the bells after this time move (those before have rung)
        int minutes = 0;  // signed
        bool operator==(const Shift&) const = default;
    };
    // A bell that rang before a change of the day moved it to a time still to come: it does
    // not ring a second time.
    struct Rang {
        QString application;  // the program it rang from
        int period = 0;
        QString base;  // its time in that program, "hh:mm"
        QString at;    // the trigger it rang at, "hh:mm:ss"
        bool operator==(const Rang&) const = default;
    };

    QDate date;                 // the day these are for; invalid: none
    bool noBells = false;       // no bells today
    int weekday = 0;            // ring this weekday's program today (0: no such change)
    QList<Shift> shifts;        // in the order made; each moves what the board showed then
    QString skipApplication;    // the program whose periods are skipped
    QList<int> skippedPeriods;  // "skip the next bell": each skips one bell (all periods of it)
    QList<Rang> rang;

    bool isEmpty() const {
        return !noBells && weekday == 0 && shifts.isEmpty() && skippedPeriods.isEmpty();
    }
    bool operator==(const TodayChanges&) const = default;
};

namespace calendarlimits {
// Entries a calendar holds at most; an import that would go beyond is refused.
inline constexpr int kMaxEntries = 1000;
// The longest range of one entry (a school year's longest break fits).
inline constexpr int kMaxDays = 366;
inline constexpr int kMaxShiftMinutes = 180;
inline constexpr int kMaxNameLength = 200;
// New entries (by hand, holidays, imported) lie between 1 January of last year and
// 31 December of kYearsAhead years from now: a date far away is a mistake.
inline constexpr int kYearsAhead = 5;
// Shifts and skipped bells a day takes at most.
inline constexpr int kMaxTodayChanges = 24;
}  // namespace calendarlimits

// The application name of the calendar in the store.
inline const QString kCalendarApplication = QStringLiteral("tavirin_calendar");

// The calendar as stored; an entry that cannot be read is left out and logged. A store
// without any reads as an empty calendar.
Calendar readCalendar(const ProgramStore& store);
// The changes stored for `date` (changes stored for another date are over: not returned).
TodayChanges readTodayChanges(const ProgramStore& store, QDate date);

// Writes the calendar, in one all-or-nothing burst (nested in an open burst, the caller's
// decides). A failed write leaves the store as it was.
Result writeCalendar(ProgramStore& store, const Calendar& calendar);
Result writeTodayChanges(ProgramStore& store, const TodayChanges& changes);

// One entry as one line of text, "start|end|kind|argument|name" (the store's and the backup's
// form), and back; nothing for a text that is not one (checkEntry without the years).
QString encodeEntry(const CalendarEntry& entry);
std::optional<CalendarEntry> decodeEntry(const QString& text);

// The earliest and latest date a new entry may have, seen from `today`.
QDate firstAllowedDate(QDate today);
QDate lastAllowedDate(QDate today);

// What is wrong with an entry, in Thai for the operator; "" when it is fine. `today` decides
// the allowed years; an invalid `today` checks everything but the years (a restored backup).
QString checkEntry(const CalendarEntry& entry, QDate today);

// Thai texts.
QString thaiDate(QDate d);                  // "10 ธ.ค. 2569" (Buddhist year)
QString thaiRange(const CalendarEntry& e);  // "13 เม.ย. 2569 – 15 เม.ย. 2569"
QString ruleText(const CalendarEntry& e);  // "ไม่มีออด", "ใช้ตารางออดวันเสาร์", ...
QString entryTitle(const CalendarEntry& e);  // "วันหยุด วันรัฐธรรมนูญ", "สอบกลางภาค"
QString shiftText(int minutes);    // "เลื่อนออด +10 นาที"
QString weekdayText(int weekday);  // "วันเสาร์"

// The entry that rules `date`: of those covering it, the shortest; of equal length, the one
// added last. nullopt when none covers it.
std::optional<qsizetype> rulingEntry(const Calendar& calendar, QDate date);
// Every entry covering `date`, the ruling one first, then in the order they give way.
QList<qsizetype> entriesOn(const Calendar& calendar, QDate date);

}  // namespace tavirin
