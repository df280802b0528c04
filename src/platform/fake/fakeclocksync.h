#pragma once

#include "platform/clocksync.h"

namespace tavirin {

class FakeClockSync final : public ClockSync {
public:
    Answer query() override { return answer; }
    Answer answer{State::Synchronised, QStringLiteral("synchronised (fake)")};
};

}  // namespace tavirin
