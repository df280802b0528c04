// A week on the injected clock through the real arming, watch, sequence and shutdown watch:
// seven day programs (seven-day mode on) that together use all 24 periods at different times,
// a Copy and a Save between days, the shutdown countdown on the days it is armed. Also a
// suspend of an hour.
#include "../scheduler/coreharness.h"
#include "outputs/autoshutdown.h"
#include "platform/fake/fakepower.h"
#include "store/dayprogram.h"

#include <QFile>
#include <QTest>
#include <algorithm>

using namespace tavirin;

namespace {

// The time of period p on day d, or nothing when the day does not use the period. Every day
// uses eight periods, every period is used on some day, and no two days agree.
std::optional<QTime> plannedTime(int d, int p) {
    if ((p + d) % 3 != 0) return std::nullopt;
    return QTime(7 + (p - 1) % 12, (d * 7 + p * 3) % 60);
}

bool shutdownArmed(int d) {
    return d % 2 == 1;
}  // Monday, Wednesday, Friday, Sunday

QString two(int v) {
    return QString::number(v).rightJustified(2, u'0');
}

qint64 residentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

struct Soak : CoreHarness {
    // The core's own shutdown, watched by its own tick (the harness runs Timer4 and Timer23).
    QList<int> countdownsStarted;  // the day of every countdown seen running

    DayProgram plan(int d, const DayProgram& base) const {
        DayProgram p = base;
        for (int n = 1; n <= 24; ++n) {
            Period& per = p.period(n);
            const std::optional<QTime> t = plannedTime(d, n);
            per.hour = t ? two(t->hour()) : QStringLiteral("no");
            per.minute = two(t ? t->minute() : 0);
        }
        p.shutdownHour = QStringLiteral("20");
        p.shutdownMinute = QStringLiteral("00");
        p.shutdownEnabled = shutdownArmed(d) ? QStringLiteral("1") : QStringLiteral("0");
        return p;
    }

    // The announced hour and minute of every run, from the voice's word files.
    QList<QTime> rungTimes() const {
        QList<QTime> out;
        for (const QStringList& run : runs()) {
            if (run.size() < 5) continue;
            auto word = [&](int i) { return QFileInfo(run[i].mid(5)).completeBaseName().toInt(); };
            const bool onTheHour = run[5] == QStringLiteral("play ") + library.systemSound();
            out.append(QTime(word(2), onTheHour ? 0 : word(4)));
        }
        return out;
    }
};

}  // namespace

class TestWeekSoak : public QObject {
    Q_OBJECT

private slots:
    void aWeek() {
        Soak h;
        h.seedAndArm();
        QVERIFY(writeSevenDayMode(h.store, true));
        const DayProgram base = readDayProgram(h.store, 1);
        for (int d = 1; d <= 7; ++d)
            QVERIFY(writeDayProgram(h.store, weekdayRow(d)->application, h.plan(d, base)));
        // Sunday evening; Monday 2026-12-07 is armed at midnight.
        const QDate monday(2026, 12, 7);
        h.clock.set(monday.addDays(-1), QTime(23, 58, 0));
        h.arming.armToday();
        qint64 rssDay1 = 0;
        for (int d = 1; d <= 7; ++d) {
            const QDate date = monday.addDays(d - 1);
            h.runUntil(QDateTime(date, QTime(0, 2, 0)));
            QCOMPARE(h.form.value(QStringLiteral("activeApplication")), weekdayRow(d)->application);
            QCOMPARE(h.form.text(QStringLiteral("lbl_dayy")), clockDayName(d));

            // The day's triggers (bells, the shutdown time), each run from two minutes
            // before to two after; the clock jumps across the quiet hours between them.
            QList<QTime> expected;
            for (int n = 1; n <= 24; ++n)
                if (const auto t = plannedTime(d, n)) expected.append(*t);
            std::sort(expected.begin(), expected.end());
            QList<QTime> triggers = expected;
            triggers.append(QTime(20, 0));
            const int runsBefore = int(h.runs().size());
            const QList<QTime> rungBefore = h.rungTimes();
            for (const QTime& t : triggers) {
                const QDateTime at(date, t);
                if (h.clock.now() < at.addSecs(-120)) h.clock.set(date, t.addSecs(-120));
                if (t == QTime(20, 0)) {
                    h.runUntil(at.addSecs(5));
                    if (h.form.timer(QStringLiteral("Timer23"))->isActive()) {
                        h.countdownsStarted.append(d);
                        h.shutdown.cancelShutdown();  // so the week goes on
                    }
                }
                h.runUntil(at.addSecs(120));
            }
            const QList<QTime> rung = h.rungTimes().mid(rungBefore.size());
            QCOMPARE(rung, expected);  // every armed bell once, nothing else
            QCOMPARE(int(h.runs().size()) - runsBefore, int(expected.size()));
            QVERIFY(!h.serial.isOpen());

            // The evening in the editor: Copy tomorrow onto today, then Save today's own
            // program back over it, each re-arming today.
            const int next = d % 7 + 1;
            h.clock.set(date, QTime(21, 0, 0));
            QVERIFY(writeDayProgram(h.store, weekdayRow(d)->application,
                                    readDayProgram(h.store, next)));
            h.arming.armToday();
            QVERIFY(writeDayProgram(h.store, weekdayRow(d)->application, h.plan(d, base)));
            h.arming.armToday();
            QCOMPARE(readDayProgram(h.store, d), h.plan(d, base));
            h.runFor(5000);

            h.clock.set(date, QTime(23, 58, 0));
            if (d == 1) rssDay1 = residentKb();
        }
        const qint64 rssDay7 = residentKb();
        qInfo("VmRSS after day 1: %lld kB, after day 7: %lld kB", rssDay1, rssDay7);
        QVERIFY(rssDay1 > 0);
#ifndef __SANITIZE_ADDRESS__
        QVERIFY2(rssDay7 - rssDay1 < 3 * 1024, "resident memory grew over the week");
#else
        // The sanitizer's quarantine holds freed memory; its leak check covers this build.
        qInfo("resident memory not compared under AddressSanitizer");
#endif
        QCOMPARE(h.countdownsStarted, (QList<int>{1, 3, 5, 7}));
        QCOMPARE(h.power.calls, 0);
    }

    // A suspend of an hour: the bells inside it are logged as missed, none rings late, and
    // the first bell after the wake-up rings.
    void aSuspendOfAnHour() {
        CoreHarness h;
        h.seedAndArm();
        h.set(QStringLiteral("TIME"), QStringLiteral("h18"), QStringLiteral("08"));
        h.set(QStringLiteral("TIME"), QStringLiteral("m18"), QStringLiteral("15"));
        h.arming.armToday();
        h.runUntil(QTime(7, 30, 0));
        QCOMPARE(h.runs().size(), 1);
        h.clock.set(QDate(2026, 12, 9), QTime(8, 30, 0));
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QStringLiteral("missed the bell of period 2 at 08:00:00")));
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QStringLiteral("missed the bell of period 18 at 08:15:00")));
        h.runUntil(QTime(9, 2, 0));
        QCOMPARE(h.runs().size(), 2);
        QCOMPARE(h.runs()[1], h.expectedRun(9, 0, h.library.systemSound()));
        QVERIFY(!h.serial.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestWeekSoak)
#include "test_weeksoak.moc"
