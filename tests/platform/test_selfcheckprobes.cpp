// The self-test's probes on the real things: GStreamer against a real sound server and
// without one, real files, a D-Bus bus of the test's own with and without timedated on it,
// real folders.
#include "platform/audio/gstaudioprobe.h"
#include "platform/soundtestfiles.h"
#include "platform/storage/storagefolderprobe.h"
#include "platform/time/timedatedclocksync.h"
#include "support/pulseserver.h"

#include <QDBusConnection>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace tavirin;

// timedated as far as the probe asks it: one property.
class FakeTimedated : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
    Q_PROPERTY(bool NTPSynchronized READ synced)
public:
    bool synced() const { return synced_; }
    bool synced_ = false;
};

class TestSelfCheckProbes : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // Asks from a thread of its own, as the self-test does, while this thread serves the bus.
    ClockSync::Answer askAway(ClockSync& sync) {
        ClockSync::Answer answer;
        std::atomic<bool> done{false};
        std::thread t([&] {
            answer = sync.query();
            done = true;
        });
        // the call is bounded by the probe's own limit
        while (!done) QTest::qWait(10);
        t.join();
        return answer;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        // No sound card either: ALSA knows no device at all, whatever this machine has.
        QVERIFY(test::writeBytes(dir.filePath("asound.conf"), "{}\n"));
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(dir.filePath("asound.conf")));
    }

    void output_data() {
        QTest::addColumn<bool>("server");
        QTest::newRow("a real sound server") << true;
        QTest::newRow("no sound server, no card: the silent stand-in") << false;
    }
    void output() {
        QFETCH(bool, server);
        test::PulseServer pulse;
        const QByteArray before = qgetenv("PULSE_SERVER");
        auto restore = qScopeGuard([&] {
            if (before.isEmpty())
                qunsetenv("PULSE_SERVER");
            else
                qputenv("PULSE_SERVER", before);
        });
        if (server)
            QVERIFY2(pulse.start({QStringLiteral("bells"), 0}), qPrintable(pulse.why()));
        else
            qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(dir.filePath("no-server")));
        GstAudioProbe probe;
        const Result r = probe.probeOutput();
        QCOMPARE(r.ok, server);
        if (!server) QVERIFY2(r.error.contains("no sound device"), qPrintable(r.error));
    }

    void files_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("why");  // "" decodes; else a part of the reason
        const QString lib = qEnvironmentVariable("TAVIRIN_SOUNDLIB_DIR");
        QVERIFY(test::makeTone(dir.filePath("tone.mp3"), 0.5));
        QVERIFY(test::writeBytes(dir.filePath("text.wav"), "this is not a sound\n"));
        QVERIFY(test::writeBytes(dir.filePath("empty.wav"), ""));
        QVERIFY(QDir(dir.path()).mkpath("folder.wav"));
        // a WAV header that promises samples it does not have
        QVERIFY(test::makeTone(dir.filePath("head.wav"), 0.5));
        QVERIFY(QFile(dir.filePath("head.wav")).resize(44));

        QTest::newRow("a word file of the default voice")
            << lib + QStringLiteral("/time/standard/ขณะนี้เวลา.wav") << QString();
        QTest::newRow("an mp3") << dir.filePath("tone.mp3") << QString();
        QTest::newRow("missing") << dir.filePath("gone.wav") << "file not found";
        QTest::newRow("text named .wav") << dir.filePath("text.wav") << "text.wav";
        QTest::newRow("empty") << dir.filePath("empty.wav") << "empty";
        QTest::newRow("a folder") << dir.filePath("folder.wav") << "folder";
        QTest::newRow("a header without samples") << dir.filePath("head.wav") << "head.wav";
    }
    void files() {
        QFETCH(QString, path);
        QFETCH(QString, why);
        GstAudioProbe probe;
        const AudioProbe::FileInfo info = probe.probeFile(path);
        QVERIFY2(info.result.ok == why.isEmpty(), qPrintable(info.result.error));
        if (why.isEmpty()) {
            QVERIFY(info.durationMs > 300);
        } else {
            QVERIFY2(info.result.error.contains(why), qPrintable(info.result.error));
            QVERIFY(info.result.error.contains(path));
        }
    }

    void clockSync_data() {
        QTest::addColumn<QString>("service");  // "" none on the bus
        QTest::addColumn<int>("state");
        QTest::newRow("no timedated") << "" << int(ClockSync::State::Unknown);
        QTest::newRow("synchronised") << "yes" << int(ClockSync::State::Synchronised);
        QTest::newRow("not synchronised") << "no" << int(ClockSync::State::NotSynchronised);
    }
    void clockSync() {
        QFETCH(QString, service);
        QFETCH(int, state);
        QProcess daemon;
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1",
                                     "--address=unix:dir=" + dir.path()});
        QVERIFY(daemon.waitForReadyRead(5000));
        auto stop = qScopeGuard([&] {
            daemon.kill();
            daemon.waitForFinished();
        });
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        FakeTimedated timedated;
        timedated.synced_ = service == QLatin1String("yes");
        const QString name = QStringLiteral("timedated-%1").arg(QTest::currentDataTag());
        {
            QDBusConnection bus = QDBusConnection::connectToBus(address, name);
            QVERIFY(bus.isConnected());
            if (!service.isEmpty()) {
                QVERIFY(bus.registerObject("/org/freedesktop/timedate1", &timedated,
                                           QDBusConnection::ExportAllProperties));
                QVERIFY(bus.registerService("org.freedesktop.timedate1"));
            }
        }
        auto leave = qScopeGuard([&] { QDBusConnection::disconnectFromBus(name); });
        TimedatedClockSync sync(address);
        const ClockSync::Answer a = askAway(sync);
        QVERIFY2(int(a.state) == state, qPrintable(a.detail));
    }

    void noBusIsUnknown() {
        TimedatedClockSync sync(QStringLiteral("unix:path=") + dir.filePath("no-bus"));
        const ClockSync::Answer a = sync.query();
        QCOMPARE(a.state, ClockSync::State::Unknown);
        QVERIFY(!a.detail.isEmpty());
    }

    void folders_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("usable");
        QVERIFY(test::writeBytes(dir.filePath("plain"), "x"));
        QTest::newRow("a folder of the test's own") << dir.path() << true;
        QTest::newRow("missing") << dir.filePath("nowhere") << false;
        QTest::newRow("a file, not a folder") << dir.filePath("plain") << false;
    }
    void folders() {
        QFETCH(QString, path);
        QFETCH(bool, usable);
        StorageFolderProbe probe;
        const FolderProbe::State s = probe.inspect(path, true);
        QCOMPARE(s.exists && s.readable && s.writable, usable);
        QCOMPARE(s.error.isEmpty(), usable);
        if (usable) {
            QVERIFY(s.freeBytes > 0);
            // the probe's file is gone again
            QCOMPARE(QDir(path).entryList({".tavirin-check-*"}, QDir::Hidden | QDir::Files).size(),
                     0);
        }
    }
};

QTEST_GUILESS_MAIN(TestSelfCheckProbes)
#include "test_selfcheckprobes.moc"
