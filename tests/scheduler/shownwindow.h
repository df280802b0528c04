#pragma once

// Stand-ins for a bell run on real timers and real playback: the window stands shown, and
// pauses before radio or music take no time; and the scheduler's side of a bell over them.

#include "core/bellcore.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "outputs/waiter.h"
#include "platform/fake/fakealarmplayer.h"
#include "platform/fake/fakeaudioprobe.h"
#include "platform/fake/fakeclocksync.h"
#include "platform/fake/fakefolderprobe.h"
#include "platform/fake/fakepower.h"
#include "scheduler/arming.h"
#include "scheduler/bellscheduler.h"

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

// The program's core on real timers over the sound output handed in, the window standing
// shown, and doubles for what this machine has not (relay, power, outside programs).
struct BellChain {
    BellChain(FormModel& form, ProgramStore& store, const Clock& clock, const SoundLibrary& library,
              AudioOutput& audio, Dialogs& dialogs, SerialLines& serial, Processes& processes,
              RadioPlayer& radio, Waiter& waiter)
        : motion(form),
          core({form, motion, clock, store, nullptr, library, dialogs, audio, serial, processes,
                radio, power, waiter, audioProbe, clockSync, folders, alarmPlayer, nullptr,
                nullptr}),
          arming(core.arming()),
          scheduler(core.scheduler()),
          player(core.player()),
          relay(core.relay()),
          media(core.media()) {
        core.connectControls();
    }
    ShownWindow motion;
    FakePower power;
    FakeAudioProbe audioProbe;
    FakeClockSync clockSync;
    FakeFolderProbe folders;
    FakeAlarmPlayer alarmPlayer;
    BellCore core;
    Arming& arming;
    BellScheduler& scheduler;
    SoundPlayer& player;
    AmplifierRelay& relay;
    MediaSources& media;
};

}  // namespace tavirin
