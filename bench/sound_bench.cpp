// Sound playback figures, medians over repeated runs:
//  - the silence between two consecutive playWait sounds as the sink renders them (a real-time
//    fakesink: the time from the end of the last buffer of one sound to the first buffer of
//    the next; target under 30 ms),
//  - how long playWait takes beyond the sound's own length,
//  - how long playBlip takes to return (target under 5 ms).
// The sink here is "fakesink sync=true": the program's autoaudiosink adds the sound server's
// own stream start-up on top, which this machine (no sound device) cannot measure.

#include "outputs/soundplayer.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/fake/fakedialogs.h"

#include <gst/gst.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace tavirin;
using namespace std::chrono_literals;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
double maximum(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

bool tone(const QString& path, double seconds, int hz) {
    QProcess sox;
    sox.start("sox", {"-n", "-r", "22050", "-c", "1", "-b", "16", path, "synth",
                      QString::number(seconds), "sine", QString::number(hz), "vol", "0.5"});
    return sox.waitForFinished(20000) && sox.exitCode() == 0;
}

// Render times of one sound at the sink, in steady-clock microseconds.
struct Rendered {
    gint64 first = -1;
    gint64 end = -1;  // last buffer's start plus its duration
};

void onHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
    auto* r = static_cast<Rendered*>(data);
    const gint64 now = g_get_monotonic_time();
    if (r->first < 0) r->first = now;
    const GstClockTime d = GST_BUFFER_DURATION(buffer);
    r->end = now + (GST_CLOCK_TIME_IS_VALID(d) ? gint64(d / 1000) : 0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString a = dir.filePath("a.wav"), b = dir.filePath("b.wav");
    if (!tone(a, 0.25, 440) || !tone(b, 0.25, 660)) {
        std::fprintf(stderr, "sound_bench: sox failed\n");
        return 1;
    }

    FakeDialogs dialogs;
    std::vector<Rendered> rendered;
    rendered.reserve(256);
    GstAudioOutput out(QStringLiteral("fakesink name=bench sync=true signal-handoffs=true"), 20s);
    out.setPipelineObserver([&](GstElement*, GstElement* sinkBin) {
        rendered.emplace_back();
        GstElement* sink = gst_bin_get_by_name(GST_BIN(sinkBin), "bench");
        g_signal_connect(sink, "handoff", G_CALLBACK(onHandoff), &rendered.back());
        gst_object_unref(sink);
    });
    SoundPlayer player(out, dialogs);

    const int rounds = 15;
    std::vector<double> gapsMs, overheadMs;
    player.playWait(a);  // warm-up: plugin loading
    for (int i = 0; i < rounds; ++i) {
        rendered.clear();
        QElapsedTimer t;
        t.start();
        player.playWait(a);
        overheadMs.push_back(t.nsecsElapsed() / 1e6 - 250.0);
        player.playWait(b);
        if (rendered.size() == 2 && rendered[0].end > 0 && rendered[1].first > 0)
            gapsMs.push_back((rendered[1].first - rendered[0].end) / 1000.0);
    }

    std::vector<double> blipMs;
    const QString sys = a;
    for (int i = 0; i < 20; ++i) {
        for (int k = 0; k < 5; ++k) {  // the announcement's five blips, one right after another
            QElapsedTimer t;
            t.start();
            player.playBlip(sys);
            blipMs.push_back(t.nsecsElapsed() / 1e6);
        }
        QEventLoop wait;
        QTimer::singleShot(100, &wait, &QEventLoop::quit);
        wait.exec();
    }
    const int leftOver = out.pendingSpans();

    std::printf("sound playback (fakesink sync=true, 0.25 s WAV tones)\n");
    std::printf(
        "  gap between two playWait sounds at the sink: median %.2f ms, max %.2f ms "
        "(%zu pairs; target < 30 ms)\n",
        median(gapsMs), maximum(gapsMs), gapsMs.size());
    std::printf("  playWait time beyond the sound's length:    median %.2f ms, max %.2f ms\n",
                median(overheadMs), maximum(overheadMs));
    std::printf(
        "  playBlip return time:                       median %.3f ms, max %.3f ms "
        "(%zu blips; target < 5 ms)\n",
        median(blipMs), maximum(blipMs), blipMs.size());
    std::printf("  blip pipelines still held 100 ms after the last blip: %d\n", leftOver);
    std::printf("  notices shown: %d\n", dialogs.count("notice"));
    return 0;
}
