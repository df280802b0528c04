#pragma once

#include "platform/result.h"

#include <QDateTime>
#include <functional>

namespace tavirin {

// What became of a request to the RTC's wake alarm.
struct RtcWakeAnswer {
    Result result;          // ok: the RTC holds exactly what was asked
    bool readBack = false;  // the RTC was read after the attempt: `alarm` is what it holds
    QDateTime alarm;        // the alarm it holds (UTC); invalid when it holds none
};

// The PC's real-time-clock wake alarm: the moment the PC switches itself on from off (when
// its firmware is set to power on by the RTC). One alarm at a time; setting replaces it.
class RtcWake {
public:
    using Done = std::function<void(const RtcWakeAnswer&)>;

    virtual ~RtcWake() = default;
    // Asks for the alarm at `when` (whole seconds; at most 8 days ahead) and returns at once;
    // `done` runs later on the same thread. An RTC that takes no alarm that far ahead answers
    // with readBack set and what it does hold.
    virtual void set(const QDateTime& when, Done done) = 0;
    // Asks for no alarm; `done` as for set.
    virtual void clear(Done done) = 0;
};

}  // namespace tavirin
