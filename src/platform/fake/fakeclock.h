#pragma once

#include "platform/clock.h"

namespace tavirin {

// A clock the test sets and moves.
class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 9), QTime(7, 0, 0)))
        : now_(std::move(start)) {}

    QDateTime now() const override { return now_; }
    void set(const QDateTime& t) { now_ = t; }
    void set(QDate date, QTime time) { now_ = QDateTime(date, time); }
    void advanceMs(qint64 ms) { now_ = now_.addMSecs(ms); }

private:
    QDateTime now_;
};

}  // namespace tavirin
