// Relay faults in whole bells: the adapter pulled out while the amplifier is on (between
// switchOn and switchOff) and the port held by another program. The bell plays through, no
// modal box stops the day, no handle is left behind, and the amplifier comes back when the
// port does.
#include "../scheduler/coreharness.h"

#include <QTest>

using namespace tavirin;

class TestSerialFaults : public QObject {
    Q_OBJECT

private slots:
    void faultsInABell_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("unplugged during the bell") << "vanish";
        QTest::newRow("held by another program") << "busy";
    }
    void faultsInABell() {
        QFETCH(QString, fault);
        CoreHarness h;
        h.seedAndArm();
        if (fault == u"busy") h.serial.setFailure(1, FakeSerialLines::Error::Busy);
        bool pulled = false;
        h.audio.onPlay = [&](const FakeAudioOutput::Play& p) {
            h.journal.append(QStringLiteral("play ") + p.path);
            h.clock.advanceMs(CoreHarness::kSoundMs);
            // Out goes the adapter in the middle of the first bell, the amplifier on.
            if (fault == u"vanish" && !pulled && p.path == h.library.systemSound()) {
                QVERIFY(h.serial.energised());
                h.serial.vanish();
                pulled = true;
            }
        };
        h.runUntil(QTime(7, 1, 0));
        QCOMPARE(h.runs().size(), 1);
        QCOMPARE(h.runs()[0], h.expectedRun(7, 0, h.library.systemSound()));
        QVERIFY(!h.serial.isOpen());  // the dead handle (or none) is let go
        QCOMPARE(h.dialogs.count(QStringLiteral("message")), 0);

        // The next bell still rings; without the adapter it rings without the amplifier.
        h.runUntil(QTime(8, 1, 0));
        QCOMPARE(h.runs().size(), 2);
        QCOMPARE(h.runs()[1], h.expectedRun(8, 0, h.library.systemSound()));
        QCOMPARE(int(h.journal.count(QStringLiteral("serial open COM1"))),
                 fault == u"vanish" ? 1 : 0);
        QVERIFY(!h.serial.isOpen());
        QCOMPARE(h.dialogs.count(QStringLiteral("message")), 0);

        // The port back: the bell after has its amplifier, and it goes off again.
        h.serial.setFailure(1, FakeSerialLines::Error::None);
        h.serial.setDevice(1, QStringLiteral("/dev/ttyUSB0"));
        const int opens = int(h.journal.count(QStringLiteral("serial open COM1")));
        h.runUntil(QTime(9, 1, 0));
        QCOMPARE(h.runs().size(), 3);
        QCOMPARE(int(h.journal.count(QStringLiteral("serial open COM1"))), opens + 1);
        QVERIFY(!h.serial.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestSerialFaults)
#include "test_serialfaults.moc"
