#pragma once

namespace tavirin {

// One running copy per user. A lock left by a crashed copy never refuses a start.
class InstanceLock {
public:
    enum class Outcome {
        Acquired,     // this process holds the lock (or already held it)
        Held,         // another running copy holds it
        Unavailable,  // no lock could be made anywhere: running unlocked could ring twice
    };

    virtual ~InstanceLock() = default;
    virtual Outcome tryAcquire() = 0;
};

}  // namespace tavirin
