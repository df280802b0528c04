// What the bell journal adds to a bell, on a real SQLite file (WAL, synchronous=FULL) in a
// temporary folder: the row written when the bell fires, and the row completed with its 13
// sounds when it is over (one transaction each, each synced). Ten rounds of 100 bells, on a
// journal that already holds 2000 bells (about a school year).
// The figures follow the disk's fsync: another program writing at the same time, or a
// spinning disk, shifts them.
#include "journal/sqlitejournal.h"
#include "platform/clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tavirin;

namespace {

constexpr int kRounds = 10;
constexpr int kBells = 100;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

BellRecord bell(const QDateTime& due) {
    BellRecord b;
    b.kind = journal::kScheduled;
    b.period = 3;
    b.due = due;
    b.fired = due.addMSecs(12);
    b.relay = journal::kRelayOn;
    b.relayDetail = QStringLiteral("COM1 /dev/ttyUSB0");
    return b;
}

void ended(BellRecord& b) {
    b.outcome = journal::kRang;
    b.onsetMs = 140;
    b.afterBell = QStringLiteral("off");
    b.relayOff = b.due.addSecs(40);
    b.ended = b.relayOff;
    for (int i = 0; i < 13; ++i)
        b.sounds.append({QStringLiteral("/home/teacher/rivedezode/time/standard/%1.wav").arg(i),
                         b.due.addSecs(6 + 2 * i),
                         b.due.addSecs(8 + 2 * i),
                         true,
                         {}});
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SystemClock clock;
    std::vector<double> fired, done, medFired, medDone;
    QTemporaryDir dir;
    SqliteJournal j(dir.filePath(QStringLiteral("journal.sqlite")), clock);
    if (!j.open()) return 1;
    const QDateTime start = clock.now().addDays(-400);
    for (int d = 0; d < 200; ++d) {
        for (int p = 0; p < 10; ++p) {
            BellRecord b = bell(start.addDays(d).addSecs(p * 3600));
            b.outcome = journal::kMissed;
            j.bellNotRung(b);
        }
    }
    for (int round = 0; round < kRounds; ++round) {
        std::vector<double> f, e;
        QElapsedTimer t;
        for (int i = 0; i < kBells; ++i) {
            BellRecord b = bell(clock.now().addSecs(round * kBells + i));
            t.start();
            b.id = j.bellFired(b);
            f.push_back(double(t.nsecsElapsed()) / 1e6);
            ended(b);
            t.start();
            j.bellEnded(b);
            e.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        medFired.push_back(median(f));
        medDone.push_back(median(e));
        fired.insert(fired.end(), f.begin(), f.end());
        done.insert(done.end(), e.begin(), e.end());
    }
    const auto line = [](const char* what, const std::vector<double>& all,
                         const std::vector<double>& medians) {
        std::printf("%-40s median %7.3f ms (round medians %.3f..%.3f)   max %7.3f ms\n", what,
                    median(all), *std::min_element(medians.begin(), medians.end()),
                    *std::max_element(medians.begin(), medians.end()),
                    *std::max_element(all.begin(), all.end()));
    };
    std::printf("journal writes per bell, %d rounds of %d bells, 2000 bells in the file before\n",
                kRounds, kBells);
    line("bell fired (one row, synced)", fired, medFired);
    line("bell ended (row + 13 sounds, synced)", done, medDone);
    return 0;
}
