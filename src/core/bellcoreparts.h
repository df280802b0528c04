#pragma once

// What the core is made of; only the core's own files include this.

#include "calendar/dayrules.h"
#include "core/bellcore.h"
#include "core/emergency.h"
#include "outputs/amplifierrelay.h"
#include "outputs/autoshutdown.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "scheduler/arming.h"
#include "scheduler/bellscheduler.h"
#include "scheduler/bellsequence.h"
#include "scheduler/talkingclock.h"
#include "status/daystatus.h"
#include "status/selftest.h"
#include "store/dayprogram.h"

namespace tavirin {

// Built in the order they need each other; destroyed in reverse.
struct BellCore::Parts {
    Adapters a;
    SoundPlayer player;
    AmplifierRelay relay;
    MediaSources media;
    AutoShutdown shutdown;
    TalkingClock talkingClock;
    Arming arming;
    BellSequence sequence;
    BellScheduler scheduler;
    DayRules rules;
    DayStatus dayStatus;
    SelfTest selfTest;
    Emergency emergency;

    explicit Parts(const Adapters& ad)
        : a(ad),
          player(a.audio, a.dialogs, &a.clock),
          relay(a.form, a.store, a.serial, a.dialogs),
          media(a.form, relay, a.processes, a.waiter, a.radio, a.dialogs),
          shutdown(a.form, a.motion, media, relay, a.power, a.dialogs),
          talkingClock(player),
          arming(a.form, a.store, a.clock, a.library),
          sequence(a.form, a.store, a.clock, a.library,
                   BellSequence::Outputs{player, talkingClock, relay, media, a.waiter, a.motion,
                                         a.tray}),
          scheduler(BellScheduler::Parts{a.form, a.store, a.clock, arming, sequence, talkingClock,
                                         relay, media, a.motion, a.journal}),
          rules(a.store, a.clock, a.dialogs),
          dayStatus(a.form, a.clock, a.tray, a.journal),
          selfTest(SelfTest::Probes{a.serial, a.audioProbe, a.clockSync, a.folderProbe}, a.store,
                   a.library, a.clock, a.dialogs),
          emergency(Emergency::Parts{scheduler, relay, media, shutdown, a.alarmPlayer, a.motion,
                                     a.journal, a.clock, a.store, a.library, a.dialogs,
                                     [this] { return amplifierDelaySeconds(); }}) {}

    // Today's ringing program's warm-up, as its bells count it down.
    int amplifierDelaySeconds() const {
        bool ok = false;
        const int s =
            readDayProgram(a.store, arming.plan().application).amplifierDelaySeconds.toInt(&ok);
        return ok && s >= 0 && s <= 60 ? s : 5;
    }
};

}  // namespace tavirin
