// The self-test's runner: which items it reports, the one notice, the relay's moment, the
// morning's timing; and what the school reads in the window and the tray.
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "platform/fake/fakeaudioprobe.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakeclocksync.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakefolderprobe.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/faketrayicon.h"
#include "platform/fake/memorysettingsbackend.h"
#include "status/daystatus.h"
#include "status/selftest.h"
#include "status/todaysounds.h"
#include "store/dayprogram.h"
#include "store/firstrun.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QSignalSpy>
#include <QtTest>

using namespace tavirin;
using Status = CheckResult::Status;

namespace {

struct Rig {
    FakeClock clock{QDateTime(QDate(2026, 12, 9), QTime(6, 0))};  // a Wednesday
    MemorySettingsBackend backend;
    ProgramStore store{backend};
    SoundLibrary library{QStringLiteral("/lib")};
    FakeSerialLines serial;
    FakeAudioProbe audio;
    FakeClockSync sync;
    FakeFolderProbe folders;
    FakeDialogs dialogs;
    DueTimes triggers{QTime(7, 0), QTime(), QTime(8, 0)};
    bool bell = false;
    SelfTest test{{serial, audio, sync, folders}, store, library, clock, dialogs};

    Rig() {
        seedFirstRun(store, library);
        test.setFolders({{SelfTest::kItemStore, QStringLiteral("/cfg"), true},
                         {SelfTest::kItemLibrary, QStringLiteral("/lib"), false}});
        test.setTriggers([this] { return triggers; });
        test.setBellInProgress([this] { return bell; });
    }
    bool runToEnd() {
        QSignalSpy done(&test, &SelfTest::finished);
        return test.run(QStringLiteral("test")) && done.wait(5000);
    }
    Status status(const QString& item) const {
        for (const CheckResult& c : test.last().checks)
            if (c.item == item) return c.status;
        return Status::Unknown;
    }
};

}  // namespace

class TestSelfTest : public QObject {
    Q_OBJECT

private slots:
    void findsFaultsAndTellsOnce() {
        Rig rig;
        rig.serial.clearDevices();  // the USB relay adapter is not plugged in
        const QString word = QStringLiteral("/lib/time/standard/17.wav");
        rig.audio.bad.insert(word);
        rig.folders.states.insert(QStringLiteral("/cfg"),
                                  {true, true, true, qint64(10) << 20, QString()});
        QVERIFY(rig.runToEnd());

        QCOMPARE(rig.status(SelfTest::kItemRelay), Status::Failed);
        QCOMPARE(rig.status(SelfTest::kItemSounds), Status::Failed);
        QCOMPARE(rig.status(SelfTest::kItemStore), Status::Failed);  // 10 MB left
        QCOMPARE(rig.status(SelfTest::kItemAudio), Status::Ok);
        QCOMPARE(rig.status(SelfTest::kItemClock), Status::Ok);
        QCOMPARE(rig.status(SelfTest::kItemLibrary), Status::Ok);
        QVERIFY(rig.test.last().failed());
        // one notice for the whole self-test, in Thai, naming the file and what to do
        QCOMPARE(rig.dialogs.count("notice"), 1);
        const QString text = rig.dialogs.shown.last().text;
        QVERIFY(text.contains(word));
        QVERIFY(text.contains(QStringLiteral("ส่วนควบคุม")));
        QVERIFY(text.contains(QStringLiteral("ใกล้เต็ม")));
        QCOMPARE(text.count(u'\n'), 2);

        // all well: no notice
        rig.serial.setDevice(1, QStringLiteral("/dev/ttyUSB0"));
        rig.audio.bad.clear();
        rig.folders.states.clear();
        rig.sync.answer = {ClockSync::State::Unknown, QStringLiteral("no timedated")};
        QVERIFY(rig.runToEnd());
        QVERIFY(!rig.test.last().failed());
        QCOMPARE(rig.status(SelfTest::kItemClock), Status::Unknown);
        QCOMPARE(rig.dialogs.count("notice"), 1);
    }

    void relayForAMomentAndNeverDuringABell() {
        Rig rig;
        rig.bell = true;
        QSignalSpy done(&rig.test, &SelfTest::finished);
        QVERIFY(rig.test.run(QStringLiteral("test")));
        QVERIFY(!rig.test.run(QStringLiteral("again")));  // one at a time
        QVERIFY(!done.wait(2500));  // the probes are long done; the relay waits for the bell
        QVERIFY(rig.serial.log.isEmpty());
        rig.bell = false;
        QVERIFY(done.wait(3000));
        // raised and dropped at once, then closed
        QCOMPARE(rig.serial.log,
                 QStringList({"open COM1", "rts on", "dtr on", "rts off", "dtr off", "close"}));
        QCOMPARE(rig.status(SelfTest::kItemRelay), Status::Ok);

        // the amplifier on (radio after a bell): the port is left alone
        QVERIFY(rig.serial.open() == SerialLines::Error::None);
        rig.serial.log.clear();
        QVERIFY(rig.runToEnd());
        QCOMPARE(rig.serial.log, QStringList());
        QVERIFY(rig.serial.isOpen());
        QCOMPARE(rig.status(SelfTest::kItemRelay), Status::Ok);
    }

    void morningOnceBeforeTheFirstBell_data() {
        QTest::addColumn<QStringList>("times");  // the watch looks at these, in order
        QTest::addColumn<int>("runs");
        QTest::newRow("too early") << QStringList{"06:44:40"} << 0;
        QTest::newRow("in time, once") << QStringList{"06:45:00", "06:45:20", "06:59:40"} << 1;
        QTest::newRow("after the first bell") << QStringList{"07:00:00", "07:30:00"} << 0;
        QTest::newRow("the next day again") << QStringList{"06:50:00", "+06:50:00"} << 2;
        QTest::newRow("a day without bells") << QStringList{"none", "06:50:00"} << 0;
    }
    void morningOnceBeforeTheFirstBell() {
        QFETCH(QStringList, times);
        QFETCH(int, runs);
        Rig rig;
        QSignalSpy done(&rig.test, &SelfTest::finished);
        for (QString t : times) {
            if (t == QLatin1String("none")) {
                rig.triggers = {};
                continue;
            }
            QDate day = rig.clock.now().date();
            if (t.startsWith(u'+')) day = day.addDays(1), t.remove(0, 1);
            rig.clock.set(day, QTime::fromString(t, "hh:mm:ss"));
            rig.test.watchMorning();
            if (rig.test.running()) QVERIFY(done.wait(3000));
        }
        QCOMPARE(done.size(), runs);
    }

    // The watch sleeps until the morning self-test is due (06:45 for a first bell at 07:00),
    // and no longer than its cap.
    void watchSleepsUntilDue() {
        Rig rig;
        rig.clock.set(QDate(2026, 12, 9), QTime(6, 43));
        QCOMPARE(rig.test.watchMorning(), 2 * 60 * 1000);
        rig.clock.set(QDate(2026, 12, 9), QTime(5, 0));
        QCOMPARE(rig.test.watchMorning(), SelfTest::kWatchCapMs);
        rig.clock.set(QDate(2026, 12, 9), QTime(9, 0));
        QCOMPARE(rig.test.watchMorning(), SelfTest::kWatchCapMs);
    }

    // The clock set into the morning window while the watch sleeps (here towards its cap):
    // told that time skipped, the watch looks at once and the morning self-test runs.
    void aClockSetWakesTheWatch() {
        Rig rig;
        rig.clock.set(QDate(2026, 12, 8), QTime(23, 0));
        QSignalSpy done(&rig.test, &SelfTest::finished);
        rig.test.lookAgain();  // no watch before the start: nothing
        QVERIFY(!rig.test.running());
        rig.test.start();
        QVERIFY(done.wait(3000));
        rig.clock.set(QDate(2026, 12, 9), QTime(6, 50));
        rig.test.lookAgain();
        QVERIFY(rig.test.running());
        QVERIFY(done.wait(3000));
        QCOMPARE(rig.test.last().reason, QStringLiteral("morning"));
    }

    void startUpInTheWindowIsTheMorningOne() {
        Rig rig;
        rig.clock.set(QDate(2026, 12, 9), QTime(6, 50));
        QSignalSpy done(&rig.test, &SelfTest::finished);
        rig.test.start();
        QVERIFY(done.wait(3000));
        rig.clock.set(QDate(2026, 12, 9), QTime(6, 55));
        rig.test.watchMorning();
        QVERIFY(!rig.test.running());
    }

    void filesOfTheDay() {
        Rig rig;
        DayProgram day = readDayProgram(rig.store, 3);
        const QStringList files = soundFilesOfDay(day, rig.library);
        // chimes, every word file of the voice (intro, 00, 0..59, o'clock, minutes), the
        // system sound; the first-run program has no add-on sounds
        QCOMPARE(files.size(), 2 + 64 + 1);
        QVERIFY(files.contains(day.frontChimeFile));
        QVERIFY(files.contains(day.voiceFolder + QStringLiteral("/59.wav")));
        QCOMPARE(files.last(), rig.library.systemSound());

        day.announceMode = QStringLiteral("3");  // blips only
        day.period(5).enabled = QStringLiteral("1");
        day.period(5).soundFile = QStringLiteral("/lib/other/song.mp3");
        day.period(6).enabled = QStringLiteral("1");
        day.period(6).soundFile = QStringLiteral("/lib/other/song.mp3");
        QCOMPARE(soundFilesOfDay(day, rig.library),
                 QStringList({day.frontChimeFile, day.backChimeFile, "/lib/other/song.mp3",
                              rig.library.systemSound()}));

        for (Period& p : day.periods) p.hour = QStringLiteral("no");
        QVERIFY(soundFilesOfDay(day, rig.library).isEmpty());
    }

    void nextBell_data() {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("text");
        QTest::newRow("minutes") << "09:48:00"
                                 << "ออดถัดไป 10:00 (อีก 12 นาที)";
        QTest::newRow("part of a minute counts") << "09:59:30"
                                                 << "ออดถัดไป 10:00 (อีก 1 นาที)";
        QTest::newRow("the bell's own second is past") << "10:00:00"
                                                       << "ออดถัดไป 12:00 (อีก 2 ชั่วโมง)";
        QTest::newRow("hours and minutes") << "06:15:00"
                                           << "ออดถัดไป 07:30 (อีก 1 ชั่วโมง 15 นาที)";
        QTest::newRow("none left") << "12:00:00"
                                   << "วันนี้ไม่มีออดแล้ว";
    }
    void nextBell() {
        QFETCH(QString, now);
        QFETCH(QString, text);
        const DueTimes triggers{QTime(10, 0), QTime(), QTime(7, 30), QTime(12, 0), QTime()};
        QCOMPARE(DayStatus::nextBellText(triggers, QTime::fromString(now, "hh:mm:ss")), text);
    }

    void windowAndTrayShowTheDay() {
        Rig rig;
        FormModel form;
        buildForm1(form);
        FakeTrayIcon tray;
        DayStatus status(form, rig.clock, &tray);
        status.setTriggers([] { return DueTimes{QTime(7, 0)}; });
        rig.clock.set(QDate(2026, 12, 9), QTime(6, 48));
        status.refresh();
        QCOMPARE(form.text("lbl_next_bell"), QStringLiteral("ออดถัดไป 07:00 (อีก 12 นาที)"));
        QVERIFY(tray.toolTip.contains(form.text("lbl_next_bell")));
        QVERIFY(!tray.warning);

        rig.serial.clearDevices();
        QVERIFY(rig.runToEnd());
        status.setSelfTest(rig.test.last());
        QCOMPARE(form.text("lbl_selftest_state"),
                 QStringLiteral("ตรวจระบบ 06:48 พบปัญหา: ") + thaiCheckName(SelfTest::kItemRelay));
        QVERIFY(tray.toolTip.contains(form.text("lbl_selftest_state")));
        QVERIFY(tray.warning);
    }
};

QTEST_GUILESS_MAIN(TestSelfTest)
#include "test_selftest.moc"
