#include "scheduler/watchplan.h"

namespace tavirin::watchplan {

namespace {
constexpr qint64 kDayMs = 24 * 3600 * 1000;
}

qint64 msToNextSecond(const QDateTime& now) {
    return 1000 - now.time().msec() + kAfterSecondMs;
}

Plan next(const QDateTime& now, const QList<QTime>& dueTimes, bool awake) {
    const qint64 toSecond = msToNextSecond(now);
    if (awake) return {toSecond, false};
    // Times of day, not date-times: no time-zone conversion, and a day without a jump in it
    // (a clock change is reported by the alarm and re-planned).
    const qint64 nowMs = now.time().msecsSinceStartOfDay();
    const qint64 nowSecondMs = nowMs - nowMs % 1000;
    qint64 due = kDayMs;  // midnight: the next day is armed
    for (const QTime& t : dueTimes) {
        const qint64 at = t.msecsSinceStartOfDay();
        if (at > nowSecondMs && at < due) due = at;
    }
    const qint64 sleep = due - nowMs - kWakeBeforeMs;
    if (sleep <= toSecond) return {toSecond, false};
    return {qMin(sleep, kMaxSleepMs), true};
}

QTime parseClockText(const QString& s) {
    if (s.size() != 8 || s.at(2) != u':' || s.at(5) != u':') return {};
    const auto digits = [&](int at) {
        const QChar a = s.at(at), b = s.at(at + 1);
        return a.isDigit() && b.isDigit() ? a.digitValue() * 10 + b.digitValue() : -1;
    };
    return QTime(digits(0), digits(3), digits(6));
}

}  // namespace tavirin::watchplan
