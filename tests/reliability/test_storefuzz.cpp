// Arbitrary store contents, seeded, through arming, the watch and a whole bell (announce now,
// so the sequence runs whatever the day program says), over the harness's doubles. Nothing
// may crash or hang; the bell ends, the watch comes back and the amplifier is not left on
// unless the day asks for a radio station after the bell.
#include "../scheduler/coreharness.h"
#include "storefuzz.h"

#include <QTest>
#include <atomic>

using namespace tavirin;

namespace {

std::atomic<int> warnings{0};
QtMessageHandler previous = nullptr;

// Thousands of broken stores log thousands of warnings: count them, print none.
void quiet(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
    if (type == QtWarningMsg || type == QtInfoMsg || type == QtDebugMsg) {
        if (type == QtWarningMsg) ++warnings;
        return;
    }
    previous(type, ctx, msg);
}

}  // namespace

class TestStoreFuzz : public QObject {
    Q_OBJECT

private slots:
    void seeds_data() {
        QTest::addColumn<quint32>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("hugeChars");
        const int n = qEnvironmentVariableIntValue("TAVIRIN_FUZZ_SEEDS");
        QTest::newRow("seeded stores") << 1u << (n > 0 ? n : 400) << 2000;
        QTest::newRow("1 MB values") << 900001u << 6 << (1 << 20);
    }
    void seeds() {
        QFETCH(quint32, first);
        QFETCH(int, count);
        QFETCH(int, hugeChars);
        previous = qInstallMessageHandler(quiet);
        const int before = warnings;
        int bells = 0;
        for (quint32 seed = first; seed < first + quint32(count); ++seed) {
            QRandomGenerator r(seed);
            CoreHarness h;
            if (r.bounded(4) != 0) {
                QVERIFY(seedFirstRun(h.store, h.library));
                QVERIFY(writeFirstRunMarker(h.store));
            }
            QVERIFY(fuzz::scramble(h.store, r, h.library.root(), r.bounded(1, 120), hugeChars));
            h.clock.set(QDate(2026, 12, 7).addDays(r.bounded(7)),
                        QTime(r.bounded(24), r.bounded(60), r.bounded(60)));
            h.arming.armToday();
            h.runFor(2000);
            if (!h.form.enabled(QStringLiteral("Command3555"))) continue;
            h.form.click(QStringLiteral("Command3555"));
            // Two minutes are far more than a run of the longest choices takes; then the
            // watch is back.
            for (int s = 0; s < 120 && !h.form.timer(QStringLiteral("Timer3"))->isActive(); ++s)
                h.runFor(1000);
            const bool watching = h.form.timer(QStringLiteral("Timer3"))->isActive();
            if (!watching) {
                qInstallMessageHandler(previous);
                QFAIL(qPrintable(QStringLiteral("seed %1: the watch did not come back").arg(seed)));
            }
            const QString after = h.form.value(QStringLiteral("afterBellMedia"));
            const bool radio = after == u"1" || after == u"2" || after == u"3";
            if (h.serial.energised() && !radio) {
                qInstallMessageHandler(previous);
                QFAIL(qPrintable(QStringLiteral("seed %1: amplifier left on (after-bell %2)")
                                     .arg(seed)
                                     .arg(after)));
            }
            ++bells;
        }
        qInstallMessageHandler(previous);
        qInfo("%d seeds, %d announce-now bells, %d warnings logged", count, bells,
              warnings - before);
        QVERIFY(bells > count / 2);
    }
};

QTEST_GUILESS_MAIN(TestStoreFuzz)
#include "test_storefuzz.moc"
