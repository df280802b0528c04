#include "platform/fake/fakeclock.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/dayprogram.h"
#include "store/programstore.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavirin;

namespace {

// The generation a text of the crash writer names, or -1.
int generationOf(const QString& v) {
    if (!v.startsWith(u'g') || !v.contains(u'-')) return -1;
    bool ok = false;
    const int g = v.mid(1, v.indexOf(u'-') - 1).toInt(&ok);
    if (!ok) return -1;
    const QString expected = QStringLiteral("g%1-").arg(g) + QString(g % 37, QChar(u'ก'));
    return v == expected ? g : -1;
}

QSet<int> generationsOf(const DayProgram& p) {
    QSet<int> gens;
    for (const Period& period : p.periods)
        for (const QString* v : {&period.hour, &period.minute, &period.enabled, &period.soundFile,
                                 &period.afterBellMedia})
            gens.insert(generationOf(*v));
    for (const QString* v :
         {&p.frontChimeFile, &p.voiceFolder, &p.amplifierDelaySeconds, &p.shutdownMinute,
          &p.announceMode, &p.backChimeFile, &p.shutdownHour, &p.shutdownEnabled})
        gens.insert(generationOf(*v));
    return gens;
}

}  // namespace

class TestStoreDurability : public QObject {
    Q_OBJECT

private slots:
    // A writer killed with SIGKILL at random moments, again and again: after every kill the
    // file reads whole, and holds one burst entirely, never parts of two.
    void killedWriterLeavesOneWholeBurst() {
        QTemporaryDir dir;
        const QString path = dir.filePath("tavirin/tavirin.ini");
        FakeClock clock;
        auto* rng = QRandomGenerator::global();
        int lastGeneration = 0;
        int killsAfterFirstWrite = 0;
        for (int round = 0; round < 40; ++round) {
            QProcess writer;
            writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer.start(QStringLiteral(TAVIRIN_CRASH_WRITER), {path});
            QVERIFY(writer.waitForStarted());
            QVERIFY(writer.waitForReadyRead(10000));
            QTest::qSleep(int(rng->bounded(1, 60)));
            writer.kill();  // SIGKILL
            QVERIFY(writer.waitForFinished(10000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

            IniSettingsBackend backend(path, clock);
            if (backend.loadOutcome() == IniSettingsBackend::LoadOutcome::NoFile) {
                QCOMPARE(lastGeneration, 0);  // killed before its first burst was done
                continue;
            }
            QCOMPARE(backend.loadOutcome(), IniSettingsBackend::LoadOutcome::Loaded);
            QCOMPARE(backend.size(), 7 * 128);
            ProgramStore store(backend);
            QSet<int> fileGenerations;
            for (int d = 1; d <= 7; ++d) {
                const QSet<int> gens = generationsOf(readDayProgram(store, d));
                QCOMPARE(gens.size(), 1);  // the day is wholly one burst
                QVERIFY(*gens.begin() > 0);
                fileGenerations += gens;
            }
            QCOMPARE(fileGenerations.size(), 1);  // and so is the whole file
            const int g = *fileGenerations.begin();
            QVERIFY(g >= lastGeneration);  // nothing finished was lost
            if (g > lastGeneration) ++killsAfterFirstWrite;
            lastGeneration = g;
        }
        qInfo("last generation %d, %d rounds advanced", lastGeneration, killsAfterFirstWrite);
        QVERIFY(killsAfterFirstWrite > 10);
        // No damaged copy was ever made.
        QCOMPARE(QDir(dir.filePath("tavirin")).entryList({"*.corrupt-*"}, QDir::AllEntries),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestStoreDurability)
#include "test_storedurability.moc"
