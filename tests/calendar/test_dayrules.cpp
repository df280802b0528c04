// The calendar's and today's operations on a real store file: what they refuse, the .ics
// files and the backup.
#include "calendar/dayrules.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakedialogs.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavirin;

Q_DECLARE_METATYPE(tavirin::CalendarEntry)

namespace {

const QDate kWednesday(2026, 12, 9);

// One HOME: a seeded store file, the operations, a clock at 07:30 and boxes that answer yes.
struct Home {
    QTemporaryDir dir;
    FakeClock clock{QDateTime(kWednesday, QTime(7, 30))};
    std::unique_ptr<IniSettingsBackend> backend;
    std::unique_ptr<ProgramStore> store;
    FakeDialogs dialogs;
    std::unique_ptr<DayRules> rules;

    Home() {
        start();
        QVERIFY(seedFirstRun(*store, SoundLibrary(QStringLiteral("/lib"))));
    }
    // A start of the program: everything read again from the file.
    void start() {
        rules.reset();
        store.reset();
        backend = std::make_unique<IniSettingsBackend>(storeFile(), clock);
        store = std::make_unique<ProgramStore>(*backend);
        rules = std::make_unique<DayRules>(*store, clock, dialogs);
    }
    QString storeFile() const { return dir.filePath(QStringLiteral("tavirin.ini")); }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QByteArray fileBytes() const {
        QFile f(storeFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray icsEvent(const QByteArray& start, const QByteArray& summary) {
    return "BEGIN:VEVENT\r\nUID:" + start + summary.toHex() + "\r\nDTSTART;VALUE=DATE:" + start +
           "\r\nSUMMARY:" + summary + "\r\nEND:VEVENT\r\n";
}

QByteArray calendarFile(const QByteArray& events) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n" + events +
           "END:VCALENDAR\r\n";
}

}  // namespace

class TestDayRules : public QObject {
    Q_OBJECT

private slots:
    // What the operator cannot save gets a Thai reason and leaves the store file as it was.
    void refusedEntriesSaveNothing_data() {
        QTest::addColumn<CalendarEntry>("entry");
        QTest::addColumn<QString>("reason");
        const QDate d = kWednesday;
        QTest::newRow("end before start")
            << CalendarEntry{d, d.addDays(-1), QStringLiteral("ก"), RuleKind::NoBells, 0, 0}
            << QStringLiteral("วันสิ้นสุดอยู่ก่อนวันเริ่มต้น");
        QTest::newRow("23:00 shifted past midnight")
            << CalendarEntry{d, d, QStringLiteral("ก"), RuleKind::Shift, 0, 60}
            << QStringLiteral("เลยเที่ยงคืน");
        QTest::newRow("a date far away") << CalendarEntry{QDate(2099, 1, 1),
                                                          QDate(2099, 1, 1),
                                                          QStringLiteral("ก"),
                                                          RuleKind::NoBells,
                                                          0,
                                                          0}
                                         << QStringLiteral("ใส่ได้เฉพาะวันที่");
        QTest::newRow("no name") << CalendarEntry{d, d, QStringLiteral("  "), RuleKind::NoBells,
                                                  0, 0}
                                 << QStringLiteral("กรุณาใส่ชื่อ");
        QTest::newRow("no weekday")
            << CalendarEntry{d, d, QStringLiteral("ก"), RuleKind::OtherWeekday, 0, 0}
            << QStringLiteral("กรุณาเลือกวัน");
    }
    void refusedEntriesSaveNothing() {
        QFETCH(CalendarEntry, entry);
        QFETCH(QString, reason);
        Home h;
        const QByteArray before = h.fileBytes();
        const Outcome o = h.rules->addEntry(entry);
        QCOMPARE(o.status, Outcome::Status::Refused);
        QVERIFY2(o.reason.contains(reason), qPrintable(o.reason));
        QCOMPARE(h.fileBytes(), before);
    }

    // A school office's file: two Buddhist holidays, a substitution day and a two-day event;
    // the dates ring nothing after the import, and the same file again adds nothing.
    void importsTheYearsMovingHolidays() {
        Home h;
        const QString file =
            qEnvironmentVariable("TAVIRIN_TEST_DATA") + QStringLiteral("/thai-holidays-2026.ics");
        QVERIFY(h.rules->importICalendar(file));
        const Calendar cal = h.rules->calendar();
        QCOMPARE(cal.size(), 4);
        QCOMPARE(cal[2].name, QStringLiteral("วันหยุดชดเชยวันวิสาขบูชา"));
        QCOMPARE(cal[3].start, QDate(2026, 7, 29));
        QCOMPARE(cal[3].end, QDate(2026, 7, 30));  // DTEND is the day after
        for (const QDate d : {QDate(2026, 3, 3), QDate(2026, 6, 1), QDate(2026, 7, 30)})
            QVERIFY2(h.rules->plan(d).noBells, qPrintable(d.toString()));
        QVERIFY(!h.rules->plan(QDate(2026, 7, 31)).noBells);
        QVERIFY(h.rules->plan(QDate(2026, 6, 1)).summary.join(u' ').contains(cal[2].name));

        QVERIFY(!h.rules->importICalendar(file));
        QCOMPARE(h.rules->calendar(), cal);
    }

    void badCalendarFilesAddNothing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QByteArray many;
        for (int i = 0; i < 6000; ++i)
            many += icsEvent(QDate(2026, 1, 1).addDays(i % 300).toString("yyyyMMdd").toLatin1(),
                             QByteArray::number(i));
        QTest::newRow("not a calendar")
            << QByteArray("hello\nworld\n") << QStringLiteral("ไม่ใช่ไฟล์ปฏิทิน");
        QTest::newRow("a zero byte")
            << calendarFile(QByteArray("X\0Y", 3)) << QStringLiteral("ไม่ใช่ไฟล์ปฏิทิน");
        QTest::newRow("no dates") << calendarFile(
                                         "BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:x\r\nEND:VEVENT\r\n")
                                  << QStringLiteral("ไม่พบวันที่");
        QTest::newRow("no events") << calendarFile("") << QStringLiteral("ไม่พบวันที่");
        QTest::newRow("thousands of events") << calendarFile(many) << QStringLiteral("มากเกินไป");
        QTest::newRow("dates far away")
            << calendarFile(icsEvent("20990101", "x") + icsEvent("19000101", "y"))
            << QStringLiteral("นอกช่วง");
        QTest::newRow("a daily rule without end")
            << calendarFile(
                   "BEGIN:VEVENT\r\nUID:r\r\nDTSTART;VALUE=DATE:20260101\r\n"
                   "RRULE:FREQ=DAILY\r\nSUMMARY:r\r\nEND:VEVENT\r\n")
            << QStringLiteral("ไม่เกิน 1000");
    }
    void badCalendarFilesAddNothing() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        Home h;
        writeFile(h.path("in.ics"), bytes);
        const QByteArray before = h.fileBytes();
        const Outcome o = h.rules->importICalendar(h.path("in.ics"));
        QVERIFY(!o.accepted());
        QVERIFY2(o.reason.contains(reason), qPrintable(o.reason));
        QCOMPARE(h.fileBytes(), before);
    }

    // Exported and read back, every kind of entry keeps its rule.
    void exportedCalendarReadsBack() {
        Home h;
        const Calendar cal{{kWednesday, kWednesday.addDays(2),
                            QStringLiteral("สอบ, ปลายภาค; \"ก\""), RuleKind::OtherWeekday, 6, 0},
                           {kWednesday.addDays(1), kWednesday.addDays(1),
                            QStringLiteral("วันรัฐธรรมนูญ"), RuleKind::NoBells, 0, 0},
                           {kWednesday.addDays(7), kWednesday.addDays(7), QStringLiteral("เข้าแถว"),
                            RuleKind::Shift, 0, -15}};
        for (const CalendarEntry& e : cal) QVERIFY(h.rules->addEntry(e));
        QVERIFY(h.rules->exportICalendar(h.path("out.ics")));
        Home other;
        QVERIFY(other.rules->importICalendar(h.path("out.ics")));
        QCOMPARE(other.rules->calendar(), cal);
    }

    // The whole store into a fresh HOME: every day rings the same there, and a file that is
    // no backup replaces nothing.
    void backupRingsTheSameInAFreshHome() {
        Home h;
        QVERIFY(h.store->SaveSetting(keys::dayApplication(1), keys::kTime, keys::hour(3),
                                     QStringLiteral("no")));
        QVERIFY(h.store->SaveSetting(keys::dayApplication(6), keys::kTime, keys::minute(1),
                                     QStringLiteral("45")));
        QVERIFY(h.rules->addThaiHolidays(2026));
        QVERIFY(h.rules->addEntry({kWednesday.addDays(2), kWednesday.addDays(2),
                                   QStringLiteral("สอบ"), RuleKind::OtherWeekday, 6, 0}));
        QVERIFY(h.rules->exportBackup(h.path("backup.json")));

        Home fresh;
        writeFile(fresh.path("not.json"), "{\"format\": \"something else\"}");
        const QByteArray before = fresh.fileBytes();
        QVERIFY(!fresh.rules->importBackup(fresh.path("not.json")));
        QCOMPARE(fresh.fileBytes(), before);

        QVERIFY(fresh.rules->importBackup(h.path("backup.json")));
        fresh.start();
        for (QDate d = kWednesday.addDays(-3); d <= kWednesday.addDays(25); d = d.addDays(1)) {
            const DayPlan a = h.rules->plan(d), b = fresh.rules->plan(d);
            QCOMPARE(b.triggers(), a.triggers());
            QCOMPARE(b.shutdownCaption(), a.shutdownCaption());
            QCOMPARE(b.application, a.application);
            QCOMPARE(b.summary, a.summary);
        }
        QCOMPARE(fresh.rules->calendar(), h.rules->calendar());
    }

    // Today's remaining bells shifted at 07:30: 08:00 rings at 08:10 today; the next day
    // rings at 08:00 again, seen by a program that was running and by one started that day.
    void todaysShiftIsOverTheNextDay() {
        Home h;
        QVERIFY(h.rules->shiftRemainingToday(10));
        QCOMPARE(h.rules->today().periods[1].caption(), QStringLiteral("08:10:00"));
        QCOMPARE(h.rules->today().periods[0].caption(), QStringLiteral("07:00:00"));
        QVERIFY(h.rules->shiftRemainingToday(-5));
        QCOMPARE(h.rules->today().periods[1].caption(), QStringLiteral("08:05:00"));
        // A shift that would take 23:00 past midnight is refused, the day as it was.
        QVERIFY(!h.rules->shiftRemainingToday(60));
        QCOMPARE(h.rules->today().periods[16].caption(), QStringLiteral("23:05:00"));

        h.clock.set(kWednesday.addDays(1), QTime(0, 0, 1));
        QCOMPARE(h.rules->today().periods[1].caption(), QStringLiteral("08:00:00"));
        QVERIFY(h.rules->today().summary.isEmpty());
        h.start();
        QCOMPARE(h.rules->today().periods[1].caption(), QStringLiteral("08:00:00"));
        QVERIFY(h.rules->changesInForce().isEmpty());
    }

    // The next bell skipped, then taken back from the list of changes in force.
    void skippedBellTakenBack() {
        Home h;
        QVERIFY(h.rules->skipNextBell());
        QCOMPARE(h.rules->today().periods[1].caption(), QStringLiteral(" งดออด "));
        const QList<DayRules::Undo> undo = h.rules->changesInForce();
        QCOMPARE(undo.size(), 1);
        QVERIFY(undo.first().run());
        QCOMPARE(h.rules->today().periods[1].caption(), QStringLiteral("08:00:00"));
    }
};

QTEST_GUILESS_MAIN(TestDayRules)
#include "test_dayrules.moc"
