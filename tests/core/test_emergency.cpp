// The emergency through the core, over doubles: what it does to a bell in progress, to the
// bells due while it is in force, to the other commands and the shutdown; its rounds, its
// fallback tone, its all clear, and what the journal keeps of it.
#include "core/bellcore.h"
#include "core/emergency.h"
#include "journal/sqlitejournal.h"
#include "model/controlnames.h"
#include "outputs/alarmtones.h"
#include "scheduler/coreharness.h"
#include "status/dayreport.h"
#include "store/emergencykinds.h"
#include "store/keylayout.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace tavirin;

namespace {

struct JournalFile {
    QTemporaryDir dir;
    FakeClock clock;
    SqliteJournal journal{path(), clock};
    JournalFile() { journal.open(); }
    QString path() const { return dir.filePath(QStringLiteral("journal.sqlite")); }
};

// A harness whose bells warm the amplifier up for one second.
struct World {
    JournalFile j;
    CoreHarness h{&j.journal};
    World(QTime at = QTime(9, 59, 50)) {
        h.clock.set(QDate(2026, 12, 9), at);
        h.seedAndArm();
        h.set(QStringLiteral("Time"), QStringLiteral("m27"), QStringLiteral("1"));
        h.arming.armToday();
    }
    Emergency& emergency() { return h.core.emergency(); }
    // The warm-up runs on a real timer: at most the stored second.
    bool roundsBegun(int n) {
        for (int i = 0; i < 300 && h.alarmPlayer.rounds.size() < n; ++i) QTest::qWait(10);
        return h.alarmPlayer.rounds.size() >= n;
    }
    QList<BellRecord> bells() { return j.journal.bellsOn(QDate(2026, 12, 9)); }
};

}  // namespace

class TestEmergency : public QObject {
    Q_OBJECT

private slots:
    // Started in the middle of a bell's announcement: the bell stops there and is journalled
    // failed for the emergency with the sounds it played; the window stays; the amplifier
    // stays on; the signal starts after at most two seconds, the amplifier being on.
    void aStartCutsTheBellInProgress() {
        World w;
        int played = 0;
        w.h.audio.onPlay = [&](const FakeAudioOutput::Play& p) {
            w.h.journal.append(QStringLiteral("play ") + p.path);
            w.h.clock.advanceMs(CoreHarness::kSoundMs);
            if (++played == 3)
                QCOMPARE(
                    w.h.core.startEmergency(QStringLiteral("evacuate"), journal::kFromBus).status,
                    Outcome::Status::Done);
        };
        w.h.runUntil(QTime(10, 0, 30));
        QCOMPARE(played, 3);  // nothing of the bell after the cut
        const QList<BellRecord> bells = w.bells();
        QCOMPARE(bells.size(), 1);
        QCOMPARE(bells[0].outcome, journal::kFailed);
        QCOMPARE(bells[0].reason, journal::kEmergency);
        QCOMPARE(bells[0].sounds.size(), 3);  // what it played before the cut
        for (const SoundRecord& s : bells[0].sounds) QVERIFY(s.ok);
        QCOMPARE(w.h.motion.hides, 0);
        QVERIFY(w.h.serial.energised());
        QVERIFY(w.h.dialogs.shown.isEmpty());  // a cut bell is no fault to tell
        QVERIFY(w.roundsBegun(1));
        QCOMPARE(w.h.alarmPlayer.rounds[0],
                 (QStringList{w.h.library.alarmToneFile(QStringLiteral("evacuate")),
                              w.h.library.alarmVoiceFile(QStringLiteral("evacuate"))}));
        // The tick watches on: the clock, and the bells it must hold.
        QVERIFY(w.h.form.timer(ctl::Timer3)->isActive());
    }

    // Started in the pause before the after-bell radio: the bell had played all its sounds
    // and is journalled rung; the radio is not started over the signal.
    void aStartDuringThePauseBeforeRadioKeepsItOff() {
        World w;
        w.h.set(QStringLiteral("Fm"), QStringLiteral("fm4"), QStringLiteral("1"));
        w.h.arming.armToday();
        w.h.form.setText(ctl::radioAddress(1), QStringLiteral("https://r.example/live.mp3"));
        w.h.waiter.onWait = [&](int) {
            w.h.core.startEmergency(QStringLiteral("evacuate"), journal::kFromBus);
        };
        w.h.runUntil(QTime(10, 0, 40));
        QVERIFY(!w.h.journal.join(u'\n').contains(QStringLiteral("radio open")));
        const QList<BellRecord> bells = w.bells();
        QCOMPARE(bells.size(), 1);
        QCOMPARE(bells[0].outcome, journal::kRang);
        QCOMPARE(bells[0].afterBell, QStringLiteral("radio 1"));
        QCOMPARE(bells[0].afterBellOk, std::optional<bool>(false));
        QVERIFY(bells[0].afterBellDetail.startsWith(QStringLiteral("not started")));
        QVERIFY(w.h.core.state().emergency);
    }

    // While it is in force: a bell due is not rung but skipped for the emergency; the other
    // commands are refused with the reason; the picture says what is in force.
    void bellsAndCommandsAreHeld() {
        World w(QTime(10, 59, 0));
        QCOMPARE(w.h.core.startEmergency(QStringLiteral("lockdown"), journal::kFromWindow).status,
                 Outcome::Status::Done);
        for (const Outcome& o :
             {w.h.core.announceNow(), w.h.core.ringPeriod(2), w.h.core.startMusic()}) {
            QCOMPARE(o.status, Outcome::Status::Refused);
            QVERIFY2(o.reason.contains(QStringLiteral("หลบภัยในอาคาร")), qPrintable(o.reason));
        }
        w.h.runUntil(QTime(11, 0, 30));
        QCOMPARE(w.h.runs().size(), 0);
        const QList<BellRecord> bells = w.bells();
        QCOMPARE(bells.size(), 1);
        QCOMPARE(bells[0].period, std::optional<int>(5));
        QCOMPARE(bells[0].outcome, journal::kSkipped);
        QCOMPARE(bells[0].reason, journal::kEmergency);

        const QJsonObject e = QJsonDocument::fromJson(toJsonText(w.h.core.state()))
                                  .object()
                                  .value(QStringLiteral("emergency"))
                                  .toObject();
        QCOMPARE(e.value(QStringLiteral("kind")).toString(), QStringLiteral("lockdown"));
        QCOMPARE(e.value(QStringLiteral("from")).toString(), QStringLiteral("window"));
        QCOMPARE(e.value(QStringLiteral("since")).toString(),
                 QStringLiteral("2026-12-09T10:59:00"));
        QVERIFY(w.h.form.visible(ctl::lbl_emergency));
        QVERIFY(w.h.form.text(ctl::lbl_emergency).contains(QStringLiteral("หลบภัยในอาคาร")));
    }

    // The all clear: its sound, then the amplifier off and the window away; the journal has
    // the whole emergency; the next bell rings as usual.
    void theAllClearEndsItAndTheBellsRingAgain() {
        World w(QTime(10, 59, 0));
        QCOMPARE(w.h.core.allClear(journal::kFromBus).status, Outcome::Status::Refused);
        w.h.core.startEmergency(QStringLiteral("evacuate"), journal::kFromTray);
        QVERIFY(w.roundsBegun(1));
        w.h.alarmPlayer.started(0);
        w.h.alarmPlayer.started(1);
        w.h.alarmPlayer.finish();
        QCOMPARE(w.h.alarmPlayer.rounds.size(), 2);  // until the all clear: round after round
        w.h.runUntil(QTime(11, 0, 30));              // 11:00 held
        QCOMPARE(w.h.core.allClear(journal::kFromBus).status, Outcome::Status::Done);
        QCOMPARE(w.h.alarmPlayer.rounds.last(), allClearSounds(w.h.library));
        QVERIFY(w.h.core.state().emergency);  // until the all clear has sounded
        w.h.alarmPlayer.finish();
        QVERIFY(!w.h.core.state().emergency);
        QVERIFY(!w.h.serial.energised());
        QCOMPARE(w.h.motion.hides, 1);
        QVERIFY(!w.h.form.visible(ctl::lbl_emergency));

        const QList<EmergencyRecord> es = w.j.journal.emergenciesOn(QDate(2026, 12, 9));
        QCOMPARE(es.size(), 1);
        QCOMPARE(es[0].kind, QStringLiteral("evacuate"));
        QCOMPARE(es[0].startedFrom, journal::kFromTray);
        QCOMPARE(es[0].endedFrom, journal::kFromBus);
        QCOMPARE(es[0].bellsHeld, QStringList{QStringLiteral("5 11:00:00")});
        QCOMPARE(es[0].sounds.size(), 2);
        QVERIFY(es[0].ended.isValid());
        const BellLine line = emergencyLine(es[0]);
        QCOMPARE(line.period, QStringLiteral("ฉุกเฉิน: อพยพ"));
        QCOMPARE(line.due, QStringLiteral("10:59"));
        QVERIFY(line.outcome.startsWith(QStringLiteral("สิ้นสุด ")));
        QCOMPARE(line.reason, QStringLiteral("เริ่มจากไอคอนถาด · งดออด 1 ครั้ง"));

        w.h.runUntil(QTime(12, 0, 30));
        QCOMPARE(w.h.runs().size(), 1);
        QCOMPARE(w.bells().last().outcome, journal::kRang);
    }

    void roundsFollowTheKind_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("rounds");  // after five rounds' ends
        QTest::newRow("until the all clear") << "earthquake" << 6;
        QTest::newRow("three times") << "drill" << 3;
        QTest::newRow("every two minutes") << "lockdown" << 1;
    }
    void roundsFollowTheKind() {
        QFETCH(QString, kind);
        QFETCH(int, rounds);
        World w;
        w.h.core.startEmergency(kind, journal::kFromBus);
        QVERIFY(w.roundsBegun(1));
        for (int i = 0; i < 5; ++i) w.h.alarmPlayer.finish();
        QCOMPARE(w.h.alarmPlayer.rounds.size(), rounds);
        QVERIFY(w.h.core.state().emergency);  // still in force, however many rounds
    }

    // A sound that cannot be played: the kind's own tone, made by the program, in its place
    // at once and in every round after; the operator is told once.
    void aBrokenSoundGivesWayToTheBuiltInTone() {
        World w;
        w.h.core.startEmergency(QStringLiteral("evacuate"), journal::kFromBus);
        QVERIFY(w.roundsBegun(1));
        w.h.alarmPlayer.failed(0, QStringLiteral("no such file"));
        QCOMPARE(w.h.alarmPlayer.rounds.size(), 2);
        const QString tone = w.h.alarmPlayer.rounds[1].value(0);
        QVERIFY(tone != w.h.library.alarmToneFile(QStringLiteral("evacuate")));
        QFile f(tone);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(4), QByteArray("RIFF"));
        QCOMPARE(w.h.alarmPlayer.rounds[1].value(1),
                 w.h.library.alarmVoiceFile(QStringLiteral("evacuate")));
        QCOMPARE(w.h.dialogs.count(QStringLiteral("notice")), 1);
        w.h.alarmPlayer.finish();
        QCOMPARE(w.h.alarmPlayer.rounds.last().value(0), tone);
        QCOMPARE(w.h.dialogs.count(QStringLiteral("notice")), 1);
    }

    void aSecondStartReplacesTheFirst() {
        World w;
        w.h.core.startEmergency(QStringLiteral("drill"), journal::kFromWindow);
        const Outcome o = w.h.core.startEmergency(QStringLiteral("evacuate"), journal::kFromWindow);
        QCOMPARE(o.status, Outcome::Status::Done);
        QCOMPARE(w.h.core.state().emergency->kind, QStringLiteral("evacuate"));
        const QList<EmergencyRecord> es = w.j.journal.emergenciesOn(QDate(2026, 12, 9));
        QCOMPARE(es.size(), 2);
        QVERIFY(es[0].ended.isValid());
        QVERIFY(es[0].note.startsWith(QStringLiteral("replaced by")));
        QVERIFY(!es[1].ended.isValid());
    }

    void anUnknownKindIsRefused() {
        World w;
        const Outcome o = w.h.core.startEmergency(QStringLiteral("flood"), journal::kFromBus);
        QCOMPARE(o.status, Outcome::Status::Refused);
        QVERIFY(o.reason.contains(QStringLiteral("evacuate")));
        QVERIFY(!w.h.core.state().emergency);
        QCOMPARE(w.h.alarmPlayer.rounds.size(), 0);
        QVERIFY(!w.h.serial.energised());
    }

    // The automatic shutdown's time during an emergency: it waits, and its countdown begins
    // with the all clear.
    void theShutdownWaitsForTheAllClear() {
        World w(QTime(15, 59, 50));
        w.h.set(QStringLiteral("Time"), QStringLiteral("h25"), QStringLiteral("16"));
        w.h.set(QStringLiteral("Time"), QStringLiteral("m28"), QStringLiteral("00"));
        w.h.set(QStringLiteral("Number"), QStringLiteral("number25"), QStringLiteral("1"));
        w.h.arming.armToday();
        w.h.core.startEmergency(QStringLiteral("lockdown"), journal::kFromBus);
        w.h.runUntil(QTime(16, 0, 30));
        QVERIFY(!w.h.form.timer(ctl::Timer23)->isActive());
        w.h.core.allClear(journal::kFromBus);
        w.h.alarmPlayer.finish();
        QVERIFY(w.h.form.timer(ctl::Timer23)->isActive());
        QCOMPARE(w.h.power.calls, 0);
    }

    // A button wired to a port of its own starts the kind the settings name, once per press;
    // a port that goes away is told, and the rest goes on.
    void theContactStartsItsKind() {
        World w(QTime(10, 30));
        const QString app = keys::kBaseApplication;
        const QString section = QStringLiteral("emergency_contact");
        QVERIFY(
            w.h.store.SaveSetting(app, section, QStringLiteral("port"), QStringLiteral("COM2")));
        QVERIFY(w.h.store.SaveSetting(app, section, QStringLiteral("line"), QStringLiteral("dcd")));
        QVERIFY(w.h.store.SaveSetting(app, section, QStringLiteral("kind"),
                                      QStringLiteral("lockdown")));
        w.h.core.watchContact();
        QCOMPARE(w.h.contact.log, QStringList{QStringLiteral("open COM2 DCD")});
        w.h.contact.setClosed(true);
        w.h.contact.advance(150);  // not held long enough
        w.h.contact.setClosed(false);
        w.h.contact.advance(500);
        QVERIFY(!w.h.core.state().emergency);
        w.h.contact.press();
        QCOMPARE(w.h.core.state().emergency->kind, QStringLiteral("lockdown"));
        QCOMPARE(w.h.core.state().emergency->from, journal::kFromContact);
        w.h.contact.press();  // again: the same kind is in force already
        QCOMPARE(w.j.journal.emergenciesOn(QDate(2026, 12, 9)).size(), 1);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("emergency contact:.*unplugged")));
        w.h.contact.vanish(QStringLiteral("unplugged"));
        QCOMPARE(w.h.dialogs.count(QStringLiteral("notice")), 1);
        QVERIFY(w.h.core.state().emergency);  // what was started goes on
        // ... and the day's record says the button was dead, with its port.
        const QList<ActionRecord> lost = w.j.journal.actionsOn(QDate(2026, 12, 9));
        QCOMPARE(lost.size(), 1);
        QCOMPARE(lost[0].from, journal::kFromContact);
        QCOMPARE(lost[0].address, QStringLiteral("COM2"));
        QVERIFY(lost[0].reason.contains(QStringLiteral("unplugged")));
        const BellLine line = actionLine(lost[0]);
        QVERIFY(line.period.startsWith(QStringLiteral("ปุ่มฉุกเฉิน")));
        QVERIFY(isTroubleLine(line));
    }

    void theContactIsNotTheRelaysPort() {
        World w(QTime(10, 30));
        QCOMPARE(w.h.relay.loadCurrentPort(), QStringLiteral("1"));
        QVERIFY(w.h.store.SaveSetting(keys::kBaseApplication, QStringLiteral("emergency_contact"),
                                      QStringLiteral("port"),
                                      QStringLiteral("COM") + w.h.relay.currentPort()));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("relay's port")));
        w.h.core.watchContact();
        QVERIFY(w.h.contact.log.isEmpty());
        QCOMPARE(w.h.dialogs.count(QStringLiteral("notice")), 1);
    }

    // The program ended while one was in force: the next start tells it and does not resume it.
    void anEmergencyWithoutAllClearIsToldNotResumed() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("journal.sqlite"));
        FakeClock clock(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
        {
            SqliteJournal journal(path, clock);
            journal.open();
            CoreHarness h(&journal);
            h.seedAndArm();
            h.core.startEmergency(QStringLiteral("earthquake"), journal::kFromContact);
        }
        SqliteJournal journal(path, clock);
        journal.open();
        QCOMPARE(journal.emergenciesWithoutAllClear().size(), 1);
        CoreHarness h(&journal);
        h.seedAndArm();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("had no all clear")));
        h.core.emergency().tellUnended();
        QCOMPARE(h.dialogs.count(QStringLiteral("notice")), 1);
        QVERIFY(h.dialogs.shown.last().text.contains(QStringLiteral("แผ่นดินไหว")));
        QVERIFY(!h.core.state().emergency);
        QCOMPARE(h.alarmPlayer.rounds.size(), 0);
        const QList<EmergencyRecord> es = journal.emergenciesOn(QDate(2026, 12, 9));
        QCOMPARE(es.size(), 1);
        QVERIFY(es[0].note.startsWith(QStringLiteral("no all clear")));
        QCOMPARE(emergencyLine(es[0]).outcome, QStringLiteral("ไม่ได้ประกาศสิ้นสุด"));
    }
};

QTEST_GUILESS_MAIN(TestEmergency)
#include "test_emergency.moc"
