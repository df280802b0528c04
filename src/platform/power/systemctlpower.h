#pragma once

#include "platform/power.h"
#include "platform/processes.h"

namespace tavirin {

// Shuts the machine down now with `systemctl poweroff` (logind lets the user at the seat
// do it without a password).
class SystemctlPower final : public Power {
public:
    explicit SystemctlPower(Processes& processes) : processes_(processes) {}
    Result powerOff() override;

private:
    Processes& processes_;
};

}  // namespace tavirin
