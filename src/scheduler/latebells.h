#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace tavirin {

// A trigger second that no tick of the scheduler saw: the tick was held up (a busy machine,
// a player slow to exit, a paused virtual machine), the machine slept, the clock jumped, or
// another bell was running.
struct UnseenTrigger {
    int period = 0;  // 1..24
    QString text;    // the trigger string, "hh:mm:ss"
    QDateTime due;   // when it should have rung
};

// What becomes of the unseen triggers of one tick.
struct LateBellDecision {
    enum class Reason {
        RingsLate,         // rung now, late
        DuringRun,         // fell while another bell ran: not rung, as designed
        AnotherBellRings,  // a bell rings now (on time, or a later one rings late)
        TooLate,           // more than kMaxLateMs ago
    };
    struct Entry {
        UnseenTrigger trigger;
        Reason reason;
    };
    QString ringLate;  // the trigger string to fire now; "" for none
    QList<Entry> entries;
};

// The late-bell policy: the one place that decides whether an unseen trigger still rings or
// is only reported. The scheduler finds the unseen triggers and does what this says.
namespace latebells {

constexpr qint64 kMaxLateMs = 60 * 1000;

// True when no tick saw a whole second between `lastTick` and `now`: only then can a trigger
// have gone unseen (cheap; the tick asks it ten times a second).
bool skipsASecond(const QDateTime& lastTick, const QDateTime& now);

// The trigger seconds of `triggers` (one string per period, in period order) on `date` that
// fall after the second of `lastTick` and before the second of `now`: the ones no tick saw.
QList<UnseenTrigger> unseen(const QStringList& triggers, QDate date, const QDateTime& lastTick,
                            const QDateTime& now);

// `duringRun`: the tick was stopped for a bell or announce-now since `lastTick`;
// `ringsNow`: a trigger equals the clock now.
LateBellDecision decide(const QList<UnseenTrigger>& unseen, const QDateTime& now, bool duringRun,
                        bool ringsNow);

// One log line per unseen trigger.
void report(const LateBellDecision& decision, const QDateTime& lastTick, const QDateTime& now);

}  // namespace latebells
}  // namespace tavirin
