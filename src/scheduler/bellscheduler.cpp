#include "scheduler/bellscheduler.h"

#include "journal/journal.h"
#include "model/controlnames.h"
#include "model/form1layout.h"
#include "model/formmodel.h"
#include "model/windowmotion.h"
#include "outputs/amplifierrelay.h"
#include "outputs/mediasources.h"
#include "platform/clock.h"
#include "platform/logging.h"
#include "platform/wallclockalarm.h"
#include "scheduler/arming.h"
#include "scheduler/bellsequence.h"
#include "scheduler/latebells.h"
#include "scheduler/talkingclock.h"
#include "scheduler/watchplan.h"
#include "store/dayprogram.h"
#include "store/keylayout.h"
#include "store/programstore.h"

#include <QSet>

namespace tavirin {

namespace {

const QString kStarting = QStringLiteral(" ออดเริ่มทำงาน ");
constexpr int kShownTop = 1200;
// A tick started by a plain start() (the end of the slide-down) comes this soon, then aligns.
constexpr int kResumeMs = 100;
constexpr int kLongestDelaySeconds = 10;

QTime wholeSecond(QTime t) {
    return QTime(t.hour(), t.minute(), t.second());
}

}  // namespace

BellScheduler::BellScheduler(Parts parts) : p_(parts), recorder_(parts.journal, parts.clock) {
    // The compared table follows the armed day.
    p_.arming.onPlanned([this](const DayPlan& plan) { planned(plan); });
    p_.sequence.setOnProgress(
        [this](BellProgress::Phase phase, int sound, int of) { setProgress(phase, sound, of); });
    replan_.setSingleShot(true);
    replan_.setInterval(0);
    QObject::connect(&replan_, &QTimer::timeout, &p_.form, [this] {
        if (sleeping_ && p_.form.timer(ctl::Timer3)->isActive()) Timer3_Timer();
    });
}

void BellScheduler::setAlarm(WallClockAlarm* alarm) {
    alarm_ = alarm;
    if (!alarm_) return;
    alarm_->setHandler([this](WallClockAlarm::Wake wake) {
        QTimer* tick = p_.form.timer(ctl::Timer3);
        if (!tick->isActive()) return;  // a bell is on its way; its end resumes the tick
        if (wake == WallClockAlarm::Wake::ClockChanged)
            qCInfo(lcScheduler) << "the wall clock moved while watching; looking at it now";
        Timer3_Timer();
    });
}

void BellScheduler::setWindowShown(bool shown) {
    if (windowShown_ == shown) return;
    windowShown_ = shown;
    // A window shown during a long sleep gets its clock now, and the tick every second.
    if (shown && sleeping_ && p_.form.timer(ctl::Timer3)->isActive()) Timer3_Timer();
}

void BellScheduler::planned(const DayPlan& plan) {
    triggersStale_ = true;
    // The sleep was planned for the old bells: a new one may be due before it ends.
    if (sleeping_) replan_.start();
    quietSeconds_.clear();
    for (const QuietBell& q : plan.quiet) quietSeconds_.append(q.at.msecsSinceStartOfDay() / 1000);
    // The quiet bells still to come: after the last tick of this day, or from now.
    const QDateTime from =
        lastTick_.isValid() && lastTick_.date() == plan.date ? lastTick_ : p_.clock.now();
    const int s = from.time().msecsSinceStartOfDay() / 1000;
    const bool after = from == lastTick_;
    nextQuiet_ = 0;
    while (nextQuiet_ < quietSeconds_.size() &&
           (after ? quietSeconds_[nextQuiet_] <= s : quietSeconds_[nextQuiet_] < s))
        ++nextQuiet_;
}

// One comparison per tick: the next quiet bell's time against the clock.
void BellScheduler::passQuietBells(const QDateTime& now) {
    const DayPlan& plan = p_.arming.plan();
    if (plan.date != now.date()) return;
    const int s = now.time().msecsSinceStartOfDay() / 1000;
    for (; nextQuiet_ < quietSeconds_.size() && quietSeconds_[nextQuiet_] <= s; ++nextQuiet_) {
        const QuietBell& q = plan.quiet[nextQuiet_];
        qCInfo(lcScheduler).noquote() << "the bell of period" << q.period << "at" << clockText(q.at)
                                      << "is not rung today:" << q.reason;
        recorder_.quiet(q, plan.date);
    }
    // A skipped bell is over once its second has passed: the board shows the day without it.
    if (plan.refreshAt.isValid() && s > plan.refreshAt.msecsSinceStartOfDay() / 1000)
        p_.arming.armBoard();
}

void BellScheduler::armWhenIdle(bool reloadEditor) {
    const Pending wanted = reloadEditor ? Pending::Whole : Pending::Board;
    if (bellInProgress()) {
        if (pendingArm_ != Pending::Whole) pendingArm_ = wanted;
        qCInfo(lcScheduler) << "a bell is on its way; today's bells are armed again after it";
        return;
    }
    pendingArm_ = Pending::None;
    if (wanted == Pending::Whole)
        p_.arming.armToday();
    else
        p_.arming.armBoard();
}

QList<TimerHandler> BellScheduler::timerHandlers() {
    return {{ctl::Timer3, [this] { Timer3_Timer(); }},
            {ctl::Timer1, [this] { Timer1_Timer(); }},
            {ctl::Timer222, [this] { Timer222_Timer(); }},
            {ctl::Timer21, [this] { Timer21_Timer(); }},
            {ctl::Timer22, [this] { Timer22_Timer(); }}};
}

void BellScheduler::connectControls(bool timers) {
    for (const QString& t : {ctl::Timer3, ctl::Timer21, ctl::Timer22, ctl::Timer4})
        p_.form.timer(t)->setTimerType(Qt::PreciseTimer);
    if (timers)
        for (const TimerHandler& h : timerHandlers())
            QObject::connect(p_.form.timer(h.timer), &QTimer::timeout, &p_.form, h.run);
}

void BellScheduler::compileTriggers() {
    const DayPlan& plan = p_.arming.plan();
    triggers_ = plan.dueTimes();
    dueTimes_.clear();
    for (const QTime& t : triggers_)
        if (t.isValid()) dueTimes_.append(t);
    if (plan.shutdownAt.isValid()) dueTimes_.append(plan.shutdownAt);
    triggersStale_ = false;
}

void BellScheduler::planNextTick(const QDateTime& now) {
    QTimer* tick = p_.form.timer(ctl::Timer3);
    // Awake: shown, no alarm to wake a sleep, or the shutdown countdown running.
    const bool awake = windowShown_ || !alarm_ || p_.form.timer(ctl::Timer23)->isActive();
    const watchplan::Plan plan = watchplan::next(now, dueTimes_, awake);
    tick->start(int(plan.ms));
    if (plan.sleeping) {
        if (!sleeping_) qCDebug(lcScheduler) << "watching asleep for" << plan.ms / 1000 << "s";
        alarm_->wakeIn(plan.ms);
    } else if (sleeping_ && alarm_) {
        alarm_->cancel();
    }
    sleeping_ = plan.sleeping;
}

void BellScheduler::stopTick() {
    QTimer* tick = p_.form.timer(ctl::Timer3);
    tick->stop();
    tick->setInterval(kResumeMs);
    if (sleeping_ && alarm_) alarm_->cancel();
    sleeping_ = false;
}

QString BellScheduler::refreshClockLabel() {
    return refreshClockLabel(p_.clock.now());
}

QString BellScheduler::refreshClockLabel(const QDateTime& now) {
    const QString text = clockText(now.time());
    p_.form.setText(ctl::Label1, text);
    p_.form.setToolTip(ctl::Label1, QStringLiteral("เวลาขณะนี้คือ ") + text);
    return text;
}

void BellScheduler::Timer3_Timer() {
    // A change of the calendar made while a bell was on its way.
    if (pendingArm_ != Pending::None) armWhenIdle(pendingArm_ == Pending::Whole);
    // One reading of the clock per tick.
    const QDateTime now = p_.clock.now();
    const ElapsedClocks elapsed = p_.clock.elapsed();
    if (const int day = now.date().dayOfWeek(); day >= 1 && day <= 7)
        p_.form.setText(ctl::lbl_dayy, clockDayName(day));

    const QString text = refreshClockLabel(now);

    // The change of day: at 00:00:00, and also whenever the date is seen to have changed
    // (a bell or a suspend may have covered midnight). Trigger seconds no tick saw are looked
    // for in the table of their own day, before and after the re-arming.
    const QDate date = now.date();
    const bool dateChanged = lastTick_.isValid() && date != lastTick_.date();
    const bool gap = latebells::skipsASecond(lastTick_, now);
    QList<UnseenTrigger> unseen;
    if (gap) unseen = latebells::unseen(triggers(), lastTick_.date(), lastTick_, now);
    if (text == QLatin1String("00:00:00") || dateChanged) {
        if (dateChanged) qCInfo(lcScheduler) << "new day" << date.toString(Qt::ISODate);
        p_.arming.armToday();
        recorder_.newDay(now);
    }
    if (gap && dateChanged) unseen += latebells::unseen(triggers(), date, lastTick_, now);
    if (gap && timeSkipped_) timeSkipped_();

    if (triggersStale_) compileTriggers();
    const QTime second = wholeSecond(now.time());
    bool hit = false;
    for (const QTime& trigger : triggers_) hit = (trigger == second) || hit;
    LateBellDecision late;
    if (!unseen.isEmpty()) {
        late = latebells::decide(unseen, now, runSinceLastTick_, hit, latebells::graceMs(p_.store),
                                 latebells::cause(lastTick_, lastElapsed_, now, elapsed));
        latebells::report(late, lastTick_);
    }
    lastTick_ = now;
    lastElapsed_ = elapsed;
    runSinceLastTick_ = false;

    std::optional<Late> lateBell;
    QDateTime due;
    for (const LateBellDecision::Entry& e : late.entries) {
        if (e.reason == LateBellDecision::Reason::RingsLate) {
            due = e.trigger.due;
            lateBell =
                Late{due.msecsTo(now), latebells::reasonCode(late, e), latebells::detail(late, e)};
        } else {
            recorder_.notRung(late, e);
        }
    }

    bool fired = false;
    if (hit || late.ringLate.isValid()) {
        const QTime rings = hit ? second : late.ringLate.time();
        if (hit) due = QDateTime(date, second);
        // A clock stepped back across a trigger second must not ring it a second time.
        const QDateTime key = due;
        const QString heldBy = held_ ? held_() : QString();
        if (key != lastFiredKey_ && !heldBy.isEmpty()) {
            lastFiredKey_ = key;
            for (int n = 1; n <= keys::kPeriods; ++n) {
                if (triggers_[std::size_t(n - 1)] != rings) continue;
                qCInfo(lcScheduler).noquote() << "the bell of period" << n << "at"
                                              << clockText(rings) << "is held:" << heldBy;
                recorder_.held(n, due, heldBy);
                if (onHeld_) onHeld_(n, due);
            }
        } else if (key != lastFiredKey_) {
            lastFiredKey_ = key;
            fire(rings, due, lateBell);
            fired = true;
        } else if (key != lastRefusedKey_) {
            // Said once: the clock may stand in that second for many ticks.
            lastRefusedKey_ = key;
            qCInfo(lcScheduler) << "trigger" << clockText(rings)
                                << "already rang today; the clock went back";
        }
    } else {
        recorder_.watching(now, elapsed);
    }

    passQuietBells(now);

    // The shutdown watch rides on this tick; Timer4 keeps it only while the tick is stopped.
    if (shutdownWatch_) shutdownWatch_(true);
    if (!fired && p_.form.timer(ctl::Timer3)->isActive()) planNextTick(now);
}

void BellScheduler::accountForStartUp() {
    const QDateTime now = p_.clock.now();
    recorder_.startUp(triggers(), now);
    // The tick takes over from the second before this one: a trigger in this very second
    // that the first tick does not see rings late rather than go unrecorded.
    lastTick_ = now.addSecs(-1);
    const ElapsedClocks e = p_.clock.elapsed();
    lastElapsed_ = {e.monotonicMs < 0 ? -1 : e.monotonicMs - 1000,
                    e.boottimeMs < 0 ? -1 : e.boottimeMs - 1000};
}

const DueTimes& BellScheduler::triggers() {
    if (triggersStale_) compileTriggers();
    return triggers_;
}

void BellScheduler::fire(QTime at, const QDateTime& due, const std::optional<Late>& late) {
    qCInfo(lcScheduler) << "bell fired at" << clockText(at);
    firedAt_ = at;
    // The countdown counts from the trigger's second; a late bell's from now.
    dueAt_ = late ? p_.clock.now() : due;
    runSinceLastTick_ = true;
    p_.media.stopMedia();
    stopTick();
    // The shutdown watch while the tick is stopped.
    p_.form.timer(ctl::Timer4)->start();
    p_.motion.showMainWindow();
    p_.form.setVisible(ctl::Label2, true);
    p_.form.setVisible(ctl::Label242, true);
    p_.form.setText(ctl::Label242, QString());
    p_.form.timer(ctl::Timer1)->start();
    p_.form.setEnabled(ctl::Command3555, false);
    const RelayOutcome relay = p_.relay.switchOn(true);
    // The highest-numbered period of that time is the one whose sound rings.
    std::optional<int> period;
    for (int n = 1; n <= keys::kPeriods; ++n)
        if (triggers_[std::size_t(n - 1)] == at) period = n;
    if (manualPeriod_) period = manualPeriod_;
    const QString kind = manualPeriod_ ? journal::kManual : journal::kScheduled;
    if (late)
        recorder_.fired(kind, period, due, relay, late->ms, late->reason, late->detail);
    else
        recorder_.fired(kind, period, due, relay);
    beginBell(kind, period);
}

bool BellScheduler::ringPeriodNow(int n) {
    if (n < 1 || n > keys::kPeriods || bellInProgress() || progress_) return false;
    qCInfo(lcScheduler) << "period" << n << "rung on request";
    const QDateTime now = p_.clock.now();
    manualPeriod_ = n;
    fire(wholeSecond(now.time()), QDateTime(now.date(), wholeSecond(now.time())));
    return true;
}

void BellScheduler::cutBell(const QString& why) {
    if (!progress_) return;
    qCInfo(lcScheduler).noquote() << "the bell in progress is cut:" << why;
    switch (progress_->phase) {
        case BellProgress::Phase::Sounds:
            // The run returns at once; its end is recorded where it was started.
            p_.sequence.cut(why);
            return;
        case BellProgress::Phase::AfterBell:
            // Its sounds are over; radio or music after its pause is not started.
            p_.sequence.cut(why);
            return;
        case BellProgress::Phase::Countdown:
            break;
    }
    for (const QString& t : {ctl::Timer1, ctl::Timer222, ctl::Timer21, ctl::Timer22, ctl::Timer4})
        p_.form.timer(t)->stop();
    manualPeriod_.reset();
    p_.form.setEnabled(ctl::Command3555, true);
    endBell(p_.sequence.cutBeforeRun(why));
}

void BellScheduler::beginBell(const QString& kind, std::optional<int> period) {
    progress_ =
        BellProgress{kind, period, BellProgress::Phase::Countdown, p_.sequence.delayCount(), 0, 0};
    for (const auto& f : progressChanged_) f();
}

void BellScheduler::setProgress(BellProgress::Phase phase, int sound, int of) {
    if (!progress_) return;
    progress_->phase = phase;
    progress_->sound = sound;
    progress_->of = of;
    if (phase == BellProgress::Phase::Countdown) progress_->countdown = p_.sequence.delayCount();
    for (const auto& f : progressChanged_) f();
}

void BellScheduler::endBell(const BellRun& run) {
    recorder_.ended(run);
    progress_.reset();
    // A cut bell does not hide the window, whose end would bring the tick back.
    if (!run.cut.isEmpty()) {
        p_.form.setEnabled(ctl::Command3555, true);
        resumeWatching();
    }
    for (const auto& f : progressChanged_) f();
}

void BellScheduler::Timer1_Timer() {
    const QDateTime now = p_.clock.now();
    refreshClockLabel(now);
    bool identified = false;
    // The periods are identified by the trigger that fired (a late one included), not by the
    // clock now, so a second that changed in the 100 ms since cannot lose them.
    // The armed day says what each period of that second rings (the program that rings
    // today: another weekday's when the calendar says so); the highest-numbered one counts.
    const DayPlan& plan = p_.arming.plan();
    for (int n = 1; n <= keys::kPeriods; ++n) {
        if (manualPeriod_ ? n != *manualPeriod_ : triggers_[std::size_t(n - 1)] != firedAt_)
            continue;
        const PeriodPlan& pp = plan.periods[std::size_t(n - 1)];
        identified = true;
        p_.form.setText(ctl::Label2, kStarting);
        p_.sequence.loadSequenceSettings();
        const QString media = afterBellText(pp.afterBell);
        p_.form.setValue(ctl::afterBellMedia, media);
        p_.form.setText(ctl::Text3,
                        pp.addOn.isEmpty() ? p_.talkingClock.words().systemSound : pp.addOn);
        qCInfo(lcScheduler) << "period" << n << "rings; add-on" << p_.form.text(ctl::Text3)
                            << "after the bell" << media;
    }
    manualPeriod_.reset();
    if (identified) {
        prerollRun();
        setProgress(BellProgress::Phase::Countdown);
    }
    windowWaits_ = 0;
    p_.form.timer(ctl::Timer222)->start();
    p_.form.timer(ctl::Timer1)->stop();
    p_.form.timer(ctl::Timer22)->start(int(watchplan::msToNextSecond(now)));
    // A window that stood shown already is there now: the countdown need not wait for the
    // first 400 ms look.
    if (p_.motion.windowTopCounter() == kShownTop) Timer222_Timer();
}

void BellScheduler::Timer222_Timer() {
    const bool arrived = p_.motion.windowTopCounter() == kShownTop;
    if (!arrived && ++windowWaits_ < kWindowWaitLimit) return;
    if (!arrived)
        qCWarning(lcScheduler) << "the window did not reach its place; the bell starts anyway";
    p_.form.timer(ctl::Timer222)->stop();
    startCountdown();
}

// The countdown's seconds are counted from the due time, not from whenever the window arrived:
// step k comes k seconds after it, so the run starts at due + delay (a step already past when
// the window arrives comes at once).
void BellScheduler::startCountdown() {
    countdownFrom_ = p_.sequence.delayCount();
    armCountdownStep();
}

void BellScheduler::armCountdownStep() {
    const int done = countdownFrom_ - p_.sequence.delayCount();
    const QDateTime at = dueAt_.addMSecs(qint64(done + 1) * 1000);
    p_.form.timer(ctl::Timer21)
        ->start(int(qBound(qint64(0), p_.clock.now().msecsTo(at), qint64(1000))));
}

// The bell's output stream is opened now and its front chime queued to start when the
// countdown ends, so the device's start-up is over by then.
void BellScheduler::prerollRun() {
    const qint64 seconds = qMax<qint64>(1, p_.sequence.delayCount());
    // Beyond the panel's longest delay (a hand-edited store) the run opens its stream itself.
    if (seconds > kLongestDelaySeconds) return;
    p_.sequence.prerollFrontChime(p_.clock.now().msecsTo(dueAt_.addMSecs(seconds * 1000)));
}

void BellScheduler::Timer21_Timer() {
    qint16 count = qint16(p_.sequence.delayCount() - 1);
    p_.sequence.setDelayCount(count);
    p_.form.setText(ctl::Label242, QString::number(count));
    if (count >= 1) {
        setProgress(BellProgress::Phase::Countdown);
        armCountdownStep();
        return;
    }

    p_.sequence.setDelayCount(0);
    p_.form.timer(ctl::Timer21)->stop();
    const QTime now = p_.clock.now().time();
    const QString sayHour = now.toString(QStringLiteral("HH"));
    const QString sayMinute = now.toString(QStringLiteral("mm"));
    p_.form.setVisible(ctl::Label2, false);
    p_.form.setVisible(ctl::Label242, false);
    p_.talkingClock.chooseClockFiles(sayHour, sayMinute);
    endBell(p_.sequence.runBellSequence());
}

void BellScheduler::Timer22_Timer() {
    const QDateTime now = p_.clock.now();
    refreshClockLabel(now);
    // On the second, like the tick.
    if (QTimer* t = p_.form.timer(ctl::Timer22); t->isActive())
        t->start(int(watchplan::msToNextSecond(now)));
}

bool BellScheduler::bellInProgress() const {
    // Timer22 keeps the clock from the identification (or announce-now) to the sounds' end.
    for (const QString& t : {ctl::Timer1, ctl::Timer222, ctl::Timer21, ctl::Timer22})
        if (p_.form.timer(t)->isActive()) return true;
    return false;
}

void BellScheduler::resumeWatching() {
    if (bellInProgress()) {
        qCInfo(lcScheduler) << "the window was hidden during a bell; the tick resumes after it";
        return;
    }
    if (QTimer* t3 = p_.form.timer(ctl::Timer3); !t3->isActive()) t3->start();
}

void BellScheduler::Command3555_Click() {
    qCInfo(lcScheduler) << "announce now";
    p_.media.stopMedia();
    p_.form.setVisible(ctl::Label2, true);
    p_.form.setText(ctl::Label2, kStarting);
    p_.form.setVisible(ctl::Label242, true);
    p_.form.setText(ctl::Label242, QString());
    p_.sequence.loadSequenceSettings();
    stopTick();
    runSinceLastTick_ = true;
    const QDateTime pressed = p_.clock.now();
    dueAt_ = pressed;
    p_.form.timer(ctl::Timer22)->start(int(watchplan::msToNextSecond(pressed)));
    p_.form.timer(ctl::Timer4)->start();
    const RelayOutcome relay = p_.relay.switchOn(true, true);
    recorder_.fired(journal::kAnnounce, std::nullopt,
                    QDateTime(pressed.date(), wholeSecond(pressed.time())), relay);
    beginBell(journal::kAnnounce, std::nullopt);
    prerollRun();
    startCountdown();
    p_.form.setEnabled(ctl::Command3555, false);
}

}  // namespace tavirin
