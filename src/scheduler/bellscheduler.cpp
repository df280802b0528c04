#include "scheduler/bellscheduler.h"

#include "journal/journal.h"
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
const QString kShutdownTime = QStringLiteral("Label28123");
constexpr int kShownTop = 1200;
// A tick started by a plain start() (the end of the slide-down) comes this soon, then aligns.
constexpr int kResumeMs = 100;
constexpr int kLongestDelaySeconds = 10;

// "HH:mm:ss", written out by hand: the clock's text is made every second, and a format
// string goes through the locale's date-time formatter.
QString hhmmss(QTime t) {
    if (!t.isValid()) return {};
    QString text(8, u':');
    QChar* out = text.data();
    for (int v : {t.hour(), t.minute(), t.second()}) {
        out[0] = QChar(u'0' + v / 10);
        out[1] = QChar(u'0' + v % 10);
        out += 3;
    }
    return text;
}

}  // namespace

BellScheduler::BellScheduler(Parts parts) : p_(parts), recorder_(parts.journal, parts.clock) {
    // The compared table follows its labels (arming, the editor), read again only when one
    // of them has changed.
    QSet<QString> watched{kShutdownTime};
    for (const PeriodControls& per : periodControls()) watched.insert(per.trigger);
    QObject::connect(&p_.form, &FormModel::changed, &p_.form, [this, watched](const QString& name) {
        if (watched.contains(name)) triggersStale_ = true;
    });
    p_.arming.onPlanned([this](const DayPlan& plan) { planned(plan); });
}

void BellScheduler::setAlarm(WallClockAlarm* alarm) {
    alarm_ = alarm;
    if (!alarm_) return;
    alarm_->setHandler([this](WallClockAlarm::Wake wake) {
        QTimer* tick = p_.form.timer(QStringLiteral("Timer3"));
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
    if (shown && sleeping_ && p_.form.timer(QStringLiteral("Timer3"))->isActive()) Timer3_Timer();
}

void BellScheduler::planned(const DayPlan& plan) {
    quietSeconds_.clear();
    for (const QuietBell& q : plan.quiet)
        quietSeconds_.append(
            QTime::fromString(q.at, QStringLiteral("HH:mm:ss")).msecsSinceStartOfDay() / 1000);
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
        qCInfo(lcScheduler).noquote()
            << "the bell of period" << q.period << "at" << q.at << "is not rung today:" << q.reason;
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

void BellScheduler::connectControls() {
    for (const char* t : {"Timer3", "Timer21", "Timer22", "Timer4"})
        p_.form.timer(QString::fromLatin1(t))->setTimerType(Qt::PreciseTimer);
    auto on = [this](const char* timer, void (BellScheduler::*handler)()) {
        QObject::connect(p_.form.timer(QString::fromLatin1(timer)), &QTimer::timeout, &p_.form,
                         [this, handler] { (this->*handler)(); });
    };
    on("Timer3", &BellScheduler::Timer3_Timer);
    on("Timer1", &BellScheduler::Timer1_Timer);
    on("Timer222", &BellScheduler::Timer222_Timer);
    on("Timer21", &BellScheduler::Timer21_Timer);
    on("Timer22", &BellScheduler::Timer22_Timer);
    p_.form.onClick(QStringLiteral("Command3555"), [this] { Command3555_Click(); });
}

void BellScheduler::compileTriggers() {
    dueTimes_.clear();
    for (const PeriodControls& per : periodControls()) {
        triggerTexts_[size_t(per.number - 1)] = p_.form.text(per.trigger);
        if (const QTime t = watchplan::parseClockText(p_.form.text(per.trigger)); t.isValid())
            dueTimes_.append(t);
    }
    if (const QTime t = watchplan::parseClockText(p_.form.text(kShutdownTime)); t.isValid())
        dueTimes_.append(t);
    triggersStale_ = false;
}

void BellScheduler::planNextTick(const QDateTime& now) {
    QTimer* tick = p_.form.timer(QStringLiteral("Timer3"));
    // Awake: shown, no alarm to wake a sleep, or the shutdown countdown running.
    const bool awake =
        windowShown_ || !alarm_ || p_.form.timer(QStringLiteral("Timer23"))->isActive();
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
    QTimer* tick = p_.form.timer(QStringLiteral("Timer3"));
    tick->stop();
    tick->setInterval(kResumeMs);
    if (sleeping_ && alarm_) alarm_->cancel();
    sleeping_ = false;
}

QString BellScheduler::refreshClockLabel() {
    return refreshClockLabel(p_.clock.now());
}

QString BellScheduler::refreshClockLabel(const QDateTime& now) {
    const QString text = hhmmss(now.time());
    p_.form.setText(QStringLiteral("Label1"), text);
    p_.form.setToolTip(QStringLiteral("Label1"), QStringLiteral("เวลาขณะนี้คือ ") + text);
    return text;
}

void BellScheduler::Timer3_Timer() {
    // A change of the calendar made while a bell was on its way.
    if (pendingArm_ != Pending::None) armWhenIdle(pendingArm_ == Pending::Whole);
    // One reading of the clock per tick.
    const QDateTime now = p_.clock.now();
    const ElapsedClocks elapsed = p_.clock.elapsed();
    if (const int day = now.date().dayOfWeek(); day >= 1 && day <= 7)
        p_.form.setText(QStringLiteral("lbl_dayy"), clockDayName(day));

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
    bool hit = false;
    for (const QString& trigger : triggerTexts_) hit = (trigger == text) || hit;
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
    if (const QString rings = hit ? text : late.ringLate; !rings.isEmpty()) {
        if (hit) due = QDateTime(date, QTime::fromString(text, QStringLiteral("HH:mm:ss")));
        // A clock stepped back across a trigger second must not ring it a second time.
        const QString key = due.date().toString(Qt::ISODate) + u' ' + rings;
        if (key != lastFiredKey_) {
            lastFiredKey_ = key;
            fire(rings, due, lateBell);
            fired = true;
        } else if (key != lastRefusedKey_) {
            // Said once: the clock may stand in that second for many ticks.
            lastRefusedKey_ = key;
            qCInfo(lcScheduler) << "trigger" << rings << "already rang today; the clock went back";
        }
    } else {
        recorder_.watching(now, elapsed);
    }

    passQuietBells(now);

    // The shutdown watch rides on this tick; Timer4 keeps it only while the tick is stopped.
    if (shutdownWatch_) shutdownWatch_(true);
    if (!fired && p_.form.timer(QStringLiteral("Timer3"))->isActive()) planNextTick(now);
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

QStringList BellScheduler::triggers() {
    if (triggersStale_) compileTriggers();
    return QStringList(triggerTexts_.begin(), triggerTexts_.end());
}

void BellScheduler::fire(const QString& clockText, const QDateTime& due,
                         const std::optional<Late>& late) {
    qCInfo(lcScheduler) << "bell fired at" << clockText;
    firedText_ = clockText;
    // The countdown counts from the trigger's second; a late bell's from now.
    dueAt_ = late ? p_.clock.now() : due;
    runSinceLastTick_ = true;
    p_.media.stopMedia();
    stopTick();
    // The shutdown watch while the tick is stopped.
    p_.form.timer(QStringLiteral("Timer4"))->start();
    p_.motion.showMainWindow();
    p_.form.setVisible(QStringLiteral("Label2"), true);
    p_.form.setVisible(QStringLiteral("Label242"), true);
    p_.form.setText(QStringLiteral("Label242"), QString());
    p_.form.timer(QStringLiteral("Timer1"))->start();
    p_.form.setEnabled(QStringLiteral("Command3555"), false);
    const RelayOutcome relay = p_.relay.switchOn(true);
    // The highest-numbered period of that time is the one whose sound rings.
    std::optional<int> period;
    for (const PeriodControls& per : periodControls())
        if (p_.form.text(per.trigger) == clockText) period = per.number;
    if (late)
        recorder_.fired(journal::kScheduled, period, due, relay, late->ms, late->reason,
                        late->detail);
    else
        recorder_.fired(journal::kScheduled, period, due, relay);
}

void BellScheduler::Timer1_Timer() {
    const QDateTime now = p_.clock.now();
    refreshClockLabel(now);
    bool identified = false;
    // The periods are identified by the trigger that fired (a late one included), not by the
    // clock now, so a second that changed in the 100 ms since cannot lose them.
    for (const PeriodControls& per : periodControls()) {
        if (p_.form.text(per.trigger) != firedText_) continue;
        identified = true;
        p_.form.setText(QStringLiteral("Label2"), kStarting);
        p_.sequence.loadSequenceSettings();
        // The program that rings today: another weekday's when the calendar says so.
        QString app = p_.form.value(QStringLiteral("ringingApplication"));
        if (app.isEmpty()) app = p_.form.value(QStringLiteral("activeApplication"));
        const QString media = p_.store.GetSetting(app, keys::kFm, keys::fm(per.number));
        const QString enabled = p_.store.GetSetting(app, keys::kNumber, keys::number(per.number));
        const QString sound = p_.store.GetSetting(app, keys::kSond, keys::sond(per.number));
        p_.form.setValue(QStringLiteral("afterBellMedia"), media);
        const bool addOn = enabled == QLatin1String("1") && !sound.isEmpty();
        p_.form.setText(QStringLiteral("Text3"),
                        addOn ? sound : p_.talkingClock.words().systemSound);
        qCInfo(lcScheduler) << "period" << per.number << "rings; add-on"
                            << p_.form.text(QStringLiteral("Text3")) << "after the bell" << media;
    }
    if (identified) prerollRun();
    windowWaits_ = 0;
    p_.form.timer(QStringLiteral("Timer222"))->start();
    p_.form.timer(QStringLiteral("Timer1"))->stop();
    p_.form.timer(QStringLiteral("Timer22"))->start(int(watchplan::msToNextSecond(now)));
    // A window that stood shown already is there now: the countdown need not wait for the
    // first 400 ms look.
    if (p_.motion.windowTopCounter() == kShownTop) Timer222_Timer();
}

void BellScheduler::Timer222_Timer() {
    const bool arrived = p_.motion.windowTopCounter() == kShownTop;
    if (!arrived && ++windowWaits_ < kWindowWaitLimit) return;
    if (!arrived)
        qCWarning(lcScheduler) << "the window did not reach its place; the bell starts anyway";
    p_.form.timer(QStringLiteral("Timer222"))->stop();
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
    p_.form.timer(QStringLiteral("Timer21"))
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
    p_.form.setText(QStringLiteral("Label242"), QString::number(count));
    if (count >= 1) {
        armCountdownStep();
        return;
    }

    p_.sequence.setDelayCount(0);
    p_.form.timer(QStringLiteral("Timer21"))->stop();
    const QTime now = p_.clock.now().time();
    const QString sayHour = now.toString(QStringLiteral("HH"));
    const QString sayMinute = now.toString(QStringLiteral("mm"));
    p_.form.setVisible(QStringLiteral("Label2"), false);
    p_.form.setVisible(QStringLiteral("Label242"), false);
    p_.talkingClock.chooseClockFiles(sayHour, sayMinute);
    recorder_.ended(p_.sequence.runBellSequence());
}

void BellScheduler::Timer22_Timer() {
    const QDateTime now = p_.clock.now();
    refreshClockLabel(now);
    // On the second, like the tick.
    if (QTimer* t = p_.form.timer(QStringLiteral("Timer22")); t->isActive())
        t->start(int(watchplan::msToNextSecond(now)));
}

bool BellScheduler::bellInProgress() const {
    // Timer22 keeps the clock from the identification (or announce-now) to the sounds' end.
    for (const char* t : {"Timer1", "Timer222", "Timer21", "Timer22"})
        if (p_.form.timer(QString::fromLatin1(t))->isActive()) return true;
    return false;
}

void BellScheduler::resumeWatching() {
    if (bellInProgress()) {
        qCInfo(lcScheduler) << "the window was hidden during a bell; the tick resumes after it";
        return;
    }
    if (QTimer* t3 = p_.form.timer(QStringLiteral("Timer3")); !t3->isActive()) t3->start();
}

void BellScheduler::Command3555_Click() {
    qCInfo(lcScheduler) << "announce now";
    p_.media.stopMedia();
    p_.form.setVisible(QStringLiteral("Label2"), true);
    p_.form.setText(QStringLiteral("Label2"), kStarting);
    p_.form.setVisible(QStringLiteral("Label242"), true);
    p_.form.setText(QStringLiteral("Label242"), QString());
    p_.sequence.loadSequenceSettings();
    stopTick();
    runSinceLastTick_ = true;
    const QDateTime pressed = p_.clock.now();
    dueAt_ = pressed;
    p_.form.timer(QStringLiteral("Timer22"))->start(int(watchplan::msToNextSecond(pressed)));
    p_.form.timer(QStringLiteral("Timer4"))->start();
    const RelayOutcome relay = p_.relay.switchOn(true, true);
    recorder_.fired(journal::kAnnounce, std::nullopt,
                    QDateTime(pressed.date(), QTime(pressed.time().hour(), pressed.time().minute(),
                                                    pressed.time().second())),
                    relay);
    prerollRun();
    startCountdown();
    p_.form.setEnabled(QStringLiteral("Command3555"), false);
}

}  // namespace tavirin
