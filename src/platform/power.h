#pragma once

#include "platform/result.h"

#include <functional>

namespace tavirin {

// Turns the computer off now.
class Power {
public:
    using Done = std::function<void(const Result&)>;

    virtual ~Power() = default;
    // Asks the system to power off and returns at once, never blocking the window; `done`
    // runs later on the same thread with the system's answer: a refusal, or a command that
    // could not run, is a failure.
    virtual void powerOff(Done done) = 0;
};

}  // namespace tavirin
