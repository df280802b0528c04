// What the self-test costs on the default library (the first-run program of today: chimes,
// the 64 word files of the standard voice, the system sound), with the program's own probes:
// the sound output (autoaudiosink into a PulseAudio null sink started here), every file
// through GStreamer's discoverer, timedated over the system bus (absent here: "unknown"),
// the store's and the library's folders. The relay's port is a stand-in: this machine has no
// relay, and opening a tty costs well under a millisecond (relay_bench).
//
// Prints, over repeated runs, the wall time from start to report and the CPU time of the
// whole process (all threads) it took; the first run is shown apart, since it also loads
// GStreamer's registry and the files from disk. What can shift them: the machine's load,
// a cold disk cache, a slow or frozen sound server (bounded at 5 s), the number of files.

#include "platform/audio/gstaudioprobe.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakedialogs.h"
#include "platform/fake/fakeseriallines.h"
#include "platform/fake/memorysettingsbackend.h"
#include "platform/storage/storagefolderprobe.h"
#include "platform/time/timedatedclocksync.h"
#include "status/selftest.h"
#include "store/firstrun.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "support/pulseserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace tavirin;

namespace {

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void print(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-34s median %7.1f ms  min %7.1f  max %7.1f  (%zu runs)\n", what, v[v.size() / 2],
                v.front(), v.back(), v.size());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    test::PulseServer pulse;
    if (!pulse.start())
        std::printf("no sound server (%s): the output check fails, as on a PC without one\n",
                    qPrintable(pulse.why()));
    QTemporaryDir config;
    SoundLibrary library(QStringLiteral(TAVIRIN_BENCH_SOUNDLIB));
    FakeClock clock(QDateTime(QDate(2026, 12, 9), QTime(6, 45)));
    MemorySettingsBackend backend;
    ProgramStore store(backend);
    seedFirstRun(store, library);
    FakeSerialLines serial;
    GstAudioProbe audio;
    TimedatedClockSync sync;
    StorageFolderProbe folders;
    FakeDialogs dialogs;
    SelfTest test({serial, audio, sync, folders}, store, library, clock, dialogs);
    test.setFolders({{SelfTest::kItemStore, config.path(), true},
                     {SelfTest::kItemLibrary, library.root(), false}});

    std::vector<double> wall, cpu;
    double firstWall = 0, firstCpu = 0;
    for (int i = 0; i <= runs; ++i) {
        QEventLoop loop;
        QObject::connect(&test, &SelfTest::finished, &loop, &QEventLoop::quit);
        QElapsedTimer t;
        t.start();
        const double c0 = cpuMs();
        test.run(QStringLiteral("bench"));
        loop.exec();
        const double w = t.nsecsElapsed() / 1e6, c = cpuMs() - c0;
        if (i == 0) {
            firstWall = w;
            firstCpu = c;
            for (const CheckResult& r : test.last().checks)
                std::printf("  %-8s %s\n", qPrintable(r.item), qPrintable(r.detail.left(100)));
        } else {
            wall.push_back(w);
            cpu.push_back(c);
        }
    }
    std::printf("first run: wall %.1f ms, CPU %.1f ms\n", firstWall, firstCpu);
    print("self-test, wall", wall);
    print("self-test, CPU (all threads)", cpu);
    return 0;
}
