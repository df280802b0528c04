#pragma once

#include "calendar/calendar.h"
#include "platform/outcome.h"

#include <QDialog>

class QCalendarWidget;
class QLabel;
class QSpinBox;
class QTreeWidget;

namespace tavirin {

class DayRules;
class Dialogs;

// The school calendar (Thai): a month view with the days the calendar marks, the list of
// entries, add / change / remove, the year's national holidays, .ics import and export, and
// the backup of the whole store. Every button is one call of DayRules.
class CalendarPanel : public QDialog {
    Q_OBJECT
public:
    CalendarPanel(DayRules& rules, Dialogs& dialogs, QWidget* parent = nullptr);

    // Reads the calendar again into the list, the marks and the day's line.
    void refresh();

    void addEntry();
    void changeEntry();
    void removeEntry();
    void addHolidays();
    void importICalendar();
    void exportICalendar();
    void exportBackup();
    void importBackup();

private:
    void markMonth();
    void showDay(QDate date);
    // The list's selected entry (its index in the calendar), -1 for none.
    qsizetype selected() const;
    // Asks for an entry until DayRules takes it or the operator cancels.
    void editUntilSaved(CalendarEntry entry, const QString& title,
                        const std::function<Outcome(const CalendarEntry&)>& save);
    // Tells the operator what became of an operation; true when it was done.
    bool report(const Outcome& outcome);

    DayRules& rules_;
    Dialogs& dialogs_;
    Calendar calendar_;
    QCalendarWidget* month_;
    QLabel* day_;
    QTreeWidget* list_;
    QSpinBox* year_;
};

}  // namespace tavirin
