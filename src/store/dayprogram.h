#pragma once

#include "platform/result.h"

#include <QString>
#include <QTime>

#include <array>
#include <optional>

namespace tavirin {

class Clock;
class ProgramStore;

// One of the 24 bell times of a day program. Every field is the stored text.
struct Period {
    QString hour;            // "00".."23", or "no": never rings
    QString minute;          // "00".."59"
    QString enabled;         // "1": the add-on sound is played; "0": not
    QString soundFile;       // full path of the add-on sound, "" for none
    QString afterBellMedia;  // "0" amplifier off, "1".."3" radio station, "4" music
    bool operator==(const Period&) const = default;
};

// The bell program of one weekday: 128 keys in the store.
struct DayProgram {
    std::array<Period, 24> periods;  // periods[0] is period 1
    QString frontChimeFile;          // m25
    QString voiceFolder;             // m26
    QString amplifierDelaySeconds;   // m27: "1", "5", "8" or "10"
    QString shutdownMinute;          // m28
    QString announceMode;            // m29: "1" once, "2" twice, "3" none
    QString backChimeFile;           // m30
    QString shutdownHour;            // h25
    QString shutdownEnabled;         // number25

    // Period n, 1..24.
    Period& period(int n) { return periods.at(std::size_t(n - 1)); }
    const Period& period(int n) const { return periods.at(std::size_t(n - 1)); }
    bool operator==(const DayProgram&) const = default;
};

// One row of the weekday table.
struct WeekdayRow {
    int dayIndex;             // 1 Monday .. 7 Sunday
    QString application;      // "vorle_programming5_7day1".."7"
    QString clockDayName;     // "จันทร์".."อาทิตย์", shown as today's day
    QString dayStripCaption;  // "จ".."อา"
    QString chooserEntry;     // "วันจันทร์".."วันอาทิตย์"
};

// The seven rows, Monday first.
const std::array<WeekdayRow, 7>& weekdayTable();
// The row of a day index, or nullptr outside 1..7.
const WeekdayRow* weekdayRow(int dayIndex);
// The day index of a chooser entry ("วันพุธ" -> 3), nothing for any other text.
std::optional<int> dayIndexOfChooserEntry(const QString& entry);

// Today's day index from the clock's date (Monday..Sunday = 1..7); nothing when the clock
// has no valid date.
std::optional<int> todayDayIndex(const Clock& clock);
// "จันทร์" .. "อาทิตย์"; "" outside 1..7.
QString clockDayName(int dayIndex);

// The program stored for a day (absent keys as ""); all fields "" for a day outside 1..7.
DayProgram readDayProgram(const ProgramStore& store, int day);
// The same under an application name ("" when the name is none of the seven: all fields "").
DayProgram readDayProgram(const ProgramStore& store, const QString& application);
// All 128 keys under the application, in the editor's order: h1..h24, h25, m1..m24,
// m25..m30, number1..number24, number25, sond1..sond24, fm1..fm24. Stops at the first
// failed write and returns it (the keys before it keep their new values); otherwise the
// outcome of the sync (one sync, or none when an outer burst is open).
Result writeDayProgram(ProgramStore& store, const QString& application, const DayProgram& program);

// The time a program's automatic shutdown is armed at; invalid (none) unless its box is ticked
// ("1") and its hour and minute are a time of day (the editor stores "no" for a cleared box; a
// store edited by other means must not turn the computer off behind a cleared box).
QTime shutdownTime(const QString& hour, const QString& minute, const QString& enabled);
inline QTime shutdownTime(const DayProgram& p) {
    return shutdownTime(p.shutdownHour, p.shutdownMinute, p.shutdownEnabled);
}

// The seven-day flag: true for "1", false for "0", nothing for any other text (empty included).
std::optional<bool> readSevenDayMode(const ProgramStore& store);
// Writes "1" or "0".
Result writeSevenDayMode(ProgramStore& store, bool on);

}  // namespace tavirin
