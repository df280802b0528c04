#pragma once

#include "model/formmodel.h"

#include <QString>
#include <QTime>
#include <QtGlobal>
#include <functional>

namespace tavirin {

class AmplifierRelay;
class Dialogs;
class FormModel;
class MediaSources;
class Power;
class WindowMotion;

// The daily shutdown: when the clock label shows the armed time (Label28123, set by
// armShutdown), a 120-second countdown runs on the main window; 3 seconds before its end
// music, radio and the amplifier go off, at its end the computer is told to power off. The
// operator can shut down at once ("ปิดทันที") or cancel ("ยกเลิก").
class AutoShutdown {
public:
    static constexpr int kCountdownSeconds = 120;
    static constexpr int kMediaOffAt = 3;

    AutoShutdown(FormModel& model, WindowMotion& motion, MediaSources& media, AmplifierRelay& relay,
                 Power& power, Dialogs& dialogs);

    // Starts the countdown when the clock label equals the armed time; `slideIn` first brings
    // the main window in, so the countdown is seen. Called by the scheduler tick (with the
    // slide-in) and by Timer4 (without), several times within the matching second.
    void checkShutdownTime(bool slideIn);
    // While `held` says so (an emergency in force) the shutdown waits: its time is remembered
    // and resumeAfterHold() starts the countdown then.
    void setHold(std::function<bool()> held) { held_ = std::move(held); }
    void resumeAfterHold();
    // The armed day's shutdown time (invalid: none); without it nothing is ever due.
    void setArmedTime(std::function<QTime()> armedAt) { armedAt_ = std::move(armedAt); }
    // One second of the countdown (Timer23).
    void countdownTick();
    // "ปิดทันที": powers off now; the countdown goes on until the system goes down.
    void shutDownNow();
    // "ยกเลิก": back to idle. The armed time stays, so the same time starts it again.
    void cancelShutdown();

    void Timer4_Timer() { checkShutdownTime(false); }
    void Timer23_Timer() { countdownTick(); }

    // Timer4 and Timer23, the two countdown buttons and the shutdown box Check26.
    // Timer4 and Timer23 with their handlers.
    QList<TimerHandler> timerHandlers();
    // The buttons and the box; with `timers` the two timers too.
    void connectControls(bool timers = true);

    // Seconds left; 120 when idle, -1 once the power-off has been issued.
    int countdown() const { return countdown_; }

    // The countdown label's caption for `seconds` left.
    static QString countdownText(int seconds);

private:
    // Asks the system to power off now. A refusal is logged and told in a notice that does
    // not wait for anyone; `fromButton` then gives the hidden countdown buttons back.
    void powerOff(const char* why, bool fromButton);
    void showButtons(bool visible);

    FormModel& model_;
    WindowMotion& motion_;
    MediaSources& media_;
    AmplifierRelay& relay_;
    Power& power_;
    Dialogs& dialogs_;
    qint16 countdown_ = kCountdownSeconds;
    std::function<QTime()> armedAt_;
    std::function<bool()> held_;
    bool waiting_ = false;  // its time came while held
};

}  // namespace tavirin
