#pragma once

#include <QDateTime>
#include <QList>
#include <QTime>

namespace tavirin {

// When the scheduler looks at the clock next. Awake (the window shown, anything in progress,
// a due second close), it ticks a few milliseconds after each whole second, so the clock label
// changes on the second and a bell fires within a few milliseconds of it. Otherwise it sleeps
// until shortly before the next due second (an armed trigger, the shutdown time, midnight).
namespace watchplan {

// After the second has begun: a timer that fires a hair early must still see the new second.
constexpr qint64 kAfterSecondMs = 3;
// Ticking resumes this long before a due second, so that second is met by an ordinary tick.
constexpr qint64 kWakeBeforeMs = 2000;
// The longest sleep. The wall-clock alarm notices a set clock at once; this bounds what it
// cannot see (a test's faked clock moved from outside, a timer held by a modal wait).
constexpr qint64 kMaxSleepMs = 5 * 60 * 1000;

struct Plan {
    qint64 ms = 0;          // from now to the next look
    bool sleeping = false;  // longer than to the next second
};

// From `now` to kAfterSecondMs after the next whole second.
qint64 msToNextSecond(const QDateTime& now);

// `dueTimes`: the times of day at which something is due today; midnight always is.
Plan next(const QDateTime& now, const QList<QTime>& dueTimes, bool awake);

// "hh:mm:ss" as a time of day; anything else (" ไม่ใช้งาน ", "") is no time.
QTime parseClockText(const QString& text);

}  // namespace watchplan
}  // namespace tavirin
