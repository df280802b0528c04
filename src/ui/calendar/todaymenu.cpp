#include "ui/calendar/todaymenu.h"

#include "calendar/dayrules.h"
#include "core/bellcore.h"
#include "platform/gui/menuentries.h"
#include "ui/outcomebox.h"

#include <QMenu>
#include <QWidget>

namespace tavirin {

namespace {

// Later first, then earlier: a late start is what schools shift for most.
constexpr int kShifts[] = {5, 10, 15, 20, 30, 45, 60, 0, -5, -10, -15, -20, -30};

}  // namespace

QList<TrayMenuEntry> todayMenu(BellCore& core, Dialogs& dialogs,
                               const std::function<void()>& openCalendar, bool nested) {
    DayRules& rules = core.rules();
    const auto change = [&core, &dialogs](const char* what, int value = 0) {
        return [&core, &dialogs, what, value] {
            showOutcome(
                dialogs, DayRules::kTodayTitle,
                core.setTodayChange(QString::fromLatin1(what), value, BellCore::Asker::Operator));
        };
    };
    const DayPlan plan = rules.today();
    const std::optional<int> next = plan.nextBell(rules.secondsNow());

    QList<TrayMenuEntry> weekdays;
    for (int d = 1; d <= 7; ++d)
        weekdays.append(
            {weekdayText(d) + (d == plan.ownDay ? QStringLiteral(" (ตามปกติ)") : QString()),
             change("weekday", d),
             {},
             {}});
    QList<TrayMenuEntry> shifts;
    for (int m : kShifts) {
        if (m == 0) {
            shifts.append(TrayMenuEntry{});
            continue;
        }
        shifts.append(
            {m > 0 ? QStringLiteral("ช้าลง %1 นาที").arg(m) : QStringLiteral("เร็วขึ้น %1 นาที").arg(-m),
             change("shift", m),
             {},
             {}});
    }
    const bool left = next.has_value();
    const QList<TrayMenuEntry> changes{
        {QStringLiteral("งดออดทั้งวันนี้"), change("no-bells"), {}, {}},
        // The tray keeps its menu for hours: there the time would go stale.
        {nested || !left ? QStringLiteral("ข้ามออดถัดไป")
                         : QStringLiteral("ข้ามออดถัดไป (%1)").arg(minutesText(*next)),
         change("skip-next"),
         nested ? std::function<bool()>() : [left] { return left; },
         {}},
        {QStringLiteral("ใช้ตารางออดของวันอื่นวันนี้"), {}, {}, weekdays},
        {QStringLiteral("เลื่อนออดที่เหลือของวันนี้"), {}, {}, shifts},
    };

    QList<TrayMenuEntry> menu;
    if (nested)
        menu.append({QStringLiteral("เปลี่ยนเฉพาะวันนี้"), {}, {}, changes});
    else
        menu += changes;
    const QList<DayRules::Undo> undos = rules.changesInForce();
    if (!undos.isEmpty()) menu.append(TrayMenuEntry{});
    for (const DayRules::Undo& u : undos)
        menu.append(
            {u.caption,
             [run = u.run, &dialogs] { showOutcome(dialogs, DayRules::kTodayTitle, run()); },
             {},
             {}});
    menu.append(TrayMenuEntry{});
    menu.append({QStringLiteral("ปฏิทินโรงเรียน…"), openCalendar, {}, {}});
    return menu;
}

void popUpMenu(QWidget& button, const QList<TrayMenuEntry>& entries) {
    QMenu menu(&button);
    fillMenu(menu, entries);
    menu.exec(button.mapToGlobal(QPoint(0, button.height())));
}

}  // namespace tavirin
