// The real program, frozen with SIGSTOP for 1.5 s across a bell's second (as a busy machine
// or a paused virtual machine would hold it): the bell still rings, late, and the log and the
// bell journal say so. And a morning the program did not see: started at 10:58, the clock
// set 5 minutes forward across 11:00, a bell with no sound server. The clock is moved with
// libfaketime, whose offset the test rewrites while the program runs; the bell plays into a
// PulseAudio null sink whose monitor is recorded.

#include "platform/fake/fakeclock.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "support/pulseserver.h"
#include "ui/usersession.h"

#include <QProcess>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <csignal>

using namespace tavirin;
using namespace tavirin::test;

namespace {

// The program's clock: the real one plus an offset in whole seconds, read by libfaketime
// at every call, so a new offset takes effect at once.
struct FakeTimeFile {
    QString path;
    bool setOffset(qint64 seconds) const {
        QSaveFile f(path);
        return f.open(QIODevice::WriteOnly) &&
               f.write((seconds < 0 ? "" : "+") + QByteArray::number(seconds) + '\n') > 0 &&
               f.commit();
    }
};

// Loudest 10 ms window of a 16-bit mono WAV recording, as an RMS value.
double loudestWindow(const QString& wav) {
    QFile f(wav);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray data = f.readAll().mid(44);
    const auto* s = reinterpret_cast<const qint16*>(data.constData());
    const qsizetype n = data.size() / 2, window = 480;
    double loudest = 0;
    for (qsizetype i = 0; i + window <= n; i += window) {
        double sum = 0;
        for (qsizetype k = i; k < i + window; ++k) sum += double(s[k]) * s[k];
        loudest = qMax(loudest, std::sqrt(sum / window));
    }
    return loudest;
}

// The bells the program's journal holds, as "period outcome reason", in order of due time.
QStringList journalRows(const QString& home) {
    QStringList rows;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("read"));
        db.setDatabaseName(home + QStringLiteral("/.local/state/tavirin/journal.sqlite"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT period, outcome, reason FROM bells "
                                               "ORDER BY due, id")))
            while (q.next())
                rows << (q.value(0).toString() + u' ' + q.value(1).toString() + u' ' +
                         q.value(2).toString())
                            .trimmed();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("read"));
    return rows;
}

// An earlier run's store: the first-run program (bells on the hour from 07:00) with a
// one-second amplifier delay, and the library as it ships.
bool seedStore(const UserSession& s) {
    const QString lib = qEnvironmentVariable("TAVIRIN_SOUNDLIB_DIR");
    if (!QFileInfo(lib).isDir() || !QFile::link(lib, s.home() + QStringLiteral("/rivedezode")))
        return false;
    FakeClock clock;
    IniSettingsBackend backend(s.storeFile(), clock);
    ProgramStore store(backend);
    if (!seedFirstRun(store, SoundLibrary(s.home() + QStringLiteral("/rivedezode"))) ||
        !writeFirstRunMarker(store))
        return false;
    for (int d = 1; d <= 7; ++d)
        if (!store.SaveSetting(keys::dayApplication(d), keys::kTime,
                               keys::minute(keys::kAmplifierDelay), "1"))
            return false;
    return true;
}

// The real program under libfaketime, its clock the real one plus the file's offset.
struct FakedProgram {
    QProcess process;
    QByteArray log;
    FakeTimeFile clock;

    void start(const UserSession& s) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        s.addTo(env);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(LIBFAKETIME));
        env.insert(QStringLiteral("FAKETIME_TIMESTAMP_FILE"), clock.path);
        env.insert(QStringLiteral("FAKETIME_NO_CACHE"), QStringLiteral("1"));
        env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(TAVIRIN_BINARY), {});
    }
    bool waitFor(const char* line, int ms) {
        QElapsedTimer t;
        t.start();
        while (!log.contains(line) && t.elapsed() < ms && process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(50);
            log += process.readAll();
        }
        return log.contains(line);
    }
    // The program's clock reads `to` at the next whole second of the real one plus `ahead`.
    QDateTime setClock(const QTime& to, int ahead) {
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime at = now.addSecs(ahead).addMSecs(-now.time().msec());
        clock.setOffset(at.secsTo(QDateTime(QDate::currentDate(), to)));
        return at;
    }
    bool stop() {
        process.terminate();
        const bool ended = process.waitForFinished(5000);
        log += process.readAll();
        return ended;
    }
};

}  // namespace

class TestStalledTick : public QObject {
    Q_OBJECT

private slots:
    void aBellSecondDuringAStallRingsLate() {
        UserSession s;
        QVERIFY2(seedStore(s), "the default sound library is built first");
        PulseServer pulse;
        QVERIFY2(pulse.start(), qPrintable(pulse.why()));
        MonitorRecorder recorder(pulse, s.home() + QStringLiteral("/rec.wav"));
        QVERIFY(recorder.start());

        FakedProgram program{{}, {}, {s.home() + QStringLiteral("/faketime")}};
        program.setClock(QTime(7, 30), 0);
        program.start(s);
        QVERIFY2(program.waitFor("Tavirin started", 20000), program.log.constData());

        // 08:00:00 two whole seconds or so from now; the program frozen from 0.4 s before it
        // to 1.1 s after it.
        const QDateTime bell = program.setClock(QTime(8, 0), 3);
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(bell)) - 400);
        const auto pid = pid_t(program.process.processId());
        QCOMPARE(::kill(pid, SIGSTOP), 0);
        QThread::msleep(quint64(QDateTime::currentDateTime().msecsTo(bell)) + 1100);
        QCOMPARE(::kill(pid, SIGCONT), 0);

        QVERIFY2(program.waitFor("period 2 rings", 5000), program.log.constData());
        QVERIFY2(program.log.contains("the bell of period 2 at 08:00:00 rings late, by 1."),
                 program.log.constData());
        QVERIFY2(program.log.contains("bell fired at \"08:00:00\""), program.log.constData());
        // The front chime follows the one-second delay; the bell is over once its row is
        // complete.
        QVERIFY2(program.waitFor("at 08:00:00 late", 40000), program.log.constData());
        recorder.stop();
        QVERIFY(program.stop());
        QVERIFY2(loudestWindow(recorder.path()) > 1000, "nothing was heard");
        QCOMPARE(journalRows(s.home()), (QStringList{"1 missed not_running", "2 late stall"}));
    }

    // Started at 10:58:50 with no sound server: 07:00 to 10:00 were missed while it was not
    // running; the clock set 5 minutes forward across 11:00 misses that bell; 12:00 rings
    // into no sound device and has failed.
    void aMorningNotSeen() {
        UserSession s;
        QVERIFY2(seedStore(s), "the default sound library is built first");
        QTemporaryDir noServer;
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(noServer.filePath("none")));
        FakedProgram program{{}, {}, {s.home() + QStringLiteral("/faketime")}};
        program.setClock(QTime(10, 58, 50), 0);
        program.start(s);
        qunsetenv("PULSE_SERVER");
        QVERIFY2(program.waitFor("Tavirin started", 20000), program.log.constData());
        QVERIFY2(program.waitFor("period 4 at 10:00:00 - the program was not running", 2000),
                 program.log.constData());

        QTest::qWait(
            int(QDateTime::currentDateTime().msecsTo(program.setClock(QTime(10, 59, 58), 1))) +
            300);
        program.setClock(QTime(11, 4, 58), 0);
        QVERIFY2(program.waitFor("the clock was set forward by 300 s", 3000),
                 program.log.constData());
        program.setClock(QTime(11, 59, 59), 1);
        QVERIFY2(program.waitFor("bell fired at \"12:00:00\"", 5000), program.log.constData());
        QVERIFY2(program.waitFor("period 6 at 12:00:00 failed", 30000), program.log.constData());
        QVERIFY(program.stop());
        QCOMPARE(journalRows(s.home()), (QStringList{"1 missed not_running", "2 missed not_running",
                                                     "3 missed not_running", "4 missed not_running",
                                                     "5 missed clock_jump", "6 failed no_device"}));
    }
};

QTEST_GUILESS_MAIN(TestStalledTick)
#include "test_stalledtick.moc"
