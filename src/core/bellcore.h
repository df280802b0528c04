#pragma once

#include "core/corestate.h"
#include "platform/outcome.h"
#include "store/dayprogram.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace tavirin {

class AlarmPlayer;
class AmplifierRelay;
class Arming;
class AudioOutput;
class AudioProbe;
class AutoShutdown;
class BellScheduler;
class BellSequence;
class Clock;
class ContactLine;
class ClockSync;
class DayRules;
class DayStatus;
class Emergency;
class Dialogs;
class FolderProbe;
class FormModel;
class Journal;
class MediaSources;
class Power;
class Processes;
class ProgramStore;
class RadioPlayer;
class SelfTest;
class SerialLines;
class SoundLibrary;
class SoundPlayer;
class TalkingClock;
class TrayIcon;
class Waiter;
class WallClockAlarm;
class WindowMotion;
struct TimerHandler;

// The bell program itself: the store, the journal, the calendar rules, arming, the scheduler,
// the bell sequence, the outputs, the self-test and the day's status, built once from the
// adapters handed in, and wired. Every way in (the main window, the tray, the session bus,
// the school's network page) asks it through the commands below and reads the one picture
// of the program, state(), told of its changes by stateChanged().
//
// The program builds it with the real adapters; the tests build the same core over doubles.
class BellCore : public QObject {
    Q_OBJECT
public:
    struct Adapters {
        FormModel& form;       // the main window's controls and timers, which a bell runs on
        WindowMotion& motion;  // the window's slides
        const Clock& clock;
        ProgramStore& store;
        Journal* journal;  // none: nothing recorded, nothing read
        const SoundLibrary& library;
        Dialogs& dialogs;  // notices and the operator's questions
        AudioOutput& audio;
        SerialLines& serial;
        Processes& processes;
        RadioPlayer& radio;
        Power& power;
        Waiter& waiter;  // the pauses before radio and music
        AudioProbe& audioProbe;
        ClockSync& clockSync;
        FolderProbe& folderProbe;
        AlarmPlayer& alarmPlayer;  // the emergency's own output
        TrayIcon* tray = nullptr;
        WallClockAlarm* alarm = nullptr;  // none: the tick never sleeps past a second
        ContactLine* contact = nullptr;   // the emergency contact's input; none: not watched
    };

    explicit BellCore(Adapters adapters, QObject* parent = nullptr);
    ~BellCore() override;

    // The buttons and boxes the core acts on; with `timers` the window's timers too (a test
    // that moves a fake clock runs timerHandlers() itself, in its own order).
    void connectControls(bool timers = true);
    // Every timer of the window the core runs, with its handler.
    QList<TimerHandler> timerHandlers();

    // ---- commands: every one answers at once ----
    // The time now, announced: refused while a bell is in progress.
    Outcome announceNow();
    // Period n's bell now (journal kind "manual"): refused while a bell is in progress.
    Outcome ringPeriod(int period);
    // Today's changes. `change`: "none" takes every change of today back; "no-bells";
    // "weekday" with value 1..7; "shift" with value minutes (signed); "skip-next". Waiting
    // while a bell is in progress: saved now, in force once that bell is over.
    enum class Asker { Operator, Remote };
    Outcome setTodayChange(const QString& change, int value, Asker asker = Asker::Remote);
    // The emergency: `kind` one of emergency().kinds(); `from` a journal::kFrom... Starting
    // takes the PA over at once; a second start replaces the first.
    Outcome startEmergency(const QString& kind, const QString& from);
    Outcome allClear(const QString& from);
    // Starts watching the emergency contact the settings name (section emergency_contact:
    // port, line, kind); nothing when none is named. A port that cannot be watched is logged
    // and told, and the rest works.
    void watchContact();
    // A weekday's program (1..7) from outside the window, checked against the editor's lists
    // and written in one durable burst; all seven days when seven-day mode is off. Today is
    // armed again (after a bell on its way).
    Outcome saveDayProgram(int day, DayProgram program);

    Outcome startMusic();
    Outcome startRadio(int station);
    Outcome stopMedia();

    // ---- the picture ----
    CoreState state() const;
    bool bellInProgress() const;

    // What the core is made of, for the windows that show and edit it.
    ProgramStore& store();
    Journal* journal();
    const Clock& clock() const;
    Arming& arming();
    BellScheduler& scheduler();
    BellSequence& sequence();
    TalkingClock& talkingClock();
    SoundPlayer& player();
    AmplifierRelay& relay();
    MediaSources& media();
    AutoShutdown& shutdown();
    DayRules& rules();
    DayStatus& dayStatus();
    SelfTest& selfTest();
    Emergency& emergency();

    // Runs with every change of the journal, after the core's own readers.
    void onJournalChanged(std::function<void()> f) { journalListeners_.push_back(std::move(f)); }

signals:
    // Something state() shows has changed: a bell fired or moved on, the day was armed again,
    // the journal, the relay, the media or the self-test changed. Once per turn of the event
    // loop at most; never for the clock alone.
    void stateChanged();
    // A day program was written by saveDayProgram: an open editor shows what is stored now.
    void programsSaved(int day);

private:
    void changed();
    Outcome busy() const;
    // Refused while an emergency is in force; Done otherwise.
    Outcome heldByEmergency() const;

    struct Parts;
    std::unique_ptr<Parts> p_;
    std::vector<std::function<void()>> journalListeners_;
    QTimer changeTimer_;
};

}  // namespace tavirin
