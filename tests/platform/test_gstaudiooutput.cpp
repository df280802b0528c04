#include "platform/audio/gstaudiooutput.h"
#include "platform/soundtestfiles.h"

#include <gst/gst.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

namespace {

const QString kCaptureSink = QStringLiteral("wavenc ! filesink name=cap");

// The real output into a capture sink whose file is set per stream: cap-1.wav, cap-2.wav, ...
struct Capture {
    QTemporaryDir dir;
    GstAudioOutput out{kCaptureSink, 20s};
    int count = 0;
    QString file(int n) const { return dir.filePath(QStringLiteral("cap-%1.wav").arg(n)); }
    WavInfo wav(int n = 1) const { return readWav(file(n)); }

    Capture() {
        out.setPipelineObserver([this](GstElement*, GstElement* sinkBin) {
            ++count;
            GstElement* fs = gst_bin_get_by_name(GST_BIN(sinkBin), "cap");
            QVERIFY(fs);
            g_object_set(fs, "location", QFile::encodeName(file(count)).constData(), nullptr);
            gst_object_unref(fs);
        });
    }
};

const QString kRealTime = QStringLiteral("fakesink sync=true");

QString describe(const QList<Stretch>& stretches, int rate) {
    QStringList out;
    for (const Stretch& s : stretches)
        out << QStringLiteral("%1+%2").arg(double(s.first) / rate).arg(s.seconds(rate));
    return out.join(u' ');
}

}  // namespace

class TestGstAudioOutput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(makeTone(path("a.wav"), 0.4, 440));
        QVERIFY(makeTone(path("b.wav"), 0.3, 660, {"-r", "44100", "-c", "2", "-b", "16"}));
        QVERIFY(makeTone(path("c.wav"), 0.5, 550));
        QVERIFY(makeTone(path("long.wav"), 5.0));
    }

    // A sound on its own: a stream of its own, captured in full.
    void aloneCapturedInFull_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("wav 22050 mono") << "a.wav" << 0.4 << 0.001;
        QTest::newRow("wav 44100 stereo") << "b.wav" << 0.3 << 0.001;
        QTest::newRow("mp3") << "d.mp3" << 0.8 << 0.06;
    }
    void aloneCapturedInFull() {
        QFETCH(QString, name);
        QFETCH(double, seconds);
        QFETCH(double, tolerance);
        if (name.endsWith(".mp3")) QVERIFY(makeTone(path(name), seconds, 523, {"-r", "44100"}));
        Capture cap;
        GstAudioOutput& out = cap.out;
        const SoundOutcome r = out.playToEnd(path(name));
        QVERIFY2(r, qPrintable(r.result.error));
        QCOMPARE(cap.count, 1);
        const WavInfo w = cap.wav();
        QVERIFY(w.complete());
        QCOMPARE(w.rate, 44100);
        QVERIFY2(qAbs(w.seconds() - seconds) <= tolerance,
                 qPrintable(QString::number(w.seconds())));
        QTRY_COMPARE(out.liveStreams(), 0);  // its worker releases it in the background
    }

    // The path is one value: blanks, quotes, Thai letters and URI characters play.
    void awkwardPathsPlay_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << "with  two blanks .wav";
        QTest::newRow("quotes") << "it's \"quoted\".wav";
        QTest::newRow("thai") << "ติ๊งหน่อง หน้า.wav";
        QTest::newRow("uri characters") << "100% #1 ?x=&y;.wav";
        QTest::newRow("shell characters") << "$(touch pwned) `x`.mp3";
    }
    void awkwardPathsPlay() {
        QFETCH(QString, name);
        const QString sub = path(QStringLiteral("ชื่อ แปลก"));
        QVERIFY(QDir().mkpath(sub));
        const QString file = sub + u'/' + name;
        QVERIFY(makeTone(file, 0.3));
        Capture cap;
        GstAudioOutput& out = cap.out;
        const SoundOutcome r = out.playToEnd(file);
        QVERIFY2(r, qPrintable(r.result.error));
        const double seconds = cap.wav().seconds();
        // an MP3 carries its encoder's padding
        QVERIFY2(seconds >= 0.299 && seconds < 0.4, qPrintable(QString::number(seconds)));
        QVERIFY(!QFile::exists(QDir::current().filePath("pwned")));
    }

    // One stream for a bell: the files follow each other sample for sample.
    void streamJoinsFilesWithoutGaps() {
        Capture cap;
        GstAudioOutput& out = cap.out;
        out.openStream();
        for (const char* f : {"a.wav", "b.wav", "c.wav"}) {
            const SoundOutcome r = out.playToEnd(path(f));
            QVERIFY2(r, qPrintable(r.result.error));
        }
        const StreamOutcome closed = out.closeStream();
        QVERIFY2(closed.result, qPrintable(closed.result.error));
        QVERIFY(!closed.noDevice);
        QCOMPARE(cap.count, 1);
        const WavInfo w = cap.wav();
        QVERIFY(w.complete());
        const QList<Stretch> loud = loudStretches(w);
        QVERIFY2(loud.size() == 1, qPrintable(describe(loud, w.rate)));
        QVERIFY2(qAbs(w.seconds() - 1.2) < 0.001, qPrintable(QString::number(w.seconds())));

        // a bell none of whose files could be played still closes, at once
        QElapsedTimer t;
        t.start();
        out.openStream();
        QVERIFY(!out.playToEnd(path("nothere.wav")));
        QVERIFY(out.closeStream().result);
        QVERIFY(t.elapsed() < 2000);
    }

    // A sound queued ahead for its moment: silence runs the output until then, the sound is
    // heard once (its playToEnd waits for it rather than queuing it again), and the next one
    // follows it without a gap. A different file asked for plays after it.
    void prerolledSoundIsHeardOnceAtItsMoment_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<double>("sounds");  // seconds of sound captured after the silence
        QTest::newRow("awaited") << "a.wav" << 0.4 + 0.5;
        QTest::newRow("another file asked for") << "b.wav" << 0.4 + 0.3 + 0.5;
    }
    void prerolledSoundIsHeardOnceAtItsMoment() {
        QFETCH(QString, first);
        QFETCH(double, sounds);
        Capture cap;
        GstAudioOutput& out = cap.out;
        out.openStream();
        out.prerollIn(path("a.wav"), 600);
        QVERIFY(out.playToEnd(path(first)));
        QVERIFY(out.playToEnd(path("c.wav")));
        QVERIFY(out.closeStream().result);
        const WavInfo w = cap.wav();
        QVERIFY(w.complete());
        const QList<Stretch> loud = loudStretches(w);
        QVERIFY2(loud.size() == 1, qPrintable(describe(loud, w.rate)));
        // A capture has no clock: its position is what it has taken, the 100 ms of silence
        // that start an output included, and the silence up to the moment comes after that.
        const double silence = double(loud.first().first) / w.rate;
        QVERIFY2(silence > 0.4 && silence <= 0.7 + 0.01, qPrintable(QString::number(silence)));
        QVERIFY2(qAbs(loud.first().seconds(w.rate) - sounds) < 0.01,
                 qPrintable(describe(loud, w.rate)));
    }

    // A bad file in the middle of a bell fails from what is wrong with it, at once, and the
    // sounds around it join as if it were not there.
    void badFileInAStreamCostsOnlyItsPlace_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");  // written unless "-"
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("missing") << "nothere.wav" << QByteArray("-") << "not found";
        QTest::newRow("directory") << "adir.wav" << QByteArray("-") << "folder";
        QTest::newRow("fifo") << "fifo.wav" << QByteArray("-") << "not a plain file";
        QTest::newRow("address") << "http://radio.example/a.mp3" << QByteArray("-") << "address";
        QTest::newRow("empty") << "empty.wav" << QByteArray() << "empty";
        QByteArray noise;
        for (int i = 0; i < 20000; ++i) noise.append(char((i * 7919 + 13) % 251));
        QTest::newRow("corrupt mp3") << "corrupt.mp3" << noise << "";
        QTest::newRow("text as wav") << "text.wav" << QByteArray(3000, 'x') << "";
        QTest::newRow("riff without audio")
            << "truncated.wav" << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) << "";
    }
    void badFileInAStreamCostsOnlyItsPlace() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, errorPart);
        const QString p = file.contains("://") ? file : path(file);
        if (file == "adir.wav")
            QVERIFY(QDir().mkpath(p));
        else if (file == "fifo.wav")
            QVERIFY(QFile::exists(p) || ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0);
        else if (content != "-")
            QVERIFY(writeBytes(p, content));
        Capture cap;
        GstAudioOutput& out = cap.out;
        out.openStream();
        QVERIFY(out.playToEnd(path("a.wav")));
        QElapsedTimer t;
        t.start();
        const SoundOutcome r = out.playToEnd(p);
        QVERIFY(!r);
        QVERIFY(!r.outputFault);
        QVERIFY2(r.result.error.contains(errorPart), qPrintable(r.result.error));
        QVERIFY2(t.elapsed() < 3000, "detected by a time limit, not by the error");
        QVERIFY(out.playToEnd(path("c.wav")));
        QVERIFY(out.closeStream().result);
        const WavInfo w = cap.wav();
        const QList<Stretch> loud = loudStretches(w);
        QVERIFY2(loud.size() == 1, qPrintable(describe(loud, w.rate)));
        QVERIFY2(qAbs(w.seconds() - 0.9) < 0.001, qPrintable(QString::number(w.seconds())));
    }

    void unbuildableSinkFails() {
        GstAudioOutput out(QStringLiteral("nosuchsinkelement"), 5s);
        const SoundOutcome r = out.playToEnd(path("a.wav"));
        QVERIFY(!r);
        QVERIFY(r.outputFault);
        QVERIFY2(r.result.error.contains("nosuchsinkelement"), qPrintable(r.result.error));
        QVERIFY(!out.queueSpan(path("a.wav"), 50, 100));
        out.openStream();
        QVERIFY(!out.playToEnd(path("a.wav")));
        QVERIFY(!out.closeStream().result);
    }

    void hardCapCutsALongSound() {
        GstAudioOutput out(kRealTime, 700ms);
        QElapsedTimer t;
        t.start();
        const SoundOutcome r = out.playToEnd(path("long.wav"));
        QVERIFY(!r);
        QVERIFY2(r.result.error.contains("cut"), qPrintable(r.result.error));
        QVERIFY(t.elapsed() >= 600);
        QVERIFY(t.elapsed() < 3000);
    }

    // An emergency cuts the bell: the sound waited for returns long before its end (the cut
    // comes from a handler of the wait's own event loop), the stream's other sounds fail at
    // once without playing, its close returns at once, and the next stream plays as usual.
    void aCutStreamStopsAndTheNextOnePlays() {
        GstAudioOutput out(kRealTime, 20s);
        out.openStream();
        QTimer::singleShot(300, [&] { out.cut(QStringLiteral("emergency")); });
        QElapsedTimer t;
        t.start();
        const SoundOutcome r = out.playToEnd(path("long.wav"));
        QVERIFY(!r);
        QVERIFY(r.cut);
        QVERIFY2(t.elapsed() < 4000, qPrintable(QString::number(t.elapsed())));  // of five seconds
        const SoundOutcome after = out.playToEnd(path("a.wav"));
        QVERIFY(after.cut);
        QVERIFY(after.result.error.contains(QLatin1String("emergency")));
        const StreamOutcome closed = out.closeStream();
        QVERIFY(closed.cut);
        QVERIFY(!closed.result);
        out.cut(QStringLiteral("again"));  // no stream: nothing
        out.openStream();
        const SoundOutcome fresh = out.playToEnd(path("a.wav"));
        QVERIFY2(fresh, qPrintable(fresh.result.error));
        QVERIFY(!fresh.cut);
        QVERIFY(out.closeStream().result);
        QTRY_COMPARE(out.liveStreams(), 0);
    }

    // Announce mode 3: five blips, each the start of the sound and a pause, queued without
    // waiting, then the next sound after them.
    void fiveBlipsAreFiveSounds() {
        Capture cap;
        GstAudioOutput& out = cap.out;
        out.openStream();
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            QVERIFY(out.queueSpan(path("long.wav"), 50, 100));
            QVERIFY2(t.elapsed() < 500, "a blip waited to be heard");
        }
        QVERIFY(out.playToEnd(path("a.wav")));
        QVERIFY(out.closeStream().result);
        const WavInfo w = cap.wav();
        const QList<Stretch> loud = loudStretches(w, 200, 20);
        QVERIFY2(loud.size() == 6, qPrintable(describe(loud, w.rate)));
        for (int i = 0; i < 5; ++i) {
            // the fade at the cut takes the last few samples under the threshold
            QVERIFY2(qAbs(loud[i].seconds(w.rate) - 0.05) < 0.003,
                     qPrintable(describe(loud, w.rate)));
            const double gap = double(loud[i + 1].first - loud[i].first) / w.rate;
            QVERIFY2(qAbs(gap - 0.15) < 0.003, qPrintable(describe(loud, w.rate)));
        }
        QVERIFY(qAbs(loud[5].seconds(w.rate) - 0.4) < 0.003);
    }

    // In real time: the event loop runs while a sound is awaited (a nested play is refused),
    // each sound returns only near its end, and the stream's close once all has been played.
    void waitsInRealTime() {
        GstAudioOutput out(kRealTime, 20s);
        int ticks = 0;
        SoundOutcome nested;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (++ticks == 2) nested = out.playToEnd(path("a.wav"));
        });
        timer.start(40);
        QElapsedTimer t;
        t.start();
        out.openStream();
        double end = 0;
        QList<double> early;
        for (const char* f : {"a.wav", "b.wav", "c.wav"}) {
            const SoundOutcome r = out.playToEnd(path(f));
            QVERIFY2(r, qPrintable(r.result.error));
            QVERIFY(r.startMs > 0 && r.endMs > r.startMs);
            end += readWav(path(f)).seconds();
            early << end * 1000 - t.elapsed();
        }
        const StreamOutcome closed = out.closeStream();
        const qint64 total = t.elapsed();
        timer.stop();
        QVERIFY2(closed.result, qPrintable(closed.result.error));
        QVERIFY(closed.onsetMs > 0);
        // a sound returns within the stream's lead of its end (fakesink: 250 ms), never earlier
        for (double ms : early) QVERIFY2(ms < 300, qPrintable(QString::number(ms)));
        QVERIFY2(total >= 1200 && total < 1700, qPrintable(QString::number(total)));
        QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
        QVERIFY(!nested);
        QVERIFY(nested.result.error.contains("busy"));
    }

    // A blip with no bell around it plays out by itself and its stream is released.
    void loneBlipIsReleased() {
        GstAudioOutput out(kRealTime, 20s);
        QElapsedTimer t;
        t.start();
        QVERIFY(out.queueSpan(path("long.wav"), 50, 100));
        QVERIFY(t.elapsed() < 500);
        QTRY_COMPARE_WITH_TIMEOUT(out.liveStreams(), 0, 3000);
    }

private:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestGstAudioOutput)
#include "test_gstaudiooutput.moc"
