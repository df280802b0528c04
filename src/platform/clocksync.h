#pragma once

#include <QString>

namespace tavirin {

// Whether the computer's clock is kept right by network time. Blocks for a bounded time;
// may be called from any thread.
class ClockSync {
public:
    enum class State { Synchronised, NotSynchronised, Unknown };
    struct Answer {
        State state = State::Unknown;
        QString detail;  // why unknown, or what was asked
    };

    virtual ~ClockSync() = default;
    virtual Answer query() = 0;
};

}  // namespace tavirin
