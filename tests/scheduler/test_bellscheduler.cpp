#include "coreharness.h"

#include "journal/sqlitejournal.h"

#include <QTest>

using namespace tavirin;

namespace {

QString sys(const CoreHarness& h) {
    return h.library.systemSound();
}

int countOf(const QStringList& l, const QString& s) {
    return int(l.count(s));
}

// A bell journal on a real SQLite file of the test's own.
struct JournalFile {
    QTemporaryDir dir;
    FakeClock clock;
    SqliteJournal journal{dir.filePath(QStringLiteral("journal.sqlite")), clock};
    JournalFile() { journal.open(); }
};

}  // namespace

class TestBellScheduler : public QObject {
    Q_OBJECT

private slots:
    // Every armed bell of the first-run program rings exactly once through a whole day, each
    // run playing front chime, the time twice, the system sound, back chime; the relay is on
    // from firing to the end of the run.
    void aSchoolDay() {
        CoreHarness h;
        h.seedAndArm();
        h.runUntil(QTime(23, 2, 0));
        const QList<QStringList> runs = h.runs();
        QCOMPARE(runs.size(), 17);
        for (int i = 0; i < runs.size(); ++i) QCOMPARE(runs[i], h.expectedRun(7 + i, 0, sys(h)));
        QCOMPARE(h.serial.log.count(QStringLiteral("open COM1")), 17);
        QCOMPARE(h.serial.log.count(QStringLiteral("close")), 17);
        QVERIFY(!h.serial.isOpen());
        // Relay order within one bell: on before the first sound, off only once the bell's one
        // stream has played out after the last.
        const int on = int(h.journal.indexOf(QStringLiteral("serial dtr on")));
        const int open = int(h.journal.indexOf(QStringLiteral("stream open")));
        const int first =
            int(h.journal.indexOf(QStringLiteral("play ") + h.library.frontChimeFile()));
        const int back =
            int(h.journal.indexOf(QStringLiteral("play ") + h.library.backChimeFile()));
        const int drained = int(h.journal.indexOf(QStringLiteral("stream drained")));
        const int off = int(h.journal.indexOf(QStringLiteral("serial close")));
        QVERIFY(on < open && open < first && back < drained && drained < off);
        QCOMPARE(h.audio.opened, 17);
        QCOMPARE(h.audio.drained, 17);
        QVERIFY(h.form.timer(QStringLiteral("Timer3"))->isActive());
        QCOMPARE(h.form.value(QStringLiteral("afterBellMedia")), QStringLiteral("0"));
        QCOMPARE(h.form.text(QStringLiteral("Text3")), QString());
        QCOMPARE(h.motion.shows, 17);
        QCOMPARE(h.motion.hides, 17);
    }

    void twoPeriodsAtOneTimeRingOnceWithTheHigherOnesSound() {
        CoreHarness h;
        h.seedAndArm();
        h.set(QStringLiteral("Time"), QStringLiteral("h2"), QStringLiteral("10"));
        h.set(QStringLiteral("Time"), QStringLiteral("h5"), QStringLiteral("10"));
        h.set(QStringLiteral("Time"), QStringLiteral("h4"), QStringLiteral("no"));
        h.set(QStringLiteral("Number"), QStringLiteral("number2"), QStringLiteral("1"));
        h.set(QStringLiteral("sond"), QStringLiteral("sond2"),
              QStringLiteral("/lib/other/two.wav"));
        h.set(QStringLiteral("Number"), QStringLiteral("number5"), QStringLiteral("1"));
        h.set(QStringLiteral("sond"), QStringLiteral("sond5"),
              QStringLiteral("/lib/other/five.mp3"));
        h.set(QStringLiteral("Fm"), QStringLiteral("fm5"), QStringLiteral("4"));
        h.arming.armToday();
        h.clock.set(QDate(2026, 12, 9), QTime(9, 59, 58));
        h.runUntil(QTime(10, 1, 0));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0], h.expectedRun(10, 0, QStringLiteral("/lib/other/five.mp3")));
        // After-bell 4: players ended, one second later the music player, amplifier stays on.
        const int back =
            int(h.journal.indexOf(QStringLiteral("play ") + h.library.backChimeFile()));
        const QStringList after = h.journal.mid(back + 1);
        QVERIFY(after.indexOf(QStringLiteral("wait 1000")) >
                after.indexOf(QStringLiteral("end audacious")));
        QVERIFY(after.indexOf(QStringLiteral("start audacious [--play]")) >
                after.indexOf(QStringLiteral("wait 1000")));
        QVERIFY(h.serial.energised());
    }

    void afterBellChoices_data() {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("started");
        QTest::addColumn<int>("wait");
        QTest::addColumn<bool>("amplifierOn");
        QTest::newRow("off") << "0"
                             << ""
                             << "" << 0 << false;
        QTest::newRow("radio 1") << "1"
                                 << " https://r.example/#88-fm"
                                 << "radio open https://r.example/#88-fm ask" << 3000 << true;
        QTest::newRow("radio 2 blanks") << "2"
                                        << "   "
                                        << "" << 0 << true;
        QTest::newRow("music") << "4"
                               << ""
                               << "start audacious [--play]" << 1000 << true;
        QTest::newRow("other value") << "7"
                                     << ""
                                     << "" << 0 << true;
    }
    void afterBellChoices() {
        QFETCH(QString, choice);
        QFETCH(QString, address);
        QFETCH(QString, started);
        QFETCH(int, wait);
        QFETCH(bool, amplifierOn);
        CoreHarness h;
        h.seedAndArm();
        h.set(QStringLiteral("Fm"), QStringLiteral("fm2"), choice);
        h.arming.armToday();
        const int n = choice == QLatin1String("2") ? 2 : 1;
        h.form.setText(QStringLiteral("radio%1").arg(n), address);
        h.clock.set(QDate(2026, 12, 9), QTime(7, 59, 59));
        h.runUntil(QTime(8, 1, 0));
        QCOMPARE(h.runs().size(), 1);
        const int back =
            int(h.journal.indexOf(QStringLiteral("play ") + h.library.backChimeFile()));
        const QStringList after = h.journal.mid(back + 1);
        if (started.isEmpty()) {
            for (const QString& l : after)
                QVERIFY2(!l.startsWith(QLatin1String("start")), qPrintable(l));
        } else {
            QVERIFY2(after.contains(started), qPrintable(after.join(u'\n')));
            QCOMPARE(h.waiter.waits, QList<int>{wait});
        }
        QCOMPARE(h.serial.energised(), amplifierOn);
        QCOMPARE(h.form.value(QStringLiteral("afterBellMedia")), QStringLiteral("0"));
    }

    void addOnSoundOrSystemSound_data() {
        QTest::addColumn<QString>("enabled");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("playsFile");
        QTest::newRow("on with file") << "1"
                                      << "/lib/other/a.wav" << true;
        QTest::newRow("on without file") << "1"
                                         << "" << false;
        QTest::newRow("off with file") << "0"
                                       << "/lib/other/a.wav" << false;
    }
    void addOnSoundOrSystemSound() {
        QFETCH(QString, enabled);
        QFETCH(QString, file);
        QFETCH(bool, playsFile);
        CoreHarness h;
        h.seedAndArm();
        h.set(QStringLiteral("Number"), QStringLiteral("number1"), enabled);
        h.set(QStringLiteral("sond"), QStringLiteral("sond1"), file);
        h.arming.armToday();  // as the editor's save does
        h.runUntil(QTime(7, 1, 0));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0], h.expectedRun(7, 0, playsFile ? file : sys(h)));
    }

    void aPeriodAtMidnightRingsAfterTheNewDayIsArmed() {
        CoreHarness h;
        h.seedAndArm();
        // Thursday's program has period 1 at 00:00; Wednesday's has nothing then.
        h.set(QStringLiteral("Time"), QStringLiteral("h1"), QStringLiteral("00"),
              keys::dayApplication(4));
        h.clock.set(QDate(2026, 12, 9), QTime(23, 59, 58));
        h.runUntil(QDateTime(QDate(2026, 12, 10), QTime(0, 1, 0)));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0], h.expectedRun(0, 0, sys(h)));
        QCOMPARE(h.today(), keys::dayApplication(4));
        QCOMPARE(h.form.text(QStringLiteral("lbl_dayy")), QStringLiteral("พฤหัสบดี"));
    }

    void aBellThatSpansMidnightStillArmsTheNewDay() {
        CoreHarness h;
        h.seedAndArm();
        h.set(QStringLiteral("Time"), QStringLiteral("h18"), QStringLiteral("23"));
        h.set(QStringLiteral("Time"), QStringLiteral("m18"), QStringLiteral("59"));
        h.arming.armToday();
        h.clock.set(QDate(2026, 12, 9), QTime(23, 58, 50));
        h.audio.onPlay = [&](const FakeAudioOutput::Play& p) {
            h.journal.append(QStringLiteral("play ") + p.path);
            h.clock.advanceMs(5000);
        };
        // The run takes the tick through 00:00:00; the new day is noticed afterwards.
        h.runUntil(QDateTime(QDate(2026, 12, 10), QTime(0, 2, 0)));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.today(), keys::dayApplication(4));
    }

    void aTriggerDuringARunIsNotRung() {
        JournalFile j;
        CoreHarness h(&j.journal);
        h.seedAndArm();
        h.set(QStringLiteral("Time"), QStringLiteral("h18"), QStringLiteral("07"));
        h.set(QStringLiteral("Time"), QStringLiteral("m18"), QStringLiteral("00"));
        h.arming.armToday();
        // Period 18 at 07:00:20 falls while the 07:00 bell is playing.
        h.arming.setDueForToday(18, QTime(7, 0, 20));
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QStringLiteral(
                "missed the bell of period 18 at 07:00:20 - it fell during another bell")));
        h.runUntil(QTime(7, 5, 0));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.bellsToday(), (QStringList{"1 rang", "18 missed during_bell"}));
    }

    void delayCountdown_data() {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("1") << "1" << QStringList{"0"};
        QTest::newRow("5") << "5" << QStringList{"4", "3", "2", "1", "0"};
    }
    void delayCountdown() {
        QFETCH(QString, delay);
        QFETCH(QStringList, shown);
        CoreHarness h;
        h.seedAndArm();
        h.set(QStringLiteral("Time"), QStringLiteral("m27"), delay);
        QStringList seen;
        QString last;
        QObject::connect(&h.form, &FormModel::changed, [&](const QString& name) {
            // `changed` also reports the label being shown or hidden; keep the captions.
            const QString t = h.form.text(name);
            if (name == QLatin1String("Label242") && !t.isEmpty() && t != last) seen << t;
            if (name == QLatin1String("Label242")) last = t;
        });
        QDateTime started;
        h.audio.onPlay = [&](const FakeAudioOutput::Play& p) {
            if (!started.isValid()) started = h.clock.now();
            if (!p.isSpan()) h.clock.advanceMs(CoreHarness::kSoundMs);
            h.journal.append(QStringLiteral("play ") + p.path);
        };
        h.runUntil(QTime(7, 0, 30));
        QCOMPARE(seen, shown);
        // Fired on the first tick of 07:00:00, one countdown step a second from that second:
        // the run starts `delay` seconds after it.
        QCOMPARE(started.time(), QTime(7, 0, delay.toInt()));
    }

    void theRunAnnouncesTheTimeItStarts() {
        CoreHarness h;
        h.seedAndArm();
        h.set(QStringLiteral("Time"), QStringLiteral("h3"), QStringLiteral("09"));
        h.set(QStringLiteral("Time"), QStringLiteral("m3"), QStringLiteral("59"));
        h.arming.armToday();
        h.arming.setDueForToday(3, QTime(9, 59, 58));
        h.clock.set(QDate(2026, 12, 9), QTime(9, 59, 50));
        h.runUntil(QTime(10, 0, 0).addSecs(-1));
        h.runUntil(QTime(10, 0, 30));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0], h.expectedRun(10, 0, sys(h)));
    }

    void announceModes_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("words");
        QTest::addColumn<int>("blips");
        QTest::newRow("once") << "1" << 1 << 0;
        QTest::newRow("twice") << "2" << 2 << 0;
        QTest::newRow("blips") << "3" << 0 << 5;
        QTest::newRow("not a number") << "" << 0 << 0;
    }
    void announceModes() {
        QFETCH(QString, mode);
        QFETCH(int, words);
        QFETCH(int, blips);
        CoreHarness h;
        h.seedAndArm();
        h.set(QStringLiteral("Time"), QStringLiteral("m29"), mode);
        h.set(QStringLiteral("Time"), QStringLiteral("m1"), QStringLiteral("15"));
        h.arming.armToday();
        h.runUntil(QTime(7, 16, 0));
        QCOMPARE(h.runs().size(), 1);
        const QStringList run = h.runs()[0];
        const QString v = h.library.standardVoiceFolder();
        QCOMPARE(countOf(run, QStringLiteral("play ") + v + QStringLiteral("/15.wav")), words);
        QCOMPARE(countOf(run, QStringLiteral("play ") + v + QStringLiteral("/นาที.wav")), words);
        QCOMPARE(countOf(run, QStringLiteral("blip ") + sys(h)), blips);
        QCOMPARE(run.size(), 3 + 5 * words + blips);
    }

    void announceNow_data() {
        QTest::addColumn<QString>("phrase");
        QTest::newRow("no closing phrase") << "";
        QTest::newRow("closing phrase") << "/lib/other/thanks.mp3";
    }
    void announceNow() {
        QFETCH(QString, phrase);
        CoreHarness h;
        h.seedAndArm();
        h.clock.set(QDate(2026, 12, 9), QTime(13, 7, 0));
        h.runFor(1000);
        h.form.setChecked(QStringLiteral("Check25"), !phrase.isEmpty());
        h.form.setText(QStringLiteral("Text3"), phrase);
        h.form.setValue(QStringLiteral("afterBellMedia"), QStringLiteral("4"));
        h.form.click(QStringLiteral("Command3555"));
        QVERIFY(!h.form.enabled(QStringLiteral("Command3555")));
        QVERIFY(!h.form.timer(QStringLiteral("Timer3"))->isActive());
        h.runFor(60000);
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0], h.expectedRun(13, 7, phrase.isEmpty() ? sys(h) : phrase));
        QCOMPARE(h.motion.shows, 0);  // no slide-in, no wait for the window
        QVERIFY(!h.serial.isOpen());  // the amplifier goes off after an announce-now
        QVERIFY(!h.form.checked(QStringLiteral("Check25")));
        QVERIFY(!h.form.visible(QStringLiteral("Command357")));
        QCOMPARE(h.form.text(QStringLiteral("Text3")), QString());
        // The button stays disabled until the window is brought back from the tray.
        QVERIFY(!h.form.enabled(QStringLiteral("Command3555")));
    }

    // A show that abandons the window's hide hands the tick back at once, but never in the
    // middle of a bell: that bell's own hide brings it back.
    void resumeWatching_data() {
        QTest::addColumn<QTime>("at");
        QTest::addColumn<bool>("announceNow");
        QTest::addColumn<bool>("resumes");
        QTest::newRow("just fired") << QTime(7, 0, 0, 100) << false << false;
        QTest::newRow("counting down") << QTime(7, 0, 3) << false << false;
        QTest::newRow("announcing now") << QTime(6, 59, 55) << true << false;
        QTest::newRow("watching") << QTime(6, 59, 55) << false << true;
        QTest::newRow("after the run") << QTime(7, 1, 0) << false << true;
    }
    void resumeWatching() {
        QFETCH(QTime, at);
        QFETCH(bool, announceNow);
        QFETCH(bool, resumes);
        CoreHarness h;
        h.seedAndArm();
        h.runUntil(at);
        if (announceNow) h.form.click(QStringLiteral("Command3555"));
        QTimer* tick = h.form.timer(QStringLiteral("Timer3"));
        tick->stop();
        h.scheduler.resumeWatching();
        QCOMPARE(tick->isActive(), resumes);
        QCOMPARE(h.scheduler.bellInProgress(), !resumes);
    }

    void aWindowThatNeverArrivesDoesNotStopTheBell() {
        CoreHarness h;
        h.seedAndArm();
        h.motion.stuck = true;
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("did not reach its place")));
        h.runUntil(QTime(7, 1, 0));
        QCOMPARE(h.runs().size(), 1);
    }

    void clockSteps() {
        CoreHarness h;
        h.seedAndArm();
        h.runUntil(QTime(7, 1, 0));
        QCOMPARE(h.runs().size(), 1);
        // Back across the trigger second: not rung again, and said once, not on every tick.
        int refusals = 0;
        static int* counter = nullptr;
        counter = &refusals;
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
                if (m.contains(QLatin1String("already rang today"))) ++*counter;
            });
        h.clock.set(QDate(2026, 12, 9), QTime(6, 59, 59));
        h.runUntil(QTime(7, 1, 0));
        qInstallMessageHandler(previous);
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(refusals, 1);
        // Forward over 08:00:00 (a suspend): not rung, logged as missed.
        h.clock.set(QDate(2026, 12, 9), QTime(7, 59, 0));
        h.runFor(1000);
        h.clock.set(QDate(2026, 12, 9), QTime(8, 30, 0));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral(
                                 "missed the bell of period 2 at 08:00:00 - it is 1800 s late")));
        h.runFor(1000);
        QCOMPARE(h.runs().size(), 1);
    }

    // A trigger second no tick saw: the program held up (all clocks moved), the clock set
    // forward (the elapsed clocks stood), the machine asleep (only BOOTTIME moved). Within
    // the grace it rings late, beyond it is missed; the journal says which and why.
    void unseenTrigger_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<QString>("grace");  // late_grace_seconds as stored
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("announcedMinute");  // -1: not rung
        QTest::newRow("stall 1.5 s") << "stall" << 1500 << ""
                                     << "rings late, by 1.5 s"
                                     << "2 late stall" << 0;
        QTest::newRow("stall 60 s") << "stall" << 60000 << ""
                                    << "rings late, by 60.0 s"
                                    << "2 late stall" << 1;
        QTest::newRow("stall 61 s") << "stall" << 61000 << ""
                                    << "it is 61 s late, more than the 60 s allowed: the program "
                                       "was held up for 61.1 s"
                                    << "2 missed stall" << -1;
        QTest::newRow("clock 5 min forward") << "set" << 300000 << ""
                                             << "allowed: the clock was set forward by 300 s"
                                             << "2 missed clock_jump" << -1;
        QTest::newRow("clock 30 s forward") << "set" << 30000 << ""
                                            << "rings late, by 30.0 s"
                                            << "2 late clock_jump" << 0;
        QTest::newRow("asleep 5 min") << "sleep" << 300000 << ""
                                      << "allowed: the computer was asleep for 300 s"
                                      << "2 missed suspend" << -1;
        QTest::newRow("grace 120 s") << "stall" << 90000 << "120"
                                     << "rings late, by 90.0 s"
                                     << "2 late stall" << 1;
        QTest::newRow("grace not a number") << "stall" << 61000 << "abc"
                                            << "more than the 60 s"
                                            << "2 missed stall" << -1;
    }
    void unseenTrigger() {
        QFETCH(QString, how);
        QFETCH(int, gapMs);
        QFETCH(QString, grace);
        QFETCH(QString, log);
        QFETCH(QString, record);
        QFETCH(int, announcedMinute);
        JournalFile j;
        CoreHarness h(&j.journal);
        h.seedAndArm();
        if (!grace.isEmpty())
            h.set(keys::kLateBells, keys::kLateGraceKey, grace, keys::kBaseApplication);
        if (grace == QLatin1String("abc"))
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("late_grace_seconds")));
        h.clock.set(QDate(2026, 12, 9), QTime(7, 59, 50));
        h.runUntil(QTime(7, 59, 59, 900));
        int skipped = 0;  // the others that sleep on plans of their own are told of a gap
        h.scheduler.setTimeSkipped([&] { ++skipped; });
        h.scheduler.Timer3_Timer();  // the last tick seen, 100 ms before the trigger second
        QCOMPARE(skipped, 0);
        if (how == QLatin1String("stall"))
            h.clock.advanceMs(gapMs);  // no tick meanwhile
        else if (how == QLatin1String("sleep"))
            h.clock.sleepMs(gapMs);
        else
            h.clock.set(h.clock.now().addMSecs(gapMs));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(log)));
        h.clock.advanceMs(100);
        h.scheduler.Timer3_Timer();  // the next one
        QCOMPARE(skipped, 1);
        h.runUntil(h.clock.now().addSecs(150));
        QCOMPARE(h.runs().size(), announcedMinute < 0 ? 0 : 1);
        if (announcedMinute >= 0) QCOMPARE(h.runs()[0], h.expectedRun(8, announcedMinute, sys(h)));
        QCOMPARE(h.bellsToday(), QStringList{record});
        const BellRecord b = j.journal.bellsOn(QDate(2026, 12, 9)).first();
        QCOMPARE(b.fired.isValid(), announcedMinute >= 0);
        if (announcedMinute >= 0) QCOMPARE(*b.lateMs, qint64(gapMs));
    }

    // Started at 10:30 after the PC was off from 07:20: the bells between are missed because
    // the program was not running; the one that rang is not; a second start adds nothing.
    void bellsDueWhileNotRunning() {
        JournalFile j;
        {
            CoreHarness before(&j.journal);
            before.seedAndArm();
            before.runUntil(QTime(7, 20, 0));
        }
        CoreHarness h(&j.journal);
        h.clock.set(QDate(2026, 12, 9), QTime(10, 30, 0));
        h.seedAndArm();
        for (int start = 0; start < 2; ++start) {
            for (const char* bell : {"2 at 08", "3 at 09", "4 at 10"})
                if (start == 0)
                    QTest::ignoreMessage(
                        QtWarningMsg, QRegularExpression(QStringLiteral("period %1:00:00 - the "
                                                                        "program was not running")
                                                             .arg(QLatin1String(bell))));
            h.scheduler.accountForStartUp();
            QCOMPARE(h.bellsToday(), (QStringList{"1 rang", "2 missed not_running",
                                                  "3 missed not_running", "4 missed not_running"}));
        }
    }

    // A bell whose sounds all failed, or that reached no real device, failed; one failed
    // sound of many does not fail the bell. Announce-now is recorded too.
    void bellOutcomes_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("record");
        QTest::newRow("all played") << ""
                                    << "1 rang";
        QTest::newRow("front chime missing") << "front"
                                             << "1 rang";
        QTest::newRow("no sound plays") << "all"
                                        << "1 failed sounds_failed";
        QTest::newRow("no real device") << "device"
                                        << "1 failed no_device";
        QTest::newRow("announce-now") << "announce"
                                      << "- rang";
    }
    void bellOutcomes() {
        QFETCH(QString, fault);
        QFETCH(QString, record);
        JournalFile j;
        CoreHarness h(&j.journal);
        h.seedAndArm();
        if (fault == QLatin1String("front")) h.audio.failing.insert(h.library.frontChimeFile());
        if (fault == QLatin1String("device")) h.audio.noDevice = true;
        if (fault == QLatin1String("all"))
            h.audio.onPlay = [&](const FakeAudioOutput::Play& p) {
                h.audio.failing.insert(p.path);
            };
        if (fault == QLatin1String("announce")) {
            h.clock.set(QDate(2026, 12, 9), QTime(7, 30, 0));
            h.runFor(1000);
            h.form.click(QStringLiteral("Command3555"));
        }
        h.runUntil(h.clock.now().addSecs(60));
        QCOMPARE(h.bellsToday(), QStringList{record});
        const BellRecord b = j.journal.bellsOn(QDate(2026, 12, 9)).first();
        QCOMPARE(b.kind,
                 fault == QLatin1String("announce") ? journal::kAnnounce : journal::kScheduled);
        QCOMPARE(b.sounds.size(), h.audio.plays.size());
        QCOMPARE(b.relay, journal::kRelayOn);
        QCOMPARE(b.afterBell, QStringLiteral("off"));
        QVERIFY(b.relayOff.isValid() && b.ended.isValid());
    }

    void aMissingSoundIsReportedAndTheRunGoesOn() {
        CoreHarness h;
        h.seedAndArm();
        h.audio.failing.insert(h.library.frontChimeFile());
        h.runUntil(QTime(7, 1, 0));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0].last(), QStringLiteral("play ") + h.library.backChimeFile());
        QCOMPARE(h.dialogs.count(QStringLiteral("message")), 0);  // never a modal box
        QCOMPARE(h.dialogs.count(QStringLiteral("notice")), 1);
        QVERIFY(!h.serial.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestBellScheduler)
#include "test_bellscheduler.moc"
