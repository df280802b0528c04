#pragma once

#include "platform/power.h"

namespace tavirin {

// Counts the shutdowns asked for; `refuse` makes them fail as a refusing logind would.
class FakePower final : public Power {
public:
    Result powerOff() override {
        ++calls;
        return refuse ? Result::failure(QStringLiteral("refused")) : Result::success();
    }
    int calls = 0;
    bool refuse = false;
};

}  // namespace tavirin
