#include "platform/fake/fakertcwake.h"

namespace tavirin {

void FakeRtcWake::set(const QDateTime& when, Done done) {
    calls.append(Call{false, when});
    pending_.append({calls.last(), std::move(done)});
    if (answerAtOnce) answer();
}

void FakeRtcWake::clear(Done done) {
    calls.append(Call{true, {}});
    pending_.append({calls.last(), std::move(done)});
    if (answerAtOnce) answer();
}

void FakeRtcWake::answer() {
    while (!pending_.isEmpty()) {
        const Pending p = pending_.takeFirst();
        RtcWakeAnswer a;
        if (!refusal.isEmpty()) {
            a.result = Result::failure(refusal);
        } else {
            // as the helper does: cleared first, then the new time, then read back
            alarm = QDateTime();
            if (!p.call.clear && p.call.when.isValid() &&
                (!latestTaken.isValid() || p.call.when <= latestTaken))
                alarm = QDateTime::fromSecsSinceEpoch(p.call.when.toSecsSinceEpoch(), Qt::UTC);
            a.readBack = true;
            a.alarm = alarm;
            const bool taken = p.call.clear ? !alarm.isValid() : alarm.isValid();
            if (!taken)
                a.result = Result::failure(QStringLiteral("the RTC did not take the alarm"));
        }
        if (p.done) p.done(a);
    }
}

}  // namespace tavirin
