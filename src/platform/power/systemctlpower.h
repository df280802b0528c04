#pragma once

#include "platform/power.h"

namespace tavirin {

// Shuts the machine down now with `systemctl poweroff` (logind lets the user at the seat
// do it without a password). The command's exit is awaited through the event loop: its exit
// status is the system's answer.
class SystemctlPower final : public Power {
public:
    void powerOff(Done done) override;
};

}  // namespace tavirin
