#include "platform/clock.h"

namespace tavirin {

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }

}  // namespace tavirin
