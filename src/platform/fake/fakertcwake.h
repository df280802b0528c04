#pragma once

#include "platform/wakealarm.h"

#include <QList>

namespace tavirin {

// An RTC the test looks into: it records every request, holds the alarm it was given and
// answers at once or when the test says so. `refusal` makes every request fail with that
// reason and leave the alarm as it was (no RTC, pkexec not allowed); `latestTaken` stands
// for an RTC that takes no alarm later than that moment: it then holds none, as the helper
// reads back from such a clock.
class FakeRtcWake final : public RtcWake {
public:
    struct Call {
        bool clear = false;
        QDateTime when;  // the time asked for (set)
    };

    void set(const QDateTime& when, Done done) override;
    void clear(Done done) override;
    // Answers every request still open, in order.
    void answer();

    QList<Call> calls;
    QDateTime alarm;  // what the RTC holds; invalid: none
    bool answerAtOnce = true;
    QString refusal;
    QDateTime latestTaken;  // invalid: any time is taken

private:
    struct Pending {
        Call call;
        Done done;
    };
    QList<Pending> pending_;
};

}  // namespace tavirin
