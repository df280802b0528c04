#include "platform/fake/fakeclock.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/dayprogram.h"
#include "store/programstore.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;

namespace {

// A program whose every field is different, so that a swapped field shows.
DayProgram distinctProgram(const QString& tag) {
    DayProgram p;
    for (int n = 1; n <= 24; ++n) {
        Period& period = p.period(n);
        period.hour = QStringLiteral("%1").arg(n - 1, 2, 10, QLatin1Char('0'));
        period.minute = QStringLiteral("%1").arg(n + 30, 2, 10, QLatin1Char('0'));
        period.enabled = n % 2 ? "1" : "0";
        period.soundFile = n % 2 ? "/r/other/เสียง " + tag + QString::number(n) + ".wav" : "";
        period.afterBellMedia = QString::number(n % 5);
    }
    p.frontChimeFile = "/r/title/front " + tag;
    p.voiceFolder = "/r/time/" + tag;
    p.amplifierDelaySeconds = "8";
    p.shutdownMinute = "45";
    p.announceMode = "3";
    p.backChimeFile = "/r/title/back " + tag;
    p.shutdownHour = "16";
    p.shutdownEnabled = "1";
    return p;
}

}  // namespace

class TestDayProgram : public QObject {
    Q_OBJECT

private slots:
    void weekdayTable_data() {
        QTest::addColumn<int>("day");
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("clockName");
        QTest::addColumn<QString>("strip");
        QTest::addColumn<QString>("chooser");
        QTest::newRow("1") << 1 << "vorle_programming5_7day1"
                           << "จันทร์"
                           << "จ"
                           << "วันจันทร์";
        QTest::newRow("2") << 2 << "vorle_programming5_7day2"
                           << "อังคาร"
                           << "อ"
                           << "วันอังคาร";
        QTest::newRow("3") << 3 << "vorle_programming5_7day3"
                           << "พุธ"
                           << "พ"
                           << "วันพุธ";
        QTest::newRow("4") << 4 << "vorle_programming5_7day4"
                           << "พฤหัสบดี"
                           << "พฤ"
                           << "วันพฤหัสบดี";
        QTest::newRow("5") << 5 << "vorle_programming5_7day5"
                           << "ศุกร์"
                           << "ศ"
                           << "วันศุกร์";
        QTest::newRow("6") << 6 << "vorle_programming5_7day6"
                           << "เสาร์"
                           << "ส"
                           << "วันเสาร์";
        QTest::newRow("7") << 7 << "vorle_programming5_7day7"
                           << "อาทิตย์"
                           << "อา"
                           << "วันอาทิตย์";
    }

    void weekdayTable() {
        QFETCH(int, day);
        QFETCH(QString, app);
        QFETCH(QString, clockName);
        QFETCH(QString, strip);
        QFETCH(QString, chooser);
        const WeekdayRow& row = tavirin::weekdayTable().at(std::size_t(day - 1));
        QCOMPARE(row.dayIndex, day);
        QCOMPARE(row.application, app);
        QCOMPARE(row.clockDayName, clockName);
        QCOMPARE(row.dayStripCaption, strip);
        QCOMPARE(row.chooserEntry, chooser);
        QCOMPARE(clockDayName(day), clockName);
        QCOMPARE(dayIndexOfChooserEntry(chooser), std::optional<int>(day));
    }

    void outsideTheWeek() {
        QCOMPARE(clockDayName(0), QString());
        QCOMPARE(clockDayName(8), QString());
        QVERIFY(weekdayRow(8) == nullptr);
        QCOMPARE(dayIndexOfChooserEntry("ทุกวัน"), std::nullopt);
    }

    void todayFromTheDate_data() {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("expected");
        QTest::newRow("Monday") << QDate(2026, 12, 7) << 1;
        QTest::newRow("Wednesday") << QDate(2026, 12, 9) << 3;
        QTest::newRow("Saturday") << QDate(2026, 12, 12) << 6;
        QTest::newRow("Sunday") << QDate(2026, 12, 13) << 7;
        QTest::newRow("Sunday, leap day") << QDate(2032, 2, 29) << 7;
        QTest::newRow("no date") << QDate() << 0;
    }

    void todayFromTheDate() {
        QFETCH(QDate, date);
        QFETCH(int, expected);
        FakeClock clock(QDateTime(date, QTime(23, 59, 59)));
        const std::optional<int> today = todayDayIndex(clock);
        QCOMPARE(today.value_or(0), expected);
        if (expected == 7) QCOMPARE(weekdayRow(*today)->application, "vorle_programming5_7day7");
    }

    void writeDayProgramOrder() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        const DayProgram p = distinctProgram("a");
        QVERIFY(writeDayProgram(store, "vorle_programming5_7day4", p));
        QStringList want;
        for (int n = 1; n <= 24; ++n)
            want << "time/h" + QString::number(n) + "=" + p.period(n).hour;
        want << "time/h25=" + p.shutdownHour;
        for (int n = 1; n <= 24; ++n)
            want << "time/m" + QString::number(n) + "=" + p.period(n).minute;
        want << "time/m25=" + p.frontChimeFile << "time/m26=" + p.voiceFolder
             << "time/m27=" + p.amplifierDelaySeconds << "time/m28=" + p.shutdownMinute
             << "time/m29=" + p.announceMode << "time/m30=" + p.backChimeFile;
        for (int n = 1; n <= 24; ++n)
            want << "number/number" + QString::number(n) + "=" + p.period(n).enabled;
        want << "number/number25=" + p.shutdownEnabled;
        for (int n = 1; n <= 24; ++n)
            want << "sond/sond" + QString::number(n) + "=" + p.period(n).soundFile;
        for (int n = 1; n <= 24; ++n)
            want << "fm/fm" + QString::number(n) + "=" + p.period(n).afterBellMedia;
        QStringList got;
        for (const auto& w : backend.writes()) {
            QCOMPARE(w.app, QStringLiteral("vorle_programming5_7day4"));
            got << w.section + '/' + w.key + '=' + w.value;
        }
        QCOMPARE(got.size(), 128);
        QCOMPARE(got, want);
        QCOMPARE(backend.syncCount(), 1);
    }

    void writeDayProgramStopsAtTheFirstFailure() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        backend.failNthSetValue(50);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed"));
        const Result r = writeDayProgram(store, "vorle_programming5_7day1", distinctProgram("a"));
        QVERIFY(!r);
        QCOMPARE(backend.setValueCalls(), 50);
        QCOMPARE(backend.writes().size(), 49);
        QCOMPARE(backend.syncCount(), 1);  // what was written before the failure stays
    }

    void writeDayProgramReportsAFailedSync() {
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        backend.failNextSync();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not saved"));
        QVERIFY(!writeDayProgram(store, "vorle_programming5_7day1", distinctProgram("a")));
    }

    void sevenProgramsInOneBurstOnARealFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("tavirin.ini");
        FakeClock clock;
        {
            IniSettingsBackend backend(path, clock);
            ProgramStore store(backend);
            ProgramStore::Burst burst(store);
            for (int d = 1; d <= 7; ++d)
                QVERIFY(writeDayProgram(store, weekdayRow(d)->application,
                                        distinctProgram(QString::number(d))));
            QVERIFY(burst.finish());
        }
        IniSettingsBackend backend(path, clock);
        ProgramStore store(backend);
        for (int d = 1; d <= 7; ++d)
            QCOMPARE(readDayProgram(store, d), distinctProgram(QString::number(d)));
        // A day outside the week reads as all empty.
        QCOMPARE(readDayProgram(store, 0), DayProgram());
    }

    void sevenDayFlag_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");  // -1 nothing, 0 off, 1 on
        QTest::newRow("on") << "1" << 1;
        QTest::newRow("off") << "0" << 0;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("other") << "2" << -1;
        QTest::newRow("blank") << " 1" << -1;
    }

    void sevenDayFlag() {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        MemorySettingsBackend backend;
        ProgramStore store(backend);
        QVERIFY(store.SaveSetting("vorle_programming5_7day", "Day_7", "day_7", stored));
        const std::optional<bool> mode = readSevenDayMode(store);
        QCOMPARE(mode.has_value() ? int(*mode) : -1, expected);
    }
};

QTEST_GUILESS_MAIN(TestDayProgram)
#include "test_dayprogram.moc"
