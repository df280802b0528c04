// Store timings on a real file in a temporary folder, as medians over repeated runs:
// first-run seeding (902 values, one sync), an editor save with seven-day mode off
// (7 x (128 + 4) = 924 values, one sync), and reading the dozen keys of a firing period.
#include "platform/clock.h"
#include "platform/settings/inisettingsbackend.h"
#include "store/dayprogram.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tavirin;

namespace {

constexpr int kRuns = 30;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void print(const char* what, const std::vector<double>& ms, const char* target) {
    std::printf("%-46s median %8.3f ms   min %8.3f   max %8.3f   (target %s)\n", what, median(ms),
                *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()),
                target);
}

// What the editor's write routine writes per day: the program, three radio addresses and
// the seven-day flag.
Result editorWrite(ProgramStore& store, const QString& app, const DayProgram& p, int run) {
    Result r = writeDayProgram(store, app, p);
    for (int i = 1; i <= 3 && r; ++i)
        r = store.SaveSetting(keys::kBaseApplication, keys::kRadioOnline, keys::radioOnline(i),
                              defaultRadioAddress(i) + QString::number(run));
    if (r) r = store.SaveSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key, "0");
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SystemClock clock;
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    const SoundLibrary lib(dir.filePath("rivedezode"));
    std::printf("settings store benchmark, %d runs each, files in %s\n", kRuns,
                qPrintable(dir.path()));

    std::vector<double> seed;
    for (int run = 0; run < kRuns; ++run) {
        const QString path = dir.filePath(QStringLiteral("seed%1/tavirin.ini").arg(run));
        IniSettingsBackend backend(path, clock);
        ProgramStore store(backend);
        QElapsedTimer t;
        t.start();
        ProgramStore::Burst burst(store);
        if (isFirstRun(store) && !seedFirstRun(store, lib)) return 1;
        writeFirstRunMarker(store);
        if (!burst.finish()) return 1;
        seed.push_back(t.nsecsElapsed() / 1e6);
        if (store.writeCount() != 902) return 1;
    }
    print("first-run seeding, 902 values, synced", seed, "< 20 ms");

    const QString path = dir.filePath(QStringLiteral("seed0/tavirin.ini"));
    IniSettingsBackend backend(path, clock);
    ProgramStore store(backend);
    std::vector<double> save;
    std::vector<double> saveWrites;
    std::vector<double> saveSync;
    for (int run = 0; run < kRuns; ++run) {
        DayProgram p = readDayProgram(store, 1);
        for (int n = 1; n <= keys::kPeriods; ++n)  // a real change, so the sync writes
            p.period(n).soundFile = lib.otherFolder() + QStringLiteral("/เสียง%1.wav").arg(run);
        const int before = store.writeCount();
        QElapsedTimer t;
        t.start();
        ProgramStore::Burst burst(store);
        for (int d = 1; d <= keys::kDays; ++d)
            if (!editorWrite(store, keys::dayApplication(d), p, run)) return 1;
        const qint64 written = t.nsecsElapsed();
        if (!burst.finish()) return 1;
        save.push_back(t.nsecsElapsed() / 1e6);
        saveWrites.push_back(written / 1e6);
        saveSync.push_back((t.nsecsElapsed() - written) / 1e6);
        if (store.writeCount() - before != 924) return 1;
    }
    print("editor save, 7 x 132 = 924 values, synced", save, "< 20 ms");
    print("  of which the 924 writes into the store", saveWrites, "-");
    print("  of which the sync (file, 2 x fsync, rename)", saveSync, "-");

    // A firing period: its hour, minute, after-bell media, add-on switch and sound, and the
    // day-wide chimes, announce mode, voice, delay and shutdown time.
    std::vector<double> read;
    const QString today = keys::dayApplication(3);
    constexpr int kRepeats = 2000;
    qsizetype sink = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        for (int rep = 0; rep < kRepeats; ++rep) {
            const int n = 1 + rep % keys::kPeriods;
            const auto get = [&](const QString& s, const QString& k) {
                sink += store.GetSetting(today, s, k, QString()).size();
            };
            get(keys::kTime, keys::hour(n));
            get(keys::kTime, keys::minute(n));
            get(keys::kFm, keys::fm(n));
            get(keys::kNumber, keys::number(n));
            get(keys::kSond, keys::sond(n));
            get(keys::kTime, keys::minute(keys::kFrontChime));
            get(keys::kTime, keys::minute(keys::kBackChime));
            get(keys::kTime, keys::minute(keys::kAnnounceMode));
            get(keys::kTime, keys::minute(keys::kVoiceFolder));
            get(keys::kTime, keys::minute(keys::kAmplifierDelay));
            get(keys::kTime, keys::hour(keys::kShutdownHour));
            get(keys::kTime, keys::minute(keys::kShutdownMinute));
        }
        read.push_back(t.nsecsElapsed() / 1e6 / kRepeats);
    }
    print("firing period's 12 keys read", read, "< 0.1 ms");
    std::printf("(checksum of reads: %lld)\n", static_cast<long long>(sink));
    return 0;
}
