// Sound output figures through the real GStreamer output (autoaudiosink) into a PulseAudio
// null sink started here, its monitor recorded with parec, over repeated runs:
//  - the silence between consecutive words at the sink, median and max (target <= 5 ms
//    median), with the sink at a low latency (a silent 20 ms stream beside ours) and at
//    PulseAudio's default latency. The words are tones with no silence of their own, so
//    every silent sample in the recording between two of them is the output's;
//  - the whole 08:00 bell of the default library (front chime, the time twice, the system
//    sound, back chime): wall time from opening its stream to its close (the moment the
//    amplifier would go off) and its length in the recording, against the sum of its files'
//    durations (target <= sum + 0.5 s);
//  - how long five blips hold the sequence, and how long playBlip takes to return.
// What can shift them: the machine's load (the decoder and the stream's worker must keep
// ahead of the output), the sink's latency, and for the bell a slow disk on the first read.

#include "outputs/soundplayer.h"
#include "platform/audio/gstaudiooutput.h"
#include "platform/fake/fakedialogs.h"
#include "platform/soundtestfiles.h"
#include "scheduler/clockwords.h"
#include "store/soundlibrary.h"
#include "support/pulseserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tavirin;
using namespace tavirin::test;
using namespace std::chrono_literals;

namespace {

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
double maximum(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}
double minimum(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

void pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Figures {
    std::vector<double> gapsMs;
    int missingWords = 0;
    std::vector<double> cutAtCloseMs;  // of the last word, not yet played when the stream closed
    std::vector<double> onsetMs;       // from opening the bell's stream to its first sample
    std::vector<double> bellWallOverS, bellHeardOverS, blipHoldMs, blipReturnMs;
    double bellSumS = 0;
};

// The recording ends some time after the last sample; at default latency the monitor delivers
// what the sink has rendered, up to two seconds ahead.
constexpr int kTailMs = 2500;

void measure(int holdLatencyMs, int rounds, const QString& lib, Figures& f) {
    PulseServer server;
    if (!server.start({QStringLiteral("bells"), holdLatencyMs})) {
        std::fprintf(stderr, "sound_bench: %s\n", qPrintable(server.why()));
        std::exit(1);
    }
    QTemporaryDir dir;
    QStringList words;
    for (int i = 0; i < 11; ++i) {
        const QString w = dir.filePath(QStringLiteral("w%1.wav").arg(i));
        if (!makeTone(w, 0.3 + 0.03 * i, 400 + 40 * i)) std::exit(1);
        words << w;
    }
    const SoundLibrary library(lib);
    const ClockWords cw = buildClockWords(library.standardVoiceFolder(), library);
    QStringList bell{library.frontChimeFile()};
    for (int i = 0; i < 2; ++i)
        bell << cw.intro << cw.number[8] << cw.oclock << cw.number[0] << cw.systemSound;
    bell << cw.systemSound << library.backChimeFile();
    f.bellSumS = 0;
    for (const QString& b : bell) f.bellSumS += readWav(b).seconds();

    FakeDialogs dialogs;
    GstAudioOutput out(QStringLiteral("autoaudiosink"));
    SoundPlayer player(out, dialogs);
    player.playWait(words[0]);  // warm-up: plugins, the server connection

    for (int r = 0; r < rounds; ++r) {
        // words
        MonitorRecorder rec(server, dir.filePath("words.wav"), 44100, 1);
        rec.start();
        player.openStream();
        for (const QString& w : words) player.playWait(w);
        player.closeStream();
        // Where the amplifier would go off: freeze the server there, so the recording holds
        // only what the sink had played by then (at a low latency; at the default one the
        // sink has rendered everything long before).
        if (holdLatencyMs > 0) server.freeze();
        if (holdLatencyMs == 0) pause(kTailMs);
        rec.stop();
        server.thaw();
        const QList<Stretch> loud = loudStretches(readWav(rec.path()), 100, 0.5);
        if (holdLatencyMs > 0 && !loud.isEmpty()) {
            double wordsS = 0;
            for (const QString& w : words) wordsS += readWav(w).seconds();
            const double heardS = double(loud.last().last - loud.first().first + 1) / 44100;
            f.cutAtCloseMs.push_back((wordsS - heardS) * 1000);
        }
        const int junctions = int(words.size()) - 1;
        if (loud.size() > words.size()) f.missingWords += int(loud.size() - words.size());
        for (int i = 1; i < loud.size(); ++i)
            f.gapsMs.push_back(double(loud[i].first - loud[i - 1].last - 1) * 1000 / 44100);
        for (int i = int(loud.size()) - 1; i < junctions; ++i) f.gapsMs.push_back(0);

        // the 08:00 bell
        MonitorRecorder bellRec(server, dir.filePath("bell.wav"), 44100, 1);
        bellRec.start();
        QElapsedTimer wall;
        wall.start();
        player.openStream();
        for (const QString& b : bell) player.playWait(b);
        const StreamOutcome closed = player.closeStream();
        f.onsetMs.push_back(double(closed.onsetMs - wall.msecsSinceReference()));
        f.bellWallOverS.push_back(wall.elapsed() / 1000.0 - f.bellSumS);
        pause(kTailMs);
        bellRec.stop();
        const QList<Stretch> heard = loudStretches(readWav(bellRec.path()), 0, 1000);
        if (!heard.isEmpty())
            f.bellHeardOverS.push_back(double(heard.last().last - heard.first().first + 1) / 44100 -
                                       f.bellSumS);

        // five blips, then the next sound
        player.openStream();
        QElapsedTimer hold;
        hold.start();
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            player.playBlip(cw.systemSound);
            f.blipReturnMs.push_back(t.nsecsElapsed() / 1e6);
        }
        f.blipHoldMs.push_back(hold.nsecsElapsed() / 1e6);
        player.playWait(words[0]);
        player.closeStream();
    }
    if (dialogs.count("notice") > 0)
        std::printf("  (%d sound failures were reported)\n", dialogs.count("notice"));
}

void print(const char* what, const Figures& f) {
    std::printf("%s\n", what);
    std::printf(
        "  silence between consecutive words at the sink: median %.1f ms, max %.1f ms "
        "(%zu junctions; target <= 5 ms median)\n",
        median(f.gapsMs), maximum(f.gapsMs), f.gapsMs.size());
    if (!f.cutAtCloseMs.empty())
        std::printf(
            "  last word not yet played out when the stream's close returned: median %.1f ms, "
            "max %.1f ms (includes parec's 20 ms; target 0)\n",
            median(f.cutAtCloseMs), maximum(f.cutAtCloseMs));
    if (f.missingWords) std::printf("  (%d extra silences inside words)\n", f.missingWords);
    std::printf(
        "  08:00 bell, files %.2f s: open to close %+.2f s (min %+.2f, max %+.2f), heard at the "
        "sink %+.2f s (min %+.2f, max %+.2f); target <= +0.5 s\n",
        f.bellSumS, median(f.bellWallOverS), minimum(f.bellWallOverS), maximum(f.bellWallOverS),
        median(f.bellHeardOverS), minimum(f.bellHeardOverS), maximum(f.bellHeardOverS));
    std::printf("  08:00 bell: first sample %.0f ms after the stream was opened (max %.0f)\n",
                median(f.onsetMs), maximum(f.onsetMs));
    std::printf(
        "  five blips: playBlip returns in %.2f ms median (max %.2f), all five queued in "
        "%.1f ms median (max %.1f)\n",
        median(f.blipReturnMs), maximum(f.blipReturnMs), median(f.blipHoldMs),
        maximum(f.blipHoldMs));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "tavirin.*.info=false");
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const QString lib = QString::fromUtf8(TAVIRIN_BENCH_SOUNDLIB);
    Figures low, standard;
    measure(20, rounds, lib, low);
    measure(0, rounds, lib, standard);
    std::printf("sound output through autoaudiosink into a PulseAudio null sink, %d rounds\n",
                rounds);
    print("low-latency sink (a 20 ms stream beside the bell's):", low);
    print("sink at PulseAudio's default latency:", standard);
    return 0;
}
