#pragma once

#include "calendar/dayplan.h"
#include "scheduler/clockwords.h"

#include <QString>
#include <functional>
#include <vector>

namespace tavirin {

class Clock;
class FormModel;
class ProgramStore;
class SoundLibrary;

// Makes today's program the one that rings: reads it from the store into the main window's
// controls, builds the 24 trigger strings on the time board, the shutdown trigger and the
// talking clock's word table.
class Arming {
public:
    Arming(FormModel& form, ProgramStore& store, const Clock& clock, const SoundLibrary& library);

    // All steps, in order. Never stops half-way: a stored hour or minute that is not an entry
    // of its list puts that period out of use (shown " ไม่ใช้งาน " in red) and is logged.
    // Today's program becomes the one being edited too: the editor's fields now show it, and
    // the editor writes where its fields came from.
    void armToday();
    // What start-up runs: the loading steps of armToday without putting the shutdown time into
    // its two choosers.
    void loadTodayForStartUp();
    // Runs after every armToday (the editor remembers what its fields show).
    void onArmed(std::function<void()> armed) { armed_.push_back(std::move(armed)); }

    // Puts what today really rings on the time board (the 24 trigger strings, the shutdown
    // trigger, the line saying why the day differs), from the stored programs, the calendar
    // and today's changes, without touching the editor's fields. Arming does it too.
    void armBoard();
    // What the board shows; its quiet periods say why each does not ring.
    const DayPlan& plan() const { return plan_; }
    // Runs after every armBoard (and so after every armToday).
    void onPlanned(std::function<void(const DayPlan&)> planned) {
        planned_.push_back(std::move(planned));
    }

    // Period n (1..24) rings today at `due` (to the second; invalid: not at all) until the
    // day is armed again. The benchmarks and the tests ring at a second of their choosing.
    void setDueForToday(int n, QTime due);

    void resetDayLabels();

    // The application name of today's program ("" until a weekday could be named).
    QString activeApplication() const;
    const ClockWords& clockWords() const { return words_; }
    void setClockWords(const ClockWords& w) { words_ = w; }
    QString voiceFolder() const { return voiceFolder_; }

private:
    void loadSteps(bool setShutdownChoosers);
    void remainingSteps();
    void showPeriod(int n);
    QString base(const QString& section, const QString& key) const;

    FormModel& form_;
    ProgramStore& store_;
    const Clock& clock_;
    const SoundLibrary& library_;
    ClockWords words_;
    QString voiceFolder_;
    std::vector<std::function<void()>> armed_;
    std::vector<std::function<void(const DayPlan&)>> planned_;
    DayPlan plan_;
};

// The main window's line about today ("วันนี้: วันหยุด วันรัฐธรรมนูญ — ไม่มีออด"), "" on an
// ordinary day.
QString todayLine(const DayPlan& plan);

// The seven-day layout switch of the editor: with the mode box cleared the caption
// "รูปแบบเดียวกันทุกวัน" shows and the day strip, the copy caption, the day chooser and the
// Copy button hide; ticked, the reverse.
void chk29(FormModel& form);

// Voice boxes from the announce mode, without their click actions: "3" ticks the
// no-announcement box and disables the repeat box; another number clears it, ticks the repeat
// box for 2 and enables it. `nonNumberAs3` decides what a value that is not a number does
// (start-up treats it as 3; arming leaves the boxes as they are).
void setVoiceBoxes(FormModel& form, const QString& announceMode, bool nonNumberAs3);

}  // namespace tavirin
