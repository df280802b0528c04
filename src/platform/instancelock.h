#pragma once

namespace tavirin {

// One running copy per user. A lock left by a crashed copy never refuses a start.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
    // True when this process now holds the lock (or already held it).
    virtual bool tryAcquire() = 0;
};

}  // namespace tavirin
