// Bell onset latency: the real scheduler on real Qt timers and a real GStreamer pipeline
// (fakesink sync=true), with the system clock. For each bell: the time from the start of the
// trigger second to the first buffer of the front chime at the sink, minus the amplifier
// delay. The window stands shown (as after start-up); the slide-in of a hidden window adds
// about a second on top, reported separately by the animation benchmark.

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

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <gst/gst.h>

using namespace tavirin;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 12;
    qputenv("QT_LOGGING_RULES", "tavirin.*.info=false");

    OffsetClock clock;
    MemorySettingsBackend backend;
    ProgramStore store(backend);
    SoundLibrary library(QString::fromUtf8(TAVIRIN_BENCH_SOUNDLIB));
    FormModel form;
    buildForm1(form);
    FakeDialogs dialogs;
    GstAudioOutput audio(QStringLiteral("fakesink sync=true"));
    SoundPlayer player(audio, dialogs, &clock);
    FakeSerialLines serial;
    AmplifierRelay relay(form, store, serial, dialogs);
    FakeProcesses processes;
    NoWait waiter;
    FakeRadioPlayer radio;
    MediaSources media(form, relay, processes, waiter, radio, dialogs);
    BellChain bells(form, store, clock, library, player, relay, media, waiter);

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
    audio.setPipelineObserver([](GstElement*, GstElement* sinkBin) {
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

    std::vector<double> latencies;
    int round = 0;
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
        form.setText(QStringLiteral("Label3"), t.time().toString(QStringLiteral("HH:mm:ss")));
        triggerAt = mono.elapsed() + now.msecsTo(t);
        firstBufferAt = -1;
    };
    QObject::connect(&form, &FormModel::changed, [&](const QString& name) {
        // The run has ended when the add-on slot is emptied (after the last sound).
        if (name == QLatin1String("Text3") && form.text(name).isEmpty() && firstBufferAt >= 0) {
            latencies.push_back(double(firstBufferAt - triggerAt - delayMs));
            QTimer::singleShot(200, [&] { next(); });
        }
    });
    next();
    app.exec();

    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) {
        std::printf("no bell rang\n");
        return 1;
    }
    std::printf("bell onset latency (trigger second to first sample, minus the %d ms delay), %zu bells:\n",
                delayMs, latencies.size());
    std::printf("  median %.0f ms   min %.0f ms   max %.0f ms\n", latencies[latencies.size() / 2],
                latencies.front(), latencies.back());
    return 0;
}
