// From StartEmergency to the first buffer of the signal at the sink: the real core, the real
// GStreamer alarm player into a PulseAudio null sink started here, the system clock; the
// relay a double (switched on or off before each start). The amplifier's warm-up (5 s when it
// was off, at most 2 s when it was on) is subtracted: what is left is the program's own time.
// Usage: emergency_bench [starts per case, default 5]

#include "core/bellcore.h"
#include "core/emergency.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "platform/audio/gstalarmplayer.h"
#include "platform/fake/fakeaudiooutput.h"
#include "platform/fake/fakeaudioprobe.h"
#include "platform/fake/fakeclocksync.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakefolderprobe.h"
#include "platform/fake/fakepower.h"
#include "platform/fake/fakeprocesses.h"
#include "platform/fake/fakeradioplayer.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/fake/offsetclock.h"
#include "scheduler/arming.h"
#include "scheduler/shownwindow.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "support/pulseserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gst/gst.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

using namespace tavirin;

namespace {
std::atomic<qint64> firstBufferAt{-1};
QElapsedTimer mono;
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    qputenv("QT_LOGGING_RULES", "tavirin.*=false");
    test::PulseServer server;
    if (!server.start()) {
        std::fprintf(stderr, "emergency_bench: %s\n", qPrintable(server.why()));
        return 1;
    }
    mono.start();

    OffsetClock clock;
    MemorySettingsBackend backend;
    ProgramStore store(backend);
    SoundLibrary library(QString::fromUtf8(TAVIRIN_BENCH_SOUNDLIB));
    FormModel form;
    buildForm1(form);
    ShownWindow motion(form);
    FakeDialogs dialogs;
    FakeAudioOutput audio;
    FakeSerialLines serial;
    FakeProcesses processes;
    FakeRadioPlayer radio;
    FakePower power;
    NoWait waiter;
    FakeAudioProbe audioProbe;
    FakeClockSync clockSync;
    FakeFolderProbe folders;
    GstAlarmPlayer alarm(QStringLiteral("autoaudiosink"));
    alarm.setPipelineObserver([](GstElement*, GstElement* sinkBin) {
        GstPad* pad = gst_element_get_static_pad(sinkBin, "sink");
        if (!pad) return;
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo*, gpointer) -> GstPadProbeReturn {
                qint64 none = -1;
                firstBufferAt.compare_exchange_strong(none, mono.elapsed());
                return GST_PAD_PROBE_REMOVE;
            },
            nullptr, nullptr);
        gst_object_unref(pad);
    });
    BellCore core({form, motion, clock, store, nullptr, library, dialogs, audio, serial, processes,
                   radio, power, waiter, audioProbe, clockSync, folders, alarm, nullptr, nullptr});
    core.connectControls();
    seedFirstRun(store, library);
    writeFirstRunMarker(store);
    core.arming().armToday();
    store.SaveSetting(core.arming().activeApplication(), keys::kTime,
                      keys::minute(keys::kAmplifierDelay), QStringLiteral("5"));
    core.arming().armToday();

    struct Case {
        const char* what;
        bool amplifierOn;
        int warmUpMs;
        std::vector<double> ms;
    };
    Case cases[] = {{"amplifier off (warm-up 5 s)", false, 5000, {}},
                    {"amplifier on (warm-up 2 s)", true, 2000, {}}};
    int c = 0, n = 0;
    qint64 startedAt = 0;
    std::function<void()> next = [&] {
        if (n == rounds) {
            n = 0;
            if (++c == 2) {
                app.quit();
                return;
            }
        }
        if (cases[c].amplifierOn)
            core.relay().switchOn(false);
        else
            core.relay().switchOff();
        firstBufferAt = -1;
        startedAt = mono.elapsed();
        core.startEmergency(QStringLiteral("evacuate"), journal::kFromBus);
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (firstBufferAt < 0 || !core.emergency().inForce() ||
            core.emergency().inForce()->phase == Emergency::Phase::AllClear)
            return;
        cases[c].ms.push_back(double(firstBufferAt - startedAt - cases[c].warmUpMs));
        ++n;
        core.allClear(journal::kFromBus);
    });
    QObject::connect(&core.emergency(), &Emergency::changed, [&] {
        if (!core.emergency().inForce() && firstBufferAt >= 0)
            QTimer::singleShot(300, [&] { next(); });
    });
    poll.start(5);
    next();
    app.exec();

    std::printf(
        "StartEmergency to the first buffer of the signal at the sink, minus the warm-up, "
        "%d starts each, PulseAudio null sink:\n",
        rounds);
    for (Case& k : cases) {
        std::sort(k.ms.begin(), k.ms.end());
        if (k.ms.empty()) continue;
        std::printf("  %-30s median %4.0f ms   min %4.0f ms   max %4.0f ms\n", k.what,
                    k.ms[k.ms.size() / 2], k.ms.front(), k.ms.back());
    }
    return 0;
}
