#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace tavirin {

class FormModel;

// The controls of one period row, by the names the behaviour is written in.
struct PeriodControls {
    int number;          // 1..24
    QString trigger;     // time-board label holding the armed trigger string
    QString hour;        // hour list
    QString minute;      // minute list
    QString enable;      // add-on box
    QString soundPath;   // add-on sound path (storage text box)
    QString soundButton; // add-on sound button
    QString afterBell;   // after-bell chooser
};

// Periods 1..24 (index 0..23).
const std::array<PeriodControls, 24>& periodControls();
const PeriodControls& period(int number);

// Drop-down entries.
QStringList hourItems();           // "00".."23", "no"
QStringList minuteItems();         // "00".."59"
QStringList shutdownMinuteItems(); // "00".."59", "no"

// Main-window size in twips (client area) when shown.
inline constexpr int kFormWidthTwips = 11055;
inline constexpr int kFormShownHeightTwips = 6165;

// Creates every control of the main window and every timer, in their design state.
void buildForm1(FormModel& model);

}  // namespace tavirin
