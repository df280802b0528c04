#include "platform/clock.h"

#include <ctime>

namespace tavirin {

namespace {
qint64 readMs(clockid_t id) {
    timespec ts{};
    if (::clock_gettime(id, &ts) != 0) return -1;
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
}  // namespace

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

ElapsedClocks SystemClock::elapsed() const {
    return {readMs(CLOCK_MONOTONIC), readMs(CLOCK_BOOTTIME)};
}

}  // namespace tavirin
