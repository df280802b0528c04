// The tick under the school calendar and the day's changes: what rings, what stays quiet and
// why, and a change of the day over at midnight.
#include "calendar/dayrules.h"
#include "coreharness.h"
#include "journal/sqlitejournal.h"

#include <QTest>

using namespace tavirin;

namespace {

const QDate kWednesday(2026, 12, 9);

// The bell journal on a real SQLite file, made before the harness that writes to it.
struct JournalFile {
    QTemporaryDir journalDir;
    FakeClock journalClock;
    SqliteJournal bells{journalDir.filePath(QStringLiteral("journal.sqlite")), journalClock};
    JournalFile() { bells.open(); }
};

struct CalendarHarness : JournalFile, CoreHarness {
    DayRules rules{store, clock, dialogs};

    CalendarHarness() : CoreHarness(&bells) {
        rules.onChanged([this](bool whole) { scheduler.armWhenIdle(whole); });
        seedAndArm();
    }
    QString trigger(int period) const {
        return form.text(periodControls()[std::size_t(period - 1)].trigger);
    }
};

}  // namespace

class TestCalendarBells : public QObject {
    Q_OBJECT

private slots:
    // A holiday rings nothing; each bell whose time passes goes into the bell journal once,
    // skipped with the holiday's name, and the main window says why.
    void holidayRingsNothing() {
        CalendarHarness h;
        QVERIFY(h.rules.addEntry(
            {kWednesday, kWednesday, QStringLiteral("วันรัฐธรรมนูญ"), RuleKind::NoBells, 0, 0}));
        QCOMPARE(h.trigger(1), QStringLiteral(" งดออด "));
        QCOMPARE(h.form.text(QStringLiteral("lbl_today")),
                 QStringLiteral("วันนี้: วันหยุด วันรัฐธรรมนูญ — ไม่มีออด"));
        QVERIFY(h.form.visible(QStringLiteral("lbl_today")));
        h.runUntil(QTime(9, 0, 30));
        QVERIFY(h.runs().isEmpty());
        QCOMPARE(h.serial.log.count(QStringLiteral("open COM1")), 0);
        const QList<BellRecord> bells = h.bells.bellsOn(kWednesday);
        QCOMPARE(bells.size(), 3);
        for (const BellRecord& b : bells) {
            QCOMPARE(b.outcome, journal::kSkipped);
            QCOMPARE(b.reason, QStringLiteral("วันหยุด วันรัฐธรรมนูญ"));
        }
        QCOMPARE(bells[1].period, 2);
        QCOMPARE(bells[1].due, QDateTime(kWednesday, QTime(8, 0)));
    }

    // Today's remaining bells shifted by +10 at 07:30: 07:00 rang as it was, 08:00 rings at
    // 08:10 and not at 08:00; the midnight tick arms the next day unshifted.
    void todaysShiftRingsLaterUntilMidnight() {
        CalendarHarness h;
        h.runUntil(QTime(7, 30));
        QVERIFY(h.rules.shiftRemainingToday(10));
        QCOMPARE(h.trigger(2), QStringLiteral("08:10:00"));
        h.runUntil(QTime(8, 12));
        const QList<QStringList> runs = h.runs();
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[1], h.expectedRun(8, 10, h.library.systemSound()));
        QVERIFY(h.form.visible(QStringLiteral("lbl_today")));

        h.clock.set(kWednesday, QTime(23, 59, 50));
        h.runUntil(QDateTime(kWednesday.addDays(1), QTime(0, 0, 5)));
        QCOMPARE(h.trigger(2), QStringLiteral("08:00:00"));
        QVERIFY(!h.form.visible(QStringLiteral("lbl_today")));
    }

    // A day rung with Saturday's program plays Saturday's add-on sound for its period.
    void anotherWeekdaysProgramRingsItsSounds() {
        CalendarHarness h;
        const QString sat = keys::dayApplication(6);
        h.set(keys::kNumber, keys::number(1), QStringLiteral("1"), sat);
        h.set(keys::kSond, keys::sond(1), QStringLiteral("/lib/other/exam.wav"), sat);
        QVERIFY(h.rules.addEntry(
            {kWednesday, kWednesday, QStringLiteral("สอบ"), RuleKind::OtherWeekday, 6, 0}));
        h.runUntil(QTime(7, 0, 30));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0], h.expectedRun(7, 0, QStringLiteral("/lib/other/exam.wav")));
    }
};

QTEST_GUILESS_MAIN(TestCalendarBells)
#include "test_calendarbells.moc"
