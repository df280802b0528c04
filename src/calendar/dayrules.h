#pragma once

#include "calendar/calendar.h"
#include "calendar/dayplan.h"

#include <QList>
#include <QString>
#include <functional>
#include <vector>

namespace tavirin {

class Clock;
class Dialogs;
class ProgramStore;

// The operations on the school's calendar and on today's changes, as the calendar panel, the
// main window and the tray menu call them. Each checks what it is given, asks the operator
// where it must (in Thai), saves in one all-or-nothing burst and says what went wrong; it
// returns false when nothing was saved. After every save the listeners run (the board is
// armed again); the stored day programs are never rewritten, except by a restored backup.
class DayRules {
public:
    DayRules(ProgramStore& store, const Clock& clock, Dialogs& dialogs);

    // `programsChanged`: a backup replaced the day programs too (the editor must reload).
    void onChanged(std::function<void(bool programsChanged)> changed) {
        changed_.push_back(std::move(changed));
    }

    Calendar calendar() const;
    // Today as it rings now (a skipped bell whose time has passed is over).
    DayPlan today() const;
    // A whole day.
    DayPlan plan(QDate date) const;
    QDate todayDate() const;
    int secondsNow() const;  // the time of day

    // The calendar.
    bool addEntry(const CalendarEntry& entry);
    bool changeEntry(qsizetype index, const CalendarEntry& entry);
    bool removeEntry(qsizetype index);
    bool addThaiHolidays(int year);  // the fixed-date national holidays of a year (Gregorian)
    bool importICalendar(const QString& path);
    bool exportICalendar(const QString& path);
    bool exportBackup(const QString& path);
    bool importBackup(const QString& path);

    // Today only.
    bool noBellsToday();
    bool ringWeekdayToday(int weekday);  // today's own weekday: the calendar gives way today
    bool shiftRemainingToday(int minutes);
    bool skipNextBell();

    // The changes in force today, each with what takes it back.
    struct Undo {
        QString caption;  // Thai, as the menu shows it
        std::function<bool()> run;
    };
    QList<Undo> changesInForce();

    // Box titles.
    static const QString kCalendarTitle;
    static const QString kTodayTitle;

private:
    // Saves the new calendar and today's changes. For today, compares what rings before and
    // after: a bell that rang and would be moved to a time still to come is kept quiet, a bell
    // still to come that would be moved into the past is asked about.
    bool commit(const char* what, const Calendar& calendar, TodayChanges today,
                const QString& title);
    // Adds the entries the calendar lacks, after asking `question(how many)`.
    bool addEntries(const Calendar& entries, const std::function<QString(int)>& question);
    QString shiftLeavesDay(const CalendarEntry& entry) const;
    TodayChanges todayChanges() const;
    bool readFile(const QString& path, qint64 limit, QByteArray* bytes, const QString& title);
    bool writeFile(const QString& path, const QByteArray& bytes, const QString& title);
    bool refuse(const QString& title, const QString& why);  // tells why; false
    void notifyChanged(bool programsChanged);

    ProgramStore& store_;
    const Clock& clock_;
    Dialogs& dialogs_;
    std::vector<std::function<void(bool)>> changed_;
};

}  // namespace tavirin
