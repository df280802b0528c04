#pragma once

// Stand-ins for a bell run on real timers and real playback: the window stands shown, and
// pauses before radio or music take no time.

#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/waiter.h"

#include <QTimer>

namespace tavirin {

// Already shown at top 1200; hiding only restarts the scheduler tick, as the end of the
// slide-out does.
class ShownWindow final : public WindowMotion {
public:
    explicit ShownWindow(FormModel& f) : form_(f) {}
    void showMainWindow() override {}
    void hideMainWindow() override { form_.timer(QStringLiteral("Timer3"))->start(); }
    int windowTopCounter() const override { return 1200; }
    int windowHeightCounter() const override { return 6165; }

private:
    FormModel& form_;
};

class NoWait final : public Waiter {
public:
    void waitMs(int) override {}
};

}  // namespace tavirin
