// The real program, frozen with SIGSTOP for 1.5 s across a bell's second (as a busy machine
// or a paused virtual machine would hold it): the bell still rings, late, and the log says
// so. The clock is moved with libfaketime, whose offset the test rewrites once the program
// has started; the bell plays into a PulseAudio null sink whose monitor is recorded.

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

}  // namespace

class TestStalledTick : public QObject {
    Q_OBJECT

private slots:
    void aBellSecondDuringAStallRingsLate() {
        UserSession s;
        const QString lib = qEnvironmentVariable("TAVIRIN_SOUNDLIB_DIR");
        QVERIFY2(QFileInfo(lib).isDir(), "the default sound library is built first");
        // The library as it ships; a link saves copying it.
        QVERIFY(QFile::link(lib, s.home() + QStringLiteral("/rivedezode")));
        {
            // An earlier run's store: the first-run program (a bell at 08:00) with a
            // one-second amplifier delay.
            FakeClock clock;
            IniSettingsBackend backend(s.storeFile(), clock);
            ProgramStore store(backend);
            QVERIFY(seedFirstRun(store, SoundLibrary(s.home() + QStringLiteral("/rivedezode"))));
            QVERIFY(writeFirstRunMarker(store));
            for (int d = 1; d <= 7; ++d)
                QVERIFY(store.SaveSetting(keys::dayApplication(d), keys::kTime,
                                          keys::minute(keys::kAmplifierDelay), "1"));
        }

        PulseServer pulse;
        QVERIFY2(pulse.start(), qPrintable(pulse.why()));
        MonitorRecorder recorder(pulse, s.home() + QStringLiteral("/rec.wav"));
        QVERIFY(recorder.start());

        const QDateTime eight(QDate::currentDate(), QTime(8, 0));
        const FakeTimeFile clock{s.home() + QStringLiteral("/faketime")};
        QVERIFY(clock.setOffset(QDateTime::currentDateTime().secsTo(eight.addSecs(-1800))));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        s.addTo(env);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(LIBFAKETIME));
        env.insert(QStringLiteral("FAKETIME_TIMESTAMP_FILE"), clock.path);
        env.insert(QStringLiteral("FAKETIME_NO_CACHE"), QStringLiteral("1"));
        env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(TAVIRIN_BINARY), {});
        QByteArray log;
        const auto waitFor = [&](const char* line, int ms) {
            QElapsedTimer t;
            t.start();
            while (!log.contains(line) && t.elapsed() < ms &&
                   program.state() != QProcess::NotRunning) {
                program.waitForReadyRead(50);
                log += program.readAll();
            }
            return log.contains(line);
        };
        QVERIFY2(waitFor("Tavirin started", 20000), log.constData());

        // 08:00:00 two whole seconds or so from now; the program frozen from 0.4 s before it
        // to 1.1 s after it.
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime bell = now.addSecs(3).addMSecs(-now.time().msec());
        QVERIFY(clock.setOffset(bell.secsTo(eight)));
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(bell)) - 400);
        QCOMPARE(::kill(pid_t(program.processId()), SIGSTOP), 0);
        QThread::msleep(quint64(QDateTime::currentDateTime().msecsTo(bell)) + 1100);
        QCOMPARE(::kill(pid_t(program.processId()), SIGCONT), 0);

        QVERIFY2(waitFor("period 2 rings", 5000), log.constData());
        QVERIFY2(log.contains("the bell of period 2 at 08:00:00 rings late, by 1."),
                 log.constData());
        QVERIFY2(log.contains("bell fired at \"08:00:00\""), log.constData());
        // The front chime follows the one-second delay.
        QTest::qWait(2500);
        recorder.stop();
        program.terminate();
        QVERIFY(program.waitForFinished(5000));
        QVERIFY2(loudestWindow(recorder.path()) > 1000, "nothing was heard");
    }
};

QTEST_GUILESS_MAIN(TestStalledTick)
#include "test_stalledtick.moc"
