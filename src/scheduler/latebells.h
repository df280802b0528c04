#pragma once

#include "calendar/dayplan.h"
#include "platform/clock.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace tavirin {

class ProgramStore;

// A trigger second that no tick of the scheduler saw: the tick was held up (a busy machine,
// a player slow to exit, a paused virtual machine), the machine slept, the clock jumped, or
// another bell was running.
struct UnseenTrigger {
    int period = 0;  // 1..24
    QDateTime due;   // when it should have rung
};

// Why no tick saw a stretch of time, as far as the machine's clocks tell.
struct GapCause {
    enum class Kind { Unknown, Stall, ClockJump, Suspend };
    Kind kind = Kind::Unknown;
    qint64 ms = 0;  // how long the program was held up or asleep, or how far the clock jumped
};

// What becomes of the unseen triggers of one tick.
struct LateBellDecision {
    enum class Reason {
        RingsLate,         // rung now, late
        DuringRun,         // fell while another bell ran: not rung, as designed
        AnotherBellRings,  // a bell rings now (on time, or a later one rings late)
        TooLate,           // more than the grace ago
    };
    struct Entry {
        UnseenTrigger trigger;
        Reason reason;
    };
    QDateTime ringLate;  // the due second of the trigger to fire now; invalid for none
    QList<Entry> entries;
    GapCause cause;
    qint64 graceMs = 0;
    QDateTime now;
};

// The late-bell policy: the one place that decides whether an unseen trigger still rings or
// is only reported. The scheduler finds the unseen triggers and does what this says.
namespace latebells {

constexpr int kDefaultGraceSeconds = 60;
constexpr int kMaxGraceSeconds = 3600;

// The global late_grace_seconds: how late a trigger no tick saw may still ring. Absent: 60;
// not a whole number of seconds from 0 to 3600: 60, and a log line.
qint64 graceMs(const ProgramStore& store);

// True when no tick saw a whole second between `lastTick` and `now`: only then can a trigger
// have gone unseen (cheap; the tick asks it ten times a second).
bool skipsASecond(const QDateTime& lastTick, const QDateTime& now);

// The due seconds of `triggers` on `date` that fall after the second of `lastTick` and before
// the second of `now`: the ones no tick saw.
QList<UnseenTrigger> unseen(const DueTimes& triggers, QDate date, const QDateTime& lastTick,
                            const QDateTime& now);

// From the wall clock and the elapsed clocks at the last tick and now: the machine slept
// (BOOTTIME ran on while MONOTONIC stood), the clock was set (the wall clock moved more than
// MONOTONIC), or the program was held up (all moved alike).
GapCause cause(const QDateTime& lastTick, const ElapsedClocks& then, const QDateTime& now,
               const ElapsedClocks& elapsedNow);

// `duringRun`: the tick was stopped for a bell or announce-now since `lastTick`;
// `ringsNow`: a trigger equals the clock now. The latest trigger within the grace rings.
LateBellDecision decide(const QList<UnseenTrigger>& unseen, const QDateTime& now, bool duringRun,
                        bool ringsNow, qint64 graceMs, const GapCause& cause = {});

// Why, in plain words ("it fell during another bell", "it is 312 s late, more than the 60 s
// allowed: the clock was set forward by 300 s", "rung 1.5 s late: ...") and as the journal's
// short code (journal::kDuringBell, kStall, ...).
QString detail(const LateBellDecision& decision, const LateBellDecision::Entry& entry);
QString reasonCode(const LateBellDecision& decision, const LateBellDecision::Entry& entry);

// One log line per unseen trigger.
void report(const LateBellDecision& decision, const QDateTime& lastTick);

}  // namespace latebells
}  // namespace tavirin
