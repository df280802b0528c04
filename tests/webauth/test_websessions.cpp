#include "platform/fake/fakeclock.h"
#include "webauth/websessions.h"

#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace tavirin;
using Session = WebSessions::Session;

Q_DECLARE_METATYPE(tavirin::WebRole)

namespace {

const QHostAddress kClient(QStringLiteral("192.168.1.30"));

}  // namespace

class TestWebSessions : public QObject {
    Q_OBJECT

private slots:
    void newSession() {
        FakeClock clock;
        WebSessions sessions(clock);
        const std::optional<Session> s = sessions.create(WebRole::Teacher, kClient);
        QVERIFY(s.has_value());
        static const QRegularExpression hex64(QStringLiteral("^[0-9a-f]{64}$"));
        QVERIFY(hex64.match(QString::fromLatin1(s->token)).hasMatch());
        QVERIFY(hex64.match(QString::fromLatin1(s->csrf)).hasMatch());
        QVERIFY(s->token != s->csrf);
        QCOMPARE(s->role, WebRole::Teacher);
        QCOMPARE(s->address, kClient);
        QCOMPARE(s->created, clock.now());
        QCOMPARE(s->lastUsedMs, clock.elapsed().monotonicMs);

        const Session* found = sessions.find(s->token);
        QVERIFY(found);
        QCOMPARE(found->token, s->token);
        QCOMPARE(found->csrf, s->csrf);
    }

    void tokensDiffer() {
        FakeClock clock;
        WebSessions sessions(clock);
        QSet<QByteArray> seen;
        for (int i = 0; i < 64; ++i) {
            const std::optional<Session> s = sessions.create(WebRole::Admin, kClient);
            QVERIFY(s);
            QVERIFY(!seen.contains(s->token));
            QVERIFY(!seen.contains(s->csrf));
            seen.insert(s->token);
            seen.insert(s->csrf);
        }
        QCOMPARE(sessions.count(), 64);
    }

    void idleLimit_data() {
        QTest::addColumn<WebRole>("role");
        QTest::addColumn<qint64>("limitMs");
        QTest::newRow("admin 30 min") << WebRole::Admin << qint64(30 * 60 * 1000);
        QTest::newRow("teacher 8 h") << WebRole::Teacher << qint64(8 * 60 * 60 * 1000);
    }
    void idleLimit() {
        QFETCH(WebRole, role);
        QFETCH(qint64, limitMs);
        FakeClock clock;
        WebSessions sessions(clock);
        const QByteArray token = sessions.create(role, kClient)->token;

        // Each use starts the idle time over.
        for (int i = 0; i < 3; ++i) {
            clock.advanceMs(limitMs - 1);
            const Session* s = sessions.find(token);
            QVERIFY2(s, qPrintable(QString::number(i)));
            QCOMPARE(s->lastUsedMs, clock.elapsed().monotonicMs);
        }
        clock.advanceMs(limitMs);
        QVERIFY(!sessions.find(token));
        QCOMPARE(sessions.count(), 0);  // dropped, not only hidden
    }

    // An open event stream asks whether its session lives: asking is no use of it.
    void aliveIsNoUse() {
        FakeClock clock;
        WebSessions sessions(clock);
        const QByteArray token = sessions.create(WebRole::Admin, kClient)->token;
        const qint64 limit = WebSessions::idleLimitMs(WebRole::Admin);
        clock.advanceMs(limit - 1);
        QVERIFY(sessions.alive(token));
        clock.advanceMs(1);
        QVERIFY(!sessions.alive(token));
        QVERIFY(!sessions.alive(QByteArray(64, 'z')));
        QVERIFY(!sessions.find(token));
    }

    void wallClockDoesNotEndASession() {
        FakeClock clock;
        WebSessions sessions(clock);
        const QByteArray token = sessions.create(WebRole::Admin, kClient)->token;
        clock.set(clock.now().addDays(2));  // the clock set, no time passed
        QVERIFY(sessions.find(token));
        clock.sleepMs(2 * 60 * 60 * 1000);  // a suspend: the monotonic clock stands
        QVERIFY(sessions.find(token));
    }

    void unknownAndMalformedTokens_data() {
        QTest::addColumn<QByteArray>("token");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("unknown") << QByteArray(64, 'a');
        QTest::newRow("short") << QByteArray(63, 'a');
        QTest::newRow("long") << QByteArray(65, 'a');
        QTest::newRow("upper case") << QByteArray(64, 'A');
        QTest::newRow("not hex") << QByteArray(64, 'g');
        QTest::newRow("nul bytes") << QByteArray(64, '\0');
    }
    void unknownAndMalformedTokens() {
        QFETCH(QByteArray, token);
        FakeClock clock;
        WebSessions sessions(clock);
        const QByteArray real = sessions.create(WebRole::Teacher, kClient)->token;
        QVERIFY(!sessions.find(token));
        QVERIFY(!sessions.remove(token));
        QCOMPARE(sessions.count(), 1);
        QVERIFY(sessions.find(real));
    }

    void realTokenAltered() {
        FakeClock clock;
        WebSessions sessions(clock);
        const QByteArray real = sessions.create(WebRole::Teacher, kClient)->token;
        QVERIFY(!sessions.find(real.toUpper() == real ? real : real.toUpper()));
        QVERIFY(!sessions.find(real + "0"));
        QVERIFY(!sessions.find(real.left(63)));
        QByteArray flipped = real;
        flipped[10] = flipped[10] == '0' ? '1' : '0';
        QVERIFY(!sessions.find(flipped));
        QVERIFY(sessions.find(real));
    }

    void removeOne() {
        FakeClock clock;
        WebSessions sessions(clock);
        const QByteArray a = sessions.create(WebRole::Teacher, kClient)->token;
        const QByteArray b = sessions.create(WebRole::Teacher, kClient)->token;
        QVERIFY(sessions.remove(a));
        QVERIFY(!sessions.remove(a));
        QVERIFY(!sessions.find(a));
        QVERIFY(sessions.find(b));
    }

    void removeRole() {
        FakeClock clock;
        WebSessions sessions(clock);
        QList<QByteArray> teachers, admins;
        for (int i = 0; i < 3; ++i)
            teachers.append(sessions.create(WebRole::Teacher, kClient)->token);
        for (int i = 0; i < 2; ++i) admins.append(sessions.create(WebRole::Admin, kClient)->token);

        // The admin who changed the teacher password is not the teacher; all teachers go.
        QCOMPARE(sessions.removeRole(WebRole::Teacher, admins.first()), 3);
        for (const QByteArray& t : teachers) QVERIFY(!sessions.find(t));
        for (const QByteArray& t : admins) QVERIFY(sessions.find(t));

        // The admin's own password: the other admin sessions go, the one that changed it stays.
        QCOMPARE(sessions.removeRole(WebRole::Admin, admins.first()), 1);
        QVERIFY(sessions.find(admins.first()));
        QVERIFY(!sessions.find(admins.last()));
        QCOMPARE(sessions.removeRole(WebRole::Admin), 1);
        QCOMPARE(sessions.count(), 0);
    }

    void leastRecentlyUsedGoesFirst() {
        FakeClock clock;
        WebSessions sessions(clock);
        QList<QByteArray> tokens;
        for (int i = 0; i < WebSessions::kMaxSessions; ++i) {
            tokens.append(sessions.create(WebRole::Teacher, kClient)->token);
            clock.advanceMs(1);
        }
        QCOMPARE(sessions.count(), WebSessions::kMaxSessions);
        // The first made is used again: the second is now the least recently used.
        QVERIFY(sessions.find(tokens.at(0)));
        clock.advanceMs(1);
        const QByteArray newest = sessions.create(WebRole::Admin, kClient)->token;
        QCOMPARE(sessions.count(), WebSessions::kMaxSessions);
        QVERIFY(!sessions.find(tokens.at(1)));
        QVERIFY(sessions.find(tokens.at(0)));
        QVERIFY(sessions.find(tokens.at(2)));
        QVERIFY(sessions.find(newest));
    }

    void idleSessionsMakeRoomFirst() {
        FakeClock clock;
        WebSessions sessions(clock);
        const QByteArray admin = sessions.create(WebRole::Admin, kClient)->token;
        clock.advanceMs(1);
        QList<QByteArray> teachers;
        for (int i = 1; i < WebSessions::kMaxSessions; ++i)
            teachers.append(sessions.create(WebRole::Teacher, kClient)->token);
        // The admin session has ended by itself; the teachers' have not. Every teacher
        // session stays when a new one comes.
        clock.advanceMs(WebSessions::kAdminIdleMs);
        QVERIFY(sessions.create(WebRole::Teacher, kClient));
        QCOMPARE(sessions.count(), WebSessions::kMaxSessions);
        QVERIFY(!sessions.find(admin));
        for (const QByteArray& t : std::as_const(teachers)) QVERIFY(sessions.find(t));
    }

    void csrf_data() {
        QTest::addColumn<int>("change");  // -1: the real token; else what to send
        QTest::addColumn<bool>("matches");
        QTest::newRow("the same") << 0 << true;
        QTest::newRow("empty") << 1 << false;
        QTest::newRow("one character changed") << 2 << false;
        QTest::newRow("one character short") << 3 << false;
        QTest::newRow("one character more") << 4 << false;
        QTest::newRow("upper case") << 5 << false;
        QTest::newRow("the session token") << 6 << false;
    }
    void csrf() {
        QFETCH(int, change);
        QFETCH(bool, matches);
        FakeClock clock;
        WebSessions sessions(clock);
        const Session s = *sessions.create(WebRole::Teacher, kClient);
        QByteArray header = s.csrf;
        switch (change) {
            case 1:
                header.clear();
                break;
            case 2:
                header[63] = header[63] == 'f' ? 'e' : 'f';
                break;
            case 3:
                header.chop(1);
                break;
            case 4:
                header.append('0');
                break;
            case 5:
                header = header.toUpper();
                if (header == s.csrf) header[0] = 'X';  // all digits: still differs
                break;
            case 6:
                header = s.token;
                break;
        }
        QCOMPARE(WebSessions::csrfMatches(s, header), matches);
    }

    void csrfOfASessionWithoutOne() {
        const Session empty;
        QVERIFY(!WebSessions::csrfMatches(empty, QByteArray()));
    }
};

QTEST_GUILESS_MAIN(TestWebSessions)
#include "test_websessions.moc"
