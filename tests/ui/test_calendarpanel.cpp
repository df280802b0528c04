// The calendar panel as the operator uses it: a year's holidays and a school's .ics file go in
// through its buttons, the list and the month view show them, and the menu of today's changes
// lists what is in force.
#include "calendar/dayrules.h"
#include "scheduler/coreharness.h"
#include "ui/calendar/calendarpanel.h"
#include "ui/calendar/todaymenu.h"

#include <QCalendarWidget>
#include <QPushButton>
#include <QTest>
#include <QTextCharFormat>
#include <QTreeWidget>

using namespace tavirin;

class TestCalendarPanel : public QObject {
    Q_OBJECT

    // The program's core over doubles, at 07:30 on a Wednesday.
    struct World {
        CoreHarness h;
        DayRules& rules = h.core.rules();
        FakeDialogs& dialogs = h.dialogs;
        World() {
            h.clock.set(QDate(2026, 12, 9), QTime(7, 30));
            h.seedAndArm();
        }
    };

private slots:
    void holidaysAndAFileThroughTheButtons() {
        World w;
        CalendarPanel panel(w.rules, w.dialogs);
        auto* list = panel.findChild<QTreeWidget*>(QStringLiteral("entries"));
        auto* month = panel.findChild<QCalendarWidget*>(QStringLiteral("calendar"));
        QVERIFY(list && month);

        panel.findChild<QPushButton*>(QStringLiteral("addHolidays"))->click();
        QCOMPARE(list->topLevelItemCount(), 13);
        QCOMPARE(month->dateTextFormat(QDate(2026, 12, 10)).background().color(),
                 QColor(255, 190, 190));
        QVERIFY(month->dateTextFormat(QDate(2026, 12, 11)).background().style() == Qt::NoBrush);

        w.dialogs.files = {qEnvironmentVariable("TAVIRIN_TEST_DATA") +
                           QStringLiteral("/thai-holidays-2026.ics")};
        panel.findChild<QPushButton*>(QStringLiteral("importIcs"))->click();
        QCOMPARE(list->topLevelItemCount(), 17);
        // Listed by date.
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("วันขึ้นปีใหม่"));
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("วันมาฆบูชา"));
    }

    // The day's menu: a change made from it is then listed with the entry that takes it back.
    void todayMenuListsTheChangeInForce() {
        World w;
        const auto captions = [&] {
            QStringList c;
            for (const TrayMenuEntry& e : todayMenu(w.h.core, w.dialogs, {}, false)) c << e.caption;
            return c;
        };
        QVERIFY(!captions().contains(QStringLiteral("ยกเลิก: งดออดทั้งวัน")));
        todayMenu(w.h.core, w.dialogs, {}, false).first().run();  // งดออดทั้งวันนี้
        QVERIFY(w.rules.today().noBells);
        QVERIFY(captions().contains(QStringLiteral("ยกเลิก: งดออดทั้งวัน")));
    }
};

QTEST_MAIN(TestCalendarPanel)
#include "test_calendarpanel.moc"
