#include "coreharness.h"

#include "platform/fake/fakewallclockalarm.h"
#include "scheduler/watchplan.h"

#include <QTest>

using namespace tavirin;

namespace {

QDateTime at(int h, int m, int s, int ms = 0, QDate d = QDate(2026, 12, 9)) {
    return QDateTime(d, QTime(h, m, s, ms));
}

// The first-run program (a bell every hour from 07:00 to 23:00) with a wall-clock alarm, the
// ticks counted.
struct Watching {
    CoreHarness h;
    FakeWallClockAlarm alarm;
    int ticks = 0;

    explicit Watching(bool shown) {
        h.seedAndArm();
        h.scheduler.setAlarm(&alarm);
        h.scheduler.setWindowShown(shown);
        h.handlers.insert(QStringLiteral("Timer3"), [this] {
            ++ticks;
            h.scheduler.Timer3_Timer();
        });
    }
    QTimer* tick() const { return h.form.timer(QStringLiteral("Timer3")); }
    bool fired() const { return h.motion.shows > 0; }
    // Asleep at `t`: one tick there.
    void asleepAt(const QDateTime& t) {
        h.clock.set(t);
        h.scheduler.Timer3_Timer();
        QVERIFY(h.scheduler.sleeping());
    }
};

}  // namespace

class TestWatching : public QObject {
    Q_OBJECT

private slots:
    void plan_data() {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<bool>("awake");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<bool>("sleeping");
        QTest::newRow("awake: just after the next second")
            << QTime(7, 0, 0, 250) << true << qint64(753) << false;
        QTest::newRow("awake, far from anything")
            << QTime(3, 0, 0, 999) << true << qint64(4) << false;
        QTest::newRow("hidden: to 2 s before 08:00")
            << QTime(7, 59, 0) << false << qint64(58000) << true;
        QTest::newRow("hidden: a long sleep is capped")
            << QTime(7, 0, 0) << false << watchplan::kMaxSleepMs << true;
        QTest::newRow("hidden, within the margin: every second")
            << QTime(7, 59, 58, 500) << false << qint64(503) << false;
        QTest::newRow("hidden, in the due second: the next one counts")
            << QTime(8, 0, 0, 3) << false << watchplan::kMaxSleepMs << true;
        QTest::newRow("hidden, after the last: midnight")
            << QTime(23, 58, 0) << false << qint64(118000) << true;
        QTest::newRow("hidden, the shutdown time")
            << QTime(16, 29, 30) << false << qint64(28000) << true;
    }
    void plan() {
        QFETCH(QTime, now);
        QFETCH(bool, awake);
        QFETCH(qint64, ms);
        QFETCH(bool, sleeping);
        const watchplan::Plan p = watchplan::next(QDateTime(QDate(2026, 12, 9), now),
                                                  {QTime(8, 0), QTime(16, 30)}, awake);
        QCOMPARE(p.ms, ms);
        QCOMPARE(p.sleeping, sleeping);
    }

    // Shown or hidden, the bell fires on the first tick of its second, a few ms into it; hidden,
    // the program slept from long before until two seconds before it.
    void firesOnTheFirstTickOfTheSecond_data() {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("maxTicks");
        QTest::newRow("shown") << true << 200;
        QTest::newRow("hidden") << false << 4;
    }
    void firesOnTheFirstTickOfTheSecond() {
        QFETCH(bool, shown);
        QFETCH(int, maxTicks);
        Watching w(shown);
        w.h.clock.set(at(7, 57, 0, 420));
        w.h.runUntil(at(8, 0, 0, 2));
        QVERIFY(!w.fired());
        w.h.runUntil(at(8, 0, 0, watchplan::kAfterSecondMs));
        QVERIFY(w.fired());
        QVERIFY2(w.ticks <= maxTicks, qPrintable(QString::number(w.ticks)));
        QCOMPARE(w.h.form.text(QStringLiteral("Label1")), QStringLiteral("08:00:00"));
    }

    // Hidden through midnight: the new day is armed at 00:00:00 and its first bell rings.
    void midnightWhileHidden() {
        Watching w(false);
        w.h.set(QStringLiteral("Time"), QStringLiteral("h1"), QStringLiteral("00"),
                keys::dayApplication(4));
        w.asleepAt(at(23, 30, 0));
        w.h.runUntil(at(0, 0, 0, 2, QDate(2026, 12, 10)));
        QCOMPARE(w.h.today(), keys::dayApplication(3));
        w.h.runUntil(at(0, 0, 0, 3, QDate(2026, 12, 10)));
        QCOMPARE(w.h.today(), keys::dayApplication(4));
        QCOMPARE(w.h.form.text(QStringLiteral("lbl_dayy")), QStringLiteral("พฤหัสบดี"));
        QVERIFY(w.fired());
        QVERIFY(w.ticks <= 10);
    }

    // The wall clock set while the program sleeps: the alarm says so, the tick looks at once;
    // a trigger jumped over is the late-bell policy's (rung when at most 60 s late), a clock set
    // back is slept from anew.
    void aClockSetWhileAsleep_data() {
        QTest::addColumn<QDateTime>("setTo");
        QTest::addColumn<bool>("rings");
        QTest::addColumn<qint64>("sleepMs");
        QTest::newRow("forward, 30 s past 08:00") << at(8, 0, 30) << true << qint64(-1);
        QTest::newRow("forward, 3 min past 08:00")
            << at(8, 3, 0) << false << watchplan::kMaxSleepMs;
        QTest::newRow("back, a minute before 08:00") << at(7, 59, 0) << false << qint64(58000);
        QTest::newRow("back, past the last bell") << at(23, 59, 0) << false << qint64(58000);
    }
    void aClockSetWhileAsleep() {
        QFETCH(QDateTime, setTo);
        QFETCH(bool, rings);
        QFETCH(qint64, sleepMs);
        Watching w(false);
        w.asleepAt(at(7, 50, 0));
        QCOMPARE(w.alarm.armedMs, watchplan::kMaxSleepMs);
        w.h.clock.set(setTo);
        w.alarm.clockChanged();
        QCOMPARE(w.fired(), rings);
        QCOMPARE(w.h.form.text(QStringLiteral("Label1")),
                 setTo.time().toString(QStringLiteral("HH:mm:ss")));
        if (rings) {
            QVERIFY(!w.tick()->isActive());
            QCOMPARE(w.alarm.armedMs, qint64(-1));
        } else {
            QCOMPARE(w.alarm.armedMs, sleepMs);
            QCOMPARE(qint64(w.tick()->interval()), sleepMs);
        }
    }

    // A day armed anew while the window is hidden and the tick asleep (today's program changed
    // from the page or the bus): the sleep is planned anew at once, and a bell that the old
    // plan would have slept past rings on its second.
    void aNewPlanDuringASleepIsWatched() {
        Watching w(false);
        w.asleepAt(at(7, 0, 30));
        QCOMPARE(w.alarm.armedMs, watchplan::kMaxSleepMs);
        w.h.set(QStringLiteral("Time"), QStringLiteral("h2"), QStringLiteral("07"));
        w.h.set(QStringLiteral("Time"), QStringLiteral("m2"), QStringLiteral("02"));
        w.h.arming.armToday();
        QTRY_VERIFY(w.alarm.armedMs < watchplan::kMaxSleepMs);
        QVERIFY(w.alarm.armedMs <= 90 * 1000);
        w.h.runUntil(at(7, 2, 0, 500));
        QVERIFY(w.fired());
    }

    // The window shown during a long sleep shows the time at once and ticks every second.
    void theWindowShownDuringASleepGetsItsClockAtOnce() {
        Watching w(false);
        w.asleepAt(at(7, 10, 0));
        w.h.clock.set(at(7, 12, 34, 567));
        w.h.scheduler.setWindowShown(true);
        QCOMPARE(w.h.form.text(QStringLiteral("Label1")), QStringLiteral("07:12:34"));
        QVERIFY(!w.h.scheduler.sleeping());
        QCOMPARE(w.tick()->interval(), 1000 - 567 + int(watchplan::kAfterSecondMs));
        QCOMPARE(w.alarm.armedMs, qint64(-1));
    }

    // The countdown counts from the due second, and the bell's stream is opened with its front
    // chime queued to be heard when it ends: the run starts at due + delay to the millisecond.
    void theRunStartsAtDuePlusDelay_data() {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<bool>("announceNow");
        QTest::addColumn<QDateTime>("start");   // the trigger's second, or the click
        QTest::addColumn<QDateTime>("firing");  // when the tick or the click came
        QTest::newRow("delay 1") << "1" << false << at(8, 0, 0) << at(8, 0, 0, 3);
        QTest::newRow("delay 10") << "10" << false << at(8, 0, 0) << at(8, 0, 0, 3);
        QTest::newRow("late by 20 s: from the firing")
            << "5" << false << at(8, 0, 20, 3) << at(8, 0, 20, 3);
        QTest::newRow("announce now: from the click")
            << "8" << true << at(7, 30, 0, 412) << at(7, 30, 0, 412);
    }
    void theRunStartsAtDuePlusDelay() {
        QFETCH(QString, delay);
        QFETCH(bool, announceNow);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, firing);
        Watching w(true);
        w.h.set(QStringLiteral("Time"), QStringLiteral("m27"), delay);
        QDateTime frontAt;
        QStringList countdown;
        QString last;
        QObject::connect(&w.h.form, &FormModel::changed, &w.h.form, [&](const QString& n) {
            // `changed` also reports the label shown or hidden: the captions only
            const QString t = w.h.form.text(n);
            if (n != QLatin1String("Label242") || t.isEmpty() || t == last) return;
            last = t;
            countdown << t + u'@' + w.h.clock.now().time().toString(QStringLiteral("ss.zzz"));
        });
        w.h.audio.onPlay = [&](const FakeAudioOutput::Play& p) {
            if (frontAt.isNull()) frontAt = w.h.clock.now();
            if (!p.isSpan()) w.h.clock.advanceMs(CoreHarness::kSoundMs);
        };
        if (announceNow) {
            w.h.clock.set(firing);
            w.h.form.click(QStringLiteral("Command3555"));
        } else if (start == firing) {
            // the tick held up across the trigger second: rung late, on the next tick
            w.h.clock.set(at(7, 59, 59, 900));
            w.h.scheduler.Timer3_Timer();
            w.h.clock.set(firing);
            w.h.scheduler.Timer3_Timer();
        } else {
            w.h.clock.set(at(7, 59, 59, 3));
            w.h.scheduler.Timer3_Timer();
            w.h.runUntil(firing);
        }
        QVERIFY(announceNow || w.fired());
        w.h.runUntil(start.addSecs(30));
        const qint64 delayMs = delay.toInt() * 1000;
        QCOMPARE(frontAt, start.addMSecs(delayMs));
        QCOMPARE(w.h.audio.prerolls.size(), 1);
        QCOMPARE(w.h.audio.prerolls[0].first, w.h.library.frontChimeFile());
        // prerolled by the identification, 100 ms after the firing
        QCOMPARE(w.h.audio.prerolls[0].second,
                 delayMs - (announceNow ? 0 : 100 + start.msecsTo(firing)));
        QCOMPARE(w.h.audio.opened, 1);
        // one step a second from the due second: "4"@01.000 ... for delay 5
        for (int i = 0; i < countdown.size(); ++i)
            QCOMPARE(countdown[i],
                     QString::number(delay.toInt() - 1 - i) + u'@' +
                         start.addSecs(i + 1).time().toString(QStringLiteral("ss.zzz")));
        QCOMPARE(countdown.size(), delay.toInt());
    }
};

QTEST_GUILESS_MAIN(TestWatching)
#include "test_watching.moc"
