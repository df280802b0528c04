#pragma once

// Stand-ins for a bell run on real timers and real playback: the window stands shown, and
// pauses before radio or music take no time; and the scheduler's side of a bell over them.

#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/waiter.h"
#include "scheduler/arming.h"
#include "scheduler/bellscheduler.h"
#include "scheduler/bellsequence.h"
#include "scheduler/talkingclock.h"

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

// The talking clock, arming, the bell sequence and the tick over the outputs handed in, with
// the window standing shown; the tick's controls connected.
struct BellChain {
    BellChain(FormModel& form, ProgramStore& store, const Clock& clock, const SoundLibrary& library,
              SoundPlayer& player, AmplifierRelay& relay, MediaSources& media, Waiter& waiter)
        : motion(form),
          talking(player),
          arming(form, store, clock, library),
          sequence(form, store, clock, library,
                   {player, talking, relay, media, waiter, motion, nullptr}),
          scheduler({form, store, clock, arming, sequence, talking, relay, media, motion}) {
        scheduler.connectControls();
    }
    ShownWindow motion;
    TalkingClock talking;
    Arming arming;
    BellSequence sequence;
    BellScheduler scheduler;
};

}  // namespace tavirin
