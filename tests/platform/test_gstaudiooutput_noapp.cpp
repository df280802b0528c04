// GstAudioOutput used where no QCoreApplication exists: it sleeps on a condition variable
// instead of running an event loop, with the same limits, and streams are still released.

#include "platform/audio/gstaudiooutput.h"
#include "platform/soundtestfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

class TestGstAudioOutputNoApp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(!QCoreApplication::instance());
        QVERIFY(dir.isValid());
        QVERIFY(makeTone(dir.filePath("short.wav"), 0.3));
        QVERIFY(makeTone(dir.filePath("long.wav"), 4.0));
    }

    void playsToTheEnd() {
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 10s);
        QElapsedTimer t;
        t.start();
        const SoundOutcome r = out.playToEnd(dir.filePath("short.wav"));
        QVERIFY2(r, qPrintable(r.result.error));
        QVERIFY2(t.elapsed() >= 280, "returned before the sound could have ended");
        QVERIFY(!out.playToEnd(dir.filePath("none.wav")));
    }

    void hardCapStillHolds() {
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 500ms);
        QElapsedTimer t;
        t.start();
        QVERIFY(!out.playToEnd(dir.filePath("long.wav")));
        QVERIFY(t.elapsed() < 2500);
    }

    void loneBlipsAreReleased() {
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 10s);
        for (int i = 0; i < 5; ++i) QVERIFY(out.queueSpan(dir.filePath("long.wav"), 50, 100));
        QElapsedTimer t;
        t.start();
        while (out.liveStreams() > 0 && t.elapsed() < 5000) std::this_thread::sleep_for(20ms);
        QCOMPARE(out.liveStreams(), 0);
    }

private:
    QTemporaryDir dir;
};

QTEST_APPLESS_MAIN(TestGstAudioOutputNoApp)
#include "test_gstaudiooutput_noapp.moc"
