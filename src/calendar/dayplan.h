#pragma once

#include "calendar/calendar.h"
#include "store/dayprogram.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <optional>

namespace tavirin {

class ProgramStore;

// A bell of the day that does not ring, and why. This is what the bell journal records as
// "not rung because of the calendar" (never as missed).
struct QuietBell {
    enum class Cause {
        CalendarEntry,  // a calendar entry without bells
        TodayChange,    // no bells today, or the skipped next bell
        PastMidnight,   // a shift moved it out of its day
        AlreadyRang,    // a change of the day moved it after it had rung
    };
    int period = 0;
    QTime at;  // when it would have rung, to the second
    Cause cause = Cause::CalendarEntry;
    QString reason;  // Thai, as the operator reads it: "วันหยุด วันรัฐธรรมนูญ"
};

// What a period's stored after-bell choice ("0".."4") hands the PA to.
enum class AfterBell {
    AmplifierOff,  // "0"
    Radio1,        // "1".."3": that internet radio station
    Radio2,
    Radio3,
    Music,    // "4": the MP3 player
    Unknown,  // any other text: nothing is started and the amplifier stays as it is
};
AfterBell afterBellOf(const QString& stored);
// The stored text again ("" for Unknown).
QString afterBellText(AfterBell a);

// One period of the day as it really rings.
struct PeriodPlan {
    enum class State {
        NotInUse,  // its hour is "no" or not a time of day
        Rings,     // at `due`
        Quiet,     // in use, but kept quiet today: `quietCause` says why
    };
    QString application;  // the program the period comes from
    QString base;         // its time there, "hh:mm"; "" when the period is not in use
    State state = State::NotInUse;
    QTime due;  // when it rings (State::Rings), whole seconds; invalid otherwise
    QuietBell::Cause quietCause = QuietBell::Cause::CalendarEntry;
    AfterBell afterBell = AfterBell::AmplifierOff;
    QString addOn;  // the add-on sound's file when its box is ticked; "" for none
    QString note;   // Thai, for the board's tool tip: why it is quiet or moved

    bool rings() const { return state == State::Rings; }
    // The time board's caption: "hh:mm:ss", " ไม่ใช้งาน " or " งดออด ".
    QString caption() const;
};

// The due second of each period (periods[0] is period 1); invalid where it does not ring.
using DueTimes = std::array<QTime, 24>;

// What a date really rings: the stored day programs under the calendar and the day's
// changes. Arming puts it on the board; nothing of it is ever written back to a program.
struct DayPlan {
    QDate date;
    int ownDay = 0;       // the date's weekday, 1 Monday .. 7 Sunday
    int programDay = 0;   // whose program rings, or would ring on a day without bells
    QString application;  // of programDay
    bool noBells = false;
    std::array<PeriodPlan, 24> periods;
    QTime shutdownAt;                    // the automatic shutdown's time; invalid for none
    QList<QuietBell> quiet;              // in the order of their times
    std::optional<CalendarEntry> entry;  // the calendar entry that rules the date
    QList<CalendarEntry> overruled;      // entries on the date that give way
    TodayChanges today;                  // the day's changes, as stored
    struct Skip {
        int seconds = 0;     // the skipped bell's time
        QList<int> periods;  // the periods ringing then
    };
    QList<Skip> skips;    // skipped bells still to come
    QStringList summary;  // Thai, one item per rule in force; empty on an ordinary day
    QTime refreshAt;      // a skipped bell's time: once it has passed, arm again

    // The 24 captions of the time board.
    QStringList triggers() const;
    DueTimes dueTimes() const;
    // The shutdown's caption: "hh:mm:00", "no:no:00" when none.
    QString shutdownCaption() const;
    // Seconds of the day of period n's due time (1..24); nothing when it does not ring.
    std::optional<int> seconds(int n) const;
    // The time of the first bell that rings after `afterSeconds`; nothing when none is left.
    std::optional<int> nextBell(int afterSeconds) const;
};

// The marker of a quiet period on the board; never equal to a clock text.
inline const QString kQuietTrigger = QStringLiteral(" งดออด ");
inline const QString kNotInUseTrigger = QStringLiteral(" ไม่ใช้งาน ");

// The plan of `date`. `ownDay` is the date's weekday (the caller's, for a clock that cannot
// name it); `programs[d - 1]` is day d's stored program; `now` the time of day when the plan
// is for today (a skipped bell whose time has passed is over), invalid for a whole day.
DayPlan planDay(const std::array<DayProgram, 7>& programs, const Calendar& calendar,
                const TodayChanges& today, QDate date, int ownDay, QTime now = {});
// The same from the store.
DayPlan planDay(const ProgramStore& store, QDate date, int ownDay, QTime now = {});
std::array<DayProgram, 7> readAllDayPrograms(const ProgramStore& store);

// Seconds of the day a period rings at in its program; nothing when its hour is "no" or its
// time is not a time of day ("24", "7", "") - arming puts such a period out of use.
std::optional<int> periodSeconds(const Period& period);
// "hh:mm" of seconds of the day.
QString minutesText(int seconds);

}  // namespace tavirin
