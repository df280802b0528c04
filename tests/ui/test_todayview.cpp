// What the school sees of a day, read from a real journal file: the "today" view's lists
// (today's and an older day's by the date picker) and the marks on the time board.
#include "journal/sqlitejournal.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/faketrayicon.h"
#include "status/dayreport.h"
#include "status/daystatus.h"
#include "status/selftest.h"
#include "ui/todayview.h"

#include <QDateEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;

namespace {

const QDate kToday(2026, 12, 9);
const QDate kYesterday(2026, 12, 8);

BellRecord bell(QDate day, int period, QTime due, const QString& outcome,
                const QString& reason = {}, std::optional<qint64> lateMs = {}) {
    BellRecord b;
    b.kind = journal::kScheduled;
    b.period = period;
    b.due = QDateTime(day, due);
    b.outcome = outcome;
    b.reason = reason;
    b.lateMs = lateMs;
    b.detail = reason.isEmpty() ? QString() : QStringLiteral("in plain words: ") + reason;
    return b;
}

void ring(Journal& j, BellRecord b) {
    b.fired = b.due.addMSecs(b.lateMs.value_or(0));
    b.id = j.bellFired(b);
    b.ended = b.fired.addSecs(20);
    j.bellEnded(b);
}

QStringList row(const QTableWidget* t, int r) {
    QStringList cells;
    for (int c = 0; c < t->columnCount(); ++c)
        cells << (t->item(r, c) ? t->item(r, c)->text() : QString());
    return cells;
}

}  // namespace

class TestTodayView : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void aDayAsTheSchoolSeesIt() {
        FakeClock clock(QDateTime(kToday, QTime(10, 48)));
        SqliteJournal journal(dir.filePath("journal.sqlite"), clock);
        QVERIFY(journal.open());
        ring(journal, bell(kYesterday, 1, QTime(7, 0), journal::kRang));
        ring(journal, bell(kToday, 1, QTime(7, 0), journal::kRang));
        ring(journal, bell(kToday, 2, QTime(8, 0), journal::kLate, journal::kStall, 12400));
        journal.bellNotRung(bell(kToday, 3, QTime(9, 0), journal::kMissed, journal::kClockJump));
        ring(journal, bell(kToday, 4, QTime(10, 0), journal::kFailed, journal::kNoDevice));
        SelfTestReport early{
            QDateTime(kToday, QTime(6, 45)),
            "morning",
            {{SelfTest::kItemRelay, CheckResult::Status::Failed, "COM1 gone", {}}}};
        SelfTestReport late{QDateTime(kToday, QTime(9, 30)),
                            "start-up",
                            {{SelfTest::kItemRelay, CheckResult::Status::Ok, "COM1 opens", {}},
                             {SelfTest::kItemClock, CheckResult::Status::Unknown, "no bus", {}}}};
        journal.recordChecks(early.at, checkRecords(early));
        journal.recordChecks(late.at, checkRecords(late));

        TodayView view(journal, clock);
        view.open();
        auto* bells = view.findChild<QTableWidget*>("today_bells");
        auto* checks = view.findChild<QTableWidget*>("today_checks");
        QVERIFY(bells && checks);
        QCOMPARE(bells->rowCount(), 4);
        QCOMPARE(row(bells, 0), (QStringList{"ช่วงที่ 1", "07:00", "ดังแล้ว", "", ""}));
        QCOMPARE(row(bells, 1),
                 (QStringList{"ช่วงที่ 2", "08:00", "ดังช้า", "12 วินาที", "เครื่องทำงานช้าหรือค้างไปชั่วขณะ"}));
        QCOMPARE(row(bells, 2).mid(0, 3), (QStringList{"ช่วงที่ 3", "09:00", "ไม่ได้ดัง"}));
        QVERIFY(row(bells, 2)[4].contains("นาฬิกา"));
        QCOMPARE(row(bells, 3).mid(0, 3), (QStringList{"ช่วงที่ 4", "10:00", "ดังไม่สำเร็จ"}));
        // the latest self-test of the day only; "unknown" is neither good nor bad
        QCOMPARE(checks->rowCount(), 2);
        // in Thai; what the check found stays for a technician in the tooltip
        QCOMPARE(row(checks, 0),
                 (QStringList{"09:30", thaiCheckName("relay"), "ปกติ", "เปิดและปิดรีเลย์ได้"}));
        QCOMPARE(row(checks, 1),
                 (QStringList{"09:30", thaiCheckName("clock"), "ไม่ทราบ", "บอกไม่ได้ในเครื่องนี้"}));
        QCOMPARE(checks->item(1, 3)->toolTip(), QStringLiteral("no bus"));

        // an older day by the date picker
        view.findChild<QDateEdit*>("today_date")->setDate(kYesterday);
        QCOMPARE(bells->rowCount(), 1);
        QCOMPARE(checks->rowCount(), 0);

        // the time board and the tray from the same journal
        FormModel form;
        buildForm1(form);
        FakeTrayIcon tray;
        DayStatus status(form, clock, &tray, &journal);
        status.refresh();
        const QStringList marks{"✓", "✓", "✗", "✗", ""};
        for (int n = 1; n <= 5; ++n)
            QCOMPARE(form.text(arrayName("lbl_board_mark", n)), marks[n - 1]);
        QVERIFY(form.toolTip(arrayName("lbl_board_mark", 2)).contains("12 วินาที"));
        QCOMPARE(form.text("lbl_today_state"), "วันนี้ดังแล้ว 2 · ช้า 1 · ไม่ได้ดัง 1 · ดังไม่สำเร็จ 1");
        QVERIFY(tray.warning);  // a missed and a failed bell, though the self-test was well
        QVERIFY(tray.toolTip.contains(form.text("lbl_today_state")));
    }
};

QTEST_MAIN(TestTodayView)
#include "test_todayview.moc"
