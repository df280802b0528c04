// GstAudioOutput used where no QCoreApplication exists: it blocks on the bus instead of
// running an event loop, with the same timeouts, and spans still end and are released.

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
        const Result r = out.playToEnd(dir.filePath("short.wav"));
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY2(t.elapsed() >= 280, "returned before the sound could have ended");
        QVERIFY(!out.playToEnd(dir.filePath("none.wav")).ok);
    }

    void hardCapStillHolds() {
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 500ms);
        QElapsedTimer t;
        t.start();
        QVERIFY(!out.playToEnd(dir.filePath("long.wav")).ok);
        QVERIFY(t.elapsed() < 2500);
    }

    void spansEndWithoutAnEventLoop() {
        GstAudioOutput out(QStringLiteral("fakesink sync=true"), 10s);
        for (int i = 0; i < 5; ++i) QVERIFY(out.startSpan(dir.filePath("long.wav"), 5).ok);
        QElapsedTimer t;
        t.start();
        while (out.pendingSpans() > 0 && t.elapsed() < 5000) std::this_thread::sleep_for(20ms);
        QCOMPARE(out.pendingSpans(), 0);
    }

private:
    QTemporaryDir dir;
};

QTEST_APPLESS_MAIN(TestGstAudioOutputNoApp)
#include "test_gstaudiooutput_noapp.moc"
