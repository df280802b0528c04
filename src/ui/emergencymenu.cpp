#include "ui/emergencymenu.h"

#include "core/bellcore.h"
#include "core/emergency.h"
#include "platform/dialogs.h"
#include "ui/outcomebox.h"

namespace tavirin {

namespace {
const QString kTitle = QStringLiteral("เหตุฉุกเฉิน");
}

QList<TrayMenuEntry> emergencyMenu(BellCore& core, Dialogs& dialogs, const QString& from) {
    QList<TrayMenuEntry> menu;
    Emergency& emergency = core.emergency();
    if (const std::optional<Emergency::InForce>& f = emergency.inForce();
        f && f->phase != Emergency::Phase::AllClear) {
        menu.append(
            {QStringLiteral("สิ้นสุดเหตุฉุกเฉิน (%1)").arg(f->kind.name),
             [&core, &dialogs, from, name = f->kind.name] {
                 if (!dialogs.askYesNoDefaultNo(
                         kTitle, QStringLiteral("ประกาศสิ้นสุดเหตุฉุกเฉิน \"%1\" ใช่หรือไม่ ?").arg(name)))
                     return;
                 showOutcome(dialogs, kTitle, core.allClear(from));
             },
             {},
             {}});
        menu.append(TrayMenuEntry{});
    }
    for (const EmergencyKind& k : emergency.kinds())
        menu.append(
            {QStringLiteral("เริ่ม: ") + k.name,
             [&core, &dialogs, from, id = k.id, name = k.name] {
                 if (!dialogs.askYesNoDefaultNo(
                         kTitle, QStringLiteral("เริ่มเหตุฉุกเฉิน \"%1\" ทันที ใช่หรือไม่ ?\n"
                                                "เสียงเตือนจะดังทั่วโรงเรียน และงดออดจนกว่าจะประกาศสิ้นสุด")
                                     .arg(name)))
                     return;
                 showOutcome(dialogs, kTitle, core.startEmergency(id, from));
             },
             {},
             {}});
    return menu;
}

}  // namespace tavirin
