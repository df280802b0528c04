// What a date really rings under the calendar and the day's changes, and how both are kept in
// the store.
#include "calendar/dayplan.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tavirin;

Q_DECLARE_METATYPE(tavirin::TodayChanges)

namespace {

const QDate kWednesday(2026, 12, 9);
const QString kOff = QStringLiteral(" ไม่ใช้งาน ");
const QString kQuiet = QStringLiteral(" งดออด ");

// The first-run program (07:00 .. 23:00 on the hour, periods 18-24 unused) with every bell
// moved by `minutes`; the periods in `quiet` silenced.
QStringList firstRunDay(int minutes = 0, const QList<int>& quiet = {}, int movedFrom = 1) {
    QStringList t;
    for (int n = 1; n <= 24; ++n) {
        if (n > 17)
            t << kOff;
        else if (quiet.contains(n))
            t << kQuiet;
        else
            t << QTime(6 + n, 0)
                     .addSecs(n >= movedFrom ? minutes * 60 : 0)
                     .toString(QStringLiteral("HH:mm:ss"));
    }
    return t;
}

QList<int> all17() {
    QList<int> l;
    for (int n = 1; n <= 17; ++n) l << n;
    return l;
}

CalendarEntry entry(QDate from, QDate to, const char* name, RuleKind kind, int arg = 0) {
    CalendarEntry e{from, to, QString::fromUtf8(name), kind, 0, 0};
    if (kind == RuleKind::OtherWeekday) e.weekday = arg;
    if (kind == RuleKind::Shift) e.minutes = arg;
    return e;
}

struct Seeded {
    MemorySettingsBackend backend;
    ProgramStore store{backend};
    Seeded() {
        QVERIFY(seedFirstRun(store, SoundLibrary(QStringLiteral("/lib"))));
        // Saturday is the school's exam timetable: one bell at 09:15 and a shutdown at 16:30.
        const QString sat = keys::dayApplication(6);
        for (int n = 2; n <= 17; ++n)
            QVERIFY(store.SaveSetting(sat, keys::kTime, keys::hour(n), QStringLiteral("no")));
        QVERIFY(store.SaveSetting(sat, keys::kTime, keys::hour(1), QStringLiteral("09")));
        QVERIFY(store.SaveSetting(sat, keys::kTime, keys::minute(1), QStringLiteral("15")));
        QVERIFY(store.SaveSetting(sat, keys::kTime, keys::hour(keys::kShutdownHour),
                                  QStringLiteral("16")));
        QVERIFY(store.SaveSetting(sat, keys::kTime, keys::minute(keys::kShutdownMinute),
                                  QStringLiteral("30")));
        QVERIFY(store.SaveSetting(sat, keys::kNumber, keys::number(keys::kShutdownEnabled),
                                  QStringLiteral("1")));
    }
};

QStringList saturday() {
    QStringList t{QStringLiteral("09:15:00")};
    for (int n = 2; n <= 24; ++n) t << kOff;
    return t;
}

}  // namespace

class TestDayPlan : public QObject {
    Q_OBJECT

private slots:
    // The 24 trigger strings and the shutdown trigger of Wednesday 9 December under each kind
    // of entry, each change of the day, and the order in which they rule.
    void ringsWhatTheDayShould_data() {
        QTest::addColumn<Calendar>("calendar");
        QTest::addColumn<TodayChanges>("today");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QStringList>("triggers");
        QTest::addColumn<QString>("shutdown");
        QTest::addColumn<QString>("application");
        const QDate d = kWednesday;
        const QString wed = keys::dayApplication(3), sat = keys::dayApplication(6);
        const QString none = QStringLiteral("no:no:00"), sat1630 = QStringLiteral("16:30:00");
        const auto today = [d](auto change) {
            TodayChanges c;
            c.date = d;
            change(c);
            return c;
        };

        QTest::newRow("ordinary day")
            << Calendar{} << TodayChanges{} << QTime() << firstRunDay() << none << wed;
        QTest::newRow("holiday") << Calendar{entry(d, d, "วันหยุด", RuleKind::NoBells)}
                                 << TodayChanges{} << QTime() << firstRunDay(0, all17()) << none
                                 << wed;
        QTest::newRow("term break around the date")
            << Calendar{entry(d.addDays(-20), d.addDays(20), "ปิดภาคเรียน", RuleKind::NoBells)}
            << TodayChanges{} << QTime() << firstRunDay(0, all17()) << none << wed;
        QTest::newRow("exam day on Saturday's program")
            << Calendar{entry(d, d, "สอบ", RuleKind::OtherWeekday, 6)} << TodayChanges{} << QTime()
            << saturday() << sat1630 << sat;
        QTest::newRow("calendar shift +10")
            << Calendar{entry(d, d, "เข้าแถว", RuleKind::Shift, 10)} << TodayChanges{} << QTime()
            << firstRunDay(10) << none << wed;
        QTest::newRow("calendar shift -30")
            << Calendar{entry(d, d, "เลิกเร็ว", RuleKind::Shift, -30)} << TodayChanges{} << QTime()
            << firstRunDay(-30) << none << wed;
        // Edited into the program after the entry was made: the 23:00 bell would leave its
        // day, so it does not ring (the entry itself was refused if it did so then).
        QTest::newRow("shift past midnight drops that bell")
            << Calendar{entry(d, d, "เลื่อน", RuleKind::Shift, 60)} << TodayChanges{} << QTime() <<
            [] {
                QStringList t = firstRunDay(60);
                t[16] = kQuiet;
                return t;
            }()
            << none << wed;
        QTest::newRow("the shortest entry rules")
            << Calendar{entry(d.addDays(-2), d.addDays(2), "ปิดภาค", RuleKind::NoBells),
                        entry(d, d, "สอบ", RuleKind::OtherWeekday, 6)}
            << TodayChanges{} << QTime() << saturday() << sat1630 << sat;
        QTest::newRow("of equal ones the latest added rules")
            << Calendar{entry(d, d, "สอบ", RuleKind::OtherWeekday, 6),
                        entry(d, d, "เข้าแถว", RuleKind::Shift, 10)}
            << TodayChanges{} << QTime() << firstRunDay(10) << none << wed;

        QTest::newRow("today: no bells")
            << Calendar{} << today([](TodayChanges& c) { c.noBells = true; }) << QTime()
            << firstRunDay(0, all17()) << none << wed;
        QTest::newRow("today: Saturday's program")
            << Calendar{} << today([](TodayChanges& c) { c.weekday = 6; }) << QTime() << saturday()
            << sat1630 << sat;
        QTest::newRow("today: +10 from 07:30 moves the bells after it")
            << Calendar{} << today([](TodayChanges& c) {
                   c.shifts = {{QTime(7, 30), 10}};
               })
            << QTime() << firstRunDay(10, {}, 2) << none << wed;
        QTest::newRow("today: skip the 08:00 bell") << Calendar{} << today([wed](TodayChanges& c) {
            c.skipApplication = wed;
            c.skippedPeriods = {2};
        }) << QTime(7, 30) << firstRunDay(0, {2}) << none
                                                    << wed;
        QTest::newRow("a skipped bell is over once its time passed")
            << Calendar{} << today([wed](TodayChanges& c) {
                   c.skipApplication = wed;
                   c.skippedPeriods = {2};
               })
            << QTime(8, 0, 1) << firstRunDay() << none << wed;
        QTest::newRow("a bell that rang is not rung again after a later shift")
            << Calendar{} << today([wed](TodayChanges& c) {
                   c.shifts = {{QTime(0, 0), 60}};
                   c.rang = {{wed, 1, QStringLiteral("07:00"), QStringLiteral("07:00:00")}};
               })
            << QTime() <<
            [] {
                QStringList t = firstRunDay(60, {1});
                t[16] = kQuiet;  // 23:00 + 60
                return t;
            }()
            << none << wed;
        QTest::newRow("today's change comes before the calendar")
            << Calendar{entry(d, d, "วันหยุด", RuleKind::NoBells)}
            << today([](TodayChanges& c) { c.weekday = 3; }) << QTime() << firstRunDay() << none
            << wed;
        QTest::newRow("a change stored for yesterday is over") << Calendar{} << [d] {
            TodayChanges c;
            c.date = d.addDays(-1);
            c.noBells = true;
            return c;
        }() << QTime() << firstRunDay() << none << wed;
    }
    void ringsWhatTheDayShould() {
        QFETCH(Calendar, calendar);
        QFETCH(TodayChanges, today);
        QFETCH(QTime, now);
        QFETCH(QStringList, triggers);
        QFETCH(QString, shutdown);
        QFETCH(QString, application);
        Seeded s;
        const DayPlan plan = planDay(readAllDayPrograms(s.store), calendar, today, kWednesday,
                                     kWednesday.dayOfWeek(), now);
        QCOMPARE(plan.triggers(), triggers);
        QCOMPARE(plan.shutdownCaption(), shutdown);
        QCOMPARE(plan.application, application);
        // Every quiet period is listed with a reason, in the order of its time.
        QCOMPARE(plan.quiet.size(), triggers.count(kQuiet));
        for (const QuietBell& q : plan.quiet) {
            QCOMPARE(plan.periods[std::size_t(q.period - 1)].caption(), kQuiet);
            QVERIFY(!q.reason.isEmpty());
        }
        // An ordinary day says nothing on the main window; every other one does.
        QCOMPARE(plan.summary.isEmpty(), QTest::currentDataTag() == QByteArray("ordinary day") ||
                                             QByteArray(QTest::currentDataTag()).contains("over"));
    }

    // The calendar and the day's changes written to a real store file read back the same from
    // a fresh start; a store from before the calendar reads as an empty one; an entry that
    // cannot be read is left out and the others kept.
    void storeKeepsTheCalendar() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("tavirin.ini"));
        FakeClock clock;
        Calendar cal{entry(kWednesday, kWednesday, "วันรัฐธรรมนูญ | ชดเชย", RuleKind::NoBells),
                     entry(kWednesday, kWednesday.addDays(3), "สอบ", RuleKind::OtherWeekday, 6),
                     entry(kWednesday, kWednesday, "เข้าแถว", RuleKind::Shift, -15)};
        TodayChanges today;
        today.date = kWednesday;
        today.weekday = 6;
        today.shifts = {{QTime(7, 30), 10}, {QTime(9, 0, 5), -5}};
        today.skipApplication = keys::dayApplication(6);
        today.skippedPeriods = {3, 4};
        today.rang = {
            {keys::dayApplication(3), 1, QStringLiteral("07:00"), QStringLiteral("07:00:00")}};
        {
            IniSettingsBackend backend(file, clock);
            ProgramStore store(backend);
            QCOMPARE(readCalendar(store), Calendar{});
            QVERIFY(writeCalendar(store, cal));
            QVERIFY(writeTodayChanges(store, today));
        }
        IniSettingsBackend backend(file, clock);
        ProgramStore store(backend);
        QCOMPARE(readCalendar(store), cal);
        QCOMPARE(readTodayChanges(store, kWednesday), today);
        QVERIFY(readTodayChanges(store, kWednesday.addDays(1)).isEmpty());

        // A shorter calendar empties the entries past its end, and a damaged entry is left out.
        QVERIFY(writeCalendar(store, cal.mid(0, 2)));
        QVERIFY(store.SaveSetting(kCalendarApplication, QStringLiteral("entries"),
                                  QStringLiteral("e1"), QStringLiteral("2026-12-09|x")));
        QCOMPARE(readCalendar(store), cal.mid(1, 1));
    }

    // A write that fails puts every key back: the calendar reads as before.
    void failedWriteLeavesTheCalendar() {
        Seeded s;
        const Calendar before{entry(kWednesday, kWednesday, "ก", RuleKind::NoBells)};
        QVERIFY(writeCalendar(s.store, before));
        s.backend.failNthSetValue(2);
        QVERIFY(!writeCalendar(s.store, before + before + before));
        QCOMPARE(readCalendar(s.store), before);
        s.backend.failNextSync();
        QVERIFY(!writeCalendar(s.store, Calendar{}));
        QCOMPARE(readCalendar(s.store), before);
    }
};

QTEST_GUILESS_MAIN(TestDayPlan)
#include "test_dayplan.moc"
