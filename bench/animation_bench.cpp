// What one tick of each slide costs on the real main window: the animator's step plus the
// window following it (widget geometry, style, layout), without painting to a screen. The
// animations tick every 16 ms; a tick that costs more than that slows the slide down and
// keeps the user-interface thread busy for its whole length.
//
// Run with QT_QPA_PLATFORM=offscreen. Prints median / 90th percentile / worst in ms.

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "ui/form1.h"
#include "ui/panelanimator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tavirin;

namespace {

void tick(FormModel& model, const char* name) {
    QTimer* t = model.timer(QString::fromLatin1(name));
    if (t->isActive()) QMetaObject::invokeMethod(t, "timeout");
}

// Times `rounds` ticks of the named timers (one tick each per round, while any runs).
void report(const char* what, FormModel& model, std::initializer_list<const char*> timers,
            int maxRounds) {
    std::vector<double> ms;
    for (int i = 0; i < maxRounds; ++i) {
        bool any = false;
        for (const char* t : timers) any = any || model.timer(QString::fromLatin1(t))->isActive();
        if (!any) break;
        QElapsedTimer e;
        e.start();
        for (const char* t : timers) tick(model, t);
        QCoreApplication::sendPostedEvents();  // the layout and polish the window posts
        ms.push_back(e.nsecsElapsed() / 1e6);
    }
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s ticks %4zu  median %8.3f ms  p90 %8.3f ms  max %8.3f ms  (frame %d ms)\n",
                what, ms.size(), ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(),
                PanelAnimator::kFrameTickMs);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    FormModel model;
    buildForm1(model);
    Form1 window(model);
    PanelAnimator animator(model, placeWidget(window), [] {});
    window.show();

    animator.showMainWindow();
    report("window show (Timer8 + Timer19)", model, {"Timer8", "Timer19"}, 200);
    // The panels tick at most 20 times each here: enough for the figures.
    animator.openSettingsPanel();
    report("settings panel in (Timer6)", model, {"Timer6"}, 20);
    model.timer(QStringLiteral("Timer6"))->stop();
    animator.openDevicePanel();
    report("device panel in (Timer13)", model, {"Timer13"}, 20);
    model.timer(QStringLiteral("Timer13"))->stop();
    animator.hideMainWindow();
    report("window hide (Timer9 + Timer18)", model, {"Timer9", "Timer18"}, 200);
    return 0;
}
