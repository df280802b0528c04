// The core's commands and its picture, over doubles, as every way in sees them: what is
// done, what is refused and why, what waits for the bell in progress; and what state() says
// before, during and after a bell.
#include "calendar/dayrules.h"
#include "core/bellcore.h"
#include "journal/sqlitejournal.h"
#include "scheduler/coreharness.h"
#include "status/dayreport.h"

#include "model/controlnames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace tavirin;

namespace {

struct JournalFile {
    QTemporaryDir dir;
    FakeClock clock;
    SqliteJournal journal{dir.filePath(QStringLiteral("journal.sqlite")), clock};
    JournalFile() { journal.open(); }
};

QJsonObject json(const BellCore& core) {
    return QJsonDocument::fromJson(toJsonText(core.state())).object();
}

// Runs the harness until `done` or `limitMs` of fake time, 50 ms at a time.
template <typename F>
bool runUntilTrue(CoreHarness& h, F done, qint64 limitMs = 60000) {
    for (qint64 t = 0; t < limitMs; t += 50) {
        if (done()) return true;
        h.runFor(50);
    }
    return done();
}

}  // namespace

class TestBellCore : public QObject {
    Q_OBJECT

private slots:
    void announceNowIsRefusedDuringABell() {
        CoreHarness h;
        h.clock.set(QDate(2026, 12, 9), QTime(10, 30));
        h.seedAndArm();
        QVERIFY(!h.core.state().bell);

        const Outcome first = h.core.announceNow();
        QCOMPARE(first.status, Outcome::Status::Done);
        QVERIFY(h.core.bellInProgress());
        // The second is answered at once, refused with the reason, and nothing more rings.
        const Outcome second = h.core.announceNow();
        QCOMPARE(second.status, Outcome::Status::Refused);
        QVERIFY(second.reason.startsWith(QStringLiteral("กำลังตีออดอยู่")));
        QVERIFY(runUntilTrue(h, [&] { return !h.core.bellInProgress(); }));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.core.announceNow().status, Outcome::Status::Done);
    }

    void ringPeriodRingsItsOwnSoundAndAfterBell() {
        JournalFile j;
        CoreHarness h(&j.journal);
        h.clock.set(QDate(2026, 12, 9), QTime(10, 30));
        h.seedAndArm();
        h.set(QStringLiteral("Number"), QStringLiteral("number3"), QStringLiteral("1"));
        h.set(QStringLiteral("sond"), QStringLiteral("sond3"), QStringLiteral("/lib/other/c.wav"));
        h.set(QStringLiteral("Fm"), QStringLiteral("fm3"), QStringLiteral("4"));
        h.arming.armToday();

        for (int bad : {0, 25, -1}) {
            const Outcome o = h.core.ringPeriod(bad);
            QCOMPARE(o.status, Outcome::Status::Refused);
            QVERIFY(o.reason.contains(QString::number(bad)));
        }
        QCOMPARE(h.core.ringPeriod(3).status, Outcome::Status::Done);
        QCOMPARE(h.core.ringPeriod(4).status, Outcome::Status::Refused);  // one at a time
        QVERIFY(runUntilTrue(h, [&] { return !h.core.bellInProgress(); }));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0], h.expectedRun(10, 30, QStringLiteral("/lib/other/c.wav")));
        QVERIFY(h.journal.contains(QStringLiteral("start audacious [--play]")));

        const QList<BellRecord> bells = j.journal.bellsOn(QDate(2026, 12, 9));
        QCOMPARE(bells.size(), 1);
        QCOMPARE(bells[0].kind, journal::kManual);
        QCOMPARE(bells[0].period, std::optional<int>(3));
        QCOMPARE(bells[0].outcome, journal::kRang);
        QCOMPARE(bellLine(bells[0]).period, QStringLiteral("ช่วงที่ 3 (สั่งตีทันที)"));
        // Rung on request: the board's mark of period 3 stays as its own time decides.
        QCOMPARE(h.core.state().bells[2].outcome, QString());
    }

    void stateFollowsTheBellThroughItsPhases() {
        CoreHarness h;
        h.clock.set(QDate(2026, 12, 9), QTime(9, 59, 50));
        h.seedAndArm();
        QJsonObject idle = json(h.core);
        QVERIFY(idle.value(QStringLiteral("bell")).isNull());
        QVERIFY(idle.value(QStringLiteral("emergency")).isNull());
        const QJsonObject next = idle.value(QStringLiteral("next")).toObject();
        QCOMPARE(next.value(QStringLiteral("at")).toString(), QStringLiteral("10:00:00"));
        QCOMPARE(next.value(QStringLiteral("period")).toInt(), 4);
        QCOMPARE(next.value(QStringLiteral("after")).toString(), QStringLiteral("off"));

        // Every step of the bell as the picture shows it (here the sounds take no real time, so
        // the steps are taken as they are told, not by looking now and then).
        QStringList phases{QStringLiteral("none")};
        h.scheduler.onProgress([&] {
            const std::optional<BellProgress> b = h.core.state().bell;
            const QString p = !b ? QStringLiteral("none")
                                 : QStringLiteral("%1 %2 %3/%4")
                                       .arg(phaseName(b->phase))
                                       .arg(b->period.value_or(0))
                                       .arg(b->sound)
                                       .arg(b->of);
            if (phases.last() != p) phases << p;
        });
        QSignalSpy changes(&h.core, &BellCore::stateChanged);
        h.runUntil(QTime(10, 0, 30));
        QCoreApplication::processEvents();
        // countdown, each of the 13 sounds (front, the time twice, add-on, back), what
        // follows, over.
        QCOMPARE(phases.first(), QStringLiteral("none"));
        QCOMPARE(phases.at(1), QStringLiteral("countdown 4 0/0"));
        QVERIFY2(phases.contains(QStringLiteral("sound 4 1/13")), qPrintable(phases.join(u';')));
        QVERIFY2(phases.contains(QStringLiteral("sound 4 13/13")), qPrintable(phases.join(u';')));
        QVERIFY(phases.contains(QStringLiteral("after-bell 4 0/0")));
        QCOMPARE(phases.last(), QStringLiteral("none"));
        QCOMPARE(phases.size(), 1 + 1 + 13 + 1 + 1);
        QVERIFY(changes.size() >= 1);  // told once the event loop comes round
        QCOMPARE(h.core.state().next->at, QTime(11, 0));
    }

    void watchingAloneTellsNoChange() {
        CoreHarness h;
        h.clock.set(QDate(2026, 12, 9), QTime(10, 30));
        h.seedAndArm();
        QCoreApplication::processEvents();
        QSignalSpy changes(&h.core, &BellCore::stateChanged);
        for (int s = 0; s < 120; ++s) {
            h.runFor(1000);
            QCoreApplication::processEvents();
        }
        QCOMPARE(changes.size(), 0);
    }

    void todayChanges_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("next");    // the next bell after it, "" for none
        QTest::addColumn<QString>("reason");  // part of the refusal
        QTest::newRow("no bells") << "no-bells" << 0 << true << ""
                                  << "";
        QTest::newRow("shift later") << "shift" << 10 << true << "11:10:00"
                                     << "";
        QTest::newRow("shift earlier") << "shift" << -20 << true << "10:40:00"
                                       << "";
        QTest::newRow("skip the next") << "skip-next" << 0 << true << "12:00:00"
                                       << "";
        QTest::newRow("sunday's program") << "weekday" << 7 << true << "11:00:00"
                                          << "";
        QTest::newRow("no such weekday") << "weekday" << 8 << false << "11:00:00"
                                         << "1 (จันทร์)";
        QTest::newRow("shift of nothing") << "shift" << 0 << false << "11:00:00"
                                          << "1 ถึง 180";
        QTest::newRow("shift too far") << "shift" << 181 << false << "11:00:00"
                                       << "1 ถึง 180";
        QTest::newRow("past midnight") << "shift" << 90 << false << "11:00:00"
                                       << "เลยเที่ยงคืน";
        QTest::newRow("nothing to take back") << "none" << 0 << false << "11:00:00"
                                              << "ไม่มีการเปลี่ยนแปลง";
        QTest::newRow("unknown") << "holiday" << 0 << false << "11:00:00"
                                 << "ไม่รู้จัก";
        QTest::newRow("empty") << "" << 0 << false << "11:00:00"
                               << "ไม่รู้จัก";
    }
    void todayChanges() {
        QFETCH(QString, change);
        QFETCH(int, value);
        QFETCH(bool, accepted);
        QFETCH(QString, next);
        QFETCH(QString, reason);
        CoreHarness h;
        h.clock.set(QDate(2026, 12, 9), QTime(10, 30));
        h.seedAndArm();
        const Outcome o = h.core.setTodayChange(change, value);
        QCOMPARE(o.accepted(), accepted);
        QVERIFY2(o.reason.contains(reason), qPrintable(o.reason));
        const std::optional<CoreState::Next> n = h.core.state().next;
        QCOMPARE(n ? clockText(n->at) : QString(), next);
        QVERIFY(h.dialogs.shown.isEmpty());  // a remote caller's outcome is told to the caller
        if (!accepted) return;
        // Taken back, today rings as stored again.
        QCOMPARE(h.core.setTodayChange(QStringLiteral("none"), 0).status, Outcome::Status::Done);
        QCOMPARE(h.core.state().next->at, QTime(11, 0));
        QVERIFY(h.core.state().changes.isEmpty());
    }

    // A change that would have asked the operator is refused for a caller no one answers for,
    // naming the question; the operator's own click gets the question.
    void aQuestionIsRefusedForARemoteCaller() {
        CoreHarness h;
        h.clock.set(QDate(2026, 12, 9), QTime(10, 30));
        h.seedAndArm();
        // 11:00 moved 40 minutes earlier is in the past: the operator would be asked.
        const Outcome remote = h.core.setTodayChange(QStringLiteral("shift"), -40);
        QCOMPARE(remote.status, Outcome::Status::Refused);
        QVERIFY2(remote.reason.contains(QStringLiteral("ต้องยืนยันที่เครื่องตีออด")),
                 qPrintable(remote.reason));
        QVERIFY(remote.reason.contains(QStringLiteral("ช่วงที่ 5 เวลา 11:00")));
        QVERIFY(h.core.state().changes.isEmpty());
        QVERIFY(h.dialogs.shown.isEmpty());

        h.dialogs.answers << false;
        const Outcome declined =
            h.core.setTodayChange(QStringLiteral("shift"), -40, BellCore::Asker::Operator);
        QCOMPARE(declined.status, Outcome::Status::Refused);
        QVERIFY(declined.reason.isEmpty());  // the operator said no: nothing to tell
        QCOMPARE(h.dialogs.count(QStringLiteral("ask")), 1);

        h.dialogs.answers << true;
        QCOMPARE(
            h.core.setTodayChange(QStringLiteral("shift"), -40, BellCore::Asker::Operator).status,
            Outcome::Status::Done);
        QCOMPARE(h.core.state().next->at, QTime(11, 20));
    }

    // During a bell a change is saved at once and answered "waiting"; the board follows when
    // the bell is over, and the bell itself rings as it began.
    void aChangeDuringABellWaitsForIt() {
        CoreHarness h;
        h.clock.set(QDate(2026, 12, 9), QTime(9, 59, 58));
        h.seedAndArm();
        QVERIFY(runUntilTrue(
            h, [&] { return h.core.state().bell.has_value(); }, 5000));
        const Outcome o = h.core.setTodayChange(QStringLiteral("shift"), 15);
        QCOMPARE(o.status, Outcome::Status::Waiting);
        QVERIFY(!o.reason.isEmpty());
        QCOMPARE(h.arming.plan().periods[4].due, QTime(11, 0));  // not yet
        QVERIFY(runUntilTrue(h, [&] { return !h.core.bellInProgress(); }));
        h.runFor(1500);  // the next tick arms what was saved
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.arming.plan().periods[4].due, QTime(11, 15));
        QCOMPARE(h.core.state().next->at, QTime(11, 15));
    }

    void mediaCommands() {
        CoreHarness h;
        h.clock.set(QDate(2026, 12, 9), QTime(10, 30));
        h.seedAndArm();
        const Outcome none = h.core.startRadio(4);
        QCOMPARE(none.status, Outcome::Status::Refused);
        h.form.setText(ctl::radioAddress(2), QString());
        QVERIFY(h.core.startRadio(2).reason.contains(QStringLiteral("ยังไม่ได้ใส่ที่อยู่")));

        QCOMPARE(h.core.startMusic().status, Outcome::Status::Done);
        // Started after the answer, not in it.
        QVERIFY(!h.journal.contains(QStringLiteral("start audacious [--play]")));
        QCoreApplication::processEvents();
        QVERIFY(h.journal.contains(QStringLiteral("start audacious [--play]")));
        QCOMPARE(h.core.state().media, CoreState::Media::Music);
        QVERIFY(h.core.state().relayOn);
        QCOMPARE(json(h.core).value(QStringLiteral("relay")).toString(), QStringLiteral("on"));

        QCOMPARE(h.core.stopMedia().status, Outcome::Status::Done);
        QCOMPARE(h.core.state().media, CoreState::Media::None);
        QVERIFY(!h.core.state().relayOn);
    }

    void todaysBellsCarryTheirJournalOutcome() {
        JournalFile j;
        CoreHarness h(&j.journal);
        h.clock.set(QDate(2026, 12, 9), QTime(6, 59, 50));
        h.seedAndArm();
        h.runUntil(QTime(7, 1, 0));
        const CoreState s = h.core.state();
        QCOMPARE(s.bells.size(), 24);
        QCOMPARE(s.bells[0].outcome, journal::kRang);
        QCOMPARE(s.bells[0].caption, QStringLiteral("07:00:00"));
        QCOMPARE(s.bells[1].outcome, QString());
        QCOMPARE(s.bells[20].caption, QStringLiteral(" ไม่ใช้งาน "));
        const QJsonObject o = json(h.core);
        QCOMPARE(o.value(QStringLiteral("bells"))
                     .toArray()
                     .at(0)
                     .toObject()
                     .value(QStringLiteral("outcome"))
                     .toString(),
                 QStringLiteral("rang"));
        QCOMPARE(
            o.value(QStringLiteral("today")).toObject().value(QStringLiteral("programDay")).toInt(),
            3);
    }
};

QTEST_GUILESS_MAIN(TestBellCore)
#include "test_bellcore.moc"
