#pragma once

#include <QString>
#include <optional>

namespace tavirin {

// Where the bell in progress is, for whoever shows it: the warm-up countdown, the sounds
// (k of n), or what follows them (the amplifier off, radio or music being started).
struct BellProgress {
    enum class Phase { Countdown, Sounds, AfterBell };
    QString kind;               // journal::kScheduled, kAnnounce or kManual
    std::optional<int> period;  // the period whose sound rings; none for announce-now
    Phase phase = Phase::Countdown;
    int countdown = 0;  // seconds of the warm-up still to go
    int sound = 0;      // the sound playing, from 1
    int of = 0;         // how many the run plays
};

}  // namespace tavirin
