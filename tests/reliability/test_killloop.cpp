// Two hundred SIGKILLs of a writer in the middle of its bursts: after every kill the store
// parses and every day program is exactly the one of a single whole burst, the last one
// finished or the one after it, never a mix and never older than what was already seen.
#include "platform/fake/fakeclock.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/dayprogram.h"
#include "store/programstore.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;

namespace {

// What the crash writer writes in burst g (kept in step with store_crash_writer.cpp).
DayProgram programOfGeneration(int g) {
    const QString v = QStringLiteral("g%1-").arg(g) + QString(g % 37, QChar(u'ก'));
    DayProgram p;
    for (Period& period : p.periods) period = {v, v, v, v, v};
    p.frontChimeFile = p.voiceFolder = p.amplifierDelaySeconds = p.shutdownMinute = v;
    p.announceMode = p.backChimeFile = p.shutdownHour = p.shutdownEnabled = v;
    return p;
}

int generationOfFront(const DayProgram& p) {
    const QString& v = p.frontChimeFile;
    bool ok = false;
    const int g = v.mid(1, v.indexOf(u'-') - 1).toInt(&ok);
    return ok ? g : -1;
}

}  // namespace

class TestKillLoop : public QObject {
    Q_OBJECT

private slots:
    void twoHundredKills_data() {
        QTest::addColumn<int>("kills");
        QTest::addColumn<int>("maxSleepMs");
        QTest::addColumn<quint32>("seed");
        // Short sleeps kill mostly inside the first bursts and the renames; longer ones
        // let many bursts pass between kills.
        QTest::newRow("short") << 120 << 8 << 11u;
        QTest::newRow("long") << 80 << 40 << 23u;
    }
    void twoHundredKills() {
        QFETCH(int, kills);
        QFETCH(int, maxSleepMs);
        QFETCH(quint32, seed);
        QTemporaryDir dir;
        const QString path = dir.filePath("tavirin/tavirin.ini");
        FakeClock clock;
        QRandomGenerator rng(seed);
        int last = 0;
        int advanced = 0;
        for (int round = 0; round < kills; ++round) {
            QProcess writer;
            writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer.start(QStringLiteral(TAVIRIN_CRASH_WRITER), {path});
            QVERIFY(writer.waitForStarted());
            QVERIFY(writer.waitForReadyRead(10000));
            // Every fourth round lets a burst finish first, so that the kills fall among many
            // bursts even when a loaded machine slows the writer down.
            if (round % 4 == 3) {
                while (!writer.readAll().contains("done")) QVERIFY(writer.waitForReadyRead(10000));
            }
            QTest::qSleep(int(rng.bounded(0, maxSleepMs + 1)));
            writer.kill();
            QVERIFY(writer.waitForFinished(10000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

            IniSettingsBackend backend(path, clock);
            if (backend.loadOutcome() == IniSettingsBackend::LoadOutcome::NoFile) {
                QCOMPARE(last, 0);
                continue;
            }
            QCOMPARE(backend.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
            ProgramStore store(backend);
            const int g = generationOfFront(readDayProgram(store, 1));
            QVERIFY2(g >= last,  // nothing finished was lost
                     qPrintable(QStringLiteral("generation %1 after %2").arg(g).arg(last)));
            const DayProgram whole = programOfGeneration(g);
            for (int d = 1; d <= 7; ++d) QVERIFY(readDayProgram(store, d) == whole);
            if (g > last) ++advanced;
            last = g;
        }
        qInfo("%d kills, last generation %d, %d advanced", kills, last, advanced);
        QVERIFY(advanced >= 5);  // the kills fell among many different bursts
        QCOMPARE(QDir(dir.filePath("tavirin")).entryList({"*.corrupt-*"}, QDir::AllEntries),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestKillLoop)
#include "test_killloop.moc"
