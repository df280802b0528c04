#pragma once

#include <QtGlobal>
#include <functional>

namespace tavirin {

// Wakes the program at a moment of wall time, and at once when the wall clock is set or the
// machine resumes from a suspend, so that a scheduler that sleeps between bells still re-plans
// when the time it planned by has moved.
class WallClockAlarm {
public:
    enum class Wake {
        Due,           // the time asked for has come
        ClockChanged,  // the wall clock was set (or the machine resumed); the plan is stale
    };
    using Handler = std::function<void(Wake)>;

    virtual ~WallClockAlarm() = default;
    virtual void setHandler(Handler handler) = 0;
    // Calls the handler once `ms` of wall time from now, or earlier with ClockChanged. A later
    // call replaces the earlier one.
    virtual void wakeIn(qint64 ms) = 0;
    virtual void cancel() = 0;
};

}  // namespace tavirin
