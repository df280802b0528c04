// Broken sounds and a missing sound device in a whole bell through the real GStreamer output
// (fakesink, or autoaudiosink with and without a sound server): each fault costs only its
// own sound, the run goes on to the back chime, the watch comes back and the amplifier ends
// off. A bell that reaches no real device is reported, one without a fault is not.
#include "../platform/soundtestfiles.h"
#include "../scheduler/coreharness.h"
#include "platform/audio/gstaudiooutput.h"
#include "support/pulseserver.h"
#include "support/recordingoutput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

using namespace tavirin;
using namespace std::chrono_literals;
using tavirin::test::RecordingOutput;

namespace {

constexpr auto kCap = 1500ms;

// The bell chain of the harness over the real output and a library of real files.
struct Rig {
    QTemporaryDir dir;
    FakeClock clock{QDateTime(QDate(2026, 12, 9), QTime(6, 59, 57))};
    IniSettingsBackend backend{dir.filePath(QStringLiteral("tavirin.ini")), clock};
    ProgramStore store{backend};
    SoundLibrary library{dir.filePath(QStringLiteral("lib"))};
    FormModel form;
    RecordingOutput audio;
    FakeDialogs dialogs;
    SoundPlayer player{audio, dialogs, &clock};
    FakeSerialLines serial;
    AmplifierRelay relay{form, store, serial, dialogs};
    FakeProcesses processes;
    ClockWaiter waiter{clock};
    FakeRadioPlayer radio;
    MediaSources media{form, relay, processes, waiter, radio, dialogs};
    InstantMotion motion{form};
    TalkingClock talkingClock{player};
    Arming arming{form, store, clock, library};
    BellSequence sequence{
        form, store, clock, library, {player, talkingClock, relay, media, waiter, motion, nullptr}};
    BellScheduler scheduler{
        {form, store, clock, arming, sequence, talkingClock, relay, media, motion}};

    explicit Rig(const QString& sink) : audio(sink, kCap) {
        buildForm1(form);
        form.setItems(QStringLiteral("Combo54"), {QStringLiteral("standard")});
        media.connectControls();
    }
    bool makeLibrary() {
        const QString voice = library.standardVoiceFolder();
        for (const QString& d : {library.titleFolder(), voice, library.otherFolder(),
                                 QFileInfo(library.systemSound()).path()})
            if (!QDir().mkpath(d)) return false;
        QStringList files{library.frontChimeFile(), library.backChimeFile(), library.systemSound()};
        for (const char* w : {"ขณะนี้เวลา", "7", "นาฬิกา", "0", "00", "นาที"})
            files << voice + u'/' + QString::fromUtf8(w) + QStringLiteral(".wav");
        for (const QString& f : files)
            if (!test::makeTone(f, 0.05)) return false;
        // The shortest amplifier delay: the bell's stream opens at the firing and its front
        // chime waits, in real time, for the countdown this rig runs on a fake clock.
        return bool(seedFirstRun(store, library)) && bool(writeFirstRunMarker(store)) &&
               bool(store.SaveSetting(keys::dayApplication(3), QStringLiteral("TIME"),
                                      QStringLiteral("m27"), QStringLiteral("1")));
    }
    void set(const QString& section, const QString& key, const QString& value) {
        QVERIFY(store.SaveSetting(keys::dayApplication(3), section, key, value));
    }
    // The 07:00 bell, ticking the watch and the sequence's timers as the window does.
    void ringSeven() {
        arming.armToday();
        const QHash<QString, std::function<void()>> handlers{
            {QStringLiteral("Timer3"), [this] { scheduler.Timer3_Timer(); }},
            {QStringLiteral("Timer1"), [this] { scheduler.Timer1_Timer(); }},
            {QStringLiteral("Timer222"), [this] { scheduler.Timer222_Timer(); }},
            {QStringLiteral("Timer21"), [this] { scheduler.Timer21_Timer(); }},
            {QStringLiteral("Timer22"), [this] { scheduler.Timer22_Timer(); }}};
        QHash<QString, qint64> elapsed;
        const QDateTime until(clock.now().date(), QTime(7, 1, 0));
        while (clock.now() < until) {
            clock.advanceMs(100);
            for (auto it = handlers.cbegin(); it != handlers.cend(); ++it) {
                QTimer* t = form.timer(it.key());
                qint64& e = elapsed[it.key()];
                if (!t->isActive()) {
                    e = 0;
                    continue;
                }
                if ((e += 100) >= t->interval()) {
                    e = 0;
                    it.value()();
                }
            }
        }
    }
};

}  // namespace

class TestAudioFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // No sound card either: ALSA knows no device at all (autoaudiosink tries it after
        // PulseAudio), whatever this machine has.
        QVERIFY(test::writeBytes(alsa.filePath("asound.conf"), "{}\n"));
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(alsa.filePath("asound.conf")));
    }

    void faultsCostOnlyTheirSound_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("sink");
        QTest::addColumn<int>("failures");  // sounds that fail in the run; -1 all
        const QString fake = QStringLiteral("fakesink sync=true");
        const QString program = QStringLiteral("autoaudiosink");
        QTest::newRow("corrupt mp3 as the front chime") << "corrupt" << fake << 1;
        QTest::newRow("zero-length wav as the add-on") << "empty" << fake << 1;
        QTest::newRow("directory named like a sound as the back chime") << "dir" << fake << 1;
        QTest::newRow("two hours as the add-on") << "long" << fake << 1;
        QTest::newRow("sink cannot be built") << "nosink" << QStringLiteral("nosuchsink") << -1;
        QTest::newRow("no sound server, no card") << "noserver" << program << -1;
        QTest::newRow("sound server gone in the front chime") << "gone" << program << -1;
        QTest::newRow("no fault, real sound server") << "none" << program << 0;
    }
    void faultsCostOnlyTheirSound() {
        QFETCH(QString, fault);
        QFETCH(QString, sink);
        QFETCH(int, failures);
        test::PulseServer server;
        const QByteArray pulse = qgetenv("PULSE_SERVER");
        if (fault == u"none" || fault == u"gone")
            QVERIFY2(server.start(), qPrintable(server.why()));
        if (fault == u"noserver")
            qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(alsa.filePath("no-server")));
        auto restore = qScopeGuard([&] {
            if (pulse.isEmpty())
                qunsetenv("PULSE_SERVER");
            else
                qputenv("PULSE_SERVER", pulse);
        });
        Rig rig(sink);
        QVERIFY(rig.makeLibrary());
        const QString other = rig.library.otherFolder();
        if (fault == u"corrupt") {
            QByteArray noise("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
            QRandomGenerator r(5);
            for (int i = 0; i < 20000; ++i) noise += char(r.bounded(256));
            QVERIFY(test::writeBytes(other + "/broken.mp3", noise));
            rig.set("TIME", "m25", other + "/broken.mp3");
        } else if (fault == u"empty") {
            QVERIFY(test::writeBytes(other + "/empty.wav", QByteArray()));
            rig.set("sond", "sond1", other + "/empty.wav");
            rig.set("Number", "number1", "1");
        } else if (fault == u"dir") {
            QVERIFY(QDir().mkpath(other + "/folder.wav"));
            rig.set("TIME", "m30", other + "/folder.wav");
        } else if (fault == u"long") {
            QProcess sox;
            sox.start("sox", {"-n", "-r", "4000", "-c", "1", "-b", "8", other + "/twohours.wav",
                              "trim", "0", "7200"});
            QVERIFY(sox.waitForFinished(60000) && sox.exitCode() == 0);
            rig.set("sond", "sond1", other + "/twohours.wav");
            rig.set("Number", "number1", "1");
        }
        if (fault == u"gone") {
            QVERIFY(test::makeTone(other + "/long.wav", 1.2));
            rig.set("TIME", "m25", other + "/long.wav");
            QTimer::singleShot(1400, [&] { server.stop(); });  // in the front chime
        }
        QElapsedTimer wall;
        wall.start();
        rig.ringSeven();
        const auto& log = rig.audio.log;
        QVERIFY(log.size() >= 8);  // front, the time twice, add-on, back
        // The run went on to the back chime, whatever failed before it.
        const QString expectedBack =
            fault == u"dir" ? other + "/folder.wav" : rig.library.backChimeFile();
        QCOMPARE(log.last().path, expectedBack);
        int failed = 0;
        for (const auto& e : log) {
            if (!e.ok()) ++failed;
            QVERIFY2(e.ms < 1500 + 3000, qPrintable(e.path));  // the cap bounds every sound
        }
        const bool outputDown = failures < 0;
        if (outputDown) {
            QCOMPARE(failed, int(log.size()));
            for (const auto& e : log) QVERIFY(e.outcome.outputFault);
            // the school learns that the bell was not heard, once, not once per sound
            QCOMPARE(rig.dialogs.count(QStringLiteral("notice")), 1);
            QVERIFY(rig.dialogs.shown.first().text.startsWith(
                QStringLiteral("ระบบเสียงของเครื่องไม่พร้อม")));
        } else {
            QCOMPARE(failed, failures);
            QVERIFY2(rig.audio.stream.result, qPrintable(rig.audio.stream.result.error));
            QCOMPARE(rig.dialogs.count(QStringLiteral("notice")), failures);
        }
        QCOMPARE(rig.audio.stream.noDevice, fault == u"noserver");
        QVERIFY(!rig.serial.isOpen());
        QVERIFY(!rig.serial.energised());
        QVERIFY(rig.form.timer(QStringLiteral("Timer3"))->isActive());
        QCOMPARE(rig.dialogs.count(QStringLiteral("message")), 0);
        qInfo("%s: %d sounds, %d failed, %lld ms", qPrintable(fault), int(log.size()), failed,
              wall.elapsed());
    }

private:
    QTemporaryDir alsa;
};

QTEST_GUILESS_MAIN(TestAudioFaults)
#include "test_audiofaults.moc"
