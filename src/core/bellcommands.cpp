// The commands of the bell itself: the time announced now, a period rung now.
#include "core/bellcore.h"

#include "core/bellcoreparts.h"
#include "model/controlnames.h"
#include "model/formmodel.h"
#include "platform/logging.h"
#include "scheduler/bellscheduler.h"

namespace tavirin {

namespace {
const QString kBusy = QStringLiteral("กำลังตีออดอยู่ กรุณารอให้ออดจบก่อน");
}

Outcome BellCore::busy() const {
    return Outcome::refused(kBusy);
}

Outcome BellCore::announceNow() {
    if (Outcome held = heldByEmergency(); !held) return held;
    if (bellInProgress()) {
        qCInfo(lcScheduler) << "announce-now refused: a bell is in progress";
        return busy();
    }
    // The button's own handler, so the window and every other caller do the same.
    p_->scheduler.Command3555_Click();
    return Outcome::done();
}

Outcome BellCore::ringPeriod(int period) {
    if (period < 1 || period > 24) {
        qCInfo(lcScheduler) << "ring period" << period << "refused: no such period";
        return Outcome::refused(QStringLiteral("ไม่มีช่วงที่ %1 (มีช่วงที่ 1 ถึง 24)").arg(period));
    }
    if (Outcome held = heldByEmergency(); !held) return held;
    if (bellInProgress()) {
        qCInfo(lcScheduler) << "ring period" << period << "refused: a bell is in progress";
        return busy();
    }
    if (!p_->scheduler.ringPeriodNow(period)) return busy();
    return Outcome::done();
}

}  // namespace tavirin
