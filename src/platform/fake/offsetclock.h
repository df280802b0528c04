#pragma once

#include "platform/clock.h"

namespace tavirin {

// The system clock moved by a fixed offset: real time flows, the test or benchmark chooses
// where the day stands.
class OffsetClock final : public Clock {
public:
    explicit OffsetClock(qint64 offsetMs = 0) : offsetMs_(offsetMs) {}
    QDateTime now() const override { return system_.now().addMSecs(offsetMs_); }
    ElapsedClocks elapsed() const override { return system_.elapsed(); }
    void setNow(const QDateTime& t) { offsetMs_ = system_.now().msecsTo(t); }

private:
    SystemClock system_;
    qint64 offsetMs_;
};

}  // namespace tavirin
