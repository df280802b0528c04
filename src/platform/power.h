#pragma once

#include "platform/result.h"

namespace tavirin {

// Turns the computer off now.
class Power {
public:
    virtual ~Power() = default;
    virtual Result powerOff() = 0;
};

}  // namespace tavirin
