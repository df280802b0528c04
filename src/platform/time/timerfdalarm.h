#pragma once

#include "platform/wallclockalarm.h"

#include <memory>

class QSocketNotifier;

namespace tavirin {

// WallClockAlarm on a Linux timerfd: an absolute CLOCK_REALTIME timer with
// TFD_TIMER_CANCEL_ON_SET, so it fires at its wall time also after a suspend, and its read
// fails with ECANCELED as soon as the clock is set (by the operator, NTP stepping it, a
// resume). Watched by a QSocketNotifier in the thread's event loop; no thread of its own.
// Without a timerfd (a kernel or sandbox that refuses it) it logs once and never wakes: the
// caller keeps a timer of its own as well.
class TimerfdAlarm final : public WallClockAlarm {
public:
    TimerfdAlarm();
    ~TimerfdAlarm() override;
    TimerfdAlarm(const TimerfdAlarm&) = delete;
    TimerfdAlarm& operator=(const TimerfdAlarm&) = delete;

    void setHandler(Handler handler) override { handler_ = std::move(handler); }
    void wakeIn(qint64 ms) override;
    void cancel() override;

private:
    void readable();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    Handler handler_;
    bool armed_ = false;
};

}  // namespace tavirin
