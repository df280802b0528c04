// The one picture of the program, put together from what the core holds when someone asks.
#include "core/bellcore.h"

#include "calendar/calendar.h"
#include "core/bellcoreparts.h"
#include "journal/journal.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "platform/clock.h"
#include "scheduler/arming.h"
#include "scheduler/bellscheduler.h"
#include "scheduler/talkingclock.h"
#include "status/dayreport.h"
#include "status/selftest.h"
#include "store/soundlibrary.h"

namespace tavirin {

CoreState BellCore::state() const {
    const Parts& p = *p_;
    CoreState s;
    s.clock = p.a.clock.now();
    const DayPlan& plan = p.arming.plan();
    s.date = plan.date;
    s.application = plan.application;
    s.programDay = plan.programDay;
    s.noBells = plan.noBells;
    s.changes = plan.summary;
    if (plan.entry) s.calendarEntry = entryTitle(*plan.entry);
    s.shutdownAt = plan.shutdownAt;

    // The journal's word on each period today: the last record of it counts.
    // The day's status holds today's rows already: no read of the journal per picture.
    QHash<int, BellRecord> recorded;
    QList<BellRecord> read;
    const QList<BellRecord>* rows = p.dayStatus.bellsOf(plan.date);
    if (!rows && p.a.journal && plan.date.isValid())
        rows = &(read = p.a.journal->bellsOn(plan.date));
    if (rows)
        for (const BellRecord& b : *rows)
            if (b.kind == journal::kScheduled && b.period) recorded.insert(*b.period, b);

    const bool today = plan.date == s.clock.date();
    const QTime now = s.clock.time();
    for (int n = 1; n <= 24; ++n) {
        const PeriodPlan& pp = plan.periods[std::size_t(n - 1)];
        CoreState::TodayBell b{n, pp.state, pp.due, pp.caption(), pp.note, {}, {}};
        if (const auto it = recorded.constFind(n); it != recorded.constEnd()) {
            b.outcome = it->outcome;
            b.reason = it->reason;
        }
        s.bells.append(b);
        // The next bell: the highest-numbered period of the earliest time still to come.
        if (today && pp.rings() && pp.due > now &&
            (!s.next || pp.due < s.next->at || (pp.due == s.next->at && n > s.next->period)))
            s.next = CoreState::Next{
                pp.due, n, pp.addOn.isEmpty() ? p.a.library.systemSound() : pp.addOn, pp.afterBell};
    }

    s.bell = p.scheduler.progress();
    s.relayOn = p.relay.isOn();
    switch (p.media.playing()) {
        case MediaSources::Playing::Music:
            s.media = CoreState::Media::Music;
            break;
        case MediaSources::Playing::Radio:
            s.media = CoreState::Media::Radio;
            s.station = p.media.station();
            break;
        case MediaSources::Playing::None:
            break;
    }
    if (const std::optional<Emergency::InForce>& f = p.emergency.inForce()) {
        s.emergency = CoreState::EmergencyState{f->kind.id,
                                                f->kind.name,
                                                f->since,
                                                f->from,
                                                emergencyPhaseName(f->phase),
                                                f->round,
                                                f->kind.holdsBells,
                                                f->amplifierMayBeOff,
                                                f->noDevice};
    }
    if (const SelfTestReport& r = p.selfTest.last(); r.at.isValid()) {
        CoreState::Check c{r.at, !r.failed(), {}};
        for (const CheckResult& check : r.checks)
            if (check.status == CheckResult::Status::Failed) c.failed << check.item;
        s.selfTest = c;
    }
    return s;
}

}  // namespace tavirin
