#pragma once

#include "calendar/dayplan.h"
#include "journal/journal.h"
#include "platform/clock.h"
#include "scheduler/latebells.h"

#include <QStringList>

namespace tavirin {

struct BellRun;
struct RelayOutcome;

// What the scheduler tells the bell journal: a bell fired, how it ended, a bell not rung
// and why, that it is watching, the new day, the bells missed while it was not running.
// Without a journal it does nothing.
class BellRecorder {
public:
    BellRecorder(Journal* journal, const Clock& clock) : journal_(journal), clock_(clock) {}

    // A bell fired (kind journal::kScheduled or kAnnounce), its relay switched. A late one
    // carries its lateness and why it was late.
    void fired(const QString& kind, std::optional<int> period, const QDateTime& due,
               const RelayOutcome& relay, std::optional<qint64> lateMs = std::nullopt,
               const QString& reason = QString(), const QString& detail = QString());
    // The bell that fired last is over.
    void ended(const BellRun& run);
    // A trigger that was not rung, as the late-bell policy decided.
    void notRung(const LateBellDecision& decision, const LateBellDecision::Entry& entry);
    // A bell of `date` that the calendar or a change of the day keeps quiet: skipped, with
    // the entry or change as its reason.
    void quiet(const QuietBell& bell, QDate date);
    // A bell an emergency keeps quiet: skipped, reason journal::kEmergency.
    void held(int period, const QDateTime& due, const QString& why);

    // Once a minute while watching (and on a new day, and the first time).
    void watching(const QDateTime& now, const ElapsedClocks& elapsed);
    // The change of day: old rows go (once a day, however often it is called).
    void newDay(const QDateTime& now);
    // At start-up: today's bells due before now and after the last heartbeat were missed
    // because the program was not running. `triggers` is today's armed table.
    void startUp(const DueTimes& triggers, const QDateTime& now);

    static constexpr qint64 kHeartbeatMs = 60 * 1000;

private:
    Journal* journal_;
    const Clock& clock_;
    BellRecord current_;
    qint64 lastBeatMs_ = -1;  // monotonic
    QDate lastBeatDate_;
    QDate purged_;
};

}  // namespace tavirin
