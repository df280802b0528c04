// One scheduler tick while watching (no bell due): what the 100 ms tick costs all day.
#include "coreharness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tavirin;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CoreHarness h;
    h.seedAndArm();
    h.clock.set(QDate(2026, 12, 9), QTime(7, 30, 0));
    std::vector<double> perTick;
    for (int round = 0; round < 15; ++round) {
        QElapsedTimer t;
        t.start();
        const int ticks = 20000;
        for (int i = 0; i < ticks; ++i) {
            h.clock.advanceMs(100);
            if (h.clock.now().time() > QTime(7, 59, 0))
                h.clock.set(QDate(2026, 12, 9), QTime(7, 30, 0));
            h.scheduler.Timer3_Timer();
        }
        perTick.push_back(double(t.nsecsElapsed()) / ticks / 1000.0);
    }
    std::sort(perTick.begin(), perTick.end());
    const double median = perTick[perTick.size() / 2];
    std::printf(
        "scheduler tick while watching: median %.2f us per tick, %.3f CPU-s per hour of ticks\n",
        median, median * 36000 / 1e6);
    return 0;
}
