#include "core/bellcore.h"

#include "calendar/dayrules.h"
#include "core/bellcoreparts.h"
#include "journal/journal.h"
#include "model/controlnames.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/autoshutdown.h"
#include "outputs/mediasources.h"
#include "outputs/soundplayer.h"
#include "platform/logging.h"
#include "scheduler/arming.h"
#include "scheduler/bellscheduler.h"
#include "scheduler/bellsequence.h"
#include "scheduler/talkingclock.h"
#include "status/dayreport.h"
#include "status/daystatus.h"
#include "status/selftest.h"
#include "store/programstore.h"

namespace tavirin {

BellCore::BellCore(Adapters adapters, QObject* parent)
    : QObject(parent), p_(std::make_unique<Parts>(adapters)) {
    Parts& p = *p_;
    // Changes are told once per turn of the event loop: a bell writes several rows in a row.
    changeTimer_.setSingleShot(true);
    changeTimer_.setInterval(0);
    connect(&changeTimer_, &QTimer::timeout, this, &BellCore::stateChanged);

    p.scheduler.setAlarm(p.a.alarm);
    p.scheduler.setShutdownWatch([this](bool slideIn) { p_->shutdown.checkShutdownTime(slideIn); });
    p.shutdown.setArmedTime([this] { return p_->arming.plan().shutdownAt; });
    p.scheduler.onProgress([this] { changed(); });
    p.media.onChanged([this] { changed(); });
    connect(&p.emergency, &Emergency::changed, this, [this] {
        const auto& f = p_->emergency.inForce();
        p_->dayStatus.setEmergency(emergencyBanner(p_->emergency), f && f->kind.holdsBells);
        changed();
    });

    const auto dueTimes = [this] { return p_->arming.plan().dueTimes(); };
    p.dayStatus.setTriggers(dueTimes);
    p.selfTest.setTriggers(dueTimes);
    p.selfTest.setBellInProgress([this] { return p_->scheduler.bellInProgress(); });
    p.scheduler.setTimeSkipped([this] { p_->selfTest.lookAgain(); });
    p.selfTest.onReport([this](const SelfTestReport& r) {
        if (p_->a.journal) p_->a.journal->recordChecks(r.at, checkRecords(r));
        p_->dayStatus.setSelfTest(r);
        changed();
    });

    // A change of the calendar or of today arms the board again (after a bell on its way).
    p.rules.onChanged([this](bool programsChanged) {
        p_->scheduler.armWhenIdle(programsChanged);
        changed();
    });
    p.arming.onPlanned([this](const DayPlan&) {
        p_->dayStatus.refresh();
        changed();
    });

    if (p.a.journal)
        p.a.journal->setChangeListener([this] {
            p_->dayStatus.journalChanged();
            for (const auto& f : journalListeners_) f();
            changed();
        });
}

BellCore::~BellCore() {
    // The journal outlives the core: a last write must not reach what is gone.
    if (p_->a.journal) p_->a.journal->setChangeListener({});
}

void BellCore::connectControls(bool timers) {
    p_->a.form.onClick(ctl::Command3555, [this] { announceNow(); });
    p_->media.connectControls();
    p_->shutdown.connectControls(timers);
    p_->scheduler.connectControls(timers);
}

QList<TimerHandler> BellCore::timerHandlers() {
    return p_->scheduler.timerHandlers() + p_->shutdown.timerHandlers();
}

void BellCore::changed() {
    if (!changeTimer_.isActive()) changeTimer_.start();
}

bool BellCore::bellInProgress() const {
    return p_->scheduler.bellInProgress() || p_->scheduler.progress().has_value();
}

ProgramStore& BellCore::store() {
    return p_->a.store;
}
Journal* BellCore::journal() {
    return p_->a.journal;
}
const Clock& BellCore::clock() const {
    return p_->a.clock;
}
Arming& BellCore::arming() {
    return p_->arming;
}
BellScheduler& BellCore::scheduler() {
    return p_->scheduler;
}
BellSequence& BellCore::sequence() {
    return p_->sequence;
}
TalkingClock& BellCore::talkingClock() {
    return p_->talkingClock;
}
SoundPlayer& BellCore::player() {
    return p_->player;
}
AmplifierRelay& BellCore::relay() {
    return p_->relay;
}
MediaSources& BellCore::media() {
    return p_->media;
}
AutoShutdown& BellCore::shutdown() {
    return p_->shutdown;
}
DayRules& BellCore::rules() {
    return p_->rules;
}
DayStatus& BellCore::dayStatus() {
    return p_->dayStatus;
}
SelfTest& BellCore::selfTest() {
    return p_->selfTest;
}
Emergency& BellCore::emergency() {
    return p_->emergency;
}

}  // namespace tavirin
