#pragma once

#include <QDateTime>

namespace tavirin {

// The machine's two elapsed-time clocks, in milliseconds: CLOCK_MONOTONIC never jumps and
// stands still while the machine sleeps; CLOCK_BOOTTIME runs on through a suspend. Against
// the wall clock they tell a stall (all three moved alike), a clock that was set (the wall
// clock moved more than both) and a suspend (BOOTTIME moved more than MONOTONIC). -1: unknown.
struct ElapsedClocks {
    qint64 monotonicMs = -1;
    qint64 boottimeMs = -1;
};

// The one text of a time of day the program shows, stores and compares: "HH:mm:ss" (written
// by hand: the clock's text is made every second, and a format string goes through the
// locale's formatter). "" for an invalid time.
QString clockText(QTime t);
// "HH:mm".
QString clockMinutesText(QTime t);

// The only way any code reads the time, so tests can set it.
class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time.
    virtual QDateTime now() const = 0;
    // The elapsed-time clocks now. monotonicMs is on the reference of
    // QElapsedTimer::msecsSinceReference, as the sound outcomes' times are.
    virtual ElapsedClocks elapsed() const = 0;
};

// The machine's local time.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    ElapsedClocks elapsed() const override;
};

}  // namespace tavirin
