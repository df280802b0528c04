// The commands that change today only: no bells, another weekday's program, a shift, the next
// bell skipped, and taking them back.
#include "core/bellcore.h"

#include "calendar/dayrules.h"
#include "core/bellcoreparts.h"
#include "platform/logging.h"

namespace tavirin {

Outcome BellCore::setTodayChange(const QString& change, int value, Asker asker) {
    DayRules& rules = p_->rules;
    std::function<Outcome()> op;
    if (change == QLatin1String("none"))
        op = [&rules] { return rules.takeBackToday(); };
    else if (change == QLatin1String("no-bells"))
        op = [&rules] { return rules.noBellsToday(); };
    else if (change == QLatin1String("weekday"))
        op = [&rules, value] { return rules.ringWeekdayToday(value); };
    else if (change == QLatin1String("shift"))
        op = [&rules, value] { return rules.shiftRemainingToday(value); };
    else if (change == QLatin1String("skip-next"))
        op = [&rules] { return rules.skipNextBell(); };
    if (!op) {
        qCInfo(lcCalendar).noquote() << "today's change" << change.left(40) << "is none we know";
        return Outcome::refused(
            QStringLiteral(
                "ไม่รู้จักการเปลี่ยนแปลง \"%1\" (ใช้ได้: none, no-bells, weekday, shift, skip-next)")
                .arg(change.left(40)));
    }
    // The board is armed again at once unless the bell's timers still run (armWhenIdle).
    const bool during = p_->scheduler.bellInProgress();
    Outcome o = asker == Asker::Remote ? rules.withoutQuestions(op) : op();
    // Saved now; the board follows once the bell on its way is over.
    if (o.status == Outcome::Status::Done && during)
        o = Outcome::waiting(QStringLiteral("บันทึกแล้ว จะมีผลเมื่อออดที่กำลังดังจบ"));
    return o;
}

}  // namespace tavirin
