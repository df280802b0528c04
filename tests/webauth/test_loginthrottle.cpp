#include "platform/fake/fakeclock.h"
#include "webauth/loginthrottle.h"

#include <QtTest>

using namespace tavirin;
using Cause = LoginThrottle::Cause;

Q_DECLARE_METATYPE(tavirin::WebRole)

namespace {

constexpr qint64 kMinute = 60 * 1000;
const QHostAddress kA(QStringLiteral("192.168.1.20"));
const QHostAddress kB(QStringLiteral("192.168.1.21"));

QHostAddress nthAddress(int n) {
    return QHostAddress(quint32(0x0a000000u + quint32(n)));
}

}  // namespace

class TestLoginThrottle : public QObject {
    Q_OBJECT

private slots:
    void addressWaitsAfterTheFifth() {
        FakeClock clock;
        LoginThrottle throttle(clock);
        QList<LoginThrottle::Block> blocks;
        throttle.setOnBlocked([&](const LoginThrottle::Block& b) { blocks.append(b); });
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i) {
            throttle.wrong(kA, WebRole::Teacher);
            clock.advanceMs(10 * 1000);
            QVERIFY2(throttle.check(kA, WebRole::Teacher).allowed, qPrintable(QString::number(i)));
        }
        QVERIFY(blocks.isEmpty());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("too many wrong passwords from"));
        throttle.wrong(kA, WebRole::Teacher);
        QCOMPARE(blocks.size(), 1);
        QCOMPARE(blocks.first().cause, Cause::Address);
        QCOMPARE(blocks.first().address, kA);
        QCOMPARE(blocks.first().seconds, 300);

        LoginThrottle::Verdict v = throttle.check(kA, WebRole::Teacher);
        QVERIFY(!v.allowed);
        QCOMPARE(v.cause, Cause::Address);
        QCOMPARE(v.retryAfterSeconds, 300);
        // The address waits for either role; another address does not.
        QVERIFY(!throttle.check(kA, WebRole::Admin).allowed);
        QVERIFY(throttle.check(kB, WebRole::Teacher).allowed);

        // Wrong ones during the wait do not lengthen it.
        clock.advanceMs(4 * kMinute);
        throttle.wrong(kA, WebRole::Teacher);
        QCOMPARE(blocks.size(), 1);
        v = throttle.check(kA, WebRole::Teacher);
        QCOMPARE(v.retryAfterSeconds, 60);
        clock.advanceMs(kMinute - 1500);
        QCOMPARE(throttle.check(kA, WebRole::Teacher).retryAfterSeconds, 2);  // rounded up
        clock.advanceMs(1000);
        QCOMPARE(throttle.check(kA, WebRole::Teacher).retryAfterSeconds, 1);
        clock.advanceMs(500);  // five minutes after the fifth
        v = throttle.check(kA, WebRole::Teacher);
        QVERIFY(v.allowed);
        QCOMPARE(v.retryAfterSeconds, 0);
        QCOMPARE(v.cause, Cause::None);

        // After the wait the count starts over: four more are allowed.
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i)
            throttle.wrong(kA, WebRole::Teacher);
        QVERIFY(throttle.check(kA, WebRole::Teacher).allowed);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("too many wrong passwords from"));
        throttle.wrong(kA, WebRole::Teacher);
        QVERIFY(!throttle.check(kA, WebRole::Teacher).allowed);
    }

    void rightClearsTheAddress() {
        FakeClock clock;
        LoginThrottle throttle(clock);
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i)
            throttle.wrong(kA, WebRole::Admin);
        throttle.right(kA, WebRole::Admin);
        QCOMPARE(throttle.trackedAddresses(), 0);
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i)
            throttle.wrong(kA, WebRole::Admin);
        QVERIFY(throttle.check(kA, WebRole::Admin).allowed);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("too many wrong passwords from"));
        throttle.wrong(kA, WebRole::Admin);
        QVERIFY(!throttle.check(kA, WebRole::Admin).allowed);
    }

    void wrongOnesAreForgottenAfterAQuietHour() {
        FakeClock clock;
        LoginThrottle throttle(clock);
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i)
            throttle.wrong(kA, WebRole::Teacher);
        clock.advanceMs(LoginThrottle::kAddressMemoryMs);
        throttle.wrong(kA, WebRole::Teacher);  // the first of a new count
        QVERIFY(throttle.check(kA, WebRole::Teacher).allowed);
        // One millisecond short of the hour, they still count.
        for (int i = 0; i < LoginThrottle::kAddressLimit - 2; ++i)
            throttle.wrong(kA, WebRole::Teacher);
        clock.advanceMs(LoginThrottle::kAddressMemoryMs - 1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("too many wrong passwords from"));
        throttle.wrong(kA, WebRole::Teacher);
        QVERIFY(!throttle.check(kA, WebRole::Teacher).allowed);
    }

    void mappedAddressIsTheIPv4One_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("v4 then mapped") << "192.168.1.20"
                                        << "::ffff:192.168.1.20";
        QTest::newRow("mapped then v4") << "::ffff:192.168.1.20"
                                        << "192.168.1.20";
        QTest::newRow("mapped in hex") << "::ffff:c0a8:114"
                                       << "192.168.1.20";
        QTest::newRow("v6 with scope") << "fe80::1%eth0"
                                       << "fe80::1";
    }
    void mappedAddressIsTheIPv4One() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        FakeClock clock;
        LoginThrottle throttle(clock);
        QCOMPARE(LoginThrottle::addressKey(QHostAddress(first)),
                 LoginThrottle::addressKey(QHostAddress(second)));
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i)
            throttle.wrong(QHostAddress(first), WebRole::Teacher);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("too many wrong passwords from"));
        throttle.wrong(QHostAddress(second), WebRole::Teacher);
        QVERIFY(!throttle.check(QHostAddress(first), WebRole::Teacher).allowed);
        QVERIFY(!throttle.check(QHostAddress(second), WebRole::Teacher).allowed);
        QCOMPARE(throttle.trackedAddresses(), 1);
    }

    void roleWaitsAfterTwentyInAnHour_data() {
        QTest::addColumn<qint64>("lastAtMs");
        QTest::addColumn<bool>("blocked");
        // One wrong at 0, eighteen at 30 minutes, the twentieth at lastAtMs.
        QTest::newRow("all within the hour") << 60 * kMinute - 1 << true;
        QTest::newRow("the first has slid out") << 60 * kMinute << false;
    }
    void roleWaitsAfterTwentyInAnHour() {
        QFETCH(qint64, lastAtMs);
        QFETCH(bool, blocked);
        FakeClock clock;
        LoginThrottle throttle(clock);
        QList<LoginThrottle::Block> blocks;
        throttle.setOnBlocked([&](const LoginThrottle::Block& b) { blocks.append(b); });
        // Every wrong one from an address of its own: only the role's count can add up.
        int n = 0;
        throttle.wrong(nthAddress(n++), WebRole::Teacher);
        clock.advanceMs(30 * kMinute);
        for (int i = 0; i < LoginThrottle::kRoleLimit - 2; ++i)
            throttle.wrong(nthAddress(n++), WebRole::Teacher);
        QVERIFY(throttle.check(nthAddress(n), WebRole::Teacher).allowed);
        clock.advanceMs(lastAtMs - 30 * kMinute);
        if (blocked)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("wrong teacher passwords"));
        throttle.wrong(nthAddress(n++), WebRole::Teacher);
        const LoginThrottle::Verdict v = throttle.check(nthAddress(n), WebRole::Teacher);
        QCOMPARE(!v.allowed, blocked);
        QVERIFY(blocks.size() == (blocked ? 1 : 0));
        // The other role is not held up.
        QVERIFY(throttle.check(nthAddress(n), WebRole::Admin).allowed);
        if (!blocked) {
            // Still 19 in the last hour (18 at 30 min, 1 now): the next one is the twentieth.
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("wrong teacher passwords"));
            throttle.wrong(nthAddress(n++), WebRole::Teacher);
            QVERIFY(!throttle.check(nthAddress(n), WebRole::Teacher).allowed);
            QCOMPARE(blocks.size(), 1);
            return;
        }
        QCOMPARE(v.cause, Cause::Role);
        QCOMPARE(v.retryAfterSeconds, 15 * 60);
        QCOMPARE(blocks.first().cause, Cause::Role);
        QCOMPARE(blocks.first().role, WebRole::Teacher);
        QCOMPARE(blocks.first().seconds, 15 * 60);
        clock.advanceMs(LoginThrottle::kRoleWaitMs - 1);
        QVERIFY(!throttle.check(nthAddress(n), WebRole::Teacher).allowed);
        clock.advanceMs(1);
        QVERIFY(throttle.check(nthAddress(n), WebRole::Teacher).allowed);
        // The count started over when the wait began.
        throttle.wrong(nthAddress(n++), WebRole::Teacher);
        QVERIFY(throttle.check(nthAddress(n), WebRole::Teacher).allowed);
    }

    void longerWaitIsTold() {
        FakeClock clock;
        LoginThrottle throttle(clock);
        for (int i = 0; i < LoginThrottle::kRoleLimit - 1; ++i)
            throttle.wrong(nthAddress(i), WebRole::Admin);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("too many wrong passwords from"));
        for (int i = 0; i < LoginThrottle::kAddressLimit; ++i) throttle.wrong(kA, WebRole::Teacher);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("wrong admin passwords"));
        throttle.wrong(kB, WebRole::Admin);  // the admin role's twentieth
        // kA waits 5 minutes itself, and 15 as an admin: the longer is told.
        LoginThrottle::Verdict v = throttle.check(kA, WebRole::Admin);
        QCOMPARE(v.cause, Cause::Role);
        QCOMPARE(v.retryAfterSeconds, 15 * 60);
        v = throttle.check(kA, WebRole::Teacher);
        QCOMPARE(v.cause, Cause::Address);
        QCOMPARE(v.retryAfterSeconds, 5 * 60);
        v = throttle.check(kB, WebRole::Teacher);
        QVERIFY(v.allowed);
    }

    void trackedAddressesAreBounded() {
        FakeClock clock;
        LoginThrottle throttle(clock);
        const QHostAddress blocked(QStringLiteral("2001:db8::1"));
        const QHostAddress oldest(QStringLiteral("2001:db8::2"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("too many wrong passwords from"));
        for (int i = 0; i < LoginThrottle::kAddressLimit; ++i)
            throttle.wrong(blocked, WebRole::Admin);
        for (int i = 0; i < LoginThrottle::kAddressLimit - 1; ++i)
            throttle.wrong(oldest, WebRole::Admin);
        clock.advanceMs(1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("wrong teacher passwords"));
        for (int i = 0; i < LoginThrottle::kMaxAddresses - 2; ++i)
            throttle.wrong(nthAddress(i), WebRole::Teacher);
        QCOMPARE(throttle.trackedAddresses(), LoginThrottle::kMaxAddresses);
        // A new one when full: the address quiet the longest goes, the waiting one stays.
        throttle.wrong(nthAddress(100000), WebRole::Teacher);
        QCOMPARE(throttle.trackedAddresses(), LoginThrottle::kMaxAddresses);
        QVERIFY(!throttle.check(blocked, WebRole::Admin).allowed);
        throttle.wrong(oldest, WebRole::Admin);  // its four were forgotten: one now
        QVERIFY(throttle.check(oldest, WebRole::Admin).allowed);
        QCOMPARE(throttle.trackedAddresses(), LoginThrottle::kMaxAddresses);

        // Once the others are an hour quiet, they make room without pushing anyone out.
        clock.advanceMs(LoginThrottle::kAddressMemoryMs);
        const QHostAddress fresh(QStringLiteral("2001:db8::3"));
        throttle.wrong(fresh, WebRole::Admin);
        QCOMPARE(throttle.trackedAddresses(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLoginThrottle)
#include "test_loginthrottle.moc"
