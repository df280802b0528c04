// 200 sounds through the real output into a PulseAudio null sink leave nothing behind: the
// same open descriptors, threads and live GStreamer objects (leak tracer) after as before,
// a stream that got stuck in a hung server included. Run with GST_TRACERS=leaks (its CTest
// entry sets it).

#include "platform/audio/gstaudiooutput.h"
#include "platform/soundtestfiles.h"
#include "support/pulseserver.h"

#include <gst/gst.h>

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

namespace {

QString threadNames() {
    QStringList out;
    for (const QString& t : QDir("/proc/self/task").entryList(QDir::NoDotAndDotDot | QDir::Dirs)) {
        QFile f("/proc/self/task/" + t + "/comm");
        if (f.open(QIODevice::ReadOnly)) out << QString::fromUtf8(f.readAll()).trimmed();
    }
    return out.join(',');
}

// Idle pooled threads (GStreamer's streaming tasks run on GLib's thread pools) are GLib's to
// keep for a while: a pool hands an idle thread back after half a second, then it can be
// stopped. What is left is every thread that something still holds.
void settleThreadPools() {
    QTest::qWait(700);
    g_thread_pool_stop_unused_threads();
    QTest::qWait(200);
}

int entries(const char* dir) {
    return int(
        QDir(QString::fromLatin1(dir)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

GstTracer* leaksTracer() {
    GList* tracers = gst_tracing_get_active_tracers();
    GstTracer* found = nullptr;
    for (GList* l = tracers; l; l = l->next)
        if (!found && g_str_equal(G_OBJECT_TYPE_NAME(l->data), "GstLeaksTracer"))
            found = GST_TRACER(gst_object_ref(l->data));
    g_list_free_full(tracers, gst_object_unref);
    return found;
}

// GStreamer objects created less those destroyed since the tracker started, by type.
QMap<QString, int> netObjects(GstTracer* tracer) {
    GstStructure* checkpoint = nullptr;
    g_signal_emit_by_name(tracer, "activity-get-checkpoint", &checkpoint);
    QMap<QString, int> out;
    if (!checkpoint) return out;
    auto count = [&](const char* field, int sign) {
        const GValue* list = gst_structure_get_value(checkpoint, field);
        for (guint i = 0; list && i < gst_value_list_get_size(list); ++i) {
            const GstStructure* s = gst_value_get_structure(gst_value_list_get_value(list, i));
            out[QString::fromUtf8(gst_structure_get_string(s, "type-name"))] += sign;
        }
    };
    count("objects-created-list", 1);
    count("objects-removed-list", -1);
    gst_structure_free(checkpoint);
    for (auto it = out.begin(); it != out.end();) it = it.value() ? std::next(it) : out.erase(it);
    return out;
}

QString describe(const QMap<QString, int>& net) {
    QStringList out;
    for (auto it = net.cbegin(); it != net.cend(); ++it)
        out << QStringLiteral("%1 %2%3").arg(it.key(), it.value() > 0 ? "+" : "").arg(it.value());
    return out.join(QStringLiteral(", "));
}

}  // namespace

class TestAudioLeaks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY2(server.start(), qPrintable(server.why()));
        for (int i = 0; i < 4; ++i)
            QVERIFY(makeTone(dir.filePath(QStringLiteral("w%1.wav").arg(i)), 0.03, 400 + 100 * i));
        QVERIFY(makeTone(dir.filePath("m.mp3"), 0.05, 700, {"-r", "44100", "-c", "1"}));
        QVERIFY(writeBytes(dir.filePath("bad.wav"), QByteArray(3000, 'x')));
        QVERIFY(makeTone(dir.filePath("long.wav"), 1.0));
    }

    void twoHundredSoundsLeaveNothing() {
        gst_init(nullptr, nullptr);
        GstTracer* tracer = leaksTracer();
        QVERIFY2(tracer, "run with GST_TRACERS=leaks");
        GstAudioOutput out(QStringLiteral("autoaudiosink"), 20s);
        // 20 bells of 10 sounds in one stream each: WAVs, an MP3, a blip, a corrupt and a
        // missing file
        const QStringList bell{"w0.wav", "w1.wav",   "m.mp3",  "w2.wav", "bad.wav",
                               "blip",   "gone.wav", "w0.wav", "w1.wav", "w2.wav"};
        auto ring = [&] {
            int failed = 0;
            out.openStream();
            for (const QString& f : bell) {
                const SoundOutcome r = f == u"blip" ? out.queueSpan(dir.filePath("w3.wav"), 20, 20)
                                                    : out.playToEnd(dir.filePath(f));
                if (!r) ++failed;
            }
            if (!out.closeStream().result) ++failed;
            return failed;
        };
        QCOMPARE(ring(), 2);  // warm-up: plugins, the clock, pulse's shared main loop
        QTRY_COMPARE(out.liveStreams(), 0);

        settleThreadPools();
        const int fdsBefore = entries("/proc/self/fd");
        const int threadsBefore = entries("/proc/self/task");
        qInfo("before: %s", qPrintable(threadNames()));
        g_signal_emit_by_name(tracer, "activity-start-tracking");

        for (int b = 1; b < 19; ++b) QCOMPARE(ring(), 2);
        // One bell into a server that hangs in the middle of a sound: that stream is given up,
        // stuck in the server, and released once the server answers again.
        out.openStream();
        QTimer::singleShot(300, [&] { server.freeze(); });
        QVERIFY(!out.playToEnd(dir.filePath("long.wav")));
        for (const QString& f : bell) QVERIFY(!out.playToEnd(dir.filePath(f)));
        QVERIFY(!out.closeStream().result);
        QCOMPARE(out.liveStreams(), 1);
        server.thaw();
        QTRY_COMPARE(out.liveStreams(), 0);
        QCOMPARE(ring(), 2);  // and the next bell plays again
        QTRY_COMPARE(out.liveStreams(), 0);

        settleThreadPools();
        const int fdsAfter = entries("/proc/self/fd");
        const int threadsAfter = entries("/proc/self/task");
        qInfo("after: %s", qPrintable(threadNames()));
        const QMap<QString, int> net = netObjects(tracer);
        g_signal_emit_by_name(tracer, "activity-stop-tracking");
        qInfo("descriptors %d -> %d, threads %d -> %d, GStreamer objects left: %s", fdsBefore,
              fdsAfter, threadsBefore, threadsAfter,
              net.isEmpty() ? "none" : qPrintable(describe(net)));
        QCOMPARE(fdsAfter, fdsBefore);
        QCOMPARE(threadsAfter, threadsBefore);
        QVERIFY2(net.isEmpty(), qPrintable(describe(net)));
        gst_object_unref(tracer);
    }

private:
    QTemporaryDir dir;
    PulseServer server;
};

QTEST_GUILESS_MAIN(TestAudioLeaks)
#include "test_audioleaks.moc"
