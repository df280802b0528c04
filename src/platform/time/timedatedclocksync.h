#pragma once

#include "platform/clocksync.h"

namespace tavirin {

// ClockSync through systemd-timedated: the NTPSynchronized property of
// org.freedesktop.timedate1 on the system bus. No system bus, or no timedated on it, is
// "unknown", never a failure.
class TimedatedClockSync final : public ClockSync {
public:
    static constexpr int kCallLimitMs = 3000;

    // `busAddress` "" is the system bus; tests give a bus of their own.
    explicit TimedatedClockSync(QString busAddress = QString());
    Answer query() override;

private:
    QString busAddress_;
};

}  // namespace tavirin
