// Broken sounds and a missing sound device in a whole bell through the real GStreamer output
// (fakesink): each fault costs only its own sound, the run goes on to the back chime, the
// watch comes back and the amplifier ends off.
#include "../platform/soundtestfiles.h"
#include "../scheduler/bellharness.h"
#include "platform/audio/gstaudiooutput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

using namespace tavirin;
using namespace std::chrono_literals;

namespace {

// The real output, with a record of what was asked and how it ended.
class RecordingOutput final : public AudioOutput {
public:
    RecordingOutput(const QString& sink, std::chrono::milliseconds cap) : real_(sink, cap) {}
    Result playToEnd(const QString& path) override {
        QElapsedTimer t;
        t.start();
        const Result r = real_.playToEnd(path);
        log.append({path, r.ok, t.elapsed()});
        return r;
    }
    Result startSpan(const QString& path, int ms) override {
        const Result r = real_.startSpan(path, ms);
        log.append({path, r.ok, 0});
        return r;
    }
    struct Entry {
        QString path;
        bool ok;
        qint64 ms;
    };
    QList<Entry> log;

private:
    GstAudioOutput real_;
};

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
        return bool(seedFirstRun(store, library)) && bool(writeFirstRunMarker(store));
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
    void faultsCostOnlyTheirSound_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("sink");
        QTest::addColumn<int>("failures");  // sounds that fail in the run
        const QString fake = QStringLiteral("fakesink sync=true");
        QTest::newRow("corrupt mp3 as the front chime") << "corrupt" << fake << 1;
        QTest::newRow("zero-length wav as the add-on") << "empty" << fake << 1;
        QTest::newRow("directory named like a sound as the back chime") << "dir" << fake << 1;
        QTest::newRow("two hours as the add-on") << "long" << fake << 1;
        QTest::newRow("no sound device") << "nodevice" << QStringLiteral("nosuchsink") << -1;
        QTest::newRow("no fault") << "none" << fake << 0;
    }
    void faultsCostOnlyTheirSound() {
        QFETCH(QString, fault);
        QFETCH(QString, sink);
        QFETCH(int, failures);
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
            if (!e.ok) ++failed;
            QVERIFY2(e.ms < 1500 + 3000, qPrintable(e.path));  // the cap bounds every sound
        }
        if (failures >= 0)
            QCOMPARE(failed, failures);
        else
            QCOMPARE(failed, int(log.size()));
        QVERIFY(!rig.serial.isOpen());
        QVERIFY(!rig.serial.energised());
        QVERIFY(rig.form.timer(QStringLiteral("Timer3"))->isActive());
        QCOMPARE(rig.dialogs.count(QStringLiteral("message")), 0);
        qInfo("%s: %d sounds, %d failed, %lld ms", qPrintable(fault), int(log.size()), failed,
              wall.elapsed());
    }
};

QTEST_GUILESS_MAIN(TestAudioFaults)
#include "test_audiofaults.moc"
