#pragma once

#include "calendar/calendar.h"
#include "calendar/dayplan.h"
#include "platform/outcome.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace tavirin {

class Clock;
class Dialogs;
class ProgramStore;

// The operations on the school's calendar and on today's changes, as the calendar panel, the
// main window, the tray menu and the core's remote callers call them. Each checks what it is
// given, asks the operator where it must (in Thai), saves in one all-or-nothing burst and
// returns what became of it, with the Thai text the caller shows; nothing is saved unless the
// outcome is Done. After every save the listeners run (the board is
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
    Outcome addEntry(const CalendarEntry& entry);
    Outcome changeEntry(qsizetype index, const CalendarEntry& entry);
    Outcome removeEntry(qsizetype index);
    Outcome addThaiHolidays(int year);  // the fixed-date national holidays of a year (Gregorian)
    Outcome importICalendar(const QString& path);
    Outcome exportICalendar(const QString& path);
    Outcome exportBackup(const QString& path);
    Outcome importBackup(const QString& path);

    // Today only.
    Outcome noBellsToday();
    Outcome ringWeekdayToday(int weekday);  // today's own weekday: the calendar gives way today
    Outcome shiftRemainingToday(int minutes);
    Outcome skipNextBell();
    // Every change of today taken back at once (the calendar rules today again).
    Outcome takeBackToday();

    // The changes in force today, each with what takes it back.
    struct Undo {
        QString caption;  // Thai, as the menu shows it
        std::function<Outcome()> run;
    };
    QList<Undo> changesInForce();

    // Runs `op` for a caller no one at the PC answers for (a script, a phone): where it would
    // ask a question it is refused instead, and the reason names the question.
    Outcome withoutQuestions(const std::function<Outcome()>& op);
    // Runs `op` for a caller that asked its own person already (the page's "remove this
    // entry?"): its plain confirmations are taken as yes, and logged.
    Outcome confirmedElsewhere(const std::function<Outcome()>& op);

    // Box titles.
    static const QString kCalendarTitle;
    static const QString kTodayTitle;

private:
    // Saves the new calendar and today's changes. For today, compares what rings before and
    // after: a bell that rang and would be moved to a time still to come is kept quiet, a bell
    // still to come that would be moved into the past is asked about.
    Outcome commit(const char* what, const Calendar& calendar, TodayChanges today,
                   const QString& title);
    // Adds the entries the calendar lacks, after asking `question(how many)`.
    Outcome addEntries(const Calendar& entries, const std::function<QString(int)>& question);
    QString shiftLeavesDay(const CalendarEntry& entry) const;
    TodayChanges todayChanges() const;
    // Nothing when read; else why not.
    std::optional<Outcome> readFile(const QString& path, qint64 limit, QByteArray* bytes);
    Outcome writeFile(const QString& path, const QByteArray& bytes);
    Outcome refuse(const QString& why);  // logged
    bool confirm(const QString& title, const QString& question);
    void notifyChanged(bool programsChanged);

    ProgramStore& store_;
    const Clock& clock_;
    Dialogs& dialogs_;
    std::vector<std::function<void(bool)>> changed_;
    bool questionsRefused_ = false;
    bool questionsAnswered_ = false;
    QString refusedQuestion_;
};

}  // namespace tavirin
