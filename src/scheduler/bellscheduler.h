#pragma once

#include "calendar/dayplan.h"
#include "model/formmodel.h"
#include "platform/clock.h"
#include "scheduler/bellprogress.h"
#include "scheduler/bellrecorder.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace tavirin {

class AmplifierRelay;
class Arming;
class BellSequence;
class FormModel;
class Journal;
class MediaSources;
class ProgramStore;
class TalkingClock;
class WallClockAlarm;
class WindowMotion;

// The scheduler tick and what follows a trigger: firing, identifying the fired period,
// waiting for the window, the amplifier-delay countdown and the run; also announce-now.
// All of it runs on the window's timers (Timer3, Timer1, Timer222, Timer21, Timer22). The tick
// looks at the clock just after each whole second, or, hidden and idle, sleeps until shortly
// before the next due second (docs/ARCHITECTURE.md, "Watching").
class BellScheduler {
public:
    struct Parts {
        FormModel& form;
        ProgramStore& store;
        const Clock& clock;
        Arming& arming;
        BellSequence& sequence;
        TalkingClock& talkingClock;
        AmplifierRelay& relay;
        MediaSources& media;
        WindowMotion& motion;
        Journal* journal = nullptr;  // every bell, rung or not, is recorded there
    };

    explicit BellScheduler(Parts parts);

    // After a change of the calendar or of today: the board is armed again at once, or, while
    // a bell is on its way, as soon as it is over (its period must stay identifiable).
    // `reloadEditor`: the day programs changed too (a restored backup): the whole armToday.
    void armWhenIdle(bool reloadEditor);

    // Called by a tick that finds more than a second gone since the one before it: a sleep
    // that ended, a stall, the wall clock set. Whoever sleeps on a plan of their own looks at
    // the clock again.
    void setTimeSkipped(std::function<void()> f) { timeSkipped_ = std::move(f); }

    // The shutdown watch the tick runs after the period comparison (slide-in true).
    void setShutdownWatch(std::function<void(bool slideIn)> watch) {
        shutdownWatch_ = std::move(watch);
    }

    // Wakes a sleeping tick when the wall clock is set or its time has come. Without one the
    // tick never sleeps longer than to the next second.
    void setAlarm(WallClockAlarm* alarm);
    // The window is on the screen: the tick runs every second (the clock label); hidden, it
    // may sleep. Shown during a sleep, the clock is looked at at once.
    void setWindowShown(bool shown);
    bool sleeping() const { return sleeping_; }

    // The window's timers this runs, with their handlers, in the order they are looked at.
    QList<TimerHandler> timerHandlers();
    // Makes the tick precise and (`timers`) connects the timers to the handlers below; a test
    // that moves a fake clock runs timerHandlers() itself. The announce-now button is the
    // core's (it asks before it runs Command3555_Click).
    void connectControls(bool timers = true);

    void Timer3_Timer();
    void Timer1_Timer();
    void Timer222_Timer();
    void Timer21_Timer();
    void Timer22_Timer();
    void Command3555_Click();

    // Period n (1..24) rung now, its own sound and after-bell choice, whatever its time;
    // journalled as kind "manual". false (and nothing done) while a bell is in progress or
    // for no such period.
    bool ringPeriodNow(int n);

    // An emergency takes the PA: the bell in progress stops now (journalled failed, reason
    // "emergency", with its sounds so far). Nothing between bells or once its sounds are over.
    void cutBell(const QString& why);
    // While `held` says so (an emergency in force), a scheduled bell due is not rung but
    // journalled skipped (reason "emergency", `held`'s text) and told to `onHeld`.
    void setHold(std::function<QString()> held) { held_ = std::move(held); }
    void onHeld(std::function<void(int period, const QDateTime& due)> f) { onHeld_ = std::move(f); }

    // The bell in progress and where it is; nothing between bells.
    const std::optional<BellProgress>& progress() const { return progress_; }
    // Told whenever the bell in progress moves on (fired, a countdown second, a sound, the
    // after-bell step, over): a few times a second at most, never while only watching.
    void onProgress(std::function<void()> f) { progressChanged_.push_back(std::move(f)); }

    // From the firing (or announce-now) until the bell's sounds are over.
    bool bellInProgress() const;
    // The window's hide is over or was abandoned: the tick runs again, unless a bell is still
    // on its way (then that bell's own hide brings it back).
    void resumeWatching();

    // At start-up, once today is armed: today's bells due while the program was not running
    // are recorded as missed, and the tick takes over from now.
    void accountForStartUp();

    // How many 400 ms looks the bell waits for the window before it starts anyway.
    static constexpr int kWindowWaitLimit = 15;

private:
    QString refreshClockLabel();
    QString refreshClockLabel(const QDateTime& now);
    struct Late {
        qint64 ms = 0;
        QString reason;
        QString detail;
    };
    void fire(QTime at, const QDateTime& due, const std::optional<Late>& late = {});
    const DueTimes& triggers();
    void compileTriggers();
    void planNextTick(const QDateTime& now);
    void stopTick();
    void startCountdown();
    void armCountdownStep();
    void prerollRun();
    void planned(const DayPlan& plan);
    void passQuietBells(const QDateTime& now);
    void beginBell(const QString& kind, std::optional<int> period);
    void setProgress(BellProgress::Phase phase, int sound = 0, int of = 0);
    void endBell(const BellRun& run);

    Parts p_;
    WallClockAlarm* alarm_ = nullptr;
    bool windowShown_ = true;
    bool sleeping_ = false;
    // A day armed anew during a sleep (a change from the page or the bus while the window is
    // hidden): the tick looks at once, after the arming, instead of sleeping past the new bells.
    QTimer replan_;
    // The armed due seconds and, with the shutdown time, when the tick must be awake.
    DueTimes triggers_;
    QList<QTime> dueTimes_;
    bool triggersStale_ = true;
    QDateTime dueAt_;        // the fired trigger's second (or announce-now's click)
    int countdownFrom_ = 0;  // delayCount when the countdown began
    std::function<void(bool)> shutdownWatch_;
    std::function<void()> timeSkipped_;
    QTime firedAt_;  // the trigger that fired, for the identification
    QDateTime lastTick_;
    ElapsedClocks lastElapsed_;
    bool runSinceLastTick_ = false;  // the tick was stopped for a bell since lastTick_
    QDateTime lastFiredKey_;         // the due second of the last firing
    QDateTime lastRefusedKey_;       // the last one refused as already rung (logged once)
    int windowWaits_ = 0;
    QList<int> quietSeconds_;  // of the armed plan's quiet bells, in order
    qsizetype nextQuiet_ = 0;  // the first whose time has not passed yet
    enum class Pending { None, Board, Whole } pendingArm_ = Pending::None;
    BellRecorder recorder_;
    std::optional<BellProgress> progress_;
    std::vector<std::function<void()>> progressChanged_;
    std::optional<int> manualPeriod_;  // the period rung on request, until identified
    std::function<QString()> held_;
    std::function<void(int, const QDateTime&)> onHeld_;
};

}  // namespace tavirin
