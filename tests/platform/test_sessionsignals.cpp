#include "platform/process/sessionsignals.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

using namespace tavirin;

// The signals are real: the test sends them to itself. A signal that is not caught ends the
// test program (SIGTERM, SIGHUP and SIGINT all end a process by default), so a failure here
// shows as a test killed by that signal.
class TestSessionSignals : public QObject {
    Q_OBJECT

private slots:
    void eachSignalArrivesInTheEventLoop_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<int>("how");  // 0 raise(), 1 kill(getpid()), 2 another process
        for (int s : {SIGTERM, SIGHUP, SIGINT}) {
            QTest::addRow("%s raised", sigabbrev_np(s)) << s << 0;
            QTest::addRow("%s kill()ed", sigabbrev_np(s)) << s << 1;
            QTest::addRow("%s from another process", sigabbrev_np(s)) << s << 2;
        }
    }
    void eachSignalArrivesInTheEventLoop() {
        QFETCH(int, signalNumber);
        QFETCH(int, how);
        SessionSignals signals_;
        QVERIFY(signals_.install());
        QSignalSpy spy(&signals_, &SessionSignals::endRequested);
        if (how == 0) {
            QCOMPARE(raise(signalNumber), 0);
        } else if (how == 1) {
            QCOMPARE(kill(getpid(), signalNumber), 0);
        } else {
            // as systemd or a logout sends it (the shell's own kill: no procps needed)
            const QString command = QStringLiteral("kill -s %1 %2")
                                        .arg(QLatin1String(sigabbrev_np(signalNumber)))
                                        .arg(getpid());
            QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}),
                     0);
        }
        // never from inside the handler: only the event loop emits
        QCOMPARE(spy.count(), 0);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), signalNumber);
    }

    // A signal while the first is being handled (the program busy ending) is delivered too,
    // after it, and crashes nothing; so is a burst before the loop runs at all.
    void signalsWhileHandling() {
        SessionSignals signals_;
        QVERIFY(signals_.install());
        QList<int> seen;
        bool raiseMore = true;
        connect(&signals_, &SessionSignals::endRequested, this, [&](int s) {
            seen.append(s);
            if (raiseMore) {
                raiseMore = false;
                raise(SIGTERM);
                raise(SIGINT);
                // the program goes on with its end in the event loop while they come in
                QCoreApplication::processEvents();
            }
        });
        QCOMPARE(raise(SIGHUP), 0);
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 3, 5000);
        QTest::qWait(50);
        QCOMPARE(seen, (QList<int>{SIGHUP, SIGTERM, SIGINT}));

        seen.clear();
        for (int i = 0; i < 200; ++i) raise(i % 2 ? SIGTERM : SIGHUP);
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 200, 5000);
        for (int i = 0; i < 200; ++i) QCOMPARE(seen[i], i % 2 ? SIGTERM : SIGHUP);
    }

    // A receiver that deletes the object while more signals are queued ends the delivery
    // there, without touching the deleted object.
    void receiverMayDeleteIt() {
        struct sigaction before = {};
        sigaction(SIGTERM, nullptr, &before);
        auto* signals_ = new SessionSignals;
        QVERIFY(signals_->install());
        int seen = 0;
        connect(signals_, &SessionSignals::endRequested, this, [&](int) {
            ++seen;
            delete signals_;
        });
        raise(SIGTERM);
        raise(SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(seen, 1, 5000);
        QTest::qWait(50);
        QCOMPARE(seen, 1);
        // and what was there before (Qt Test's own handler) is back
        struct sigaction now = {};
        sigaction(SIGTERM, nullptr, &now);
        QVERIFY(now.sa_handler == before.sa_handler);
    }

    // One instance at a time; the one that ends puts back what was there before.
    void installedOnceAndRestored() {
        static volatile sig_atomic_t ownHandlerRan = 0;
        struct sigaction own = {};
        own.sa_handler = [](int) { ownHandlerRan = 1; };
        sigemptyset(&own.sa_mask);
        struct sigaction before = {};
        QCOMPARE(sigaction(SIGHUP, &own, &before), 0);
        {
            SessionSignals first;
            QVERIFY(first.install());
            SessionSignals second;
            const Result r = second.install();
            QVERIFY(!r.ok);
            QVERIFY2(r.error.contains(QStringLiteral("already")), qPrintable(r.error));
            QVERIFY(!second.isInstalled());
            QSignalSpy spy(&first, &SessionSignals::endRequested);
            raise(SIGHUP);
            QVERIFY(spy.wait(5000));
            QCOMPARE(ownHandlerRan, 0);
        }
        raise(SIGHUP);
        QCOMPARE(ownHandlerRan, 1);
        sigaction(SIGHUP, &before, nullptr);

        // after the first is gone, another may be installed
        SessionSignals again;
        QVERIFY(again.install());
        QSignalSpy spy(&again, &SessionSignals::endRequested);
        raise(SIGINT);
        QVERIFY(spy.wait(5000));
    }

    // Not installed, it changes nothing: it can stand in for the real one in tests.
    void notInstalledChangesNothing() {
        struct sigaction before[3] = {};
        const int sigs[3] = {SIGTERM, SIGHUP, SIGINT};
        for (int i = 0; i < 3; ++i) sigaction(sigs[i], nullptr, &before[i]);
        {
            SessionSignals idle;
            QVERIFY(!idle.isInstalled());
            for (int i = 0; i < 3; ++i) {
                struct sigaction now = {};
                sigaction(sigs[i], nullptr, &now);
                QVERIFY(now.sa_handler == before[i].sa_handler);
            }
            QSignalSpy spy(&idle, &SessionSignals::endRequested);
            emit idle.endRequested(SIGTERM);
            QCOMPARE(spy.count(), 1);
        }
        // and its end takes nothing away from an installed one
        SessionSignals real;
        QVERIFY(real.install());
        { SessionSignals idle; }
        QSignalSpy spy(&real, &SessionSignals::endRequested);
        raise(SIGTERM);
        QVERIFY(spy.wait(5000));
    }
};

QTEST_GUILESS_MAIN(TestSessionSignals)
#include "test_sessionsignals.moc"
