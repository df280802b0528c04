#pragma once

#include "platform/wallclockalarm.h"

namespace tavirin {

// The test says when the alarm rings and when the wall clock is set.
class FakeWallClockAlarm final : public WallClockAlarm {
public:
    void setHandler(Handler handler) override { handler_ = std::move(handler); }
    void wakeIn(qint64 ms) override { armedMs = ms; }
    void cancel() override { armedMs = -1; }

    void ring() {
        armedMs = -1;
        if (handler_) handler_(Wake::Due);
    }
    void clockChanged() {
        armedMs = -1;
        if (handler_) handler_(Wake::ClockChanged);
    }
    qint64 armedMs = -1;  // -1: not armed

private:
    Handler handler_;
};

}  // namespace tavirin
