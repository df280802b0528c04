// The alerter over the real core and a real journal, sending to a LINE-like far end on this
// machine: what it tells and in which words, once; the outbox across failures, waits the far
// end asks for, restarts and the giving up; nothing while a bell rings; the kinds of event
// and the daily summary.
#include "alerts/alerter.h"
#include "alerts/alertsender.h"
#include "alerts/alertsettings.h"
#include "core/bellcore.h"
#include "core/emergency.h"
#include "journal/sqlitejournal.h"
#include "localhttpserver.h"
#include "scheduler/coreharness.h"
#include "status/dayreport.h"
#include "status/selftest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace tavirin;
using namespace std::chrono_literals;

namespace {

const QString kSchool = QStringLiteral("โรงเรียนทดสอบ");
const QString kLineToken = QStringLiteral("Tq7+LineChannelAccessToken/Zw3kR7pT0vN5=");
const QString kLineTo = QStringLiteral("C0123456789abcdef0123456789abcdef");
const QDate kDay(2026, 12, 9);  // the harness's Wednesday

QJsonObject jsonOf(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

// The JSON of ConfigureAlerts: the school and its LINE group, with `extra` on top.
QByteArray setUpJson(const QJsonObject& extra = {}) {
    QJsonObject o{{QStringLiteral("school"), kSchool},
                  {QStringLiteral("line"), QJsonObject{{QStringLiteral("token"), kLineToken},
                                                       {QStringLiteral("to"), kLineTo}}}};
    for (auto it = extra.begin(); it != extra.end(); ++it) o.insert(it.key(), it.value());
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString pushText(const LocalHttpServer::Request& r) {
    return jsonOf(r.body)
        .value(QStringLiteral("messages"))
        .toArray()
        .first()
        .toObject()
        .value(QStringLiteral("text"))
        .toString();
}

QString httpDate(const QDateTime& t) {
    return QLocale::c().toString(t.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
}

// A scheduled bell not rung, as the scheduler writes one.
BellRecord missed(int period, QTime due, const QString& reason) {
    BellRecord b;
    b.kind = journal::kScheduled;
    b.period = period;
    b.due = QDateTime(kDay, due);
    b.outcome = journal::kMissed;
    b.reason = reason;
    b.detail = QStringLiteral("written by the test");
    return b;
}

// Runs the event loop until what was due at once has run (the alerter looks at the journal
// and the core's changes on zero-length timers; a later timer fires after them).
bool settle() {
    for (int round = 0; round < 2; ++round) {
        bool fired = false;
        QTimer marker;
        marker.setSingleShot(true);
        QObject::connect(&marker, &QTimer::timeout, [&] { fired = true; });
        marker.start(1);
        if (!QTest::qWaitFor([&] { return fired; }, 5000)) return false;
    }
    return true;
}

struct JournalFile {
    QTemporaryDir dir;
    FakeClock clock;
    SqliteJournal journal{dir.filePath(QStringLiteral("journal.sqlite")), clock};
    JournalFile() { journal.open(); }
};

// The program as it ran earlier today on the same journal, until `until` (none: it did not).
bool ranBefore(Journal& journal, QTime until) {
    if (!until.isValid()) return false;
    CoreHarness before(&journal);
    before.seedAndArm();
    before.runUntil(until);
    return true;
}

// The core over doubles with a real journal, a LINE far end on 127.0.0.1 and the alerter.
struct World {
    JournalFile j;
    bool ran;
    CoreHarness h{&j.journal};
    LocalHttpServer line;
    std::unique_ptr<AlertSender> sender;
    std::unique_ptr<Alerter> alerter;
    bool failSounds = false;            // every sound asked for fails
    std::function<void()> duringSound;  // after each sound, inside the bell

    explicit World(QTime at = QTime(6, 59, 50), QTime ranUntil = QTime())
        : ran(ranBefore(j.journal, ranUntil)) {
        h.clock.set(kDay, at);
        h.seedAndArm();
        h.audio.onPlay = [this](const FakeAudioOutput::Play& p) {
            h.journal.append(QStringLiteral("play ") + p.path);
            if (failSounds) h.audio.failing.insert(p.path);
            if (!p.isSpan()) h.clock.advanceMs(CoreHarness::kSoundMs);
            if (duringSound) duringSound();
        };
    }

    // The far end listens; the alerter is made, set up with `json` and started.
    bool up(const QByteArray& json = setUpJson()) {
        if (!line.isListening() && !line.start()) return false;
        // Read when the sender is made.
        qputenv("TAVIRIN_LINE_API", line.url().toUtf8());
        return startAlerter(json);
    }
    // As the program starts it: the settings from the store, then `json` if any.
    bool startAlerter(const QByteArray& json = {}) {
        sender = std::make_unique<AlertSender>(2000ms, &h.clock);
        alerter = std::make_unique<Alerter>(h.core, *sender);
        if (!json.isEmpty()) {
            const Outcome o = alerter->configure(json);
            if (o.status != Outcome::Status::Done) {
                qWarning().noquote() << "configure refused:" << o.reason;
                return false;
            }
        }
        alerter->start();
        return settle();
    }
    // The program ends.
    void stop() {
        alerter.reset();
        sender.reset();
    }
    // Every message started has its answer, and what that led to has run.
    bool idle() {
        return settle() && QTest::qWaitFor([&] { return sender->inFlight() == 0; }, 10000) &&
               settle();
    }
    // Today's first bell (07:00) with every sound failing.
    void failFirstBell() {
        failSounds = true;
        h.runUntil(QTime(7, 1, 0));
        failSounds = false;
        h.audio.failing.clear();
    }
    QList<OutboxMessage> outbox() const { return j.journal.outboxOn(kDay); }
    QList<BellRecord> bells() const { return j.journal.bellsOn(kDay); }
    // The emergency's warm-up runs on a real timer (a second).
    bool roundsBegun(int n) {
        return QTest::qWaitFor([&] { return h.alarmPlayer.rounds.size() >= n; }, 5000);
    }
    bool selfTest() {
        QSignalSpy done(&h.core.selfTest(), &SelfTest::finished);
        return h.core.selfTest().run(QStringLiteral("test")) && done.wait(10000);
    }
};

}  // namespace

class TestAlerter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Nothing may reach the real services.
        qputenv("TAVIRIN_LINE_API", "http://127.0.0.1:1");
        qputenv("TAVIRIN_TELEGRAM_API", "http://127.0.0.1:1");
        qunsetenv("TAVIRIN_ALERTS_CA");
    }

    // A scheduled bell that failed: one push to the LINE group with the school's name first
    // and the day's record's words; sent, in the outbox; what follows tells nothing more.
    void aFailedBellIsToldOnce_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");  // the journal's code
        QTest::addColumn<QString>("thai");    // as the day's record words it
        QTest::newRow("no sound plays")
            << "sounds" << journal::kSoundsFailed << QStringLiteral("เล่นไฟล์เสียงไม่ได้");
        QTest::newRow("no sound device")
            << "device" << journal::kNoDevice << QStringLiteral("ไม่มีอุปกรณ์เสียง เสียงไม่ออกลำโพง");
    }
    void aFailedBellIsToldOnce() {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QFETCH(QString, thai);
        World w;
        QVERIFY(w.up());
        if (fault == QLatin1String("device")) {
            w.h.audio.noDevice = true;
            w.h.runUntil(QTime(7, 1, 0));
            w.h.audio.noDevice = false;
        } else {
            w.failFirstBell();
        }
        QVERIFY(w.idle());

        const QList<BellRecord> bells = w.bells();
        QCOMPARE(bells.size(), 1);
        QCOMPARE(bells[0].outcome, journal::kFailed);
        QCOMPARE(bells[0].reason, reason);
        QCOMPARE(w.line.requests.size(), 1);
        const LocalHttpServer::Request& r = w.line.requests[0];
        QCOMPARE(r.path, QByteArray("/v2/bot/message/push"));
        QCOMPARE(r.headers.value("authorization"), "Bearer " + kLineToken.toLatin1());
        QCOMPARE(jsonOf(r.body).value(QStringLiteral("to")).toString(), kLineTo);
        const QString text = pushText(r);
        QVERIFY2(text.startsWith(kSchool + QStringLiteral(": ")), qPrintable(text));
        const BellLine l = bellLine(bells[0]);
        QCOMPARE(l.reason, thai);
        for (const QString& part :
             {QStringLiteral("ช่วงที่ 1"), QStringLiteral("07:00"), l.outcome, thai})
            QVERIFY2(text.contains(part), qPrintable(text + QStringLiteral(" / ") + part));

        QList<OutboxMessage> kept = w.outbox();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].state, journal::kOutboxSent);
        QCOMPARE(kept[0].event, alertevent::kBell);
        QCOMPARE(kept[0].channel, QStringLiteral("line"));
        QCOMPARE(kept[0].subject, QStringLiteral("bell %1").arg(bells[0].id));
        QCOMPARE(kept[0].text, text);
        QCOMPARE(kept[0].attempts, 1);
        QVERIFY(kept[0].sentAt.isValid());
        QCOMPARE(r.headers.value("x-line-retry-key"), kept[0].key.toLatin1());
        QCOMPARE(w.alerter->pendingCount(), 0);
        QVERIFY(w.j.journal.outboxPending().isEmpty());

        // Two more bells ring as they should, the journal goes on changing: nothing more.
        w.h.runUntil(QTime(9, 0, 40));
        w.j.journal.heartbeat(w.h.clock.now());
        w.j.journal.recordChecks(w.h.clock.now(), {{w.h.clock.now(), SelfTest::kItemClock, true,
                                                    QStringLiteral("synchronised")}});
        QVERIFY(w.idle());
        QCOMPARE(w.h.bellsToday(),
                 (QStringList{QStringLiteral("1 failed ") + reason, QStringLiteral("2 rang"),
                              QStringLiteral("3 rang")}));
        QCOMPARE(w.line.requests.size(), 1);
        QCOMPARE(w.outbox().size(), 1);
    }

    // The far end answering 503 or not listening: the message waits in the outbox with what
    // it answered; tried again after 30 s, then 60, then 120; delivered once it is back, once.
    void aFarEndDownIsTriedAgainWithLongerWaits_data() {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QString>("answered");  // in the message's last answer
        QTest::newRow("503") << true << QStringLiteral("503");
        QTest::newRow("not listening") << false << QStringLiteral("127.0.0.1");
    }
    void aFarEndDownIsTriedAgainWithLongerWaits() {
        QFETCH(bool, listening);
        QFETCH(QString, answered);
        World w;
        QVERIFY(w.up());
        const quint16 port = w.line.serverPort();
        if (listening)
            w.line.answer.status = 503;
        else
            w.line.close();
        w.failFirstBell();
        QVERIFY(w.idle());

        qint64 wait = Alerter::kFirstRetrySeconds;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            QCOMPARE(w.alerter->pendingCount(), 1);
            const OutboxMessage m = w.alerter->pending().first();
            QCOMPARE(m.state, journal::kOutboxPending);
            QCOMPARE(m.attempts, attempt);
            QVERIFY2(m.lastAnswer.contains(answered), qPrintable(m.lastAnswer));
            QCOMPARE(m.nextAt, w.h.clock.now().addSecs(wait));
            // as the journal keeps it (a power cut now loses none of it)
            const QList<OutboxMessage> kept = w.j.journal.outboxPending();
            QCOMPARE(kept.size(), 1);
            QCOMPARE(kept[0].key, m.key);
            QCOMPARE(kept[0].attempts, attempt);
            QCOMPARE(kept[0].lastAnswer, m.lastAnswer);
            QCOMPARE(kept[0].nextAt, m.nextAt);
            // not a second early
            w.h.clock.set(m.nextAt.addSecs(-1));
            w.alerter->pump();
            QCOMPARE(w.sender->inFlight(), 0);
            if (attempt == 3) {
                w.line.answer.status = 200;
                if (!w.line.isListening())
                    QVERIFY(w.line.listen(QHostAddress(QHostAddress::LocalHost), port));
            }
            w.h.clock.set(m.nextAt);
            w.alerter->pump();
            QVERIFY(w.idle());
            wait *= 2;
        }
        QCOMPARE(w.alerter->pendingCount(), 0);
        QCOMPARE(w.line.requests.size(), listening ? 4 : 1);
        const QList<OutboxMessage> kept = w.outbox();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].state, journal::kOutboxSent);
        QCOMPARE(kept[0].attempts, 4);
        QCOMPARE(kept[0].sentAt, w.h.clock.now());
        for (const LocalHttpServer::Request& r : std::as_const(w.line.requests))
            QCOMPARE(r.headers.value("x-line-retry-key"), kept[0].key.toLatin1());

        // Delivered is done with: later pumps send nothing.
        for (int i = 0; i < 3; ++i) {
            w.h.clock.set(w.h.clock.now().addSecs(Alerter::kLongestRetrySeconds));
            w.alerter->pump();
            QCOMPARE(w.sender->inFlight(), 0);
        }
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), listening ? 4 : 1);
        QCOMPARE(w.outbox().size(), 1);
    }

    // 429 with Retry-After: the next try waits as long as asked (never less than the first
    // retry's 30 s).
    void aRetryAfterIsWaitedFor_data() {
        QTest::addColumn<QString>("retryAfter");  // "+N": an HTTP date N seconds on
        QTest::addColumn<int>("wait");
        QTest::newRow("120 s") << "120" << 120;
        QTest::newRow("an HTTP date 2 minutes on") << "+120" << 120;
        QTest::newRow("less than the first retry's wait") << "5" << 30;
    }
    void aRetryAfterIsWaitedFor() {
        QFETCH(QString, retryAfter);
        QFETCH(int, wait);
        World w;
        QVERIFY(w.up());
        w.line.answer.status = 429;
        w.failFirstBell();
        // The message goes when the event loop next turns; the clock stands meanwhile.
        const QDateTime failedAt = w.h.clock.now();
        const QByteArray value =
            retryAfter.startsWith(u'+')
                ? httpDate(failedAt.addSecs(retryAfter.mid(1).toInt())).toLatin1()
                : retryAfter.toLatin1();
        w.line.answer.headers = {{"Retry-After", value}};
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 1);
        QCOMPARE(w.alerter->pendingCount(), 1);
        QCOMPARE(w.alerter->pending().first().nextAt, failedAt.addSecs(wait));

        w.line.answer = {};
        w.h.clock.set(failedAt.addSecs(wait / 2));
        w.alerter->pump();
        QCOMPARE(w.sender->inFlight(), 0);
        w.h.clock.set(failedAt.addSecs(wait - 1));
        w.alerter->pump();
        QCOMPARE(w.sender->inFlight(), 0);
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 1);

        w.h.clock.set(failedAt.addSecs(wait + 1));
        w.alerter->pump();
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 2);
        QCOMPARE(w.alerter->pendingCount(), 0);
        QCOMPARE(w.outbox().value(0).state, journal::kOutboxSent);
    }

    // A restart with a message waiting: the new alerter sends it, once, under its own key,
    // and does not tell the same bell again as a new message.
    void aRestartSendsWhatWaitedOnce() {
        World w;
        QVERIFY(w.up());
        w.line.answer.status = 503;
        w.failFirstBell();
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 1);
        QCOMPARE(w.alerter->pendingCount(), 1);
        const OutboxMessage waiting = w.alerter->pending().first();

        w.stop();
        w.line.answer.status = 200;
        w.h.clock.set(waiting.nextAt.addSecs(1));
        QVERIFY(w.startAlerter());  // the settings as saved
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 2);
        QCOMPARE(w.line.requests[1].headers.value("x-line-retry-key"), waiting.key.toLatin1());
        QCOMPARE(pushText(w.line.requests[1]), waiting.text);
        QCOMPARE(w.alerter->pendingCount(), 0);
        QList<OutboxMessage> kept = w.outbox();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].key, waiting.key);
        QCOMPARE(kept[0].state, journal::kOutboxSent);
        QCOMPARE(kept[0].attempts, 2);

        // A bell that rings, and another restart: still that one message.
        w.h.runUntil(QTime(8, 0, 40));
        QVERIFY(w.idle());
        w.stop();
        QVERIFY(w.startAlerter());
        QVERIFY(w.idle());
        w.alerter->pump();
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 2);
        QCOMPARE(w.outbox().size(), 1);
    }

    // A message made while a bell plays (a bell due meanwhile is missed) waits for the bell's
    // end, then goes at once, also when a message to another channel waits for a retry.
    void nothingIsSentWhileABellRings_data() {
        QTest::addColumn<bool>("otherWaits");
        QTest::newRow("nothing else waits") << false;
        QTest::newRow("a webhook message waits half an hour") << true;
    }
    void nothingIsSentWhileABellRings() {
        QFETCH(bool, otherWaits);
        World w(QTime(7, 58, 0));
        LocalHttpServer hook;
        QVERIFY(hook.start());
        const QJsonObject webhook{
            {QStringLiteral("webhook"),
             QJsonObject{{QStringLiteral("url"), hook.url() + QStringLiteral("/bells")}}}};
        QVERIFY(w.up(setUpJson(otherWaits ? webhook : QJsonObject())));
        if (otherWaits) {
            hook.answer.status = 429;
            hook.answer.headers = {{"Retry-After", "1800"}};
            w.j.journal.bellNotRung(missed(19, QTime(7, 58, 0), journal::kStall));
            QVERIFY(w.idle());
            QCOMPARE(w.line.requests.size(), 1);
            QCOMPARE(hook.requests.size(), 1);
            QCOMPARE(w.alerter->pendingCount(), 1);  // the webhook's, till 08:28
            hook.answer = {};
        }
        const int lineBefore = int(w.line.requests.size());
        const int hookBefore = int(hook.requests.size());

        int sounds = 0;
        bool looked = false;
        w.duringSound = [&] {
            if (++sounds != 3) return;
            w.j.journal.bellNotRung(missed(20, QTime(8, 0, 5), journal::kDuringBell));
            QVERIFY(settle());
            QVERIFY(w.h.core.bellInProgress());
            QVERIFY(std::any_of(w.alerter->pending().cbegin(), w.alerter->pending().cend(),
                                [](const OutboxMessage& m) {
                                    return m.channel == QLatin1String("line") &&
                                           m.text.contains(QStringLiteral("ช่วงที่ 20"));
                                }));
            w.alerter->pump();  // as its timer would
            QCOMPARE(w.sender->inFlight(), 0);
            QVERIFY(settle());
            QCOMPARE(w.line.requests.size(), lineBefore);
            QCOMPARE(hook.requests.size(), hookBefore);
            looked = true;
        };
        w.h.runUntil(QTime(8, 1, 0));
        w.duringSound = {};
        QVERIFY(looked);
        QVERIFY(!w.h.core.bellInProgress());
        const QList<BellRecord> bells = w.bells();
        QVERIFY(std::any_of(bells.cbegin(), bells.cend(), [](const BellRecord& b) {
            return b.period == 2 && b.outcome == journal::kRang;  // 08:00
        }));

        // At the bell's end, not at the next retry of another message (half an hour on).
        QVERIFY2(QTest::qWaitFor([&] { return w.line.requests.size() == lineBefore + 1; }, 5000),
                 "the message made during the bell was not sent after it");
        QVERIFY(pushText(w.line.requests.last()).contains(QStringLiteral("ช่วงที่ 20")));
        if (otherWaits) {
            QVERIFY(QTest::qWaitFor([&] { return hook.requests.size() == hookBefore + 1; }, 5000));
            QVERIFY(jsonOf(hook.requests.last().body)
                        .value(QStringLiteral("text"))
                        .toString()
                        .contains(QStringLiteral("ช่วงที่ 20")));
        }
    }

    // An emergency and its all clear: two messages, the first naming the kind and where it
    // was started from; its rounds tell nothing more.
    void anEmergencyAndItsAllClear_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("kindThai");
        QTest::addColumn<QString>("fromThai");
        QTest::newRow("evacuate from a script")
            << "evacuate" << journal::kFromBus << QStringLiteral("อพยพ") << QStringLiteral("สคริปต์");
        QTest::newRow("lockdown from the tray")
            << "lockdown" << journal::kFromTray << QStringLiteral("หลบภัยในอาคาร")
            << QStringLiteral("ไอคอนถาด");
    }
    void anEmergencyAndItsAllClear() {
        QFETCH(QString, kind);
        QFETCH(QString, from);
        QFETCH(QString, kindThai);
        QFETCH(QString, fromThai);
        World w(QTime(10, 30, 0));
        w.h.set(QStringLiteral("Time"), QStringLiteral("m27"), QStringLiteral("1"));
        w.h.arming.armToday();
        QVERIFY(w.up());

        QCOMPARE(w.h.core.startEmergency(kind, from).status, Outcome::Status::Done);
        QVERIFY(w.roundsBegun(1));
        w.h.alarmPlayer.started(0);
        w.h.alarmPlayer.finish();
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 1);
        const QString start = pushText(w.line.requests[0]);
        QVERIFY2(start.startsWith(kSchool + QStringLiteral(": ")), qPrintable(start));
        QVERIFY2(start.contains(kindThai), qPrintable(start));
        QVERIFY2(start.contains(fromThai), qPrintable(start));
        QVERIFY2(start.contains(QStringLiteral("10:30")), qPrintable(start));

        w.h.clock.advanceMs(5 * 60 * 1000);
        QCOMPARE(w.h.core.allClear(journal::kFromWindow).status, Outcome::Status::Done);
        w.h.alarmPlayer.finish();  // the all clear has sounded
        QVERIFY(!w.h.core.state().emergency);
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 2);
        const QString end = pushText(w.line.requests[1]);
        QVERIFY2(end.startsWith(kSchool + QStringLiteral(": ")), qPrintable(end));
        QVERIFY2(end.contains(QStringLiteral("สิ้นสุดเหตุฉุกเฉิน")), qPrintable(end));
        QVERIFY2(end.contains(QStringLiteral("10:35")), qPrintable(end));
        const QList<OutboxMessage> kept = w.outbox();
        QCOMPARE(kept.size(), 2);
        for (const OutboxMessage& m : kept) {
            QCOMPARE(m.event, alertevent::kEmergency);
            QCOMPARE(m.state, journal::kOutboxSent);
        }
    }

    // Bells due while the program was not running, written as missed at start-up: one
    // message listing them all, not one per bell; told once across restarts.
    void bellsMissedWhileNotRunningAreToldTogether_data() {
        QTest::addColumn<QTime>("ranUntil");
        QTest::addColumn<QList<int>>("periods");  // missed, due on the hour
        QTest::newRow("three bells") << QTime(7, 20, 0) << QList<int>{2, 3, 4};
        QTest::newRow("one bell") << QTime(9, 20, 0) << QList<int>{4};
    }
    void bellsMissedWhileNotRunningAreToldTogether() {
        QFETCH(QTime, ranUntil);
        QFETCH(QList<int>, periods);
        World w(QTime(10, 30, 0), ranUntil);
        QVERIFY(w.ran);
        w.h.scheduler.accountForStartUp();
        QVERIFY(w.up());
        QVERIFY(w.idle());

        int missedHere = 0;
        for (const BellRecord& b : w.bells())
            if (b.reason == journal::kNotRunning) ++missedHere;
        QCOMPARE(missedHere, periods.size());
        QCOMPARE(w.line.requests.size(), 1);
        const QString text = pushText(w.line.requests[0]);
        QVERIFY2(text.startsWith(kSchool + QStringLiteral(": ")), qPrintable(text));
        for (int p = 1; p <= 4; ++p) {
            const QString bell =
                QStringLiteral("ช่วงที่ %1 %2:00").arg(p).arg(6 + p, 2, 10, QChar(u'0'));
            QVERIFY2(text.contains(bell) == periods.contains(p), qPrintable(text + u'/' + bell));
        }
        QList<OutboxMessage> kept = w.outbox();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].event, alertevent::kNotRunning);

        // Started again: nothing new is missed, nothing is told again; nor by a bell that rings.
        w.stop();
        w.h.scheduler.accountForStartUp();
        QVERIFY(w.startAlerter());
        w.h.runUntil(QTime(11, 0, 40));
        QVERIFY(w.idle());
        QCOMPARE(w.bells().last().outcome, journal::kRang);
        QCOMPARE(w.line.requests.size(), 1);
        QCOMPARE(w.outbox().size(), 1);
    }

    // The self-test's problem: told; the same problem found again: not; gone: told.
    void selfTestProblemsAndTheirEnd_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("item");
        QTest::newRow("no sound output")
            << "audio" << alertevent::kSelfTest << QString(SelfTest::kItemAudio);
        QTest::newRow("the journal's folder cannot be written")
            << "journal" << alertevent::kStorage << QString(SelfTest::kItemJournal);
    }
    void selfTestProblemsAndTheirEnd() {
        QFETCH(QString, fault);
        QFETCH(QString, event);
        QFETCH(QString, item);
        World w(QTime(6, 30, 0));
        const QString folder = w.j.dir.path();
        w.h.core.selfTest().setFolders({{SelfTest::kItemJournal, folder, true}});
        QVERIFY(w.up());

        auto faulty = [&](bool on) {
            if (fault == QLatin1String("audio"))
                w.h.audioProbe.output = on ? Result::failure(QStringLiteral("no sound card (test)"))
                                           : Result::success();
            else if (on)
                w.h.folderProbe.states.insert(folder, {true, true, false, qint64(1) << 30,
                                                       QStringLiteral("read-only (test)")});
            else
                w.h.folderProbe.states.clear();
        };
        // All well: nothing.
        QVERIFY(w.selfTest());
        QVERIFY(!w.h.core.selfTest().last().failed());
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 0);

        faulty(true);
        w.h.clock.advanceMs(60 * 1000);
        QVERIFY(w.selfTest());
        QVERIFY(w.h.core.selfTest().last().failed());
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 1);
        const QString found = pushText(w.line.requests[0]);
        QVERIFY2(found.startsWith(kSchool + QStringLiteral(": ")), qPrintable(found));
        QVERIFY2(found.contains(thaiCheckName(item)), qPrintable(found));
        QCOMPARE(w.outbox().value(0).event, event);

        w.h.clock.advanceMs(60 * 1000);
        QVERIFY(w.selfTest());
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 1);

        faulty(false);
        w.h.clock.advanceMs(60 * 1000);
        QVERIFY(w.selfTest());
        QVERIFY(!w.h.core.selfTest().last().failed());
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 2);
        const QString gone = pushText(w.line.requests[1]);
        QVERIFY2(gone.startsWith(kSchool + QStringLiteral(": ")), qPrintable(gone));
        QVERIFY2(gone.contains(QStringLiteral("หายไปแล้ว")), qPrintable(gone));

        w.h.clock.advanceMs(60 * 1000);
        QVERIFY(w.selfTest());
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), 2);
        QCOMPARE(w.outbox().size(), 2);
    }

    // A kind switched off, or no channel set up: the failed bell tells nothing (the first row
    // is the same bell with everything on).
    void whatIsNotWantedIsNotSent_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("messages");
        QTest::newRow("everything on") << setUpJson() << 1;
        QTest::newRow("other kinds off")
            << setUpJson(
                   {{QStringLiteral("events"), QJsonObject{{QStringLiteral("selftest"), false},
                                                           {QStringLiteral("emergency"), false},
                                                           {QStringLiteral("summary"), false}}}})
            << 1;
        QTest::newRow("bells off")
            << setUpJson({{QStringLiteral("events"), QJsonObject{{QStringLiteral("bell"), false}}}})
            << 0;
        QTest::newRow("no channel")
            << QJsonDocument(QJsonObject{{QStringLiteral("school"), kSchool}})
                   .toJson(QJsonDocument::Compact)
            << 0;
        QTest::newRow("LINE without its recipient")
            << setUpJson(
                   {{QStringLiteral("line"), QJsonObject{{QStringLiteral("token"), kLineToken},
                                                         {QStringLiteral("to"), ""}}}})
            << 0;
    }
    void whatIsNotWantedIsNotSent() {
        QFETCH(QByteArray, json);
        QFETCH(int, messages);
        World w;
        QVERIFY(w.up(json));
        w.failFirstBell();
        QVERIFY(w.idle());
        QCOMPARE(w.bells().value(0).outcome, journal::kFailed);
        QCOMPARE(w.line.requests.size(), messages);
        QCOMPARE(w.outbox().size(), messages);
        QCOMPARE(w.alerter->pendingCount(), 0);
    }

    // The far end down all day: tried after 30 s, doubling up to 30 min; after 24 h given up
    // (the journal keeps it) and never tried again.
    void aMessageIsGivenUpAfterADay() {
        World w;
        QVERIFY(w.up());
        w.line.answer.status = 503;
        w.failFirstBell();
        QVERIFY(w.idle());
        QCOMPARE(w.alerter->pendingCount(), 1);
        const OutboxMessage first = w.alerter->pending().first();
        const QDateTime giveUpAt = first.created.addSecs(qint64(Alerter::kGiveUpHours) * 3600);

        QList<qint64> waits;
        int tries = 1, triesAfterADay = 0;
        while (w.alerter->pendingCount() == 1 && tries < 200) {
            const OutboxMessage m = w.alerter->pending().first();
            waits << w.h.clock.now().secsTo(m.nextAt);
            w.h.clock.set(m.nextAt);
            if (m.nextAt > giveUpAt) ++triesAfterADay;
            w.alerter->pump();
            QVERIFY(w.idle());
            ++tries;
        }
        QCOMPARE(w.alerter->pendingCount(), 0);
        QVERIFY(w.h.clock.now() >= giveUpAt);
        // The waits: 30 s doubling, then 30 min each; the day's tries all made.
        for (int i = 0; i < waits.size(); ++i)
            QCOMPARE(waits[i], qMin<qint64>(qint64(Alerter::kFirstRetrySeconds) << qMin(i, 16),
                                            Alerter::kLongestRetrySeconds));
        QVERIFY2(triesAfterADay <= 1, qPrintable(QString::number(triesAfterADay)));
        // A try that would fall after the day is not made: the message is given up then.
        QCOMPARE(w.line.requests.size(), tries - triesAfterADay);

        const QList<OutboxMessage> kept = w.outbox();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].state, journal::kOutboxGivenUp);
        QCOMPARE(kept[0].attempts, tries - triesAfterADay);
        QVERIFY(w.j.journal.outboxPending().isEmpty());

        // The far end back, time on, a restart: never again.
        w.line.answer.status = 200;
        w.h.clock.set(w.h.clock.now().addSecs(3600));
        w.alerter->pump();
        QCOMPARE(w.sender->inFlight(), 0);
        w.stop();
        QVERIFY(w.startAlerter());
        QVERIFY(w.idle());
        QCOMPARE(w.line.requests.size(), tries - triesAfterADay);
        QCOMPARE(w.outbox().value(0).state, journal::kOutboxGivenUp);
    }

    // The daily summary at the time set, counting the day's scheduled bells.
    void theDailySummary_data() {
        QTest::addColumn<bool>("firstFails");
        QTest::addColumn<QString>("count");
        QTest::newRow("all rang") << false << QStringLiteral("วันนี้ออดดัง 10 จาก 10 ครั้ง");
        QTest::newRow("the first failed") << true << QStringLiteral("วันนี้ออดดัง 9 จาก 10 ครั้ง");
    }
    void theDailySummary() {
        QFETCH(bool, firstFails);
        QFETCH(QString, count);
        World w;
        QVERIFY(w.up(setUpJson({{QStringLiteral("summary"), QStringLiteral("16:30")}})));
        if (firstFails) w.failFirstBell();
        w.h.runUntil(QTime(16, 29, 59, 500));
        QVERIFY(w.idle());
        const int told = int(w.line.requests.size());
        QCOMPARE(told, firstFails ? 1 : 0);

        // Its timer counts from the settings' last change: half a second from now.
        QVERIFY(
            w.alerter->configure(setUpJson({{QStringLiteral("summary"), QStringLiteral("16:30")}}))
                .status == Outcome::Status::Done);
        w.h.clock.advanceMs(1500);
        QVERIFY2(QTest::qWaitFor([&] { return w.line.requests.size() == told + 1; }, 10000),
                 "no summary");
        const QString text = pushText(w.line.requests.last());
        QVERIFY2(text.startsWith(kSchool + QStringLiteral(": ") + count), qPrintable(text));
        QCOMPARE(text.contains(QStringLiteral("ช่วงที่ 1 ")), firstFails);
        QVERIFY(w.idle());
        QCOMPARE(w.outbox().last().event, alertevent::kSummary);
        QCOMPARE(w.outbox().last().state, journal::kOutboxSent);
    }
};

QTEST_GUILESS_MAIN(TestAlerter)
#include "test_alerter.moc"
