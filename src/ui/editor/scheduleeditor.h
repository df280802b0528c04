#pragma once

#include "platform/result.h"
#include "store/dayprogram.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace tavirin {

class AmplifierRelay;
class Arming;
class Clock;
class Dialogs;
class FormModel;
class ProgramStore;
class SoundLibrary;

// The settings panel Frame2: one day program at a time in the editor's controls of the main
// window, written back through writeEditor by Apply, Save and Copy. It also owns the
// closing-phrase box and button of the main window, which share the file chooser.
//
// The editor holds no state of its own: the program being edited, the write target and the
// day shown are controls and working values of the FormModel, as the scheduler expects.
class ScheduleEditor {
public:
    ScheduleEditor(FormModel& form, ProgramStore& store, Arming& arming, AmplifierRelay& relay,
                   Dialogs& dialogs, const SoundLibrary& library, const Clock& clock);

    // The panel's slides belong to the animator; the composition hands them in.
    void setOpenSettingsPanel(std::function<void()> open) { openPanel_ = std::move(open); }
    void setCloseSettingsPanel(std::function<void()> close) { closePanel_ = std::move(close); }

    // Registers every click action of the editor's controls with the model.
    void connectControls();

    // Command4: the editor on today's program.
    void openEditor();
    // Day label N of the strip (seven-day mode only). With unsaved edits, asks first: save
    // them (as Apply), drop them, or stay on the day shown.
    void selectDay(int day);
    // The program named by lbl_vorle_programming5_7day into the editor's controls.
    void loadEditor();
    // The 132 writes of the editor's content under `application`: the 128 keys of the day
    // program, the three radio addresses and the seven-day flag. Stops at the first failed
    // write and returns it.
    Result writeEditor(const QString& application);
    // Before Apply and Save: a cleared add-on box loses its path, a box without a path is
    // cleared.
    void tidy();

    // Each returns false when the store failed; then nothing more was written, nothing was
    // armed and the operator has been told.
    bool apply();   // Command354 pressed
    bool save();    // Command5 pressed (its release closes the panel)
    void cancel();  // Command3557
    bool copy();    // Command7

    // The file chooser of the sound buttons: the chosen full path, "" when cancelled.
    QString chooseSound(const QString& title, const QString& folder);

private:
    // What a write would store, as the fields hold it.
    struct Content {
        DayProgram program;
        QStringList radio;
        bool operator==(const Content&) const = default;
    };
    Content content() const;
    void rememberContent();
    // The fields differ from what was last loaded, armed or written.
    bool hasUnsavedEdits() const;
    bool settleUnsavedEdits(const WeekdayRow& to);

    enum class Target { Edited, AllDays };
    Result writeProgramTargets(Target target);
    bool inOneBurst(const char* operation, const std::function<Result()>& writes);
    void reportNotSaved(const char* operation, const Result& why);
    void addOnBoxClicked(int n);
    void repeatBoxClicked();
    void noVoiceBoxClicked();
    void closingPhraseBoxClicked();
    void showToolTip(int n);
    void loadHourMinute();
    QString read(const QString& section, const QString& key) const;

    FormModel& form_;
    ProgramStore& store_;
    Arming& arming_;
    AmplifierRelay& relay_;
    Dialogs& dialogs_;
    const SoundLibrary& library_;
    const Clock& clock_;
    std::function<void()> openPanel_;
    std::function<void()> closePanel_;
    bool lastSaveFailed_ = false;
    std::optional<Content> remembered_;
};

}  // namespace tavirin
