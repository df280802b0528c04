// The wall-clock alarm on a real timerfd: it rings once its wall time has come, a later call
// replaces an earlier one, and a cancelled one stays silent. Also run under faketime (a clock
// a year away from the machine's), where the alarm must still ring after the time asked for,
// not at once nor never. The cancel-on-set path needs the machine's clock set and is not run.

#include "platform/time/timerfdalarm.h"

#include <QElapsedTimer>
#include <QTest>

using namespace tavirin;

class TestTimerfdAlarm : public QObject {
    Q_OBJECT

private slots:
    void ringsOnceAfterItsTime() {
        TimerfdAlarm alarm;
        QList<WallClockAlarm::Wake> wakes;
        alarm.setHandler([&](WallClockAlarm::Wake w) { wakes.append(w); });
        QElapsedTimer t;
        t.start();
        alarm.wakeIn(5000);
        alarm.wakeIn(150);  // replaces the first
        QTRY_COMPARE_WITH_TIMEOUT(wakes.size(), 1, 4000);
        QCOMPARE(wakes.first(), WallClockAlarm::Wake::Due);
        QVERIFY(t.elapsed() >= 149);  // not before its time (the wall clock, in whole ms)
        QTest::qWait(300);
        QCOMPARE(wakes.size(), 1);
    }

    void aCancelledAlarmStaysSilent() {
        TimerfdAlarm alarm;
        int wakes = 0;
        alarm.setHandler([&](WallClockAlarm::Wake) { ++wakes; });
        alarm.wakeIn(100);
        alarm.cancel();
        QTest::qWait(400);
        QCOMPARE(wakes, 0);
    }
};

QTEST_GUILESS_MAIN(TestTimerfdAlarm)
#include "test_timerfdalarm.moc"
