#include "platform/audio/gstaudiooutput.h"
#include "platform/soundtestfiles.h"

#include <gst/gst.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

namespace {

// A capture sink whose file is set per pipeline: cap-1.wav, cap-2.wav, ...
struct Capture {
    explicit Capture(QString dir) : dir(std::move(dir)) {}
    QString dir;
    int count = 0;
    std::function<void(int)> onNewPipeline;
    QString file(int n) const { return dir + QStringLiteral("/cap-%1.wav").arg(n); }

    void attach(GstAudioOutput& out) {
        out.setPipelineObserver([this](GstElement*, GstElement* sinkBin) {
            ++count;
            if (onNewPipeline) onNewPipeline(count);
            GstElement* fs = gst_bin_get_by_name(GST_BIN(sinkBin), "cap");
            QVERIFY(fs);
            g_object_set(fs, "location", QFile::encodeName(file(count)).constData(), nullptr);
            gst_object_unref(fs);
        });
    }
};

const QString kCaptureSink = QStringLiteral("wavenc ! filesink name=cap");

}  // namespace

class TestGstAudioOutput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(makeTone(path("tone-0.4.wav"), 0.4));
        QVERIFY(makeTone(path("tone-5.wav"), 5.0));
    }

    void capturedLengthMatches_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QStringList>("format");
        QTest::addColumn<double>("tolerance");
        const QStringList mono22{"-r", "22050", "-c", "1", "-b", "16"};
        QTest::newRow("wav 22050 mono") << "a.wav" << 0.4 << mono22 << 0.0005;
        QTest::newRow("wav 44100 stereo")
            << "b.wav" << 1.3 << QStringList{"-r", "44100", "-c", "2", "-b", "16"} << 0.0005;
        QTest::newRow("mp3") << "c.mp3" << 0.8 << QStringList{"-r", "44100", "-c", "1"} << 0.06;
    }
    void capturedLengthMatches() {
        QFETCH(QString, name);
        QFETCH(double, seconds);
        QFETCH(QStringList, format);
        QFETCH(double, tolerance);
        QVERIFY(makeTone(path(name), seconds, 523, format));
        QTemporaryDir capDir;
        Capture cap(capDir.path());
        GstAudioOutput out(kCaptureSink, 20s);
        cap.attach(out);
        const Result r = out.playToEnd(path(name));
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(cap.count, 1);
        const WavInfo w = readWav(cap.file(1));
        QVERIFY(w.complete());
        QVERIFY2(qAbs(w.seconds() - seconds) <= tolerance,
                 qPrintable(QString::number(w.seconds())));
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
        QTemporaryDir capDir;
        Capture cap(capDir.path());
        GstAudioOutput out(kCaptureSink, 20s);
        cap.attach(out);
        const Result r = out.playToEnd(file);
        QVERIFY2(r.ok, qPrintable(r.error));
        const double seconds = readWav(cap.file(1)).seconds();
        // an MP3 carries its encoder's padding
        QVERIFY2(seconds >= 0.299 && seconds < 0.4, qPrintable(QString::number(seconds)));
        QVERIFY(!QFile::exists(QDir::current().filePath("pwned")));
    }

    // Bad files fail from what GStreamer says, long before any timeout.
    void badFilesFailFast_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");  // written unless "-"
        QTest::addColumn<QString>("errorPart");
        QTest::newRow("missing") << "nothere.wav" << QByteArray("-") << "not found";
        QTest::newRow("directory") << "adir.wav" << QByteArray("-") << "folder";
        QTest::newRow("empty") << "empty.wav" << QByteArray() << "empty";
        QByteArray noise;
        for (int i = 0; i < 20000; ++i) noise.append(char((i * 7919 + 13) % 251));
        QTest::newRow("corrupt mp3") << "corrupt.mp3" << noise << "";
        QTest::newRow("text as wav") << "text.wav" << QByteArray(3000, 'x') << "";
        QTest::newRow("riff without audio")
            << "truncated.wav" << QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) << "";
    }
    void badFilesFailFast() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, errorPart);
        const QString p = path(file);
        if (file == "adir.wav")
            QVERIFY(QDir().mkpath(p));
        else if (content != "-")
            QVERIFY(writeBytes(p, content));
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 30s);
        QElapsedTimer t;
        t.start();
        const Result r = out.playToEnd(p);
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QVERIFY2(r.error.contains(errorPart), qPrintable(r.error));
        QVERIFY2(t.elapsed() < 5000, "detected by timeout, not by the error");
    }

    void unbuildableSinkFails() {
        GstAudioOutput out(QStringLiteral("nosuchsinkelement"), 5s);
        const Result r = out.playToEnd(path("tone-0.4.wav"));
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains("nosuchsinkelement"), qPrintable(r.error));
        QVERIFY(!out.startSpan(path("tone-0.4.wav"), 5).ok);
    }

    void hardCapEndsLongSound() {
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 700ms);
        QElapsedTimer t;
        t.start();
        const Result r = out.playToEnd(path("tone-5.wav"));
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains("stopped"), qPrintable(r.error));
        QVERIFY(t.elapsed() >= 650);
        QVERIFY(t.elapsed() < 3000);
    }

    // A pipeline that stalls is ended at the file's length plus the margin, not the cap.
    void stalledPipelineEndsAfterDuration() {
        // prerolls, then waits 100 s before rendering the first buffer
        GstAudioOutput out(QStringLiteral("fakesink sync=true ts-offset=100000000000"), 60s);
        QElapsedTimer t;
        t.start();
        const Result r = out.playToEnd(path("tone-0.4.wav"));
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains("did not end"), qPrintable(r.error));
        QVERIFY(t.elapsed() < 15000);
    }

    // Timers fire while a sound plays; a nested play from such a timer is refused.
    void eventLoopRunsWhileWaiting() {
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 20s);
        int ticks = 0;
        Result nested;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (++ticks == 2) nested = out.playToEnd(path("tone-0.4.wav"));
        });
        timer.start(40);
        const Result r = out.playToEnd(path("tone-0.4.wav"));
        timer.stop();
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY2(ticks >= 4, qPrintable(QString::number(ticks)));
        QVERIFY(!nested.ok);
        QVERIFY(nested.error.contains("busy"));
    }

    void spanPlaysItsLengthAndReturnsAtOnce_data() {
        QTest::addColumn<int>("ms");
        QTest::newRow("5 ms") << 5;
        QTest::newRow("250 ms") << 250;
    }
    void spanPlaysItsLengthAndReturnsAtOnce() {
        QFETCH(int, ms);
        QTemporaryDir capDir;
        Capture cap(capDir.path());
        GstAudioOutput out(kCaptureSink, 20s);
        cap.attach(out);
        QElapsedTimer t;
        t.start();
        QVERIFY(out.startSpan(path("tone-5.wav"), ms).ok);
        QVERIFY2(t.elapsed() < 1000, "startSpan waited for the sound");
        QTRY_COMPARE_WITH_TIMEOUT(out.pendingSpans(), 0, 10000);
        const WavInfo w = readWav(cap.file(1));
        QVERIFY(w.complete());
        QVERIFY2(qAbs(w.seconds() * 1000 - ms) <= 1.0, qPrintable(QString::number(w.seconds())));
    }

    void manySpansAreReleased() {
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 20s);
        for (int i = 0; i < 5; ++i) QVERIFY(out.startSpan(path("tone-0.4.wav"), 5).ok);
        QTRY_COMPARE_WITH_TIMEOUT(out.pendingSpans(), 0, 10000);
        QVERIFY(!out.startSpan(path("nothere.wav"), 5).ok);
        // a span still running when the output goes away is stopped with it
        QVERIFY(out.startSpan(path("tone-5.wav"), 4000).ok);
    }

private:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestGstAudioOutput)
#include "test_gstaudiooutput.moc"
