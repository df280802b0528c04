#include "model/form1layout.h"
#include "model/formmodel.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/memorysettingsbackend.h"
#include "scheduler/arming.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QTest>

using namespace tavirin;

namespace {

constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kOrange{255, 128, 0};

// Wednesday 9 December 2026.
const QDate kWednesday(2026, 12, 9);

}  // namespace

class TestArming : public QObject {
    Q_OBJECT

    struct World {
        MemorySettingsBackend backend;
        ProgramStore store{backend};
        FakeClock clock{QDateTime(kWednesday, QTime(6, 30))};
        SoundLibrary library{QStringLiteral("/home/teacher/rivedezode")};
        FormModel form;
        Arming arming{form, store, clock, library};

        World() {
            buildForm1(form);
            form.setItems(QStringLiteral("Combo54"),
                          {QStringLiteral("female"), QStringLiteral("standard")});
        }
        void seed() { QVERIFY(seedFirstRun(store, library)); }
        void set(int day, const QString& section, const QString& key, const QString& v) {
            QVERIFY(store.SaveSetting(keys::dayApplication(day), section, key, v));
        }
    };

private slots:
    void firstRunProgramArmsSeventeenPeriods() {
        World w;
        w.seed();
        w.arming.armToday();
        for (const PeriodControls& p : periodControls()) {
            if (p.number <= 17) {
                QCOMPARE(w.form.text(p.trigger),
                         QStringLiteral("%1:00:00").arg(6 + p.number, 2, 10, QLatin1Char('0')));
                QCOMPARE(w.form.foreground(p.trigger), kYellow);
            } else {
                QCOMPARE(w.form.text(p.trigger), QStringLiteral(" ไม่ใช้งาน "));
                QCOMPARE(w.form.foreground(p.trigger), kRed);
            }
        }
        QCOMPARE(w.arming.activeApplication(), QStringLiteral("vorle_programming5_7day3"));
        QCOMPARE(w.form.text(QStringLiteral("Label28123")), QStringLiteral("no:no:00"));
        QCOMPARE(w.form.text(QStringLiteral("Text2")), QStringLiteral("2"));
        QVERIFY(w.form.checked(QStringLiteral("Check27")));
        QVERIFY(!w.form.checked(QStringLiteral("Check28")));
        QVERIFY(!w.form.checked(QStringLiteral("Check29")));
        QVERIFY(w.form.visible(QStringLiteral("lbl_same_every_day")));
        QVERIFY(!w.form.visible(QStringLiteral("lbl_day1")));
        QCOMPARE(w.form.text(QStringLiteral("Combo54")), QStringLiteral("standard"));
        QCOMPARE(w.form.text(QStringLiteral("Combo51")), QStringLiteral("5"));
        QCOMPARE(w.form.text(QStringLiteral("Combo49")), QStringLiteral("no"));
        QVERIFY(!w.form.enabled(QStringLiteral("Combo49")));
        QVERIFY(w.form.text(QStringLiteral("radio2")).endsWith(QStringLiteral("#cool")));
        QCOMPARE(w.form.value(QStringLiteral("afterBellMedia")), QStringLiteral("0"));
        QCOMPARE(w.arming.clockWords().intro,
                 QStringLiteral("/home/teacher/rivedezode/time/standard/ขณะนี้เวลา.wav"));
        QCOMPARE(w.arming.clockWords().number[7],
                 QStringLiteral("/home/teacher/rivedezode/time/standard/7.wav"));
        QCOMPARE(w.arming.clockWords().systemSound,
                 QStringLiteral("/home/teacher/rivedezode/sys/0.wav"));
    }

    void wednesdayPaintsItsDayLabel() {
        World w;
        w.seed();
        w.arming.armToday();
        for (int d = 1; d <= 7; ++d)
            QCOMPARE(w.form.background(QStringLiteral("lbl_day%1").arg(d)),
                     d == 3 ? kOrange : kBlue);
        QCOMPARE(w.form.value(QStringLiteral("selectedDayName")), QStringLiteral("พุธ"));

        // Sunday: row 7; and the next arming repaints Wednesday blue.
        w.clock.set(QDate(2026, 12, 13), QTime(8, 0));
        w.arming.armToday();
        QCOMPARE(w.arming.activeApplication(), QStringLiteral("vorle_programming5_7day7"));
        QCOMPARE(w.form.background(QStringLiteral("lbl_day3")), kBlue);
        QCOMPARE(w.form.background(QStringLiteral("lbl_day7")), kOrange);
    }

    void periodValues_data() {
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("hour");
        QTest::addColumn<QString>("minute");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("armed");
        QTest::newRow("07:45") << 3 << "07"
                               << "45"
                               << "07:45:00" << true;
        QTest::newRow("no hour") << 5 << "no"
                                 << "30"
                                 << " ไม่ใช้งาน " << false;
        QTest::newRow("midnight") << 13 << "00"
                                  << "00"
                                  << "00:00:00" << true;
        QTest::newRow("empty hour") << 2 << ""
                                    << "10"
                                    << " ไม่ใช้งาน " << false;
        QTest::newRow("hour 24") << 4 << "24"
                                 << "00"
                                 << " ไม่ใช้งาน " << false;
        QTest::newRow("one digit") << 6 << "7"
                                   << "30"
                                   << " ไม่ใช้งาน " << false;
        QTest::newRow("minute 60") << 7 << "08"
                                   << "60"
                                   << " ไม่ใช้งาน " << false;
        QTest::newRow("empty minute") << 8 << "09"
                                      << ""
                                      << " ไม่ใช้งาน " << false;
        QTest::newRow("minute no") << 9 << "10"
                                   << "no"
                                   << " ไม่ใช้งาน " << false;
    }
    void periodValues() {
        QFETCH(int, period);
        QFETCH(QString, hour);
        QFETCH(QString, minute);
        QFETCH(QString, caption);
        QFETCH(bool, armed);
        World w;
        w.seed();
        // A stale value in the lists from an earlier arming must not survive a bad one.
        w.arming.armToday();
        w.set(3, QStringLiteral("Time"), QStringLiteral("h%1").arg(period), hour);
        w.set(3, QStringLiteral("Time"), QStringLiteral("m%1").arg(period), minute);
        w.arming.armToday();
        const PeriodControls& p = tavirin::period(period);
        QCOMPARE(w.form.text(p.trigger), caption);
        QCOMPARE(w.form.foreground(p.trigger), armed ? kYellow : kRed);
        // The neighbours are untouched.
        QCOMPARE(w.form.text(tavirin::period(period + 1).trigger),
                 QStringLiteral("%1:00:00").arg(7 + period, 2, 10, QLatin1Char('0')));
    }

    void addOnBoxFollowsItsPath() {
        World w;
        w.seed();
        w.set(3, QStringLiteral("Number"), QStringLiteral("number7"), QStringLiteral("1"));
        w.set(3, QStringLiteral("Number"), QStringLiteral("number8"), QStringLiteral("1"));
        w.set(3, QStringLiteral("sond"), QStringLiteral("sond8"), QStringLiteral("/x/other/a.mp3"));
        w.form.setVisible(tavirin::period(7).soundButton, true);
        w.arming.armToday();
        QVERIFY(!w.form.checked(QStringLiteral("Check7")));
        QVERIFY(!w.form.visible(QStringLiteral("Command3(7)")));
        QVERIFY(w.form.checked(QStringLiteral("Check8")));
        QCOMPARE(w.form.text(QStringLiteral("Text6(8)")), QStringLiteral("/x/other/a.mp3"));
    }

    void shutdownTrigger_data() {
        QTest::addColumn<QString>("hour");
        QTest::addColumn<QString>("minute");
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("armed");
        QTest::addColumn<QString>("chooserHour");
        QTest::newRow("16:30 on") << "16"
                                  << "30"
                                  << "1"
                                  << "16:30:00"
                                  << "16";
        QTest::newRow("no:no") << "no"
                               << "no"
                               << "0"
                               << "no:no:00"
                               << "no";
        // Not a time of day: no shutdown, shown as none.
        QTest::newRow("hour no") << "no"
                                 << "30"
                                 << "1"
                                 << "no:no:00"
                                 << "no";
        // A time stored behind a cleared box (never written by the editor) is not armed.
        QTest::newRow("box cleared") << "16"
                                     << "30"
                                     << "0"
                                     << "no:no:00"
                                     << "no";
    }
    void shutdownTrigger() {
        QFETCH(QString, hour);
        QFETCH(QString, minute);
        QFETCH(QString, enabled);
        QFETCH(QString, armed);
        QFETCH(QString, chooserHour);
        World w;
        w.seed();
        w.set(3, QStringLiteral("Time"), QStringLiteral("h25"), hour);
        w.set(3, QStringLiteral("Time"), QStringLiteral("m28"), minute);
        w.set(3, QStringLiteral("Number"), QStringLiteral("number25"), enabled);
        w.arming.armToday();
        QCOMPARE(w.form.text(QStringLiteral("Label28123")), armed);
        QCOMPARE(w.form.text(QStringLiteral("Combo49")), chooserHour);
        QCOMPARE(w.form.enabled(QStringLiteral("Combo49")), enabled == QLatin1String("1"));
    }

    void voiceBoxes() {
        World w;
        w.seed();
        // m29 = "3": no-announcement ticked, repeat disabled with its tick left as it was.
        w.form.setCheckedQuietly(QStringLiteral("Check27"), true);
        w.set(3, QStringLiteral("Time"), QStringLiteral("m29"), QStringLiteral("3"));
        w.arming.armToday();
        QVERIFY(w.form.checked(QStringLiteral("Check28")));
        QVERIFY(!w.form.enabled(QStringLiteral("Check27")));
        QVERIFY(w.form.checked(QStringLiteral("Check27")));
        // m29 = "2": repeat ticked and enabled, no-announcement cleared; Text2 as read.
        w.set(3, QStringLiteral("Time"), QStringLiteral("m29"), QStringLiteral("2"));
        w.arming.armToday();
        QVERIFY(!w.form.checked(QStringLiteral("Check28")));
        QVERIFY(w.form.checked(QStringLiteral("Check27")));
        QVERIFY(w.form.enabled(QStringLiteral("Check27")));
        QCOMPARE(w.form.text(QStringLiteral("Text2")), QStringLiteral("2"));
        // Not a number: boxes stay, the value is kept as read.
        w.set(3, QStringLiteral("Time"), QStringLiteral("m29"), QStringLiteral("x"));
        w.arming.armToday();
        QVERIFY(w.form.checked(QStringLiteral("Check27")));
        QCOMPARE(w.form.text(QStringLiteral("Text2")), QStringLiteral("x"));
    }

    void sevenDayModeShowsTheDayStrip() {
        World w;
        w.seed();
        QVERIFY(w.store.SaveSetting(keys::kBaseApplication, QStringLiteral("Day_7"),
                                    QStringLiteral("day_7"), QStringLiteral("1")));
        w.arming.armToday();
        QVERIFY(w.form.checked(QStringLiteral("Check29")));
        QVERIFY(!w.form.visible(QStringLiteral("lbl_same_every_day")));
        for (const char* n : {"lbl_day1", "lbl_day7", "lbl_copy_to", "Combo52", "Command7"})
            QVERIFY2(w.form.visible(QString::fromLatin1(n)), n);
    }

    void emptyStoreArmsWithoutStopping() {
        World w;  // nothing seeded: every key reads ""
        w.arming.armToday();
        for (const PeriodControls& p : periodControls())
            QCOMPARE(w.form.text(p.trigger), QStringLiteral(" ไม่ใช้งาน "));
        QCOMPARE(w.form.text(QStringLiteral("Label28123")), QStringLiteral("no:no:00"));
        // Arming still reached its last steps.
        QVERIFY(!w.form.enabled(QStringLiteral("Combo50")));
        QCOMPARE(w.form.text(QStringLiteral("Combo50")), QStringLiteral("no"));
    }

    void startUpLoadLeavesTheShutdownChoosers() {
        World w;
        w.seed();
        w.set(3, QStringLiteral("Time"), QStringLiteral("h25"), QStringLiteral("16"));
        w.set(3, QStringLiteral("Time"), QStringLiteral("m28"), QStringLiteral("30"));
        w.set(3, QStringLiteral("Number"), QStringLiteral("number25"), QStringLiteral("1"));
        w.arming.loadTodayForStartUp();
        QCOMPARE(w.form.text(QStringLiteral("Label28123")), QStringLiteral("16:30:00"));
        QCOMPARE(w.form.text(QStringLiteral("Combo49")), QString());
        QCOMPARE(w.form.text(QStringLiteral("lbl_vorle_programming5_7day")),
                 QStringLiteral("vorle_programming5_7day3"));
    }
};

QTEST_GUILESS_MAIN(TestArming)
#include "test_arming.moc"
