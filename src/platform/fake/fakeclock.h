#pragma once

#include "platform/clock.h"

namespace tavirin {

// A clock the test sets and moves. advanceMs is time passing (all clocks move), set() is the
// wall clock being set (the elapsed clocks stand), sleepMs a suspend (MONOTONIC stands).
class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 9), QTime(7, 0, 0)))
        : now_(std::move(start)) {}

    QDateTime now() const override { return now_; }
    ElapsedClocks elapsed() const override { return elapsed_; }
    void set(const QDateTime& t) { now_ = t; }
    void set(QDate date, QTime time) { now_ = QDateTime(date, time); }
    void advanceMs(qint64 ms) {
        now_ = now_.addMSecs(ms);
        elapsed_.monotonicMs += ms;
        elapsed_.boottimeMs += ms;
    }
    void sleepMs(qint64 ms) {
        now_ = now_.addMSecs(ms);
        elapsed_.boottimeMs += ms;
    }

private:
    QDateTime now_;
    ElapsedClocks elapsed_{1000000, 1000000};
};

}  // namespace tavirin
