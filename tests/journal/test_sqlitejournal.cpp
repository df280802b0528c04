// The bell journal on a real SQLite file: what a bell leaves behind, the 400-day purge, a
// damaged file, a journal that cannot be written.

#include "journal/sqlitejournal.h"
#include "platform/fake/fakeclock.h"
#include "support/smalldisk.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;
using namespace tavirin::test;

namespace {

const QDate kDay(2026, 12, 9);

// Counts the journal's warnings while it lives.
struct WarningCount {
    static inline int count = 0;
    QtMessageHandler previous;
    WarningCount() : previous(qInstallMessageHandler(&WarningCount::handle)) { count = 0; }
    ~WarningCount() { qInstallMessageHandler(previous); }
    static void handle(QtMsgType type, const QMessageLogContext& c, const QString& m) {
        if (type == QtWarningMsg && qstrcmp(c.category, "tavirin.journal") == 0) ++count;
        std::fprintf(stderr, "%s\n", qPrintable(m));
    }
};

BellRecord scheduled(int period, QTime due) {
    BellRecord b;
    b.kind = journal::kScheduled;
    b.period = period;
    b.due = QDateTime(kDay, due);
    return b;
}

// A bell that fired and ended with two sounds, the second one failed.
qint64 ringOne(Journal& j, int period, QTime due) {
    BellRecord b = scheduled(period, due);
    b.fired = b.due.addMSecs(40);
    b.relay = journal::kRelayOn;
    b.relayDetail = QStringLiteral("COM1 /dev/ttyUSB0");
    b.id = j.bellFired(b);
    b.outcome = journal::kRang;
    b.onsetMs = 120;
    b.afterBell = QStringLiteral("off");
    b.relayOff = b.due.addSecs(30);
    b.ended = b.relayOff;
    b.sounds = {{QStringLiteral("/lib/front.wav"), b.due.addSecs(5), b.due.addSecs(8), true, {}},
                {QStringLiteral("/lib/ไม่มี.wav"), {}, {}, false, QStringLiteral("no such file")}};
    j.bellEnded(b);
    return b.id;
}

int rowCount(const QString& path, const QString& table) {
    const QString name = QStringLiteral("count-") + table;
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT count(*) FROM ") + table) && q.next())
                n = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return n;
}

}  // namespace

class TestSqliteJournal : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path() const { return dir_.filePath(QStringLiteral("state/tavirin/journal.sqlite")); }

private slots:
    void init() {
        QDir(dir_.path()).removeRecursively();
        QVERIFY(QDir().mkpath(dir_.path()));
    }

    // A bell's rows are what a later start (and the "today" view) reads back; a bell cut
    // short by the end of the program is found failed; a bell not rung is written once.
    void aDayReadBackByAnotherStart() {
        FakeClock clock(QDateTime(kDay, QTime(8, 0)));
        {
            SqliteJournal j(path(), clock);
            QVERIFY(j.open());
            ringOne(j, 2, QTime(8, 0));
            BellRecord missed = scheduled(1, QTime(7, 0));
            missed.outcome = journal::kMissed;
            missed.reason = journal::kNotRunning;
            missed.detail = journal::kNotRunningDetail;
            j.bellNotRung(missed);
            j.bellNotRung(missed);  // a second start the same morning
            BellRecord cut = scheduled(3, QTime(9, 0));
            cut.fired = cut.due;
            j.bellFired(cut);  // and the power goes
            j.heartbeat(QDateTime(kDay, QTime(9, 0, 1, 250)));
            j.recordChecks(QDateTime(kDay, QTime(6, 45)),
                           {{{}, QStringLiteral("relay"), false, QStringLiteral("no COM1")},
                            {{}, QStringLiteral("clock"), true, {}}});
        }
        SqliteJournal j(path(), clock);
        QVERIFY(j.open());
        QCOMPARE(j.lastHeartbeat(), QDateTime(kDay, QTime(9, 0, 1, 250)));
        const QList<BellRecord> day = j.bellsOn(kDay);
        QCOMPARE(day.size(), 3);
        QCOMPARE(day[0].outcome, journal::kMissed);
        QCOMPARE(day[0].detail, journal::kNotRunningDetail);
        QVERIFY(!day[0].fired.isValid());
        const BellRecord& rang = day[1];
        QCOMPARE(rang.period, std::optional<int>(2));
        QCOMPARE(rang.fired, QDateTime(kDay, QTime(8, 0, 0, 40)));
        QCOMPARE(rang.outcome, journal::kRang);
        QCOMPARE(rang.onsetMs, std::optional<qint64>(120));
        QCOMPARE(rang.relayDetail, QStringLiteral("COM1 /dev/ttyUSB0"));
        QCOMPARE(rang.sounds.size(), 2);
        QCOMPARE(rang.sounds[1].path, QStringLiteral("/lib/ไม่มี.wav"));
        QVERIFY(!rang.sounds[1].ok && !rang.sounds[1].started.isValid());
        QCOMPARE(day[2].outcome, journal::kFailed);
        QCOMPARE(day[2].reason, journal::kInterrupted);
        QVERIFY(j.bellsOn(kDay.addDays(1)).isEmpty());
        QCOMPARE(j.checksOn(kDay).size(), 2);
        QCOMPARE(j.lastSelfTest().first().detail, QStringLiteral("no COM1"));
    }

    // Rows older than 400 days go; a clock set years ahead moves the limit a week a night.
    // A journal written before the emergencies had their table: opened, it gains the table and
    // keeps every row; an emergency's row reads back with its sounds and held bells.
    // A journal of version 2 lacks only the page's actions.
    void anOlderJournalIsUpgradedInPlace_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<QStringList>("missing");
        QTest::newRow("before the emergencies")
            << 1
            << QStringList{QStringLiteral("emergencies"), QStringLiteral("actions"),
                           QStringLiteral("outbox")};
        QTest::newRow("before the page")
            << 2 << QStringList{QStringLiteral("actions"), QStringLiteral("outbox")};
        QTest::newRow("before the outbox") << 3 << QStringList{QStringLiteral("outbox")};
    }
    void anOlderJournalIsUpgradedInPlace() {
        QFETCH(int, version);
        QFETCH(QStringList, missing);
        FakeClock clock(QDateTime(kDay, QTime(8, 0)));
        {
            SqliteJournal j(path(), clock);
            QVERIFY(j.open());
            ringOne(j, 2, QTime(8, 0));
        }
        {
            // As the version before wrote it.
            const QString name = QStringLiteral("downgrade");
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                db.setDatabaseName(path());
                QVERIFY(db.open());
                QSqlQuery q(db);
                for (const QString& table : missing)
                    QVERIFY(q.exec(QStringLiteral("DROP TABLE %1").arg(table)));
                QVERIFY(q.exec(QStringLiteral("PRAGMA user_version=%1").arg(version)));
            }
            QSqlDatabase::removeDatabase(name);
        }
        for (const QString& table : missing) QCOMPARE(rowCount(path(), table), -1);
        SqliteJournal j(path(), clock);
        QVERIFY(j.open());
        QCOMPARE(j.bellsOn(kDay).size(), 1);
        EmergencyRecord e;
        e.kind = QStringLiteral("evacuate");
        e.name = QStringLiteral("อพยพ");
        e.started = QDateTime(kDay, QTime(10, 1, 2, 300));
        e.startedFrom = journal::kFromContact;
        e.id = j.emergencyStarted(e);
        e.ended = e.started.addSecs(600);
        e.endedFrom = journal::kFromWindow;
        e.sounds = {{QStringLiteral("/lib/alarm/evacuate-tone.wav"), e.started, {}, true, {}}};
        e.bellsHeld = {QStringLiteral("4 10:10:00")};
        j.emergencyEnded(e);
        const QList<EmergencyRecord> back = j.emergenciesOn(kDay);
        QCOMPARE(back.size(), 1);
        QCOMPARE(back[0].name, QStringLiteral("อพยพ"));
        QCOMPARE(back[0].started, e.started);
        QCOMPARE(back[0].startedFrom, journal::kFromContact);
        QCOMPARE(back[0].endedFrom, journal::kFromWindow);
        QCOMPARE(back[0].sounds.size(), 1);
        QCOMPARE(back[0].sounds[0].started, e.started);
        QCOMPARE(back[0].bellsHeld, e.bellsHeld);
        QVERIFY(j.emergenciesOn(kDay.addDays(1)).isEmpty());
        QVERIFY(j.emergenciesWithoutAllClear().isEmpty());

        ActionRecord a{QDateTime(kDay, QTime(10, 5, 0, 250)),
                       journal::kFromPage,
                       QStringLiteral("teacher"),
                       QStringLiteral("192.168.1.20"),
                       QStringLiteral("บอกเวลาขณะนี้"),
                       QStringLiteral("refused"),
                       QStringLiteral("กำลังตีออดอยู่")};
        j.recordAction(a);
        const QList<ActionRecord> actions = j.actionsOn(kDay);
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions[0].at, a.at);
        QCOMPARE(actions[0].address, a.address);
        QCOMPARE(actions[0].reason, a.reason);
        QVERIFY(j.actionsOn(kDay.addDays(1)).isEmpty());
        QVERIFY(j.outboxAdd({QStringLiteral("k1"),
                             QStringLiteral("bell"),
                             QStringLiteral("bell 7"),
                             QStringLiteral("line"),
                             QStringLiteral("ออดไม่ดัง"),
                             QStringLiteral("{}"),
                             QDateTime(kDay, QTime(10, 6)),
                             QDateTime(kDay, QTime(10, 6)),
                             0,
                             journal::kOutboxPending,
                             {},
                             {}}));
        QCOMPARE(j.outboxPending().size(), 1);
    }

    // The outbox: one message per subject and channel, whatever became of the first (also
    // across a reopening: a restart sends nothing twice); its state moves on by its key.
    void theOutboxKeepsOneMessagePerEvent() {
        FakeClock clock(QDateTime(kDay, QTime(8, 0)));
        const QDateTime at(kDay, QTime(8, 0, 5, 120));
        OutboxMessage m{QStringLiteral("5b0c"),
                        QStringLiteral("bell"),
                        QStringLiteral("bell 12"),
                        QStringLiteral("line"),
                        QStringLiteral("โรงเรียนทดสอบ: ออดช่วงที่ 2 ไม่ดัง"),
                        QStringLiteral("{\"period\":2}"),
                        at,
                        at,
                        0,
                        journal::kOutboxPending,
                        {},
                        {}};
        {
            SqliteJournal j(path(), clock);
            QVERIFY(j.open());
            QVERIFY(j.outboxAdd(m));
            OutboxMessage again = m;
            again.key = QStringLiteral("other");
            QVERIFY(!j.outboxAdd(again));  // the same event, the same channel
            again.channel = QStringLiteral("telegram");
            QVERIFY(j.outboxAdd(again));  // another channel is another message
            QCOMPARE(j.outboxPending().size(), 2);
            m.attempts = 3;
            m.nextAt = at.addSecs(120);
            m.lastAnswer = QStringLiteral("LINE ตอบว่า 429");
            j.outboxUpdate(m);
        }
        SqliteJournal j(path(), clock);
        QVERIFY(j.open());
        QList<OutboxMessage> pending = j.outboxPending();
        QCOMPARE(pending.size(), 2);
        const OutboxMessage& back = pending[0].key == m.key ? pending[0] : pending[1];
        QCOMPARE(back.attempts, 3);
        QCOMPARE(back.nextAt, at.addSecs(120));
        QCOMPARE(back.text, m.text);
        QCOMPARE(back.details, m.details);
        QCOMPARE(back.lastAnswer, m.lastAnswer);
        m.state = journal::kOutboxSent;
        m.sentAt = at.addSecs(130);
        j.outboxUpdate(m);
        QCOMPARE(j.outboxPending().size(), 1);
        QVERIFY(!j.outboxAdd(m));  // sent: never again
        const QList<OutboxMessage> day = j.outboxOn(kDay);
        QCOMPARE(day.size(), 2);
        QVERIFY(j.outboxOn(kDay.addDays(1)).isEmpty());
    }

    void purge_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QList<int>>(
            "kept");  // periods left of 1 (401 days old), 2 (390), 3 (today)
        const QDateTime now(kDay, QTime(0, 0));
        QTest::newRow("midnight") << now << QList<int>{2, 3};
        QTest::newRow("clock ten years ahead") << now.addYears(10) << QList<int>{2, 3};
    }
    void purge() {
        QFETCH(QDateTime, now);
        QFETCH(QList<int>, kept);
        FakeClock clock(QDateTime(kDay, QTime(0, 0)));
        SqliteJournal j(path(), clock);
        QVERIFY(j.open());
        const auto bell = [&](int period, QDate day) {
            BellRecord b = scheduled(period, QTime(7, 0));
            b.due.setDate(day);
            b.outcome = journal::kMissed;
            j.bellNotRung(b);
        };
        bell(1, kDay.addDays(-401));
        bell(2, kDay.addDays(-390));
        bell(3, kDay);
        j.purge(now);
        QList<int> left;
        for (QDate d : {kDay.addDays(-401), kDay.addDays(-390), kDay})
            for (const BellRecord& b : j.bellsOn(d)) left << *b.period;
        QCOMPARE(left, kept);
    }

    // A file that is not a journal is kept aside, byte for byte, and a new one started.
    void aDamagedFileIsSetAside() {
        QVERIFY(QDir().mkpath(QFileInfo(path()).absolutePath()));
        const QByteArray junk = "this is no database\n" + QByteArray(5000, '\x7f');
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(junk) == junk.size());
        f.close();
        FakeClock clock(QDateTime(kDay, QTime(6, 30)));
        WarningCount warnings;
        SqliteJournal j(path(), clock);
        QVERIFY(j.open());
        QCOMPARE(warnings.count, 1);
        QCOMPARE(j.setAsidePath(), path() + QStringLiteral(".corrupt-20261209-063000"));
        QFile aside(j.setAsidePath());
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), junk);
        ringOne(j, 1, QTime(7, 0));
        QCOMPARE(rowCount(path(), QStringLiteral("bells")), 1);
    }

    // The folder cannot be made, or the disk is full: said once, nothing thrown, what waits
    // is written, in order, by the first write that works.
    void aJournalThatCannotBeWritten() {
        const QString blocked = dir_.filePath(QStringLiteral("state"));
        QFile block(blocked);  // a file where the folder should be
        QVERIFY(block.open(QIODevice::WriteOnly));
        block.close();
        FakeClock clock(QDateTime(kDay, QTime(7, 0)));
        WarningCount warnings;
        SqliteJournal j(path(), clock);
        QVERIFY(!j.open());
        for (int p = 1; p <= 3; ++p) ringOne(j, p, QTime(6 + p, 0));
        j.heartbeat(QDateTime(kDay, QTime(9, 1)));
        QCOMPARE(warnings.count, 1);
        QVERIFY(j.pendingCount() > 0);
        QCOMPARE(j.lastHeartbeat(), QDateTime(kDay, QTime(9, 1)));
        QVERIFY(block.remove());
        ringOne(j, 4, QTime(10, 0));
        QCOMPARE(j.pendingCount(), 0);
        QList<int> periods;
        for (const BellRecord& b : j.bellsOn(kDay)) {
            periods << *b.period;
            QCOMPARE(b.sounds.size(), 2);
        }
        QCOMPARE(periods, (QList<int>{1, 2, 3, 4}));
        QCOMPARE(warnings.count, 1);
    }

    void aFullDisk() {
        const QString disk = dir_.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        const int rc = onSmallDisk(disk, 1024 * 1024, [&] {
            FakeClock clock(QDateTime(kDay, QTime(7, 0)));
            const QString file = disk + QStringLiteral("/journal.sqlite");
            SqliteJournal j(file, clock);
            SMALLDISK_CHECK(j.open());
            QFile filler(disk + QStringLiteral("/filler"));
            SMALLDISK_CHECK(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
            }
            filler.close();
            WarningCount warnings;
            for (int p = 1; p <= 10; ++p) ringOne(j, p, QTime(7, 0).addSecs(p * 60));
            SMALLDISK_CHECK(warnings.count == 1);
            SMALLDISK_CHECK(j.pendingCount() > 0);
            SMALLDISK_CHECK(filler.remove());
            j.heartbeat(QDateTime(kDay, QTime(8, 0)));
            SMALLDISK_CHECK(j.pendingCount() == 0);
            SMALLDISK_CHECK(j.bellsOn(kDay).size() == 10);
            SMALLDISK_CHECK(j.setAsidePath().isEmpty());
            return 0;
        });
        if (rc == kNoSmallDisk) QSKIP("no user namespaces here for a small file system");
        QCOMPARE(rc, 0);
    }
};

QTEST_GUILESS_MAIN(TestSqliteJournal)
#include "test_sqlitejournal.moc"
