// Bell onset: the real scheduler on real Qt timers, the real GStreamer output (autoaudiosink)
// into a PulseAudio null sink started here, and the system clock. For each bell, from the
// start of the trigger second (on the program's own clock):
//  - to the firing (the time the "bell fired" log line was written);
//  - to the first sample of the front chime at the sink, minus the amplifier delay: the
//    stream's onset as the output reports it (the sink's clock position mapped to the
//    monotonic clock). (The first buffer at the sink element is the silence that starts the
//    device during the countdown, so it is no longer a measure of the chime.)
// The window stands shown; the slide-in of a hidden window runs during the countdown.
// What can shift them: the machine's load (the tick is a timer like any other), the sink's
// latency, the first bell's plugin loading (one warm-up bell is not counted).
// Usage: bell_bench [bells, default 20]

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "outputs/waiter.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakeprocesses.h"
#include "platform/fake/fakeradioplayer.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/fake/offsetclock.h"
#include "scheduler/shownwindow.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "support/pulseserver.h"
#include "support/recordingoutput.h"

#include <gst/gst.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace tavirin;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    qputenv("QT_LOGGING_RULES", "tavirin.*.info=false\ntavirin.scheduler.info=true");
    test::PulseServer server;
    if (!server.start()) {
        std::fprintf(stderr, "bell_bench: %s\n", qPrintable(server.why()));
        return 1;
    }

    OffsetClock clock;
    MemorySettingsBackend backend;
    ProgramStore store(backend);
    SoundLibrary library(QString::fromUtf8(TAVIRIN_BENCH_SOUNDLIB));
    FormModel form;
    buildForm1(form);
    FakeDialogs dialogs;
    test::RecordingOutput audio(QStringLiteral("autoaudiosink"), std::chrono::minutes(1));
    FakeSerialLines serial;
    FakeProcesses processes;
    NoWait waiter;
    FakeRadioPlayer radio;
    BellChain bells(form, store, clock, library, audio, dialogs, serial, processes, radio, waiter);

    seedFirstRun(store, library);
    writeFirstRunMarker(store);
    bells.arming.armToday();
    // A short run: the system tone as both chimes, blips instead of words, delay 1 s.
    const QString app7 = form.value(QStringLiteral("activeApplication"));
    store.SaveSetting(app7, keys::kTime, QStringLiteral("m25"), library.systemSound());
    store.SaveSetting(app7, keys::kTime, QStringLiteral("m30"), library.systemSound());
    store.SaveSetting(app7, keys::kTime, QStringLiteral("m29"), QStringLiteral("3"));
    store.SaveSetting(app7, keys::kTime, QStringLiteral("m27"), QStringLiteral("1"));
    const int delayMs = 1000;

    // The first buffer at the sink after the trigger.
    QElapsedTimer mono;
    mono.start();
    static qint64 firstBufferAt = -1;
    static QElapsedTimer* monoPtr = &mono;
    // The firing: when its log line is written.
    static qint64 firedAt = -1;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
        if (m.startsWith(QLatin1String("bell fired")) && firedAt < 0) firedAt = monoPtr->elapsed();
    });
    audio.real().setPipelineObserver([](GstElement*, GstElement* sinkBin) {
        GstPad* pad = gst_element_get_static_pad(sinkBin, "sink");
        if (!pad) return;
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo*, gpointer) -> GstPadProbeReturn {
                if (firstBufferAt < 0) firstBufferAt = monoPtr->elapsed();
                return GST_PAD_PROBE_REMOVE;
            },
            nullptr, nullptr);
        gst_object_unref(pad);
    });

    std::vector<double> latencies, firing, onsets;
    int round = -1;  // the first bell warms up
    qint64 triggerAt = 0;
    std::function<void()> next = [&] {
        if (round++ >= rounds) {
            app.quit();
            return;
        }
        // The next trigger: two seconds ahead, on a whole second.
        const QDateTime now = clock.now();
        QDateTime t = now.addSecs(2);
        t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
        bells.arming.setDueForToday(1, t.time());
        triggerAt = mono.elapsed() + now.msecsTo(t);
        firstBufferAt = -1;
        firedAt = -1;
    };
    QObject::connect(&form, &FormModel::changed, [&](const QString& name) {
        // The run has ended when the add-on slot is emptied (after the last sound).
        if (name == QLatin1String("Text3") && form.text(name).isEmpty() && firstBufferAt >= 0) {
            if (round > 0) {
                latencies.push_back(double(firstBufferAt - triggerAt - delayMs));
                firing.push_back(double(firedAt - triggerAt));
                const qint64 onset = audio.stream.onsetMs - mono.msecsSinceReference();
                onsets.push_back(double(onset - triggerAt - delayMs));
            }
            QTimer::singleShot(200, [&] { next(); });
        }
    });
    next();
    app.exec();

    if (latencies.empty()) {
        std::printf("no bell rang\n");
        return 1;
    }
    auto show = [](const char* what, std::vector<double> v) {
        std::sort(v.begin(), v.end());
        std::printf("  %-58s median %4.0f ms   min %4.0f ms   max %4.0f ms\n", what,
                    v[v.size() / 2], v.front(), v.back());
    };
    std::printf(
        "bell onset from the start of the trigger second, %zu bells, amplifier delay %d ms, "
        "PulseAudio null sink:\n",
        latencies.size(), delayMs);
    show("to the firing (log line)", firing);
    show("to the first sample at the sink (stream onset) - delay", onsets);
    std::sort(onsets.begin(), onsets.end());
    std::printf("  onsets - delay, sorted (ms):");
    for (double v : onsets) std::printf(" %.0f", v);
    std::printf("\n");
    return 0;
}
