#pragma once

#include <QDateTime>

namespace tavirin {

// The only way any code reads the time, so tests can set it.
class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time.
    virtual QDateTime now() const = 0;
};

// The machine's local time.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
};

}  // namespace tavirin
